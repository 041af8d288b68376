#pragma once
#include <QDialog>
#include <QWidget>

#include "image/stretch_model.h"

class QLineEdit;
class QScrollBar;

namespace qlm {

// The histogram of the "Normal Stretch" dialog: one bar per display value, cut bars in a second
// colour, a tick every 32 values and arrow marks under the axis at the black and white values.
class StretchHistogram : public QWidget {
  Q_OBJECT
 public:
  StretchHistogram(const StretchModel& model, QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const StretchModel& model_;
};

// "Normal Stretch": the histogram, the "Black" and "White" fields with a scroll bar each, OK and
// Cancel. The rules are StretchModel's; the fields only show the values.
class TStretchDialog : public QDialog {
  Q_OBJECT
 public:
  TStretchDialog(StretchModel& model, QWidget* parent = nullptr);

 private:
  void onBlack(int action);
  void onWhite(int action);
  void showValues();

  StretchModel& model_;
  StretchHistogram* histogram_;
  QScrollBar* black_bar_;
  QScrollBar* white_bar_;
  QLineEdit* black_;
  QLineEdit* white_;
};

// Shows the dialog modally on a StretchModel; kPanelOk or kPanelCancel.
int runStretchDialog(PanelModel& model, QWidget* parent);

}  // namespace qlm
