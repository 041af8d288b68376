#pragma once
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "image/frame.h"

namespace qlm {

// Plots drawn beside the analysis views' own pictures, to be read as other astronomy programs' plots
// are: numbered axes, a logarithmic count scale, automatic scales, the value under the pointer.

// Round tick values covering lo..hi, about `wanted` of them (steps of 1, 2 or 5 x 10^n).
std::vector<double> niceTicks(double lo, double hi, int wanted);

// Histogram of display values 0-255 with true (32-bit) counts: bars on a logarithmic or linear count
// scale, numbered axes, the display's black and white points as vertical lines, and the counts of the
// values whose bars the view's own picture cuts (1,055 or more), lowest values first.
class HistogramPlot : public QWidget {
  Q_OBJECT
 public:
  explicit HistogramPlot(QWidget* parent = nullptr);
  // The counts to show, and where the display turns black and white.
  void setCounts(const std::array<std::uint32_t, 256>& counts, int black, int white);
  void setLogarithmic(bool on);
  bool logarithmic() const { return log_; }
  // Called at each paint before drawing, to take the counts shown now.
  std::function<void(HistogramPlot&)> on_paint;
  // The listed counts as shown: "VALUE  COUNT" lines.
  QString listText() const;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseMoveEvent(class QMouseEvent* event) override;

 private:
  QRectF plotArea() const;
  std::array<std::uint32_t, 256> counts_{};
  int black_ = 0;
  int white_ = 255;
  bool log_ = true;
  int pointer_value_ = -1;  // display value under the pointer, -1 when outside
};

// Profile of one frame row with numbered axes: scaled to the row's own range, or to the fixed range
// 0-65535; the column and value under the pointer.
class RowProfilePlot : public QWidget {
  Q_OBJECT
 public:
  explicit RowProfilePlot(QWidget* parent = nullptr);
  void setRow(const Frame& frame, int row);
  void setAutoScale(bool on);
  bool autoScale() const { return auto_scale_; }
  // The value range the vertical axis spans now.
  std::pair<int, int> valueRange() const;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseMoveEvent(class QMouseEvent* event) override;

 private:
  QRectF plotArea() const;
  std::vector<std::uint16_t> values_;
  int row_ = 0;
  bool auto_scale_ = true;
  int pointer_column_ = -1;
};

// A 3-D wire plot of the square region of the frame around (x, y): `half` pixels each way, heights
// scaled to the region's own range, with the position and range written under it.
class RegionPlot3d : public QWidget {
  Q_OBJECT
 public:
  explicit RegionPlot3d(QWidget* parent = nullptr);
  void setRegion(const Frame& frame, int x, int y, int half = 24);
  // The region's top-left corner and size after clamping to the frame.
  QRect region() const { return region_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QRect region_;
  std::vector<std::uint16_t> values_;  // row-major over region_
  int lo_ = 0;
  int hi_ = 0;
};

}  // namespace qlm
