#pragma once
#include <QDialog>
#include <string>
#include <vector>

#include "app/fits_model.h"

class QCheckBox;
class QLineEdit;
class QScrollBar;

namespace qlm {

// "FITS DETAILS": the header texts and numbers, the time difference to UT with its scroll bar, and the
// 8-bit and (hidden) unsigned boxes. The rules are FitsModel's; this view forwards and shows.
class TFITSDialog : public QDialog {
  Q_OBJECT
 public:
  TFITSDialog(FitsModel& model, QWidget* parent = nullptr);

 private:
  QLineEdit* addText(const char* label, int id, std::string* text);
  void onScrollAction(int action);
  void showTimeDifference();

  FitsModel& model_;
  QScrollBar* bar_ = nullptr;
  QLineEdit* difference_ = nullptr;
  QCheckBox* eight_bit_ = nullptr;
  QCheckBox* unsigned_ = nullptr;
  std::vector<std::pair<QLineEdit*, std::string*>> texts_;
};

// Shows the dialog modally on a FitsModel; kPanelOk for "Continue" (the boxes' texts are then in the
// model, for the caller's store()), kPanelCancel for "Abort".
int runFitsDialog(PanelModel& model, QWidget* parent);

}  // namespace qlm
