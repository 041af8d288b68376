#pragma once
#include <QDialog>

#include "image/filter_model.h"

namespace qlm {

// "Unsharp Mask Filter": "Radius" and "Power" fields with a scroll bar each; OK, Cancel and Help.
// The rules are UnsharpModel's.
class TUnsharpDialog : public QDialog {
  Q_OBJECT
 public:
  TUnsharpDialog(UnsharpModel& model, QWidget* parent = nullptr);
};

// Shows the dialog modally on an UnsharpModel; kPanelOk or kPanelCancel.
int runUnsharpDialog(PanelModel& model, QWidget* parent);

}  // namespace qlm
