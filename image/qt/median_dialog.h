#pragma once
#include <QDialog>

#include "image/filter_model.h"

namespace qlm {

// "Median Filter": "Radius" and "Power" fields with a scroll bar each; OK, Cancel and Help. The
// rules are MedianModel's.
class TMedianDialog : public QDialog {
  Q_OBJECT
 public:
  TMedianDialog(MedianModel& model, QWidget* parent = nullptr);
};

// Shows the dialog modally on a MedianModel; kPanelOk or kPanelCancel.
int runMedianDialog(PanelModel& model, QWidget* parent);

}  // namespace qlm
