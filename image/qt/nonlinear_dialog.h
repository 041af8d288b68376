#pragma once
#include <QDialog>

#include "image/stretch_model.h"

class QLineEdit;
class QScrollBar;

namespace qlm {

// "Non-Linear Stretch": the hint, the "Non-Linear Power" field (typed values count) with its scroll
// bar, OK, Cancel and Help. The rules are NonLinearModel's.
class TNonLiniarDialog : public QDialog {
  Q_OBJECT
 public:
  TNonLiniarDialog(NonLinearModel& model, QWidget* parent = nullptr);

 private:
  void onScroll(int action);
  void onOk();
  void showValue();

  NonLinearModel& model_;
  QScrollBar* bar_;
  QLineEdit* value_;
};

// Shows the dialog modally on a NonLinearModel; kPanelOk or kPanelCancel.
int runNonLinearDialog(PanelModel& model, QWidget* parent);

}  // namespace qlm
