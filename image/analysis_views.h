#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "image/frame.h"
#include "image/raster.h"

namespace qlm {

using HistogramCounts = std::array<std::uint16_t, kHistogramBins>;

// Which analysis views are open. Row mode and photometry mode live with the main window's mouse modes.
struct AnalysisViews {
  bool histogram_open = false;
  bool plot3d_open = false;
};
AnalysisViews& analysisViews();
void resetAnalysisViews(AnalysisViews& v);

// ---- Histogram of display values ----

inline constexpr int kHistogramBarLimit = 210;  // tallest bar, pixels
inline constexpr int kHistogramListed = 15;     // cut bars listed as text at most
inline constexpr int kHistogramWidth = 400;     // client area the histogram dialog draws into
inline constexpr int kHistogramHeight = 280;

struct HistogramBar {
  int height = 0;    // pixels: count / 5, at most 210
  bool cut = false;  // count / 5 above 210: drawn with the warning pen
};
HistogramBar histogramBar(std::uint16_t count);

// "val         count \n" followed by "%04d  %9d \n" (value, bar height x 5) for the first 15 cut bars,
// lowest values first.
std::string histogramCutList(const HistogramCounts& counters);

// The display values' true counts over the area the background estimate reads (rows 6-489, columns
// 5-654): what the counters hold after a paint, without their 16-bit ceiling.
std::array<std::uint32_t, 256> trueDisplayCounts(const Frame& frame);

// The histogram picture: axes, tick marks, one bar per display value 0-255 and, with `with_list`, the
// cut list in the rectangle (270, 2)-(390, 270). A 400 x 280 raster on the dialog face.
Raster drawHistogram(const HistogramCounts& counters, bool with_list = true);

// ---- Intensity profile of one row ----

inline constexpr int kRowPlotWidth = 672;  // the plotting area (2, 2)-(668, 200) and a margin
inline constexpr int kRowPlotHeight = 204;
inline constexpr int kRowPlotStartRow = 250;

// The profile of frame row `row` (0-499): a polyline from (4, 198) through (j + 5, 198 - value / 384)
// for columns j = 0-659, in the white-filled plotting area.
Raster drawRowPlot(const Frame& frame, int row);

// ---- 3-D intensity plot ----

inline constexpr int k3dTraces = 128;
inline constexpr int k3dFirstTrace = 2;  // traces t = 2-129
inline constexpr int k3dWidth = 800;     // off-screen bitmap: the dialog's client size
inline constexpr int k3dHeight = 330;

// The frame row that trace t shows: 128 rows spread from row 8 to row 499, top of the frame at the back.
int plot3dRow(int t);
// Draws trace t (2-129) into `r`: the profile of its row across every column, starting at
// x0 = 136 - (t - 2) on baseline y = t + 186, y = baseline - value / 384; a segment uses the first pen
// where the value rises from the previous point, else the second.
void drawPlot3dTrace(Raster& r, const Frame& frame, int t);
// All 128 traces on white.
Raster drawPlot3d(const Frame& frame);

}  // namespace qlm
