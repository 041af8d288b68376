#include "image/median_unsharp.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "image/conditional_median.h"
#include "image/display.h"
#include "image/filter_model.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr int kMaxMedianRadius = 3;
constexpr int kMaxUnsharpRadius = 7;
// Padded row length for the unsharp mask: fixed-length inner loops, extra columns thrown away.
constexpr int kPadCols = 672;
constexpr int kPrefixCols = kPadCols + 2 * kMaxUnsharpRadius + 2;

std::size_t at(int row, int col) {
  return static_cast<std::size_t>(row) * kFrameWidth + static_cast<std::size_t>(col);
}

// The hot loops are also compiled for AVX2 and picked at run time where the processor has it.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define QLM_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QLM_VECTOR_CLONES
#endif

#if defined(__GNUC__) && !defined(__clang__)
#define QLM_IVDEP _Pragma("GCC ivdep")
#else
#define QLM_IVDEP
#endif

inline std::uint16_t saturate(std::int32_t e) {
  if (e > 65280) return 65535;
  if (e < 0) return 0;
  return static_cast<std::uint16_t>(e);
}

// Column sums of the box rows for kPadCols columns: sums[x] = sum of column x over rows i - c to
// i + c. Columns past 659 read on into the next row (or the spare elements after the last one) and
// are never used.
inline void updateColumnSums(const Frame& current, int i, int c, bool first, std::int32_t* sums) {
  if (first) {
    std::fill(sums, sums + kPadCols, 0);
    for (int r = i - c; r <= i + c; ++r) {
      const std::uint16_t* row = &current[at(r, 0)];
      for (int x = 0; x < kPadCols; ++x)
        sums[x] += row[x];
    }
    return;
  }
  const std::uint16_t* in = &current[at(i + c, 0)];
  const std::uint16_t* out = &current[at(i - c - 1, 0)];
  for (int x = 0; x < kPadCols; ++x)
    sums[x] += in[x] - out[x];
}

#if defined(__GNUC__) && !defined(__clang__)
// Eight lanes in one register (two on processors without 256-bit vectors).
using Int8 = std::int32_t __attribute__((vector_size(32)));

// A running sum inside one vector by three shifted additions.
inline void scanInPlace(Int8& v) {
  const Int8 zero = {};
  v += __builtin_shuffle(zero, v, Int8{0, 8, 9, 10, 11, 12, 13, 14});
  v += __builtin_shuffle(zero, v, Int8{0, 1, 8, 9, 10, 11, 12, 13});
  v += __builtin_shuffle(zero, v, Int8{0, 1, 2, 3, 8, 9, 10, 11});
}

// prefix[x] = sums[0] + ... + sums[x - 1] for x = 0-672, eight at a time. The two halves of the row
// run side by side, the second one starting from the first one's total, so that the totals carried
// from vector to vector form two short chains instead of one long one.
inline void prefixSums(const std::int32_t* sums, std::int32_t* prefix) {
  constexpr int kHalf = kPadCols / 2;  // 336, whole vectors
  std::int32_t first_half = 0;
  for (int x = 0; x < kHalf; ++x)
    first_half += sums[x];
  Int8 carry1 = {};
  Int8 carry2 = {};
  carry2 += first_half;
  const Int8 last = {7, 7, 7, 7, 7, 7, 7, 7};
  prefix[0] = 0;
  for (int x = 0; x < kHalf; x += 8) {
    Int8 v1;
    Int8 v2;
    std::memcpy(&v1, sums + x, sizeof v1);
    std::memcpy(&v2, sums + kHalf + x, sizeof v2);
    scanInPlace(v1);
    scanInPlace(v2);
    v1 += carry1;
    v2 += carry2;
    std::memcpy(prefix + x + 1, &v1, sizeof v1);
    std::memcpy(prefix + kHalf + x + 1, &v2, sizeof v2);
    carry1 = __builtin_shuffle(v1, last);
    carry2 = __builtin_shuffle(v2, last);
  }
  std::fill(prefix + kPadCols + 1, prefix + kPrefixCols, prefix[kPadCols]);
}
#else
// prefix[x] = sums[0] + ... + sums[x - 1] for x = 0-672.
inline void prefixSums(const std::int32_t* sums, std::int32_t* prefix) {
  prefix[0] = 0;
  for (int x = 0; x < kPadCols; ++x)
    prefix[x + 1] = prefix[x] + sums[x];
  std::fill(prefix + kPadCols + 1, prefix + kPrefixCols, prefix[kPadCols]);
}
#endif

