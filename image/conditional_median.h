#pragma once
#include <cstdint>

namespace qlm {

// The conditional median on a 16-bit image of `width` x `height` elements stored row by row (width at
// least 40 and at most 672). For every element of rows `first_row` to `last_row` (each at least
// `radius` rows from the top and bottom) and of columns `radius` to width - 1 - radius:
//   M = the largest value of its (2 radius + 1)^2 window, m = the smallest but at most `min_cap`,
//   med = the window's median;
//   out = med when 10 x |med - v| > (M - m) x tenths, else v (the element's own value).
// Reads come from `in` only; `out` (another image of the same shape) is written at exactly those
// elements. radius 1-3, tenths 0-10.
// The test 10 |med - v| > (M - m) x tenths is what trunc((M - m) x f) < |med - v| gives for the
// single-precision f = 0.1 x tenths and for the double 0.6.
void conditionalMedian(const std::uint16_t* in, std::uint16_t* out, int width, int radius, int tenths,
                       std::uint16_t min_cap, int first_row, int last_row);

}  // namespace qlm
