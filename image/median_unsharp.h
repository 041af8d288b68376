#pragma once
#include <string>

#include "image/frame.h"

namespace qlm {

// Window sizes of the median filter by radius 1-3.
inline constexpr int kMedianWindow[4] = {1, 9, 25, 49};

// The conditional median on explicit buffers (radius 1-3, power 1-10 in tenths): undo snapshot,
// "MEDIAN FILTER PROGRESS" bar (row / 4, row / 2 when `binned`), and for every element at least
// `radius` from the edges (below the label band's `radius` rows on a labelled frame): with M the
// window maximum, m its minimum but at most 65000 and med its median, the element becomes med when
// it differs from med by more than trunc((M - m) x power / 10). `second` is the scratch frame.
void medianFilterFrame(int radius, int power, bool binned, Frame& current, Frame& second, Frame& undo);

// The unsharp mask on explicit buffers (radius 1-7, power 1-7): "UNSHARP MASK PROGRESS" bar, undo
// snapshot, and every element at least `radius` from the edges (below the label band's `radius` rows
// on a labelled frame) becomes v + (v - box mean) x power, saturated (above 65,280 gives 65535).
void unsharpMaskFrame(int radius, int power, Frame& current, Frame& second, Frame& undo);

// History texts.
std::string medianFilterText(int radius, int power);
std::string unsharpMaskText(int radius, int power);

// Commands on the program-wide buffers, with the wait cursor and the history text.
void medianFilter(int radius, int power);  // refreshes
// `automatic`: run by auto-processing, which refreshes once at its end.
void unsharpMask(int radius, int power, bool automatic);

// The menu commands: panels "Median Filter" and "Unsharp Mask Filter"; Cancel does nothing.
void medianFilterCommand();
void unsharpMaskCommand();

}  // namespace qlm
