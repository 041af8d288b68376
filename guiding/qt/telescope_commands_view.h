#pragma once

class TQLM_T4Window;

namespace qlm {

// Connects "Telescope &Control" (menu and TEL tool-bar button): the first-use step, then the panel of
// the drive method, modeless and one at a time; the Autostar panel polls the position while it is open.
void connectTelescopeCommands(TQLM_T4Window& window);

}  // namespace qlm
