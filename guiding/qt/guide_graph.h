#pragma once
#include <QWidget>

#include "guiding/guide_history.h"

namespace qlm {

// A live graph of the RA (red) and Dec (blue) error of the last 100 guide frames, in pixels, with their
// running rms.
class TGuideGraph : public QWidget {
  Q_OBJECT
 public:
  explicit TGuideGraph(QWidget* parent = nullptr);
  void add(double ra_px, double dec_px);
  void clear();
  const GuideHistory& history() const { return history_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  GuideHistory history_;
};

}  // namespace qlm
