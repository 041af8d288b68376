#include "image/analysis_views.h"

#include <cstdio>

namespace qlm {

namespace {
constexpr int kAxisLeft = 5;
constexpr int kAxisTop = 5;
constexpr int kAxisBottom = 213;
constexpr int kAxisRight = 263;
constexpr int kBarBase = 210;
constexpr int kBarX = 8;  // x of display value 0
constexpr int kCountPerPixel = 5;
constexpr int kValuePerPixel = 384;  // 65535 / 384 = 170 pixels of full scale
constexpr int kRowBaseline = 198;
}  // namespace

AnalysisViews& analysisViews() {
  static AnalysisViews v;
  return v;
}

void resetAnalysisViews(AnalysisViews& v) {
  v = AnalysisViews{};
}

HistogramBar histogramBar(std::uint16_t count) {
  const int h = count / kCountPerPixel;
  if (h > kHistogramBarLimit) return {kHistogramBarLimit, true};
  return {h, false};
}

std::string histogramCutList(const HistogramCounts& counters) {
  std::string text = "val         count \n";
  int listed = 0;
  for (int i = 0; i < 256 && listed < kHistogramListed; ++i) {
    if (!histogramBar(counters[static_cast<std::size_t>(i)]).cut) continue;
    char line[40];
    std::snprintf(line, sizeof line, "%04d  %9d \n", i,
                  counters[static_cast<std::size_t>(i)] / kCountPerPixel * 5);
    text += line;
    ++listed;
  }
  return text;
}

std::array<std::uint32_t, 256> trueDisplayCounts(const Frame& frame) {
  std::array<std::uint32_t, 256> counts{};
  for (int row = 6; row <= 489; ++row) {
    const std::uint16_t* line = frame.data() + static_cast<std::size_t>(row) * kFrameWidth;
    for (int column = 5; column <= 654; ++column)
      ++counts[line[column] >> 8];
  }
  return counts;
}

Raster drawHistogram(const HistogramCounts& counters, bool with_list) {
  Raster r(kHistogramWidth, kHistogramHeight, kDialogFace);
  PenPath path(r);
  path.moveTo(kAxisLeft, kAxisTop);
  path.lineTo(kAxisLeft, kAxisBottom, kFirstPen);
  path.lineTo(kAxisRight, kAxisBottom, kFirstPen);
  for (int x = 40; x <= 264; x += 32) {
    const int length = (x == 72 || x == 200) ? 7 : (x == 136 ? 11 : 4);
    drawLine(r, x, kAxisBottom, x, kAxisBottom + length, kFirstPen);
  }
  for (int i = 0; i < 256; ++i) {
    const HistogramBar bar = histogramBar(counters[static_cast<std::size_t>(i)]);
    drawLine(r, i + kBarX, kBarBase, i + kBarX, kBarBase - bar.height, bar.cut ? kSecondPen : kFirstPen);
  }
  if (with_list) drawText(r, 270, 2, 390, 270, histogramCutList(counters), kBlack);
  return r;
}

Raster drawRowPlot(const Frame& frame, int row) {
  Raster r(kRowPlotWidth, kRowPlotHeight, kDialogFace);
  r.rectangle(2, 2, 668, 200, kBlack, kWhite);
  PenPath path(r);
  path.moveTo(4, kRowBaseline);
  const std::uint16_t* values = frame.data() + static_cast<std::size_t>(row) * kFrameWidth;
  for (int j = 0; j < kFrameWidth; ++j)
    path.lineTo(j + 5, kRowBaseline - values[j] / kValuePerPixel, kFirstPen);
  return r;
}

int plot3dRow(int t) {
  const int k = t - k3dFirstTrace;
  return 8 + k * (kLastRow - 8) / (k3dTraces - 1);
}

void drawPlot3dTrace(Raster& r, const Frame& frame, int t) {
  const int x0 = 136 - (t - k3dFirstTrace);
  const int baseline = t + 186;
  const std::uint16_t* values = frame.data() + static_cast<std::size_t>(plot3dRow(t)) * kFrameWidth;
  PenPath path(r);
  path.moveTo(x0, baseline - values[0] / kValuePerPixel);
  for (int s = 1; s < kFrameWidth; ++s)
    path.lineTo(x0 + s, baseline - values[s] / kValuePerPixel,
                values[s] > values[s - 1] ? kFirstPen : kSecondPen);
}

Raster drawPlot3d(const Frame& frame) {
  Raster r(k3dWidth, k3dHeight, kWhite);
  for (int t = k3dFirstTrace; t < k3dFirstTrace + k3dTraces; ++t)
    drawPlot3dTrace(r, frame, t);
  return r;
}

}  // namespace qlm
