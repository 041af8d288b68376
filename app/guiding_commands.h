#pragma once

namespace qlm {

// The main window's side of guide-star selection: the click hooks that refine a pick onto a star and
// record the main guide star, connected at start-up.
void connectGuidingLinks();

// Pick Guide Star (Ctrl+K): refused with message 33 in fitted or centred display; otherwise toggles the
// pick. Arming it takes the "Radius of Guide Star Mask" setting as the working radius and switches
// refinement on. Returns true when the pick changed.
bool pickGuideStarCommand();

}  // namespace qlm
