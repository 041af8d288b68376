#pragma once

class TQLM_T4Window;

namespace qlm {

// Connects "&Histogram", "3-D &Intensity Plot", "Intensity Plot of Current R&ow" and "&Photometry of
// Image" to their commands, shows their modeless dialogs (one of each) and routes the row-plot and
// photometry clicks and pointer moves to them.
void connectAnalysisCommands(TQLM_T4Window& window);

}  // namespace qlm
