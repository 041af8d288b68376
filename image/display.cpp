#include "image/display.h"

#include <algorithm>

#include "platform/platform.h"

namespace qlm {

DisplayState& displayState() {
  static DisplayState state;
  return state;
}

void resetDisplayState(DisplayState& s) {
  s = DisplayState{};
}

namespace {
// The first bin 0-255 with the largest count among those not excluded and above `min_count`.
int modeBin(const std::array<std::uint16_t, kHistogramBins>& h, int exclude1, int exclude2, int min_count) {
  int best = -1;
  int best_count = min_count;
  for (int i = 0; i < 256; ++i) {
    if (i == exclude1 || i == exclude2) continue;
    if (h[static_cast<std::size_t>(i)] > best_count) {
      best = i;
      best_count = h[static_cast<std::size_t>(i)];
    }
  }
  return best;
}
}  // namespace

int backgroundLevelB1(const Frame& frame, ImageBuffers& b) {
  b.HistogramCounters.fill(0);
  for (int i = 10240; i < 25600; ++i)
    ++b.HistogramCounters[frame[static_cast<std::size_t>(i)] >> 8];
  return std::max(0, modeBin(b.HistogramCounters, -1, -1, -1));
}

int backgroundLevelB2(const Frame& frame, ImageBuffers& b) {
  b.HistogramCounters.fill(0);
  for (int y = 6; y <= 489; ++y) {
    for (int x = 5; x <= 654; ++x) {
      ++b.HistogramCounters[frame[static_cast<std::size_t>(y) * kFrameWidth + static_cast<std::size_t>(x)] >>
                            8];
    }
  }
  const int m1 = std::max(0, modeBin(b.HistogramCounters, -1, -1, -1));
  int m2 = modeBin(b.HistogramCounters, m1, -1, 0);
  if (m2 < 0) m2 = m1;  // fewer than two occupied bins: repeat the modes found
  int m3 = modeBin(b.HistogramCounters, m1, m2, 0);
  if (m3 < 0) m3 = m2;
  return (m1 + m2 + m3) / 3;
}

void refreshDisplay() {
  ImageBuffers& b = imageBuffers();
  for (int i = 0; i < kFrameElements; ++i) {
    b.DisplayBytes[static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(b.CurrentFrame[static_cast<std::size_t>(i)] >> 8);
  }
  platform().ui->repaint();
}

}  // namespace qlm
