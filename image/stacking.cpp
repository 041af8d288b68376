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

// Exact n / d for 32-bit n and d >= 1, by one wide multiply (Lemire's method).
class WideDivider {
 public:
  explicit WideDivider(std::uint32_t d) : d_(d), m_(d > 1 ? ~std::uint64_t{0} / d + 1 : 0) {}
  std::uint32_t operator()(std::uint32_t n) const {
    __extension__ using Wide = unsigned __int128;
    return d_ == 1 ? n : static_cast<std::uint32_t>((static_cast<Wide>(m_) * n) >> 64);
  }

 private:
  std::uint32_t d_;
  std::uint64_t m_;
};

// The wide sum and depth buffers, sized once.
void ensureBuffers(StackState& s) {
  const auto n = static_cast<std::size_t>(kFrameElements);
  s.sum.resize(n);
  s.depth.resize(n);
  s.scratch_sum.resize(n);
  s.scratch_depth.resize(n);
}

// The 16-bit stack after `k` of `count` exposures into `stack` and `current` (see the header).
void writeStack(const StackState& s, Frame& stack, Frame& current, int count, bool average) {
  const std::uint32_t* sum = s.sum.data();
  const std::uint16_t* depth = s.depth.data();
  std::uint16_t* out = stack.data();
  if (!average) {
    for (int i = 0; i < kFrameElements; ++i)
      out[i] = static_cast<std::uint16_t>(std::min<std::uint32_t>(sum[i], 65535u));
  } else {
    const auto k = static_cast<std::uint32_t>(s.exposures);
    const auto n = static_cast<std::uint32_t>(count);
    // Rounded sum / N as (2 sum + N) / 2N; exact in 32 bits while 2 x 65535 x N + N stays below 2^32.
    const bool narrow = n < 32000;
    const WideDivider half_rounded(2 * n);
    for (int i = 0; i < kFrameElements; ++i) {
      std::uint64_t v;
      if (depth[i] == k && narrow) {
        v = half_rounded(2 * sum[i] + n);
      } else {
        const std::uint64_t den = 2ull * depth[i] * n;
        v = (2ull * sum[i] * k + den / 2) / den;
      }
      out[i] = static_cast<std::uint16_t>(std::min<std::uint64_t>(v, 65535u));
    }
  }
  std::copy_n(stack.begin(), kFrameElements, current.begin());
}

// The first exposure starts the sums.
void firstExposure(StackState& s, Frame& current, Frame& stack, int count, bool average) {
  ensureBuffers(s);
  std::copy_n(current.begin(), kFrameElements, s.sum.begin());
  std::fill(s.depth.begin(), s.depth.end(), std::uint16_t{1});
  s.exposures = 1;
  s.started = true;
  Frame& kept = stack;
  // `current` keeps the frame itself until the star has been looked for on it.
  if (!average) {
    std::copy_n(current.begin(), kFrameElements, kept.begin());
    return;
  }
  const auto n = static_cast<std::uint32_t>(count);
  const WideDivider half_rounded(2 * n);
  for (int i = 0; i < kFrameElements; ++i)
    kept[static_cast<std::size_t>(i)] =
        static_cast<std::uint16_t>(n < 32000 ? half_rounded(2u * current[static_cast<std::size_t>(i)] + n)
                                             : (current[static_cast<std::size_t>(i)] + n / 2) / n);
}

// Three centroid passes from (x, y) on the full frame; a pass whose window does not fit keeps the
// position it started from (its message has been shown) and answers false.
bool centreOnStar(const Frame& frame, int& x, int& y, int radius, CentroidState& centroid) {
  bool measured = true;
  for (int pass = 0; pass < kCentrePasses; ++pass) {
    if (FindCentre(x, y, frame.data(), radius, CentreConditions{}, centroid) == 0) {
      x = centroid.main.x;
      y = centroid.main.y;
    } else {
      measured = false;
    }
  }
  return measured;
}

std::uint16_t valueAt(const Frame& frame, int x, int y) {
  return frame[at(std::clamp(y, 0, kLastRow), std::clamp(x, 0, kFrameWidth - 1))];
}

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
  // The buffers keep their memory for the next run.
  std::vector<std::uint32_t> sum = std::move(s.sum);
  std::vector<std::uint16_t> depth = std::move(s.depth);
  std::vector<std::uint32_t> scratch_sum = std::move(s.scratch_sum);
  std::vector<std::uint16_t> scratch_depth = std::move(s.scratch_depth);
  s = StackState{};
  s.sum = std::move(sum);
  s.depth = std::move(depth);
  s.scratch_sum = std::move(scratch_sum);
  s.scratch_depth = std::move(scratch_depth);
}

