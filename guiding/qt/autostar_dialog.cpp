#include "guiding/qt/autostar_dialog.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>

#include "platform/platform.h"

namespace qlm {

namespace {

// While the polling runs, a right mouse button press anywhere in the program ends it and goes no
// further.
class RightPressCatcher : public QObject {
 public:
  RightPressCatcher() { qApp->installEventFilter(this); }
  ~RightPressCatcher() override { qApp->removeEventFilter(this); }
  bool pressed = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
      pressed = true;
      return true;
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

TAutostarDialog::TAutostarDialog(QWidget* parent) : TLX200Dialog(ScopePanelKind::Autostar, parent, false) {}

void TAutostarDialog::poll() {
  QPointer<TAutostarDialog> self(this);
  Ui& ui = *platform().ui;
  RightPressCatcher catcher;
  while (!QCoreApplication::closingDown()) {
    InputEvents events = ui.pumpEvents();
    events.right_button = catcher.pressed;
    // The events may have closed (and deleted) the panel.
    if (self.isNull() || !self->isVisible()) return;
    if (!model().pollPass(events)) return;
    display();
  }
}

}  // namespace qlm
