#pragma once
#include <algorithm>
#include <cstdint>
#include <random>

#include "image/frame.h"

namespace qlm::test {

inline std::size_t at(int row, int col) {
  return static_cast<std::size_t>(row) * kFrameWidth + static_cast<std::size_t>(col);
}

// Every used element of `f` drawn uniformly from lo-hi.
inline void fillRandom(Frame& f, unsigned seed, int lo = 0, int hi = 65535) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> dist(lo, hi);
  for (int i = 0; i < kFrameElements; ++i)
    f[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(dist(gen));
}

// A sky: noise around `level`, a few saturated spots, and a patch of values at or above 65000 so that
// windows which never go below 65000 occur too.
inline void fillSky(Frame& f, unsigned seed, int level = 3000) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> noise(level, level / 10.0 + 1);
  for (int i = 0; i < kFrameElements; ++i)
    f[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(std::clamp(noise(gen), 0.0, 65535.0));
  std::uniform_int_distribution<int> row(0, kLastRow);
  std::uniform_int_distribution<int> col(0, kFrameWidth - 1);
  for (int s = 0; s < 300; ++s)
    f[at(row(gen), col(gen))] = 65535;
  std::uniform_int_distribution<int> high(65000, 65535);
  for (int r = 200; r < 215; ++r) {
    for (int c = 300; c < 318; ++c)
      f[at(r, c)] = static_cast<std::uint16_t>(high(gen));
  }
}

inline void fillUniform(Frame& f, std::uint16_t v) {
  std::fill_n(f.begin(), kFrameElements, v);
}

// Draws the label marker into elements 0-5 (and leaves the rest of the band as it is).
inline void markLabelled(Frame& f) {
  std::fill_n(f.begin(), 6, kLabelMarkerValue);
}

}  // namespace qlm::test
