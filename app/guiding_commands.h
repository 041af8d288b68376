#pragma once

namespace qlm {

// The main window's side of guide-star selection: the click hooks that refine a pick onto a star and
// record the main guide star, connected at start-up.
void connectGuidingLinks();

// Pick Guide Star (Ctrl+K): refused with message 33 in fitted or centred display; otherwise toggles the
// pick. Arming it takes the "Radius of Guide Star Mask" setting as the working radius and switches
// refinement on. Returns true when the pick changed.
bool pickGuideStarCommand();

// Guiding and training need a telescope drive method. Without one, on the simulated camera one
// question offers the "Autoguider Socket" drive the simulated mount is wired for (Yes sets it, saves
// the settings and repaints the window); on a real camera a box names the setting to change. True when
// a drive method is set.
bool ensureDriveMethod(bool simulated);
inline constexpr const char* kNoDriveMethodText =
    "Sorry, No telescope to guide: no telescope drive method is set.\n\nChoose \"Meade LX200 (Tm)\", "
    "\"Meade Autostar(Tm)\" or \"Autoguider Socket\" in File > Set Program Defaults, then start again.";
inline constexpr const char* kOfferSocketDriveText =
    "No telescope drive method is set (File > Set Program Defaults).\n\nThe simulated mount is wired to "
    "the camera's autoguider socket. Use \"Autoguider Socket\" as the drive method and go on?";

}  // namespace qlm