// One row of the unsharp mask into `second`. Lane x is column x + c, whose box spans columns x to
// x + 2c. All kPadCols lanes are computed and stored: the last ones spill into the start of the next
// row of `second` (never past the spare elements), which that row's own pass or the final copy of
// the unprocessed border puts right.
QLM_VECTOR_CLONES
void unsharpRow(const Frame& current, Frame& second, int i, int c, int k, bool first, std::int32_t* sums) {
  updateColumnSums(current, i, c, first, sums);
  alignas(32) std::int32_t prefix[kPrefixCols];
  prefixSums(sums, prefix);
  const std::uint16_t* row = &current[at(i, c)];
  std::uint16_t* out = &second[at(i, c)];
  // Mean = box / area, truncated: a float estimate through the reciprocal is off by at most one for
  // boxes below 2^24 and is corrected exactly with integer arithmetic.
  const int area = (2 * c + 1) * (2 * c + 1);
  const float reciprocal = 1.0f / static_cast<float>(area);
  QLM_IVDEP  // `out` lies in another frame than `row`
      for (int x = 0; x < kPadCols; ++x) {
    const std::int32_t box = prefix[x + 2 * c + 1] - prefix[x];
    auto mean = static_cast<std::int32_t>(static_cast<float>(box) * reciprocal);
    const std::int32_t rest = box - mean * area;
    mean += (rest >= area ? 1 : 0) - (rest < 0 ? 1 : 0);
    const std::int32_t v = row[x];
    out[x] = saturate(v + (v - mean) * k);
  }
}

}  // namespace

void medianFilterFrame(int radius, int power, bool binned, Frame& current, Frame& second, Frame& undo) {
  Ui& ui = *platform().ui;
  const int r = std::clamp(radius, 1, kMaxMedianRadius);
  takeUndoSnapshot(current, undo);
  ui.progressOpen("MEDIAN FILTER PROGRESS");
  // The threshold trunc((M - m) x f), f = 0.1 x p in single precision, is compared as 10 x difference
  // against (M - m) x p; the window minimum is capped at 65000. SecondFrame ends up as a copy of the
  // result: the rows write the processed rectangle, the elements around it are copied over, and only
  // the rectangle goes back.
  const int r0 = firstImageRow(current.data()) + r;
  const int r1 = kLastRow - r;
  // Two rows per call (radius 3 shares work between them); the bar still moves row by row first.
  // A result row goes back into the frame as soon as no later window reads the frame's row, while
  // it is still in the cache.
  const int c1 = kFrameWidth - 1 - r;
  int returned = r0;  // result rows r0 to returned - 1 are back in `current`
  for (int i = r0; i <= r1; i += 2) {
    const int last = std::min(i + 1, r1);
    for (int row = i; row <= last; ++row)
      ui.progressSet(binned ? row / 2 : row / 4);
    conditionalMedian(current.data(), second.data(), kFrameWidth, r, power, 65000, i, last);
    const int unread = last + 1 - r;  // the next rows' windows start here
    if (unread > returned) {
      copyAroundRectangle(second, current, returned, unread - 1, r, c1, true);
      returned = unread;
    }
  }
  copyAroundRectangle(current, second, r0, r1, r, c1, false);
  if (returned <= r1) copyAroundRectangle(second, current, returned, r1, r, c1, true);
  ui.progressClose();
}

void unsharpMaskFrame(int radius, int power, Frame& current, Frame& second, Frame& undo) {
  Ui& ui = *platform().ui;
  const int c = std::clamp(radius, 1, kMaxUnsharpRadius);
  ui.progressOpen("UNSHARP MASK PROGRESS");
  takeUndoSnapshot(current, undo);
  // SecondFrame ends up as a copy of the result: the rows write the processed rectangle, then the
  // elements around it are copied over and only the rectangle goes back.
  const int r0 = firstImageRow(current.data()) + c;
  const int r1 = kLastRow - c;
  alignas(32) std::array<std::int32_t, kPadCols> sums;
  for (int i = r0; i <= r1; ++i) {
    ui.progressSet(i / 2);
    unsharpRow(current, second, i, c, power, i == r0, sums.data());
  }
  copyAroundRectangle(current, second, r0, r1, c, kFrameWidth - 1 - c, false);
  copyAroundRectangle(second, current, r0, r1, c, kFrameWidth - 1 - c, true);
  ui.progressClose();
}

std::string medianFilterText(int radius, int power) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "Median Filter : rad %d ,power %1.1f", radius, power * 0.1);
  return buf;
}

std::string unsharpMaskText(int radius, int power) {
  return "Unsharp Mask : rad " + std::to_string(radius) + " ,power " + std::to_string(power);
}

void medianFilter(int radius, int power) {
  ImageBuffers& b = imageBuffers();
  Ui& ui = *platform().ui;
  ui.setCursor(CursorShape::Wait);
  medianFilterFrame(radius, power, frameState().binned, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  refreshDisplay();
  historyList().append(medianFilterText(radius, power));
  ui.setCursor(CursorShape::Arrow);
}

void unsharpMask(int radius, int power, bool automatic) {
  ImageBuffers& b = imageBuffers();
  Ui& ui = *platform().ui;
  ui.setCursor(CursorShape::Wait);
  unsharpMaskFrame(radius, power, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  if (!automatic) refreshDisplay();
  historyList().append(unsharpMaskText(radius, power));
  ui.setCursor(CursorShape::Arrow);
}

void medianFilterCommand() {
  MedianModel model;
  if (platform().ui->runPanel(MedianModel::kPanelName, model) != kPanelOk) return;
  medianFilter(model.radius(), model.power());
}

void unsharpMaskCommand() {
  UnsharpModel model;
  if (platform().ui->runPanel(UnsharpModel::kPanelName, model) != kPanelOk) return;
  unsharpMask(model.radius(), model.power(), false);
}

}  // namespace qlm
