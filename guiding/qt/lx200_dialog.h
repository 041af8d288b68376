#pragma once
#include <QDialog>
#include <array>

#include "guiding/scope_panels.h"

class QAbstractButton;
class QGridLayout;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace qlm {

class TPositionBox;

// The modeless telescope panel of the LX200 (and, through TAutostarDialog, of the Autostar): go-to
// fields and buttons, the rate and focus-speed radio buttons, the move and focus arrows, the two
// "Info from Scope" fields and the "Telescope Position" (polled every second on the LX200 panel). It forwards
// every control to its ScopePanelModel and shows the telescope state again after each; "Finished" closes and
// deletes it. Controls carry their caption (or a short name) as object name for tests.
class TLX200Dialog : public QDialog {
  Q_OBJECT
 public:
  explicit TLX200Dialog(QWidget* parent = nullptr);

  ScopePanelModel& model() { return model_; }
  // Shows the info fields, the radio buttons and the position from the telescope state.
  virtual void display();
  TPositionBox& positionBox() { return *position_; }

 protected:
  // `planets` adds the planet buttons; the Autostar's position fields show the texts as received.
  TLX200Dialog(ScopePanelKind kind, QWidget* parent, bool planets);

 private:
  void build(bool planets);
  // Runs a control's action, then shows the state again.
  template <typename F>
  void act(F&& action);
  QToolButton* arrow(Qt::ArrowType type, const char* name);

  ScopePanelModel model_;
  QLineEdit* messier_ = nullptr;
  QLineEdit* cngc_ = nullptr;
  std::array<QLineEdit*, 4> coordinates_{};
  std::array<QRadioButton*, 4> rates_{};
  QRadioButton* fast_ = nullptr;
  QRadioButton* slow_ = nullptr;
  QLineEdit* object_info_ = nullptr;
  QLineEdit* slew_reply_ = nullptr;
  TPositionBox* position_ = nullptr;
};

}  // namespace qlm
