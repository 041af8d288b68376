#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "image/processing_frames.h"
#include "image/stacking.h"
#include "sim/sky_renderer.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using test::at;

// Frames of a simulated field: a few stars, one of them bright inside the profile window and one at
// (330, 250), the whole sky shifted by whole pixels.
class StackingTest : public ::testing::Test {
 protected:
  StackingTest()
      : sky(quietSky(), {sim::Star{250.0, 150.0, 250000.0}, sim::Star{330.0, 250.0, 150000.0},
                         sim::Star{120.0, 400.0, 90000.0}, sim::Star{520.0, 80.0, 60000.0}}) {
    resetStackState(state);
    resetCentroidState(centroid);
  }
  static sim::SkyConfig quietSky() {
    sim::SkyConfig c;
    c.seeing_jitter_px = 0.0;
    return c;
  }
  void shoot(Frame& f, double dx, double dy, std::uint64_t n, double scale = 1.0) {
    sim::RenderRequest r;
    r.width = kFrameWidth;
    r.height = 494;
    r.exposure_s = scale;
    r.shift_x_px = dx;
    r.shift_y_px = dy;
    r.frame = n;
    std::fill(f.begin(), f.end(), 0);
    sky.render(sim::mainHeadConfig(), r, f.data());
  }

  test::TestPlatform p;
  sim::SkyRenderer sky;
  StackState state;
  CentroidState centroid;
  std::unique_ptr<Frame> current = std::make_unique<Frame>();
  std::unique_ptr<Frame> stack = std::make_unique<Frame>();
};

TEST_F(StackingTest, AStarDroppingToAQuarterIsLostAndTheStackComesBack) {
  centroid.main.x = 330;
  centroid.main.y = 250;
  shoot(*current, 0, 0, 1);
  ASSERT_EQ(stackByStar(state, *current, *stack, 3, true, 8, centroid), kStackMerged);
  EXPECT_EQ((*stack)[at(250, 330)], (state.peak + 1) / 3);  // the running mean: rounded sum / N
  const Frame first_stack = *stack;
  shoot(*current, 0, 0, 2, 0.25);
  EXPECT_LT((*current)[at(250, 330)], 0.3 * state.peak);
  EXPECT_EQ(stackByStar(state, *current, *stack, 3, true, 8, centroid), kStackStarLost);
  EXPECT_TRUE(std::equal(current->begin(), current->begin() + kFrameElements, first_stack.begin()));
}

// The average is one rounded division of the wide sum: the running stack after k of N is sum / N, the
// finished one equals the float mean rounded everywhere, the edges the shifts uncover included.
TEST_F(StackingTest, TheAverageIsTheRoundedMeanOfTheSumsWithoutAnEdgeBand) {
  centroid.main.x = 330;
  centroid.main.y = 250;
  const int shifts[4][2] = {{0, 0}, {2, -1}, {3, 1}, {5, 2}};
  std::vector<float> mean(kFrameElements);
  for (int k = 0; k < 4; ++k) {
    shoot(*current, shifts[k][0], shifts[k][1], static_cast<std::uint64_t>(k + 1));
    ASSERT_EQ(stackByStar(state, *current, *stack, 4, true, 8, centroid), kStackMerged);
    if (k == 1) {
      stackFloatResult(state, false, mean.data());  // the sum of two frames so far
      EXPECT_EQ((*current)[at(300, 100)], std::lround(mean[at(300, 100)] / 4));
    }
  }
  EXPECT_EQ(state.star_x, 335);
  EXPECT_EQ(state.star_y, 252);
  stackFloatResult(state, true, mean.data());
  int differing = 0;
  for (int i = 0; i < kFrameElements; ++i)
    if ((*stack)[static_cast<std::size_t>(i)] != std::lround(mean[static_cast<std::size_t>(i)])) ++differing;
  EXPECT_EQ(differing, 0);
  // The sky in the columns the shifts uncovered (each covered by fewer frames) matches the rest.
  const double sky = mean[at(300, 100)];
  for (int col = 0; col < 8; ++col)
    EXPECT_NEAR(mean[at(300, col)], sky, 0.1 * sky) << "column " << col;
}

TEST_F(StackingTest, ProfileCorrelationFindsAWholePixelShiftAndAccumulatesIt) {
  shoot(*current, 0, 0, 1);
  ASSERT_EQ(stackByProfile(state, *current, *stack, 3, false), kStackMerged);
  EXPECT_EQ(state.origin, 0);
  const int first_peak = (*stack)[at(150, 250)];
  shoot(*current, 3, -2, 2);
  ASSERT_EQ(stackByProfile(state, *current, *stack, 3, false), kStackMerged);
  EXPECT_EQ(state.shift_x, 3);
  EXPECT_EQ(state.shift_y, -2);
  shoot(*current, 5, 1, 3);
  const int third_peak = (*current)[at(151, 255)];
  ASSERT_EQ(stackByProfile(state, *current, *stack, 3, false), kStackMerged);
  EXPECT_EQ(state.shift_x, 5);
  EXPECT_EQ(state.shift_y, 1);
  // The stack stays in the first frame's place and grows at the star.
  EXPECT_GT((*stack)[at(150, 250)], first_peak + third_peak / 2);
  EXPECT_EQ((*current)[at(150, 250)], (*stack)[at(150, 250)]);
}

TEST_F(StackingTest, ProfileCorrelationWithoutAStarGivesUpOrLosesIt) {
  test::fillUniform(*current, 2000);  // bin 7: a star must reach 2,800 in one of three windows
  (*current)[at(215, 250)] = 2799;    // seen by window o = 20 only, too faint
  EXPECT_EQ(stackByProfile(state, *current, *stack, 2, false), kStackNoStar);
  (*current)[at(215, 250)] = 2800;  // reached in window o = 20
  resetStackState(state);
  ASSERT_EQ(stackByProfile(state, *current, *stack, 2, false), kStackMerged);
  EXPECT_EQ(state.origin, 20);
  test::fillUniform(*current, 2000);  // nothing above the threshold: flat profiles
  EXPECT_EQ(stackByProfile(state, *current, *stack, 2, false), kStackStarLost);
}

}  // namespace
}  // namespace qlm
