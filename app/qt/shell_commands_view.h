#pragma once

class TQLM_T4Window;

namespace qlm {

// Connects the window's own commands: exit, print set-up and print, help and about, copy, the
// repaint command, the mouse-mode commands (pick, focus frame centre and the refusal checks of
// photometry, row plot and merge until their tools connect) and the clicks on the picture.
void connectShellCommands(TQLM_T4Window& window);

}  // namespace qlm
