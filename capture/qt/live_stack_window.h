#pragma once
#include <QDialog>

#include "capture/live_stack_model.h"

class QLabel;

// "Live Stack": the running mean of the camera panel's series, auto-stretched, with the frame count,
// the rejected count and the stack's SNR under it, and "Save Stack" (float or 16-bit FITS, or TIFF).
// Modeless; the capture command feeds it each finished frame.
class TLiveStackDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TLiveStackDialog(QWidget* parent = nullptr);
  qlm::LiveStackModel& model() { return model_; }
  // A new series.
  void start();
  // One finished frame of the series; `star` is the picked star, if any.
  void addFrame(const qlm::Frame& frame, std::optional<std::pair<int, int>> star);

 private:
  void display();
  void save();

  qlm::LiveStackModel model_;
  QLabel* picture_ = nullptr;
  QLabel* status_ = nullptr;
};
