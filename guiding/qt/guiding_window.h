#pragma once
#include <QDialog>
#include <QLabel>

#include "guiding/guider.h"
#include "guiding/qt/guide_graph.h"

namespace qlm {

// "AutoGuider Camera Guiding": the last measurement, the errors, the slew times, the guider image with a
// cross at the reference, a live graph of the errors and "Stop Guiding" (enabled while guiding).
class TGuidingWindow : public QDialog {
  Q_OBJECT
 public:
  explicit TGuidingWindow(QWidget* parent = nullptr);

  // The view a guiding run reports to: captions, refreshes and frames land in this window.
  GuidingView view();
  void showFrame(const GuideFrameRecord& r);
  void refreshFields();
  TGuideGraph& graph() { return *graph_; }

 private:
  QLabel* x_ = nullptr;
  QLabel* y_ = nullptr;
  QLabel* dx_ = nullptr;
  QLabel* dy_ = nullptr;
  QLabel* slew_x_ = nullptr;
  QLabel* slew_y_ = nullptr;
  QLabel* image_ = nullptr;
  QWidget* stop_ = nullptr;
  TGuideGraph* graph_ = nullptr;
};

}  // namespace qlm
