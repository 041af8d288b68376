#pragma once
#include <QDialog>

#include "guiding/scope_panels.h"

namespace qlm {

// "Move Telescope": the panel of a mount on the camera's autoguider socket. A horizontal bar (left
// arrow West, right arrow East) and a vertical bar (up North, down South); pressing an arrow closes the
// direction's relay until it is released. "Finished" closes and deletes it.
class TMoveDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TMoveDialog(QWidget* parent = nullptr);

  ScopePanelModel& model() { return model_; }

 private:
  ScopePanelModel model_{ScopePanelKind::MoveTelescope};
};

}  // namespace qlm
