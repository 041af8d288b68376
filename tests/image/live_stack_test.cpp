#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "image/live_stack.h"
#include "sim/sky_renderer.h"

namespace qlm {
namespace {

// Frames of the simulated sky drifting by whole and part pixels; one badly out of focus.
class LiveStackTest : public ::testing::Test {
 protected:
  std::unique_ptr<Frame> shoot(double dx, double dy, std::uint64_t n, double focuser = 5000.0) {
    auto f = std::make_unique<Frame>();
    f->fill(0);
    sim::RenderRequest r;
    r.width = kFrameWidth;
    r.height = 494;
    r.exposure_s = 2.0;
    r.shift_x_px = dx;
    r.shift_y_px = dy;
    r.frame = n;
    r.focuser_steps = focuser;
    sky.render(sim::mainHeadConfig(), r, f->data() + 6 * kFrameWidth);
    return f;
  }
  const sim::SkyRenderer sky;
  LiveStack live;
};

TEST_F(LiveStackTest, AlignsOnTheStarRejectsABlurredFrameAndGrowsTheSnr) {
  const auto first = shoot(0, 0, 1);
  ASSERT_TRUE(live.add(first->data()).added);
  const double one = live.snr();
  const auto [x0, y0] = live.starPosition();
  double sum_at_star = (*first)[static_cast<std::size_t>(std::lround(y0)) * kFrameWidth +
                                static_cast<std::size_t>(std::lround(x0))];
  for (int k = 1; k < 4; ++k) {
    const auto f = shoot(2.0 * k, -1.0 * k, static_cast<std::uint64_t>(k + 1));
    const LiveStack::Verdict v = live.add(f->data());
    ASSERT_TRUE(v.added) << v.reason;
    EXPECT_NEAR(v.hfr, 1.3, 0.15);
    sum_at_star += (*f)[static_cast<std::size_t>(std::lround(y0) - k) * kFrameWidth +
                        static_cast<std::size_t>(std::lround(x0) + 2 * k)];
  }
  // The mean at the star is the mean of the frames' values where the star stood in each.
  const std::size_t at =
      static_cast<std::size_t>(std::lround(y0)) * kFrameWidth + static_cast<std::size_t>(std::lround(x0));
  EXPECT_NEAR(live.mean()[at], sum_at_star / 4, 1e-3);
  EXPECT_GT(live.snr(), 1.6 * one);  // four frames: about twice the signal-to-noise of one

  const LiveStack::Verdict blurred = live.add(shoot(8, -4, 9, 5800.0)->data());
  EXPECT_FALSE(blurred.added);
  EXPECT_EQ(blurred.reason.rfind("hfr ", 0), 0u) << blurred.reason;
  EXPECT_EQ(live.added(), 4);
  EXPECT_EQ(live.rejected(), 1);
  const std::vector<std::uint8_t> shown = autoStretch(live.mean());
  EXPECT_EQ(shown[at], 255);  // the star is the white point
}

}  // namespace
}  // namespace qlm
