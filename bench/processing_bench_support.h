#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/frame.h"
#include "platform/platform.h"

namespace qlm::bench {

// A Ui that ignores everything, so progress updates cost what a real one's bookkeeping would not.
class NullUi final : public WindowlessUi {};

// Installs the NullUi for the whole benchmark program.
inline void installNullUi() {
  static NullUi ui;
  static Platform p = [] {
    Platform q = platform();
    q.ui = &ui;
    return q;
  }();
  platform() = p;
}

// A sky-like frame: a background near 2,000 with noise, a gentle gradient and a few stars.
inline void fillSkyFrame(Frame& f) {
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 16;
  };
  for (int y = 0; y < kFrameHeight; ++y) {
    for (int x = 0; x < kFrameWidth; ++x)
      f[static_cast<std::size_t>(y * kFrameWidth + x)] =
          static_cast<std::uint16_t>(2000 + y * 4 + x * 2 + static_cast<int>(next() % 400));
  }
  for (int s = 0; s < 60; ++s) {
    const int cx = 5 + static_cast<int>(next() % 650);
    const int cy = 5 + static_cast<int>(next() % 490);
    for (int dy = -2; dy <= 2; ++dy) {
      for (int dx = -2; dx <= 2; ++dx)
        f[static_cast<std::size_t>((cy + dy) * kFrameWidth + cx + dx)] =
            static_cast<std::uint16_t>(60000 / (1 + dx * dx + dy * dy));
    }
  }
}

}  // namespace qlm::bench
