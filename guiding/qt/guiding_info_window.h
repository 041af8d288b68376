#pragma once
#include <QDialog>
#include <QLabel>

#include "guiding/guider.h"
#include "guiding/qt/guide_graph.h"

namespace qlm {

// "Guiding Info", the window of main-camera guiding: the last measurement x, y and the errors dx, dy,
// a live graph of the errors, and "Stop", which ends guiding as a key press does.
class TGuidingInfoWindow : public QDialog {
  Q_OBJECT
 public:
  explicit TGuidingInfoWindow(QWidget* parent = nullptr);

  // The view main-camera guiding reports to; the window keeps its own title.
  GuidingView view();
  void refreshFields();
  TGuideGraph& graph() { return *graph_; }

 private:
  QLabel* x_ = nullptr;
  QLabel* y_ = nullptr;
  QLabel* dx_ = nullptr;
  QLabel* dy_ = nullptr;
  TGuideGraph* graph_ = nullptr;
};

}  // namespace qlm
