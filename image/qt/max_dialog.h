#pragma once
#include <QDialog>

#include "image/max_model.h"

class QCheckBox;
class QLineEdit;
class QScrollBar;

namespace qlm {

// "Stretch Display": the "Activate" box, the power scroll bar and the "Stretch Display Power " field.
// The rules are MaxModel's; this view forwards the scroll bar's actions and shows the result.
class TMaxDialog : public QDialog {
  Q_OBJECT
 public:
  TMaxDialog(MaxModel& model, QWidget* parent = nullptr);

 private:
  void onScrollAction(int action);
  void showValue();

  MaxModel& model_;
  QCheckBox* activate_;
  QScrollBar* bar_;
  QLineEdit* value_;
};

// Shows the dialog modally on a MaxModel; returns kPanelOk.
int runMaxDialog(PanelModel& model, QWidget* parent);

}  // namespace qlm
