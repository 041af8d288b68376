#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "image/analysis_views.h"

namespace qlm {
namespace {

// Counts of the cut edge: 1,055 / 5 = 211 is cut, 1,054 / 5 = 210 is not.
TEST(HistogramTest, CutStartsAt1055CountsAndBarsSitAtTheirCoordinates) {
  HistogramCounts c{};
  c[0] = 1054;
  c[1] = 1055;
  c[2] = 12;  // 2 pixels
  const Raster r = drawHistogram(c, false);
  // Value 0 at x = 8: a full 210-pixel bar in the first pen, y = 210 up to 1, nothing at y = 0.
  EXPECT_EQ(r.at(8, 210), kFirstPen);
  EXPECT_EQ(r.at(8, 1), kFirstPen);
  EXPECT_EQ(r.at(8, 0), kDialogFace);
  // Value 1 at x = 9: cut to 210 and drawn in the warning pen.
  EXPECT_EQ(r.at(9, 1), kSecondPen);
  EXPECT_EQ(r.at(9, 210), kSecondPen);
  // Value 2: two pixels tall.
  EXPECT_EQ(r.at(10, 209), kFirstPen);
  EXPECT_EQ(r.at(10, 208), kDialogFace);
  // Empty values draw nothing; the axes run (5, 5)-(5, 213)-(263, 213).
  EXPECT_EQ(r.at(11, 210), kDialogFace);
  EXPECT_EQ(r.at(5, 5), kFirstPen);
  EXPECT_EQ(r.at(5, 4), kDialogFace);
  EXPECT_EQ(r.at(5, 213), kFirstPen);
  EXPECT_EQ(r.at(264, 213), kFirstPen);  // the last tick mark, beyond the axis end
  EXPECT_EQ(r.at(263, 213), kDialogFace);
  // Ticks below the axis: 11 pixels at 136, 7 at 72 and 200, 4 elsewhere.
  EXPECT_EQ(r.at(136, 223), kFirstPen);
  EXPECT_EQ(r.at(136, 224), kDialogFace);
  EXPECT_EQ(r.at(72, 219), kFirstPen);
  EXPECT_EQ(r.at(72, 220), kDialogFace);
  EXPECT_EQ(r.at(104, 216), kFirstPen);
  EXPECT_EQ(r.at(104, 217), kDialogFace);
  EXPECT_EQ(r.at(56, 214), kDialogFace);  // no tick between the 32-pixel marks
}

TEST(HistogramTest, ListsAtMostFifteenCutValuesLowestFirst) {
  HistogramCounts c{};
  for (int v = 255; v >= 100; v -= 5)
    c[static_cast<std::size_t>(v)] = 60000;
  c[3] = 1057;    // listed as 1,055: the bar height times 5
  c[4] = 1054;    // not cut, not listed
  c[256] = 9999;  // the 257th counter is no display value
  const std::string list = histogramCutList(c);
  std::string expected = "val         count \n0003       1055 \n";
  for (int v = 100; v < 100 + 14 * 5; v += 5) {
    char line[40];
    std::snprintf(line, sizeof line, "%04d  %9d \n", v, 60000);
    expected += line;
  }
  EXPECT_EQ(list, expected);
  EXPECT_EQ(histogramCutList(HistogramCounts{}), "val         count \n");
  // The list is drawn in the rectangle right of the bars, never over them.
  const Raster with = drawHistogram(c, true);
  const Raster without = drawHistogram(c, false);
  int differing = 0;
  for (int y = 0; y < with.height(); ++y)
    for (int x = 0; x < with.width(); ++x)
      if (with.at(x, y) != without.at(x, y)) {
        ++differing;
        EXPECT_TRUE(x >= 270 && x < 390 && y >= 2 && y < 270) << x << "," << y;
      }
  EXPECT_GT(differing, 200);
}

class FramePlotTest : public ::testing::Test {
 protected:
  FramePlotTest() { frame->fill(0); }
  std::unique_ptr<Frame> frame = std::make_unique<Frame>();
  void set(int x, int y, std::uint16_t v) { (*frame)[static_cast<std::size_t>(y) * kFrameWidth + x] = v; }
};

TEST_F(FramePlotTest, RowPlotFollowsTheChosenRowInsideTheWhiteArea) {
  set(100, 40, 65535);  // full scale reaches y = 198 - 170 = 28
  set(200, 40, 3839);   // 3839 / 384 = 9
  set(100, 41, 65535);  // another row: not drawn
  const Raster r = drawRowPlot(*frame, 40);
  EXPECT_EQ(r.at(2, 2), kBlack);  // rectangle border
  EXPECT_EQ(r.at(667, 199), kBlack);
  EXPECT_EQ(r.at(668, 100), kDialogFace);
  EXPECT_EQ(r.at(3, 3), kWhite);
  EXPECT_EQ(r.at(4, 198), kFirstPen);   // start of the polyline
  EXPECT_EQ(r.at(5, 198), kFirstPen);   // column 0
  EXPECT_EQ(r.at(105, 28), kFirstPen);  // column 100 peak
  EXPECT_EQ(r.at(105, 27), kWhite);
  EXPECT_EQ(r.at(205, 189), kFirstPen);
  EXPECT_EQ(r.at(205, 188), kWhite);
  EXPECT_EQ(r.at(663, 198), kFirstPen);  // the last segment ends short of column 659's point
  EXPECT_EQ(r.at(300, 197), kWhite);
  const Raster other = drawRowPlot(*frame, 41);
  EXPECT_EQ(other.at(205, 189), kWhite);
  EXPECT_EQ(other.at(105, 28), kFirstPen);
}

TEST_F(FramePlotTest, ThreeDTracesStepLeftAndDownAndColourByDirection) {
  for (int t = k3dFirstTrace; t < k3dFirstTrace + k3dTraces; ++t) {
    EXPECT_GE(plot3dRow(t), 0);
    EXPECT_LE(plot3dRow(t), kLastRow);
    if (t > k3dFirstTrace) {
      EXPECT_GT(plot3dRow(t), plot3dRow(t - 1));
    }
  }
  EXPECT_EQ(plot3dRow(2), 8);
  EXPECT_EQ(plot3dRow(129), 499);
  // A rise of 10 pixels at column 50 of the first trace's row, then back down at column 52.
  const int row = plot3dRow(2);
  set(51, row, 3840);
  Raster r(k3dWidth, k3dHeight, kWhite);
  drawPlot3dTrace(r, *frame, 2);
  const int x0 = 136;
  const int base = 188;
  EXPECT_EQ(r.at(x0, base), kSecondPen);            // flat start: not rising
  EXPECT_EQ(r.at(x0 + 50, base), kFirstPen);        // rising segment from column 50 to 51
  EXPECT_EQ(r.at(x0 + 51, base - 10), kSecondPen);  // falling segment from column 51 to 52
  EXPECT_EQ(r.at(x0 + 51, base - 11), kWhite);
  Raster last(k3dWidth, k3dHeight, kWhite);
  drawPlot3dTrace(last, *frame, 129);
  EXPECT_EQ(last.at(9, 315), kSecondPen);  // the front trace: one pixel left and down per trace
  EXPECT_EQ(last.at(8, 315), kWhite);
}

}  // namespace
}  // namespace qlm
