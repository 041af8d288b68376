#pragma once

class TQLM_T4Window;

namespace qlm {

// Connects the View and Edit display commands (fit, centre, palettes, max palette stretch, mirror,
// flip, label, undo, Ctrl+W) and registers the label and stretch-display dialogs.
void connectDisplayCommands(TQLM_T4Window& window);

}  // namespace qlm
