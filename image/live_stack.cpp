#include "image/live_stack.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "image/star_measure.h"

namespace qlm {

namespace {
constexpr int kSearch = 15;         // pixels a star may move between frames and still be found
constexpr int kPickMargin = 25;     // room around an automatically picked star
constexpr double kHfrLimit = 1.5;   // x the median HFR so far
constexpr double kRingInner = 8.0;  // sky ring of the SNR measure
constexpr double kRingOuter = 14.0;

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  if (v.size() % 2 == 1) return *mid;
  return 0.5 * (*mid + *std::max_element(v.begin(), mid));
}
}  // namespace

LiveStack::LiveStack() {
  reset();
}

void LiveStack::reset() {
  const auto n = static_cast<std::size_t>(kFrameElements);
  sum_.assign(n, 0.0);
  depth_.assign(n, 0);
  mean_.assign(n, 0.0f);
  hfrs_.clear();
  started_ = false;
  added_ = rejected_ = 0;
}

LiveStack::Verdict LiveStack::add(const std::uint16_t* frame, std::optional<std::pair<int, int>> star) {
  Verdict v;
  std::optional<StarMeasure> m;
  if (!started_) {
    if (!star) star = brightestStar(frame, kFrameWidth, kFrameHeight, kPickMargin);
    if (star) m = measureStar(frame, kFrameWidth, kFrameHeight, star->first, star->second);
    if (!m) {
      ++rejected_;
      v.reason = "no star";
      return v;
    }
  } else {
    m = measureStar(frame, kFrameWidth, kFrameHeight, static_cast<int>(std::lround(last_x_)),
                    static_cast<int>(std::lround(last_y_)), kSearch);
    if (!m) {
      ++rejected_;
      v.reason = "star lost";
      return v;
    }
  }
  v.hfr = m->hfr;
  if (!hfrs_.empty()) {
    const double typical = median(hfrs_);
    if (m->hfr > kHfrLimit * typical) {
      ++rejected_;
      char text[64];
      std::snprintf(text, sizeof text, "hfr %.2f > %.1f x %.2f", m->hfr, kHfrLimit, typical);
      v.reason = text;
      return v;
    }
  }
  if (!started_) {
    started_ = true;
    ref_x_ = m->x;
    ref_y_ = m->y;
  }
  last_x_ = m->x;
  last_y_ = m->y;
  hfrs_.push_back(m->hfr);
  // Whole-pixel shift: stack element (i, j) takes frame element (i + dy, j + dx).
  const int dx = static_cast<int>(std::lround(m->x - ref_x_));
  const int dy = static_cast<int>(std::lround(m->y - ref_y_));
  const int j0 = std::max(0, -dx);
  const int j1 = std::min(kFrameWidth, kFrameWidth - dx);
  for (int i = std::max(0, -dy); i < std::min(kFrameHeight, kFrameHeight - dy); ++i) {
    const std::size_t row = static_cast<std::size_t>(i) * kFrameWidth;
    const std::uint16_t* src = frame + static_cast<std::size_t>(i + dy) * kFrameWidth + dx;
    for (int j = j0; j < j1; ++j) {
      sum_[row + static_cast<std::size_t>(j)] += src[j];
      ++depth_[row + static_cast<std::size_t>(j)];
    }
  }
  ++added_;
  refreshMean();
  v.added = true;
  return v;
}

void LiveStack::refreshMean() {
  for (std::size_t i = 0; i < mean_.size(); ++i)
    mean_[i] = depth_[i] ? static_cast<float>(sum_[i] / depth_[i]) : 0.0f;
}

void LiveStack::toFrame(Frame& out) const {
  for (std::size_t i = 0; i < mean_.size(); ++i)
    out[i] = static_cast<std::uint16_t>(std::lround(std::clamp(mean_[i], 0.0f, 65535.0f)));
}

double LiveStack::snr() const {
  if (added_ == 0) return 0.0;
  const double r_ap = std::max(3.0, 2.0 * median(hfrs_));
  const int reach = static_cast<int>(std::ceil(kRingOuter));
  const int cx = static_cast<int>(std::lround(ref_x_));
  const int cy = static_cast<int>(std::lround(ref_y_));
  std::vector<double> ring;
  std::vector<double> aperture;
  for (int y = cy - reach; y <= cy + reach; ++y)
    for (int x = cx - reach; x <= cx + reach; ++x) {
      if (x < 0 || y < 0 || x >= kFrameWidth || y >= kFrameHeight) continue;
      const double d = std::hypot(x - ref_x_, y - ref_y_);
      const double v = mean_[static_cast<std::size_t>(y) * kFrameWidth + static_cast<std::size_t>(x)];
      if (d <= r_ap) aperture.push_back(v);
      if (d >= kRingInner && d <= kRingOuter) ring.push_back(v);
    }
  if (ring.empty() || aperture.empty()) return 0.0;
  const double level = median(ring);
  std::vector<double> dev;
  for (double v : ring)
    dev.push_back(std::abs(v - level));
  const double sigma = std::max(1e-3, 1.4826 * median(dev));
  double flux = 0.0;
  for (double v : aperture)
    flux += v - level;
  return flux / (sigma * std::sqrt(static_cast<double>(aperture.size())));
}

std::vector<std::uint8_t> autoStretch(const std::vector<float>& image) {
  std::vector<std::uint8_t> out(image.size(), 0);
  if (image.empty()) return out;
  std::vector<float> sample;
  for (std::size_t i = 0; i < image.size(); i += 7)
    sample.push_back(image[i]);
  const auto mid = sample.begin() + static_cast<std::ptrdiff_t>(sample.size() / 2);
  std::nth_element(sample.begin(), mid, sample.end());
  const double sky = *mid;
  for (float& v : sample)
    v = std::abs(v - static_cast<float>(sky));
  std::nth_element(sample.begin(), mid, sample.end());
  const double sigma = 1.4826 * *mid;
  const double top = *std::max_element(image.begin(), image.end());
  const double black =
      std::max(static_cast<double>(*std::min_element(image.begin(), image.end())), sky - 2.8 * sigma);
  const double span = std::max(top - black, 1e-6);
  // Midtones transfer: x -> (m - 1) x / ((2m - 1) x - m), with m chosen so the sky lands at 0.25.
  const double x0 = std::clamp((sky - black) / span, 1e-6, 1.0 - 1e-6);
  constexpr double kTarget = 0.25;
  const double m = x0 * (kTarget - 1.0) / ((2.0 * kTarget - 1.0) * x0 - kTarget);
  for (std::size_t i = 0; i < image.size(); ++i) {
    const double x = std::clamp((image[i] - black) / span, 0.0, 1.0);
    const double y = (m - 1.0) * x / ((2.0 * m - 1.0) * x - m);
    out[i] = static_cast<std::uint8_t>(std::lround(std::clamp(y, 0.0, 1.0) * 255.0));
  }
  return out;
}

}  // namespace qlm