int stackByStar(StackState& s, Frame& current, Frame& stack, int count, bool average, int radius,
                CentroidState& centroid) {
  count = std::max(count, 1);
  if (!s.started) {
    firstExposure(s, current, stack, count, average);
    int x = centroid.main.x;
    int y = centroid.main.y;
    if (!centreOnStar(current, x, y, radius, centroid)) s.centre_failed = true;
    s.star_x = x;
    s.star_y = y;
    s.peak = valueAt(current, x, y);
    std::copy_n(stack.begin(), kFrameElements, current.begin());
    return kStackMerged;
  }
  int x = s.star_x;
  int y = s.star_y;
  const bool measured = centreOnStar(current, x, y, radius, centroid);
  const int p = valueAt(current, x, y);
  if (!measured) s.centre_failed = true;
  if ((!measured && s.lose_unmeasured) || p > 3 * s.peak || p < 0.3 * s.peak) {
    if (!s.frames_on_demand) std::copy_n(stack.begin(), kFrameElements, current.begin());
    return kStackStarLost;
  }
  const int dx = x - s.star_x;
  const int dy = y - s.star_y;
  s.star_x = x;
  s.star_y = y;
  // The sums move with the star: element (i, j) adds the new element to its partner (i - dy, j - dx).
  const int j0 = std::max(1 + dx, 0);
  const int j1 = std::min(kFrameWidth - 1 + dx, kFrameWidth - 1);
  for (int i = 0; i < kFrameHeight; ++i) {
    const int r = i - dy;
    std::uint32_t* o = &s.scratch_sum[at(i, 0)];
    std::uint16_t* od = &s.scratch_depth[at(i, 0)];
    const std::uint16_t* fresh = &current[at(i, 0)];
    const bool row_partner = r > 0 && r < kFrameHeight && j0 <= j1;
    const int a = row_partner ? j0 : kFrameWidth;
    const int b = row_partner ? j1 : kFrameWidth - 1;
    for (int j = 0; j < a; ++j) {
      o[j] = fresh[j];
      od[j] = 1;
    }
    if (row_partner) {
      const std::uint32_t* ps = &s.sum[at(r, 0)] - dx;
      const std::uint16_t* pd = &s.depth[at(r, 0)] - dx;
      for (int j = a; j <= b; ++j) {
        o[j] = ps[j] + fresh[j];
        od[j] = static_cast<std::uint16_t>(pd[j] + 1);
      }
    }
    for (int j = b + 1; j < kFrameWidth; ++j) {
      o[j] = fresh[j];
      od[j] = 1;
    }
  }
  s.sum.swap(s.scratch_sum);
  s.depth.swap(s.scratch_depth);
  ++s.exposures;
  if (!s.frames_on_demand) writeStack(s, stack, current, count, average);
  return kStackMerged;
}

int stackByProfile(StackState& s, Frame& current, Frame& stack, int count, bool average) {
  count = std::max(count, 1);
  if (!s.started) {
    firstExposure(s, current, stack, count, average);
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
    std::copy_n(stack.begin(), kFrameElements, current.begin());
    return kStackMerged;
  }
  const Profiles fresh = windowProfiles(current, s.origin, backgroundBin(current));
  const auto d_row = differences(s.row_profile, fresh.rows);
  const auto d_col = differences(s.column_profile, fresh.columns);
  const int dy = bestShift(d_row);
  const int dx = bestShift(d_col);
  if (d_col[9] + d_col[10] + d_col[11] < kFlatProfiles) {
    if (!s.frames_on_demand) std::copy_n(stack.begin(), kFrameElements, current.begin());
    return kStackStarLost;
  }
  s.row_profile = fresh.rows;
  s.column_profile = fresh.columns;
  // The stack stays in the first frame's place: element (i, j) gains the new element (i + ry, j + cx).
  const int ry = dy + s.shift_y;
  const int cx = dx + s.shift_x;
  const int j0 = std::max(0, 1 - cx);
  const int j1 = std::min(kFrameWidth - 1, kFrameWidth - 1 - cx);
  for (int i = 0; i < kFrameHeight && j0 <= j1; ++i) {
    const int r = i + ry;
    if (r <= 0 || r >= kFrameHeight) continue;
    std::uint32_t* o = &s.sum[at(i, 0)];
    std::uint16_t* od = &s.depth[at(i, 0)];
    const std::uint16_t* p = &current[at(r, 0)] + cx;
    for (int j = j0; j <= j1; ++j) {
      o[j] += p[j];
      ++od[j];
    }
  }
  s.shift_x += dx;
  s.shift_y += dy;
  ++s.exposures;
  if (!s.frames_on_demand) writeStack(s, stack, current, count, average);
  return kStackMerged;
}

void writeStackFrames(const StackState& s, Frame& stack, Frame& current, int count, bool average) {
  if (s.started) writeStack(s, stack, current, std::max(count, 1), average);
}

void stackFloatResult(const StackState& s, bool mean, float* out) {
  if (s.sum.size() < static_cast<std::size_t>(kFrameElements)) {
    std::fill_n(out, kFrameElements, 0.0f);
    return;
  }
  const double k = s.exposures;
  for (int i = 0; i < kFrameElements; ++i) {
    const double d = std::max<double>(s.depth[static_cast<std::size_t>(i)], 1.0);
    const double m = s.sum[static_cast<std::size_t>(i)] / d;
    out[i] = static_cast<float>(mean ? m : m * k);
  }
}

}  // namespace qlm
