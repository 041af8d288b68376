#include <gtest/gtest.h>

#include <vector>

#include "image/centroid.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// A width x height image filled with one value, with pixels set by (x, y).
class CentroidTest : public ::testing::Test {
 protected:
  test::TestPlatform platform;
  std::vector<std::uint16_t> image = std::vector<std::uint16_t>(660 * 500, 1000);
  void set(int x, int y, std::uint16_t v) { image[static_cast<std::size_t>(y * 660 + x)] = v; }
  CentroidResult measure(int x, int y, int r, CentroidForm form, int width = 660, int height = 500) {
    CentroidResult out{-1, -1, -1, -1};
    EXPECT_EQ(measureCentroid(image.data(), width, height, x, y, r, form, out), 0);
    return out;
  }
  std::size_t boxes() const { return platform.ui.callsOf("message").size(); }
};

TEST_F(CentroidTest, BackgroundIsTheModeBinTimes1664InSinglePrecision) {
  EXPECT_EQ(centroidBackground(0), 0);
  EXPECT_EQ(centroidBackground(10), 166);
  EXPECT_EQ(centroidBackground(100), 1664);  // 1663.9999 in double precision
  EXPECT_EQ(centroidBackground(255), 4243);
  EXPECT_EQ(centroidBackground(4095), 68140);  // wider than 16 bits, not wrapped
}

TEST_F(CentroidTest, ValuesAtTheBackgroundTakeNoPartOneAboveDoes) {
  // Mode bin 100 (1600..1615): B = 1664, so 1664 becomes 0 and 1665 becomes 1 (4 after the boost).
  std::fill(image.begin(), image.end(), 1600);
  set(100 - 4 + 6, 50 - 4 + 2, 1665);
  set(100 - 4 + 1, 50 - 4 + 7, 1664);
  const CentroidResult t = measure(100, 50, 4, CentroidForm::Tenths);
  // S = 1 + 4, Qx = 1 + 4 x 6, Qy = 1 + 4 x 2: cx = 5.0, cy = 1.8.
  EXPECT_EQ(t.x, 96 + 5);
  EXPECT_EQ(t.tx, 0);
  EXPECT_EQ(t.y, 46 + 1);
  EXPECT_EQ(t.ty, 8);
}

TEST_F(CentroidTest, FlatWindowGivesItsTopLeftCorner) {
  for (CentroidForm form : {CentroidForm::Tenths, CentroidForm::NearestPixel}) {
    const CentroidResult c = measure(200, 300, 8, form);
    EXPECT_EQ(c.x, 192);
    EXPECT_EQ(c.y, 292);
    EXPECT_EQ(c.tx, 0);
    EXPECT_EQ(c.ty, 0);
  }
}

TEST_F(CentroidTest, StarStraddlingTwoPixelsGivesTheTenthsAndTheNearestPixel) {
  // Background 1000 (bin 62, B = 1031); excesses 3000 and 1000, boosted to 12000 and 4000, mean 197.
  set(50, 40, 4031);
  set(51, 40, 2031);
  const CentroidResult t = measure(50, 40, 4, CentroidForm::Tenths);
  // cx = 66228 / 15607 = 4.24; cy = 62425 / 15607 = 3.9998 (the sums start at 1).
  EXPECT_EQ(t.x, 46 + 4);
  EXPECT_EQ(t.tx, 2);
  EXPECT_EQ(t.y, 36 + 3);
  EXPECT_EQ(t.ty, 9);
  const CentroidResult p = measure(50, 40, 4, CentroidForm::NearestPixel);
  EXPECT_EQ(p.x, 50);
  EXPECT_EQ(p.y, 40);
  EXPECT_EQ(p.tx, 0);
  EXPECT_EQ(p.ty, 0);
}

TEST_F(CentroidTest, BoostStopsAtAPeakOf17000AndSaturatesAt65535) {
  std::fill(image.begin(), image.end(), 0);
  set(300 - 4, 200, 16384);
  set(300 + 4, 200, 16999);
  // Boosted: both become 65535, equal weights: cx = 511337 / 127835 = 3.99998.
  CentroidResult t = measure(300, 200, 4, CentroidForm::Tenths);
  EXPECT_EQ(t.x, 296 + 3);
  EXPECT_EQ(t.tx, 9);
  set(300 + 4, 200, 17000);
  // Not boosted: weights 15972 and 16588: cx = 132705 / 32561 = 4.0756.
  t = measure(300, 200, 4, CentroidForm::Tenths);
  EXPECT_EQ(t.x, 296 + 4);
  EXPECT_EQ(t.tx, 0);
}

