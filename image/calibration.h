#pragma once
#include <array>

#include "image/frame.h"
#include "platform/ui.h"

namespace qlm {

// History texts of the corrections.
inline constexpr const char* kDarkHistory = "Dark Frame Subtracted";
inline constexpr const char* kFlatHistory = "Flat Field Applied";     // interactive
inline constexpr const char* kAutoFlatHistory = "Flatfield Applied";  // automatic, during capture

// Dark subtraction: each of the 330,000 elements (the label band included) becomes element - dark
// when dark < element, else 0.
void subtractDark(Frame& image, const Frame& dark);

// The flat's mean F: the sum of rows 10-19, columns 5-504 (5,000 elements) times 0.0002.
double flatMean(const Frame& flat);

// A flat made ready for fielding many frames: its mean F and, per element, F / f in single precision
// (not a number where f is 0). Fielding with it gives exactly what the double-precision rule gives:
// where the single-precision result lies too close to a whole number, the element is worked out again
// from the flat itself.
struct PreparedFlat {
  double mean = 0.0;
  std::array<float, kFrameElements> factor{};
};
void prepareFlat(const Frame& flat, PreparedFlat& prepared);

// Flat fielding of rows first_row..last_row (inclusive), columns 3-659, with v the image element, f
// the flat element and F its mean: x = v / f x F (double precision), x = F where f = v = 0, x = v where
// only f is 0; the element becomes 65535 when x >= 65535, else trunc(x). Columns 0-2 stay. `prepared`
// must have been prepared from `flat`.
void flatFieldRows(Frame& image, const Frame& flat, const PreparedFlat& prepared, int first_row,
                   int last_row);

// The row code flat fielding runs: the widest vector code the processor has (the start-up choice), a
// narrower one, or plain code. All give the same result; tests and benchmarks compare them. False,
// and no change, when the processor lacks the code asked for.
enum class FlatCode { Best, Avx512, Avx2, Plain };
bool selectFlatCode(FlatCode code);

// Automatic flat fielding during capture: rows 2 to 498, no progress window.
void autoFlatField(Frame& image, const Frame& flat, const PreparedFlat& prepared);
// The same, preparing the flat first.
void autoFlatField(Frame& image, const Frame& flat);
// Interactive flat fielding: rows 11 (labelled image) or 7 to 499 under the "FLAT FIELD PROGRESS"
// progress window, whose bar starts at 10 and advances by 1 per row. No undo snapshot, no history.
void interactiveFlatField(Frame& image, const Frame& flat, Ui& ui);

// Merging of two images aligned on marks: every base element (row i from s to 499, column j) whose
// partner (i + dy, j + dx) of `merge` satisfies s < i + dy < 500 and 0 < j + dx < 660 becomes
// (m + o) >> 1 with `average`, else min(m + o, 65535); others keep the base value. s = 10 when either
// image carries the label marker, else 0. `base` and `merge` must be different buffers.
void mergeImages(Frame& base, const Frame& merge, int dx, int dy, bool average);

}  // namespace qlm
