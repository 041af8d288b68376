#include "guiding/qt/autostar_dialog.h"

#include <QCoreApplication>
#include <QPointer>

#include "platform/platform.h"

namespace qlm {

TAutostarDialog::TAutostarDialog(QWidget* parent)
    : TLX200Dialog(ScopePanelKind::Autostar, parent, false, true) {}

void TAutostarDialog::poll() {
  QPointer<TAutostarDialog> self(this);
  Ui& ui = *platform().ui;
  while (!QCoreApplication::closingDown()) {
    const InputEvents events = ui.pumpEvents();
    // The events may have closed (and deleted) the panel.
    if (self.isNull() || !self->isVisible()) return;
    if (!model().pollPass(events)) return;
    display();
  }
}

}  // namespace qlm
