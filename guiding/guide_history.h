#pragma once
#include <cmath>
#include <cstddef>
#include <deque>
#include <utility>

namespace qlm {

// The errors of the last frames of a guiding run, in pixels, for the guide graph: at most `capacity`
// (RA, Dec) pairs, oldest first, and their root mean square.
class GuideHistory {
 public:
  explicit GuideHistory(std::size_t capacity = 100) : capacity_(capacity) {}

  void add(double ra_px, double dec_px) {
    points_.emplace_back(ra_px, dec_px);
    if (points_.size() > capacity_) points_.pop_front();
  }
  void clear() { points_.clear(); }
  const std::deque<std::pair<double, double>>& points() const { return points_; }
  double rmsRa() const { return rms(true); }
  double rmsDec() const { return rms(false); }

 private:
  double rms(bool ra) const {
    if (points_.empty()) return 0.0;
    double sum = 0.0;
    for (const auto& p : points_) {
      const double v = ra ? p.first : p.second;
      sum += v * v;
    }
    return std::sqrt(sum / static_cast<double>(points_.size()));
  }
  std::size_t capacity_;
  std::deque<std::pair<double, double>> points_;
};

}  // namespace qlm
