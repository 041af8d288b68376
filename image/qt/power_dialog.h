#pragma once
#include <QDialog>

#include "image/stretch_model.h"

class QLineEdit;
class QScrollBar;

namespace qlm {

// "Power Law Stretch": a scroll bar 1-30 and a field showing the power as "%1.1f"; OK, Cancel and
// Help. The rules are PowerModel's.
class TPowerDialog : public QDialog {
  Q_OBJECT
 public:
  TPowerDialog(PowerModel& model, QWidget* parent = nullptr);

 private:
  void onScroll(int action);
  void showValue();

  PowerModel& model_;
  QScrollBar* bar_;
  QLineEdit* value_;
};

// Shows the dialog modally on a PowerModel; kPanelOk or kPanelCancel.
int runPowerDialog(PanelModel& model, QWidget* parent);

}  // namespace qlm
