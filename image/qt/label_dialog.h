#pragma once
#include <QDialog>

#include "image/label_model.h"

class QLineEdit;
class QCheckBox;

namespace qlm {

// "Label Current Image": the text field under "Enter the Label text" and the "Auto Date" box.
class TLabelDialog : public QDialog {
  Q_OBJECT
 public:
  TLabelDialog(LabelModel& model, QWidget* parent = nullptr);
  void accept() override;

 private:
  LabelModel& model_;
  QLineEdit* text_;
  QCheckBox* auto_date_;
};

// Shows the dialog modally on a LabelModel; returns kPanelOk or kPanelCancel.
int runLabelDialog(PanelModel& model, QWidget* parent);

}  // namespace qlm
