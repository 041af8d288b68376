#pragma once
#include "guiding/guider.h"

class TQLM_T4Window;

namespace qlm {

// Connects the autoguider camera command (Ctrl+G, the tool-bar button) to the "Auto Guider Camera
// Control" panel, and the guiding it hands over to ("Start AutoGuiding") to the guiding window.
void connectAutoguiderCommands(TQLM_T4Window& window);

// The view of the program's one "AutoGuider Camera Guiding" window (a guided exposure reports there).
GuidingView guidingWindowView();

}  // namespace qlm
