#include "image/stacking.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace qlm {

namespace {

constexpr int kCentrePasses = 3;
constexpr int kWindowTop = 100;   // star window rows o + 100 to o + 199
constexpr int kWindowLeft = 200;  // columns 200-299
constexpr int kWindowStep = 10;
constexpr int kWindowGiveUp = 30;
constexpr int kShifts = 21;    // s = 0-20, shift s - 10
constexpr int kCompared = 80;  // profile entries compared per shift
constexpr long long kBestStart = 10000000;
constexpr long long kFlatProfiles = 5000;

std::size_t at(int row, int col) {
  return static_cast<std::size_t>(row) * kFrameWidth + static_cast<std::size_t>(col);
}

// Exact v / n for 16-bit v and 1 <= n <= 65535, by a multiply and a shift.
struct Divider {
  explicit Divider(int n) : n_(static_cast<std::uint32_t>(n)), m_((std::uint64_t{1} << 32) / n_ + 1) {}
  std::uint16_t operator()(std::uint16_t v) const {
    return n_ == 1 ? v : static_cast<std::uint16_t>((v * m_) >> 32);
  }

 private:
  std::uint32_t n_;
  std::uint64_t m_;
};

// The new element as it is added: divided by N when averaging.
void firstExposure(const Frame& current, Frame& stack, int count, bool average) {
  if (!average) {
    std::copy_n(current.begin(), kFrameElements, stack.begin());
    return;
  }
  const Divider divide(count);
  for (int i = 0; i < kFrameElements; ++i)
    stack[static_cast<std::size_t>(i)] = divide(current[static_cast<std::size_t>(i)]);
}

// Three centroid passes from (x, y) on the full frame; a pass whose window does not fit keeps the
// position it started from (its message has been shown).
void centreOnStar(const Frame& frame, int& x, int& y, int radius, CentroidState& centroid) {
  for (int pass = 0; pass < kCentrePasses; ++pass) {
    if (FindCentre(x, y, frame.data(), radius, CentreConditions{}, centroid) == 0) {
      x = centroid.main.x;
      y = centroid.main.y;
    }
  }
}

std::uint16_t valueAt(const Frame& frame, int x, int y) {
  return frame[at(std::clamp(y, 0, kLastRow), std::clamp(x, 0, kFrameWidth - 1))];
}

// out(i, j) = min(65535, a(i + dy, j + dx) + divide(b(...)))-style shifted sums, one row at a time:
// for every row i of `out` whose partner row r = i + ry lies in 0 < r < 500, the columns j whose
// partner c = j + cx lies in 0 < c < 660 get out(i, j) = min(65535, base(i, j) + add(r, c)).
template <typename Add>
void shiftedSum(std::uint16_t* out, const std::uint16_t* base, const std::uint16_t* partner, int ry, int cx,
                const Add& add) {
  const int j0 = std::max(0, 1 - cx);
  const int j1 = std::min(kFrameWidth - 1, kFrameWidth - 1 - cx);
  if (j0 > j1) return;
  for (int i = 0; i < kFrameHeight; ++i) {
    const int r = i + ry;
    if (r <= 0 || r >= kFrameHeight) continue;
    std::uint16_t* o = out + at(i, 0);
    const std::uint16_t* b = base + at(i, 0);
    const std::uint16_t* p = partner + at(r, 0) + cx;
    add(o + j0, b + j0, p + j0, j1 - j0 + 1);
  }
}

// o[k] = min(65535, b[k] + n[k]) where n is p[k] (divided by N when averaging).
struct SaturatingAdd {
  bool average;
  Divider divide;
  void operator()(std::uint16_t* o, const std::uint16_t* b, const std::uint16_t* p, int n) const {
    if (!average) {
      for (int k = 0; k < n; ++k) {
        const int sum = b[k] + p[k];
        o[k] = static_cast<std::uint16_t>(sum > 65535 ? 65535 : sum);
      }
    } else {
      for (int k = 0; k < n; ++k) {
        const int sum = b[k] + divide(p[k]);
        o[k] = static_cast<std::uint16_t>(sum > 65535 ? 65535 : sum);
      }
    }
  }
};

// The first bin with the largest count among the 256 bins of element >> 8.
int backgroundBin(const Frame& frame) {
  std::array<int, 256> bins{};
  for (int i = 0; i < kFrameElements; ++i)
    ++bins[frame[static_cast<std::size_t>(i)] >> 8];
  return static_cast<int>(std::max_element(bins.begin(), bins.end()) - bins.begin());
}

struct Profiles {
  std::array<int, kProfileLength> rows{};
  std::array<int, kProfileLength> columns{};
};

// Row and column sums of 16 x (element - T) where positive, over the window at origin o.
Profiles windowProfiles(const Frame& frame, int origin, int background_bin) {
  const int threshold = 256 * background_bin + 1024;
  Profiles p;
  for (int k = 0; k < kProfileLength; ++k) {
    const std::uint16_t* row = &frame[at(origin + kWindowTop + k, kWindowLeft)];
    for (int c = 0; c < kProfileLength; ++c) {
      const int excess = row[c] - threshold;
      if (excess > 0) {
        p.rows[static_cast<std::size_t>(k)] += 16 * excess;
        p.columns[static_cast<std::size_t>(c)] += 16 * excess;
      }
    }
  }
  return p;
}

int windowPeak(const Frame& frame, int origin) {
  int peak = 0;
  for (int k = 0; k < kProfileLength; ++k) {
    const std::uint16_t* row = &frame[at(origin + kWindowTop + k, kWindowLeft)];
    peak = std::max<int>(peak, *std::max_element(row, row + kProfileLength));
  }
  return peak;
}

// D(s) for s = 0-20: the sum over k = 0-79 of |reference[10 + k] - fresh[s + k]|.
std::array<long long, kShifts> differences(const std::array<int, kProfileLength>& reference,
                                           const std::array<int, kProfileLength>& fresh) {
  std::array<long long, kShifts> d{};
  for (int s = 0; s < kShifts; ++s) {
    long long sum = 0;
    for (int k = 0; k < kCompared; ++k)
      sum += std::llabs(static_cast<long long>(reference[static_cast<std::size_t>(10 + k)]) -
                        fresh[static_cast<std::size_t>(s + k)]);
    d[static_cast<std::size_t>(s)] = sum;
  }
  return d;
}

// The shift s - 10 of the first smallest D below the starting best value; 0 when none is below it.
int bestShift(const std::array<long long, kShifts>& d) {
  long long best = kBestStart;
  int shift = 0;
  for (int s = 0; s < kShifts; ++s) {
    if (d[static_cast<std::size_t>(s)] < best) {
      best = d[static_cast<std::size_t>(s)];
      shift = s - 10;
    }
  }
  return shift;
}

}  // namespace