TEST_F(CentroidTest, SaturatedStarIsFoundAtItsMiddle) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -2; dx <= 2; ++dx)
      set(400 + dx, 100 + dy, 65535);
  set(400, 98, 30000);
  set(400, 102, 30000);
  // Symmetric about (400, 100); the sums starting at 1 put it a hair above and left of the middle.
  const CentroidResult p = measure(402, 97, 7, CentroidForm::NearestPixel);
  EXPECT_EQ(p.x, 400);
  EXPECT_EQ(p.y, 100);
  const CentroidResult t = measure(402, 97, 7, CentroidForm::Tenths);
  EXPECT_EQ(t.x, 399);
  EXPECT_EQ(t.tx, 9);
  EXPECT_EQ(t.y, 99);
  EXPECT_EQ(t.ty, 9);
}

TEST_F(CentroidTest, WindowMustFitTheImageElseTheBoxAndTheOldResult) {
  CentroidResult keep{7, 8, 1, 2};
  EXPECT_EQ(measureCentroid(image.data(), 660, 500, 8, 8, 8, CentroidForm::Tenths, keep), 0);  // x = r
  EXPECT_EQ(measureCentroid(image.data(), 660, 500, 651, 491, 8, CentroidForm::Tenths, keep), 0);
  EXPECT_EQ(boxes(), 0u);
  keep = {7, 8, 1, 2};
  for (auto [x, y] : {std::pair{7, 100}, {100, 7}, {652, 100}, {100, 492}}) {
    EXPECT_EQ(measureCentroid(image.data(), 660, 500, x, y, 8, CentroidForm::Tenths, keep), 1);
    EXPECT_EQ(keep.x, 7);
    EXPECT_EQ(keep.ty, 2);
  }
  // Radii beyond the 31 x 31 work window are refused rather than overrun it.
  EXPECT_EQ(measureCentroid(image.data(), 660, 500, 100, 100, 16, CentroidForm::Tenths, keep), 1);
  const auto calls = platform.ui.callsOf("message");
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].caption, "QLM_T8_USB  - Find Centre");
  EXPECT_EQ(calls[0].text, "Find centre failed - outside image area");
}

TEST_F(CentroidTest, FindCentreGeometryAndResultFollowTheGuidingState) {
  CentroidState state;
  set(480, 100, 20000);
  EXPECT_EQ(FindCentre(480, 100, image.data(), 4, {}, state), 0);  // the frame, nearest pixel, main result
  EXPECT_EQ(state.main.x, 480);
  CentreConditions guider;  // guider pick armed: a 500 x 290 image, tenths into the guider result
  guider.guider_pick_armed = true;
  EXPECT_EQ(FindCentre(495, 100, image.data(), 4, guider, state), 0);
  EXPECT_EQ(FindCentre(496, 100, image.data(), 4, guider, state), 1);
  EXPECT_EQ(state.main.x, 480);
  CentreConditions guiding;  // main guiding: 128 x 128, tenths unless drift below a pixel is ignored
  guiding.main_guiding_or_training = true;
  EXPECT_EQ(FindCentre(124, 100, image.data(), 4, guiding, state), 1);
  EXPECT_EQ(findCentreTarget(guiding).form, CentroidForm::Tenths);
  guiding.ignore_drift = true;
  EXPECT_EQ(findCentreTarget(guiding).form, CentroidForm::NearestPixel);
}

TEST_F(CentroidTest, FindGuiderCentreUsesTheGuiderImageAndTenths) {
  CentroidState state;
  std::vector<std::uint16_t> guider(500 * 290, 2560);
  guider[100 * 500 + 250] = 40000;
  guider[100 * 500 + 251] = 40000;
  EXPECT_EQ(FindGuiderCentre(250, 100, guider.data(), 4, state), 0);
  EXPECT_EQ(state.guider.x, 250);
  EXPECT_EQ(state.guider.tx, 4);  // 4.4999: halfway between the two, less the 1 in the sums
  EXPECT_EQ(state.main.x, 0);
  EXPECT_EQ(FindGuiderCentre(496, 100, guider.data(), 4, state), 1);
}

}  // namespace
}  // namespace qlm
