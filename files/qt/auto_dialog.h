#pragma once
#include <QDialog>

#include "files/auto_model.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace qlm {

// "Auto-Processing Choices": the stretch radio buttons with the user power, the background, high
// pass and unsharp mask boxes with "dia." and "power", the hints, and Save, Cancel, Help. The rules
// are AutoModel's; the buttons and boxes are set again from the settings after every press, the fields
// after Save.
class TAutoDialog : public QDialog {
  Q_OBJECT
 public:
  TAutoDialog(AutoModel& model, QWidget* parent = nullptr);

 private:
  void onSave();
  // The radio buttons and boxes from the settings; the fields from the stored values.
  void showChoices();
  void showFields();

  AutoModel& model_;
  QRadioButton* stretch_[4];
  QCheckBox* background_;
  QCheckBox* high_pass_;
  QCheckBox* unsharp_;
  QLineEdit* user_power_;
  QLineEdit* dia_;
  QLineEdit* power_;
};

// Shows the dialog modally on an AutoModel; kPanelOk after a Save that closed it, else kPanelCancel.
int runAutoDialog(PanelModel& model, QWidget* parent);

}  // namespace qlm
