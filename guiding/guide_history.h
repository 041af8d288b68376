#pragma once
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "guiding/guider.h"

namespace qlm {

// The scatter of one axis about its mean (the rms PHD2 and its log viewer show).
struct AxisScatter {
  double n = 0, sum = 0, sum2 = 0;
  void add(double v) {
    n += 1;
    sum += v;
    sum2 += v * v;
  }
  double rms() const {
    if (n <= 0) return 0.0;
    const double var = sum2 / n - (sum / n) * (sum / n);
    return var > 0 ? std::sqrt(var) : 0.0;
  }
};

// One guide frame on the graph: the RA and Dec errors in pixels, the pulses that followed (ms, East and
// North positive; 0 for none) and whether a dither moved the reference just before it.
struct GuideGraphPoint {
  double ra_px = 0.0;
  double dec_px = 0.0;
  int ra_ms = 0;
  int dec_ms = 0;
  bool dither = false;
};

// The mount's axes on the sensor as a run's corrections use them: unit vectors of a West and a North
// move and their rates (pixels per second of pulse). The trained vectors, the RA angle, or the sensor's
// own axes (West towards -x, North towards +y) when guiding does not turn the corrections.
struct GuideAxes {
  double wx = -1.0, wy = 0.0;
  double nx = 0.0, ny = 1.0;
  double west_rate = 0.0, north_rate = 0.0;
};
GuideAxes guideAxes(const GuideParams& p);
// A star's offset from the reference (star minus reference, sensor pixels) along the axes: RA positive
// where an East pulse corrects it, Dec positive where a North pulse does.
std::pair<double, double> raDecOffset(const GuideAxes& a, double dx, double dy);
// 'E', 'W', 'N' or 'S' for a pulse letter by its slot among the run's letters; 0 for none.
char pulseDirection(const GuideParams& p, char letter);
// A measured frame on the graph: its errors along the axes and the pulses sent after it.
GuideGraphPoint guideGraphPoint(const GuideFrameRecord& rec, const GuideParams& p);

// The errors of the last frames of a guiding run, for the guide graph: at most `capacity` points, oldest
// first, their root mean square in pixels and, once the pixel scale is known, in arc-seconds; the
// dither marks; and the vertical scale the user chose.
class GuideHistory {
 public:
  static constexpr std::array<int, 4> kScales = {2, 4, 8, 16};  // +- pixels

  explicit GuideHistory(std::size_t capacity = 100) : capacity_(capacity) {}

  void add(double ra_px, double dec_px) { add(GuideGraphPoint{ra_px, dec_px, 0, 0, false}); }
  void add(GuideGraphPoint p) {
    p.dither = p.dither || dither_pending_;
    dither_pending_ = false;
    points_.push_back(p);
    if (points_.size() > capacity_) points_.pop_front();
  }
  // The next point added carries a dither mark.
  void markDither() { dither_pending_ = true; }
  void clear() {
    points_.clear();
    dither_pending_ = false;
  }
  const std::deque<GuideGraphPoint>& points() const { return points_; }

  double rmsRa() const { return rms(0); }
  double rmsDec() const { return rms(1); }
  double rmsTotal() const { return rms(2); }

  // Arc-seconds per pixel; nothing while unknown.
  void setPixelScale(std::optional<double> arcsec_per_px) { scale_ = arcsec_per_px; }
  std::optional<double> pixelScale() const { return scale_; }
  std::optional<double> arcsec(double px) const {
    if (!scale_) return std::nullopt;
    return px * *scale_;
  }

  // The graph's range, +- pixels: one of kScales (another value takes the nearest one above it).
  void setScale(int px) {
    scale_px_ = kScales.back();
    for (int s : kScales) {
      if (s >= px) {
        scale_px_ = s;
        break;
      }
    }
  }
  int scale() const { return scale_px_; }

  // "RA 0.42 Dec 0.31 Tot 0.52 px" and, with the scale known, the same in arc-seconds.
  std::string rmsText() const {
    char text[160];
    int n =
        std::snprintf(text, sizeof text, "RMS RA %.2f  Dec %.2f  Tot %.2f px", rmsRa(), rmsDec(), rmsTotal());
    if (scale_ && n > 0 && static_cast<std::size_t>(n) < sizeof text)
      std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "  (%.2f  %.2f  %.2f\")",
                    rmsRa() * *scale_, rmsDec() * *scale_, rmsTotal() * *scale_);
    return text;
  }

 private:
  // Root mean square of the errors (0 is the reference): RA, Dec, or both together.
  double rms(int which) const {
    if (points_.empty()) return 0.0;
    double sum = 0.0;
    for (const GuideGraphPoint& p : points_) {
      if (which != 1) sum += p.ra_px * p.ra_px;
      if (which != 0) sum += p.dec_px * p.dec_px;
    }
    return std::sqrt(sum / static_cast<double>(points_.size()));
  }
  std::size_t capacity_;
  std::deque<GuideGraphPoint> points_;
  bool dither_pending_ = false;
  std::optional<double> scale_;
  int scale_px_ = 4;
};

}  // namespace qlm
