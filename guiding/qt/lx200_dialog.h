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

// The modeless telescope panel of the LX200 (and, through TAutostarDialog, of the Autostar): go-to
// fields and buttons, the rate and focus-speed radio buttons, the move and focus arrows and the two
// "Info from Scope" fields. It forwards every control to its ScopePanelModel and shows the telescope
// state again after each; "Finished" closes and deletes it. Controls carry their caption (or a short name) as
// object name for tests.
class TLX200Dialog : public QDialog {
  Q_OBJECT
 public:
  explicit TLX200Dialog(QWidget* parent = nullptr);

  ScopePanelModel& model() { return model_; }
  // Shows the info fields, the radio buttons and (Autostar) the position fields from the telescope state.
  virtual void display();

 protected:
  // `planets` adds the planet buttons; `position` the "Telescope Position" fields.
  TLX200Dialog(ScopePanelKind kind, QWidget* parent, bool planets, bool position);

  QLineEdit* ra_position_ = nullptr;
  QLineEdit* dec_position_ = nullptr;

 private:
  void build(bool planets, bool position);
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
};

}  // namespace qlm