StackState& stackState() {
  static StackState s;
  return s;
}

void resetStackState(StackState& s) {
  s = StackState{};
}

int stackByStar(StackState& s, Frame& current, Frame& stack, int count, bool average, int radius,
                CentroidState& centroid) {
  count = std::max(count, 1);
  if (!s.started) {
    firstExposure(current, stack, count, average);
    int x = centroid.main.x;
    int y = centroid.main.y;
    centreOnStar(current, x, y, radius, centroid);
    s.star_x = x;
    s.star_y = y;
    s.peak = valueAt(current, x, y);
    s.started = true;
    s.exposures = 1;
    return kStackMerged;
  }
  int x = s.star_x;
  int y = s.star_y;
  centreOnStar(current, x, y, radius, centroid);
  const int p = valueAt(current, x, y);
  if (p > 3 * s.peak || p < 0.3 * s.peak) {
    std::copy_n(stack.begin(), kFrameElements, current.begin());
    return kStackStarLost;
  }
  const int dx = x - s.star_x;
  const int dy = y - s.star_y;
  s.star_x = x;
  s.star_y = y;
  // element(i, j) = stack(i - dy, j - dx) + new(i, j): written in place over the new frame.
  const SaturatingAdd add{average, Divider(count)};
  const int j0 = std::max(0, 1 + dx);
  const int j1 = std::min(kFrameWidth - 1, kFrameWidth - 1 + dx);
  for (int i = 0; i < kFrameHeight && j0 <= j1; ++i) {
    const int r = i - dy;
    if (r <= 0 || r >= kFrameHeight) continue;
    std::uint16_t* o = &current[at(i, 0)];
    const std::uint16_t* st = &stack[at(r, 0)];
    // o[j] = min(65535, st[j - dx] + n(o[j])): the partner is the stack, the addend the new element.
    for (int j = j0; j <= j1; ++j) {
      const int sum = st[j - dx] + (average ? add.divide(o[j]) : o[j]);
      o[j] = static_cast<std::uint16_t>(sum > 65535 ? 65535 : sum);
    }
  }
  std::copy_n(current.begin(), kFrameElements, stack.begin());
  ++s.exposures;
  return kStackMerged;
}

int stackByProfile(StackState& s, Frame& current, Frame& stack, int count, bool average) {
  count = std::max(count, 1);
  if (!s.started) {
    firstExposure(current, stack, count, average);
    const int b = backgroundBin(current);
    int peak = 0;
    int origin = 0;
    while (true) {
      if (origin == kWindowGiveUp) return kStackNoStar;
      peak = std::max(peak, windowPeak(current, origin));
      if (peak >= 400 * b) break;
      origin += kWindowStep;
    }
    const Profiles p = windowProfiles(current, origin, b);
    s.origin = origin;
    s.row_profile = p.rows;
    s.column_profile = p.columns;
    s.shift_x = s.shift_y = 0;
    s.started = true;
    s.exposures = 1;
    return kStackMerged;
  }
  const Profiles fresh = windowProfiles(current, s.origin, backgroundBin(current));
  const auto d_row = differences(s.row_profile, fresh.rows);
  const auto d_col = differences(s.column_profile, fresh.columns);
  const int dy = bestShift(d_row);
  const int dx = bestShift(d_col);
  if (d_col[9] + d_col[10] + d_col[11] < kFlatProfiles) {
    std::copy_n(stack.begin(), kFrameElements, current.begin());
    return kStackStarLost;
  }
  s.row_profile = fresh.rows;
  s.column_profile = fresh.columns;
  shiftedSum(stack.data(), stack.data(), current.data(), dy + s.shift_y, dx + s.shift_x,
             SaturatingAdd{average, Divider(count)});
  s.shift_x += dx;
  s.shift_y += dy;
  std::copy_n(stack.begin(), kFrameElements, current.begin());
  ++s.exposures;
  return kStackMerged;
}

}  // namespace qlm
