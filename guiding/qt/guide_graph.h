#pragma once
#include <QComboBox>
#include <QLabel>
#include <QWidget>

#include "guiding/guide_history.h"

namespace qlm {

// A live graph of the last 100 guide frames: the RA (red) and Dec (blue) errors in pixels on the scale
// chosen (+-2 to +-16 px; arc-seconds on the right when the pixel scale is known), the pulses that
// followed each frame as bars, dither marks, and the RA, Dec and total rms above it.
class TGuideGraph : public QWidget {
  Q_OBJECT
 public:
  explicit TGuideGraph(QWidget* parent = nullptr);
  void add(double ra_px, double dec_px);
  void add(const GuideGraphPoint& point);
  void markDither();
  void setPixelScale(std::optional<double> arcsec_per_px);
  void clear();
  const GuideHistory& history() const { return history_; }
  // The rms line as shown.
  QString rmsText() const { return rms_->text(); }

 private:
  class Plot;
  void changed();

  GuideHistory history_;
  QLabel* rms_ = nullptr;
  QComboBox* scale_ = nullptr;
  QWidget* plot_ = nullptr;
};

}  // namespace qlm
