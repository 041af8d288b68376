#pragma once
#include <QDialog>

#include "guiding/scope_panels.h"

namespace qlm {

class TPositionBox;

// "Move Telescope": the panel of a mount on the camera's autoguider socket. A horizontal bar (left
// arrow West, right arrow East) and a vertical bar (up North, down South); pressing an arrow closes the
// direction's relay until it is released. Below them the mount's position, polled every second on its
// serial port. "Finished" closes and deletes it.
class TMoveDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TMoveDialog(QWidget* parent = nullptr);

  ScopePanelModel& model() { return model_; }
  TPositionBox& positionBox() { return *position_; }

 private:
  ScopePanelModel model_{ScopePanelKind::MoveTelescope};
  TPositionBox* position_ = nullptr;
};

}  // namespace qlm
