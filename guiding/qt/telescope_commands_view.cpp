#include "guiding/qt/telescope_commands_view.h"

#include <QPointer>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "files/settings.h"
#include "guiding/qt/autostar_dialog.h"
#include "guiding/qt/lx200_dialog.h"
#include "guiding/qt/move_dialog.h"
#include "guiding/scope_panels.h"

namespace qlm {

void connectTelescopeCommands(TQLM_T4Window& window) {
  window.setCommandHandler(cmd::kTelescopeControl, [w = &window] {
    static QPointer<QDialog> panel;
    static ScopePanelKind shown = ScopePanelKind::Lx200;
    if (!prepareTelescopeUse()) return;
    const ScopePanelKind kind = scopePanelKind(settings().drive_method);
    if (!panel.isNull() && shown == kind) {
      panel->raise();
      panel->activateWindow();
      return;
    }
    if (!panel.isNull()) panel->close();
    shown = kind;
    TAutostarDialog* autostar = nullptr;
    switch (kind) {
      case ScopePanelKind::MoveTelescope:
        panel = new TMoveDialog(w);
        break;
      case ScopePanelKind::Autostar:
        panel = autostar = new TAutostarDialog(w);
        break;
      case ScopePanelKind::Lx200:
        panel = new TLX200Dialog(w);
        break;
    }
    panel->show();
    if (autostar != nullptr) autostar->poll();
  });
}

}  // namespace qlm
