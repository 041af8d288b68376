#pragma once

class TQLM_T4Window;

namespace qlm {

// Connects the File menu and the View menu's Processing History and FITS details commands, and
// registers the defaults, FITS details and delete-confirmation dialogs.
void connectFileCommands(TQLM_T4Window& window);

}  // namespace qlm
