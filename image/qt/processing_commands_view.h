#pragma once

class TQLM_T4Window;

namespace qlm {

// Connects the Contrast and Filters menus (and their tool-bar buttons) and "Set Auto Processing" to
// their commands, and registers the stretch, filter and auto-processing dialogs.
void connectProcessingCommands(TQLM_T4Window& window);

}  // namespace qlm
