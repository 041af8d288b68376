#include "image/convolve.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/display.h"
#include "platform/platform.h"

namespace qlm {

namespace {

// Row buffers are padded to a whole number of vector widths so the inner loops have a fixed trip
// count and no remainder; the extra columns are computed and thrown away.
constexpr int kPadCols = 672;
constexpr int kMaxRadius = 2;
constexpr int kRingCols = kPadCols + 2 * kMaxRadius + 4;

std::size_t at(int row, int col) {
  return static_cast<std::size_t>(row) * kFrameWidth + static_cast<std::size_t>(col);
}

std::uint16_t clampResult(std::int32_t q) {
  if (q > 65280) return 65535;
  if (q < 0) return 0;
  return static_cast<std::uint16_t>(q);
}

// One output row: acc[x] is the weighted sum centred on column x + radius.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("avx2", "default")))
#endif
void convolveRow(const std::uint16_t* const* rows, int size, const std::int16_t* weights, int divisor,
                 std::uint16_t* out) {
  alignas(32) std::int32_t acc[kPadCols];
  std::fill(acc, acc + kPadCols, 0);
  for (int ky = 0; ky < size; ++ky) {
    const std::uint16_t* src = rows[ky];
    for (int kx = 0; kx < size; ++kx) {
      const std::int32_t w = weights[ky * size + kx];
      if (w == 0) continue;
      const std::uint16_t* s = src + kx;
      for (int x = 0; x < kPadCols; ++x)
        acc[x] += w * static_cast<std::int32_t>(s[x]);
    }
  }
  alignas(32) std::uint16_t res[kPadCols];
  if (divisor == 1) {
    for (int x = 0; x < kPadCols; ++x)
      res[x] = clampResult(acc[x]);
  } else {
    // Division in double is exact here: truncating the correctly rounded quotient of two integers
    // below 2^31 gives the integer quotient.
    const double d = divisor;
    for (int x = 0; x < kPadCols; ++x)
      res[x] = clampResult(static_cast<std::int32_t>(acc[x] / d));
  }
  std::memcpy(out, res, sizeof(std::uint16_t) * static_cast<std::size_t>(kFrameWidth - 2 * (size / 2)));
}

// The 3 x 3 weights 1 2 1 / 2 4 2 / 1 2 1 with divisor 16 (the low-pass smoother) split into a
// vertical and a horizontal 1 2 1 pass; the sums are the same integers, and sum / 16 of a
// non-negative sum is sum >> 4.
bool isSmootherKernel(int radius, const KernelWeights& weights, int divisor) {
  static constexpr std::int16_t kSmoother[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
  return radius == 1 && divisor == 16 && std::equal(kSmoother, kSmoother + 9, weights.begin());
}

// One output row of the smoother: out[x] for columns x + 1, from the source rows above, at and below.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#endif
void smootherRow(const std::uint16_t* above, const std::uint16_t* row, const std::uint16_t* below,
                 std::uint16_t* out) {
  alignas(64) std::uint32_t column[kFrameWidth];
  for (int x = 0; x < kFrameWidth; ++x)
    column[x] = static_cast<std::uint32_t>(above[x]) + 2u * row[x] + below[x];
  constexpr int kOut = kFrameWidth - 2;
  alignas(64) std::uint16_t res[kOut];
  for (int x = 0; x < kOut; ++x) {
    const std::uint32_t q = (column[x] + 2u * column[x + 1] + column[x + 2]) >> 4;
    res[x] = static_cast<std::uint16_t>(q > 65280u ? 65535u : q);
  }
  std::memcpy(out, res, sizeof res);
}

// Kernel 1, the 5 x 5 Gaussian 0 1 2 1 0 / 1 4 8 4 1 / 2 8 16 8 2 / 1 4 8 4 1 / 0 1 2 1 0 with divisor
// 80, has rank two: it is (1 0 0 0 1) down times (0 1 2 1 0) across, plus (0 1 2 1 0) down times
// (1 4 8 4 1) across. Two vertical sums and two short horizontal passes give the same integer sums, and
// a sum that is never negative divided by 80 is its unsigned quotient.
bool isGaussianKernel(int radius, const KernelWeights& weights, int divisor) {
  return radius == 2 && divisor == 80 && weights == kernelTable()[1];
}

// One output row of the Gaussian: out[x] for columns x + 2, from the source rows i - 2 to i + 2.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#endif
void gaussianRow(const std::uint16_t* const* rows, std::uint16_t* out) {
  alignas(64) std::uint32_t outer[kFrameWidth];  // rows i - 2 and i + 2
  alignas(64) std::uint32_t inner[kFrameWidth];  // rows i - 1, i, i + 1 weighted 1 2 1
  for (int x = 0; x < kFrameWidth; ++x) {
    outer[x] = static_cast<std::uint32_t>(rows[0][x]) + rows[4][x];
    inner[x] = static_cast<std::uint32_t>(rows[1][x]) + 2u * rows[2][x] + rows[3][x];
  }
  constexpr int kOut = kFrameWidth - 4;
  alignas(64) std::uint16_t res[kOut];
  for (int x = 0; x < kOut; ++x) {
    const std::uint32_t sum = outer[x + 1] + 2u * outer[x + 2] + outer[x + 3] + inner[x] + 4u * inner[x + 1] +
                              8u * inner[x + 2] + 4u * inner[x + 3] + inner[x + 4];
    const std::uint32_t q = sum / 80u;
    res[x] = static_cast<std::uint16_t>(q > 65280u ? 65535u : q);
  }
  std::memcpy(out, res, sizeof res);
}

void patchHistogram(const Frame& frame, int row0, int col0, std::array<int, 4096>& bins) {
  bins.fill(0);
  for (int r = row0; r < row0 + 40; ++r) {
    for (int c = col0; c < col0 + 40; ++c)
      ++bins[frame[at(r, c)] >> 4];
  }
}

}  // namespace

const std::array<KernelWeights, kKernelCount>& kernelTable() {
  static const std::array<KernelWeights, kKernelCount> table = {{
      {1, 2, 1, 2, 4, 2, 1, 2, 1},
      {0, 1, 2, 1, 0, 1, 4, 8, 4, 1, 2, 8, 16, 8, 2, 1, 4, 8, 4, 1, 0, 1, 2, 1, 0},
      {0, -1, 0, -1, 5, -1, 0, -1, 0},
      {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 25, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
      {0, -1, -1, -1, 0, -1, 1, 1, 1, -1, -1, 1, 5, 1, -1, -1, 1, 1, 1, -1, 0, -1, -1, -1, 0},
      {0, 0, -1, 0, 0, 0, -1, -1, -1, 0, -1, -1, 1, 1, 1, 0, 1, 1, 1, 0, 0, 0, 1, 0, 0},
  }};
  return table;
}

const KernelFilter& kernelFilter(int kernel) {
  static const std::array<KernelFilter, kKernelCount> filters = {{
      {1, 16, "Lowpass Smoother Filter"},
      {2, 80, "Gaussian Filter"},
      {1, 1, "High Pass Low Power Filter"},
      {2, 1, "High Pass High Power Filter"},
      {2, 1, "Smoother/Sharper Filter"},
      {2, 1, "Bas Relief Filter"},
  }};
  return filters[static_cast<std::size_t>(std::clamp(kernel, 0, kKernelCount - 1))];
}

void convolveFrame(int radius, const KernelWeights& weights, int divisor, Frame& current, Frame& second,
                   Frame& undo) {
  Ui& ui = *platform().ui;
  const int d = std::clamp(radius, 0, kMaxRadius);
  const int size = 2 * d + 1;
  takeUndoSnapshot(current, undo);
  ui.progressOpen("FILTER PROGRESS");
  const int r0 = (labelled(current.data()) ? kLabelRows : 0) + d;
  const int r1 = kLastRow - d;

  if (isSmootherKernel(d, weights, divisor)) {
    // SecondFrame ends up as a copy of the result: the rows write the processed rectangle, the
    // elements around it are copied over, and only the rectangle goes back.
    for (int i = r0; i <= r1; ++i) {
      ui.progressSet(i / 2);
      smootherRow(&current[at(i - 1, 0)], &current[at(i, 0)], &current[at(i + 1, 0)], &second[at(i, 1)]);
    }
    copyAroundRectangle(current, second, r0, r1, 1, kFrameWidth - 2, false);
    copyAroundRectangle(second, current, r0, r1, 1, kFrameWidth - 2, true);
    ui.progressClose();
    return;
  }

  if (isGaussianKernel(d, weights, divisor)) {
    for (int i = r0; i <= r1; ++i) {
      ui.progressSet(i / 2);
      const std::uint16_t* rows[5];
      for (int k = 0; k < 5; ++k)
        rows[k] = &current[at(i - 2 + k, 0)];
      gaussianRow(rows, &second[at(i, 2)]);
    }
    copyAroundRectangle(current, second, r0, r1, 2, kFrameWidth - 3, false);
    copyAroundRectangle(second, current, r0, r1, 2, kFrameWidth - 3, true);
    ui.progressClose();
    return;
  }

  std::copy_n(current.begin(), kFrameElements, second.begin());
  // A ring of padded copies of the source rows i - d to i + d; row r lives in slot r % size.
  static std::uint16_t ring[2 * kMaxRadius + 1][kRingCols];
  const std::uint16_t* rows[2 * kMaxRadius + 1];
  auto load = [&](int r) {
    std::uint16_t* slot = ring[r % size];
    std::memcpy(slot, &current[at(r, 0)], sizeof(std::uint16_t) * kFrameWidth);
    std::fill(slot + kFrameWidth, slot + kRingCols, 0);
  };
  for (int r = r0 - d; r < r0 + d; ++r)
    load(r);
  for (int i = r0; i <= r1; ++i) {
    ui.progressSet(i / 2);
    load(i + d);
    for (int k = 0; k < size; ++k)
      rows[k] = ring[(i - d + k) % size];
    convolveRow(rows, size, weights.data(), divisor, &second[at(i, d)]);
  }

  std::copy_n(second.begin(), kFrameElements, current.begin());
  ui.progressClose();
}

int patchMode(const Frame& frame, int row0, int col0, bool skip_zero_bin) {
  std::array<int, 4096> bins;
  patchHistogram(frame, row0, col0, bins);
  const int first = skip_zero_bin ? 1 : 0;
  int mode = first;
  for (int b = first; b < 4096; ++b) {
    if (bins[static_cast<std::size_t>(b)] > bins[static_cast<std::size_t>(mode)]) mode = b;
  }
  return mode;
}

void removeBackgroundPlane(Frame& current, Frame& undo) {
  takeUndoSnapshot(current, undo);
  const int tl = patchMode(current, 10, 20, false);
  const int tr = patchMode(current, 10, 600, false);
  const int bl = patchMode(current, 450, 20, true);
  const int br = patchMode(current, 450, 600, true);
  const int m = std::min({tl, tr, bl, br});
  const double TL = (tl - m) * 16.0;
  const double TR = (tr - m) * 16.0;
  const double BL = (bl - m) * 16.0;
  const double BR = (br - m) * 16.0;
  // The plane is anchored at the frame's corner points (0, 0), (0, 660), (500, 0), (500, 660).
  for (int i = firstImageRow(current.data()); i <= kLastRow; ++i) {
    const double top = kFrameHeightF - i;
    for (int j = 0; j < kFrameWidth; ++j) {
      const double left = kFrameWidthF - j;
      const double plane =
          (top * left * TL + top * j * TR + i * left * BL + static_cast<double>(i) * j * BR) /
          static_cast<double>(kFrameElements);
      auto& e = current[at(i, j)];
      e = e > plane ? static_cast<std::uint16_t>(e - static_cast<int>(plane)) : 0;
    }
  }
}

void convolve(int radius, int kernel, int divisor, bool refresh) {
  ImageBuffers& b = imageBuffers();
  Ui& ui = *platform().ui;
  ui.setCursor(CursorShape::Wait);
  convolveFrame(radius, kernelTable()[static_cast<std::size_t>(std::clamp(kernel, 0, kKernelCount - 1))],
                divisor, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  if (refresh) refreshDisplay();
  ui.setCursor(CursorShape::Arrow);
}

void kernelFilterCommand(int kernel) {
  const KernelFilter& k = kernelFilter(kernel);
  convolve(k.radius, kernel, k.divisor, true);
  historyList().append(k.history);
}

void gradientFilterCommand() {
  ImageBuffers& b = imageBuffers();
  Ui& ui = *platform().ui;
  ui.setCursor(CursorShape::Wait);
  removeBackgroundPlane(b.CurrentFrame, b.UndoFrame);
  historyList().append("Gradient Filter");
  refreshDisplay();
  ui.setCursor(CursorShape::Arrow);
}

}  // namespace qlm
