#pragma once
#include <array>
#include <cstdint>

#include "image/frame.h"

namespace qlm {

// Six kernels of 25 weights stored row by row; a filter of radius d reads the first (2d + 1)^2 of
// them as a (2d + 1) x (2d + 1) matrix.
inline constexpr int kKernelCount = 6;
using KernelWeights = std::array<std::int16_t, 25>;
const std::array<KernelWeights, kKernelCount>& kernelTable();

// The menu entry of a kernel: its radius, divisor and history text.
struct KernelFilter {
  int radius;
  int divisor;
  const char* history;
};
const KernelFilter& kernelFilter(int kernel);

// The convolution engine on explicit buffers: undo snapshot, "FILTER PROGRESS" bar, every element
// at least `radius` from the edges (and below the label band's `radius` rows on a labelled frame)
// becomes its weighted sum / divisor, truncated; results above 65,280 become 65535, below 0 become 0.
// `second` is the scratch frame. No cursor, no refresh.
void convolveFrame(int radius, const KernelWeights& weights, int divisor, Frame& current, Frame& second,
                   Frame& undo);

// Gradient filter on explicit buffers: undo snapshot, then the bilinear plane through the four corner
// levels (each corner's most frequent 16-value bin above the darkest corner's) is subtracted from
// every image row, elements at or below the plane becoming 0.
void removeBackgroundPlane(Frame& current, Frame& undo);
// The most frequent 16-value bin (value >> 4) of the 40 x 40 patch at (row0, col0), lowest bin on
// ties; bin 0 is left out when `skip_zero_bin` (and 1 is the answer when nothing else is present).
int patchMode(const Frame& frame, int row0, int col0, bool skip_zero_bin);

// Commands on the program-wide buffers.
// The engine with the wait cursor, a refresh when asked; no history text.
void convolve(int radius, int kernel, int divisor, bool refresh);
// A Filters-menu kernel filter (0-5): the engine with the kernel's table values, refresh, history.
void kernelFilterCommand(int kernel);
// "Gradient Filter": plane removal, history text, refresh.
void gradientFilterCommand();

}  // namespace qlm
