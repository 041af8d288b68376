#pragma once

class TQLM_T4Window;

namespace qlm {

// Connects the camera interface command (Ctrl+Z, "QLM T8 Camera &Interface", the tool-bar button) to
// the take-photo command and registers the camera control panel with the window's Ui.
void connectCaptureCommands(TQLM_T4Window& window);

}  // namespace qlm
