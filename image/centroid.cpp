#include "image/centroid.h"

#include <array>

#include "platform/platform.h"

namespace qlm {

namespace {

constexpr int kBins = 4096;
constexpr int kMaxWindow = 31;                    // 2 x 15 + 1, the largest mask radius
constexpr std::uint16_t kBoostBelowPeak = 17000;  // fainter windows are amplified fourfold
constexpr int kGuideWindowSize = 128;
constexpr int kGuiderWidth = 500;
constexpr int kGuiderHeight = 290;

// The whole part of a value, toward zero.
long long whole(double v) {
  return static_cast<long long>(v);
}

void putResult(int left, int top, double cx, double cy, CentroidForm form, CentroidResult& result) {
  if (form == CentroidForm::Tenths) {
    constexpr float kTen = 10.0f;
    result.x = left + static_cast<int>(whole(cx));
    result.y = top + static_cast<int>(whole(cy));
    result.tx = static_cast<int>(whole(cx * kTen) - whole(cx) * 10);
    result.ty = static_cast<int>(whole(cy * kTen) - whole(cy) * 10);
  } else {
    result.x = left + static_cast<int>(whole(cx + 0.5));
    result.y = top + static_cast<int>(whole(cy + 0.5));
    result.tx = 0;
    result.ty = 0;
  }
}

}  // namespace

CentroidState& centroidState() {
  static CentroidState state;
  return state;
}

void resetCentroidState(CentroidState& s) {
  s = CentroidState{};
}

CentreTarget findCentreTarget(const CentreConditions& when) {
  CentreTarget t;
  if (when.main_guiding_or_training || when.guide_window_set) {
    t.width = kGuideWindowSize;
    t.height = kGuideWindowSize;
  } else if (when.guider_pick_armed) {
    t.width = kGuiderWidth;
    t.height = kGuiderHeight;
  } else {
    t.width = when.frame_width;
    t.height = when.frame_height;
  }
  if (!when.ignore_drift && when.main_guiding_or_training) {
    t.form = CentroidForm::Tenths;
  } else if (when.guider_pick_armed) {
    t.form = CentroidForm::Tenths;
    t.into_guider_result = true;
  } else {
    t.form = CentroidForm::NearestPixel;
  }
  return t;
}

std::int32_t centroidBackground(int bin) {
  // The product is rounded to a 32-bit float before it is truncated: bin 100 gives 1664, not 1663.
  const float product = static_cast<float>(bin) * 16.64f;
  return static_cast<std::int32_t>(product);
}

int measureCentroid(const std::uint16_t* image, int width, int height, int x, int y, int r, CentroidForm form,
                    CentroidResult& result) {
  const int left = x - r;
  const int top = y - r;
  const int n = 2 * r + 1;
  if (r < 0 || n > kMaxWindow || left < 0 || top < 0 || x + r + 1 > width || y + r + 1 > height) {
    platform().ui->messageBox("QLM_T8_USB  - Find Centre", "Find centre failed - outside image area",
                              MessageButtons::Ok, MessageIcon::None);
    return 1;
  }

  std::array<std::uint16_t, kBins> histogram{};
  std::array<std::uint16_t, kMaxWindow * kMaxWindow> window{};
  std::uint16_t peak = 0;
  for (int row = 0; row < n; ++row) {
    const std::uint16_t* src = image + static_cast<std::ptrdiff_t>(top + row) * width + left;
    for (int col = 0; col < n; ++col) {
      const std::uint16_t v = src[col];
      ++histogram[v / 16];
      window[static_cast<std::size_t>(row * n + col)] = v;
      if (v > peak) peak = v;
    }
  }
  int mode = 0;
  for (int b = 1; b < kBins; ++b)
    if (histogram[static_cast<std::size_t>(b)] > histogram[static_cast<std::size_t>(mode)]) mode = b;
  const std::int32_t background = centroidBackground(mode);

  const bool boost = peak < kBoostBelowPeak;
  long long total = 0;
  for (int i = 0; i < n * n; ++i) {
    std::uint16_t& v = window[static_cast<std::size_t>(i)];
    std::int32_t excess = v > background ? v - background : 0;
    if (boost) excess = excess < 16384 ? excess * 4 : 65535;
    v = static_cast<std::uint16_t>(excess);
    total += v;
  }
  const long long mean = total / (static_cast<long long>(n) * n);

  long long s = 1;
  long long qx = 1;
  long long qy = 1;
  for (int row = 0; row < n; ++row) {
    for (int col = 0; col < n; ++col) {
      const long long d = window[static_cast<std::size_t>(row * n + col)] - mean;
      if (d < 1) continue;
      s += d;
      qx += d * col;
      qy += d * row;
    }
  }
  // The sums start at 1, so an empty window cannot divide by zero; with no pixel above the mean the
  // star is taken to lie at the window's top-left corner (cx = cy = 0), not at (1, 1).
  const bool empty = s == 1;
  const double cx = empty ? 0.0 : static_cast<double>(qx) / static_cast<double>(s);
  const double cy = empty ? 0.0 : static_cast<double>(qy) / static_cast<double>(s);
  putResult(left, top, cx, cy, form, result);
  return 0;
}

int FindCentre(int x, int y, const std::uint16_t* image, int r, const CentreConditions& when,
               CentroidState& state) {
  const CentreTarget t = findCentreTarget(when);
  return measureCentroid(image, t.width, t.height, x, y, r, t.form,
                         t.into_guider_result ? state.guider : state.main);
}

int FindGuiderCentre(int x, int y, const std::uint16_t* image, int r, CentroidState& state) {
  return measureCentroid(image, kGuiderWidth, kGuiderHeight, x, y, r, CentroidForm::Tenths, state.guider);
}

}  // namespace qlm
