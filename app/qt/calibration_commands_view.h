#pragma once

class TQLM_T4Window;

namespace qlm {

// Connects the Merging menu (and its tool-bar buttons) to its commands and shows the modeless
// "MERGE IMAGES" dialog while merging.
void connectCalibrationCommands(TQLM_T4Window& window);

}  // namespace qlm
