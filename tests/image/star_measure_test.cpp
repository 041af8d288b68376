#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "image/star_measure.h"
#include "sim/sky_renderer.h"

namespace qlm {
namespace {

// One isolated star on the simulated main head, rendered with noise into a 128 x 128 window.
class StarMeasureTest : public ::testing::Test {
 protected:
  StarMeasureTest() : sky(sim::SkyConfig{}, {sim::Star{364.3, 246.6, 60000.0}}) { head.hot_pixel_count = 0; }

  std::vector<std::uint16_t> render(double focuser, std::uint64_t frame, double seconds = 0.5) const {
    sim::RenderRequest req;
    req.x0 = 300;
    req.y0 = 180;
    req.width = 128;
    req.height = 128;
    req.exposure_s = seconds;
    req.focuser_steps = focuser;
    req.frame = frame;
    std::vector<std::uint16_t> img(128 * 128);
    sky.render(head, req, img.data());
    return img;
  }

  sim::SkyRenderer sky;
  sim::HeadConfig head = sim::mainHeadConfig();
};

TEST_F(StarMeasureTest, HfrAndFwhmAgreeWithTheSimulatorsWidth) {
  const double best = sky.config().best_focus_steps;
  for (const double focuser : {best, best + 250.0, best - 600.0}) {
    const double truth = sky.fwhmHeadPx(head, focuser);
    for (std::uint64_t frame = 1; frame <= 3; ++frame) {
      const auto img = render(focuser, frame);
      const auto m = measureStar(img.data(), 128, 128, 60, 70);
      ASSERT_TRUE(m.has_value());
      // The star stands well clear of its noise: signal to noise of 50 or better.
      // (electrons: 1.5 per count; read noise 12, sky 20 per pixel, within two FWHM of the centre)
      const double electrons = m->flux * 1.5;
      const double r = 2.0 * truth;
      ASSERT_GE(electrons / std::sqrt(electrons + M_PI * r * r * (12.0 * 12.0 + 20.0)), 50.0);
      EXPECT_NEAR(m->fwhm, truth, 0.05 * truth) << "focuser " << focuser;
      // A Gaussian holds half its light within half its FWHM.
      EXPECT_NEAR(2.0 * m->hfr, truth, 0.05 * truth) << "focuser " << focuser;
      EXPECT_NEAR(m->x, 64.3, 0.5);  // the seeing wanders the star a little
      EXPECT_NEAR(m->y, 66.6, 0.5);
    }
  }
}

// A star 100 times brighter 30 (or 12) pixels away: its light is masked, so the faint star's HFR and FWHM
// stay those of the star alone.
TEST_F(StarMeasureTest, ABrightNeighbourDoesNotWidenTheStar) {
  const double truth = sky.fwhmHeadPx(head, sky.config().best_focus_steps);
  for (const auto& [nx, ny] : {std::pair{30.0, 0.0}, std::pair{-21.2, 21.2}, std::pair{0.0, -12.0}}) {
    const sim::SkyRenderer pair(
        sim::SkyConfig{}, {sim::Star{364.3, 246.6, 2000.0}, sim::Star{364.3 + nx, 246.6 + ny, 200000.0}});
    sim::RenderRequest req;
    req.x0 = 300;
    req.y0 = 180;
    req.width = 128;
    req.height = 128;
    req.exposure_s = 2.0;
    req.frame = 4;
    std::vector<std::uint16_t> img(128 * 128);
    pair.render(head, req, img.data());
    const auto m = measureStar(img.data(), 128, 128, 64, 67);
    ASSERT_TRUE(m.has_value());
    EXPECT_NEAR(m->x, 64.3, 0.5);
    EXPECT_NEAR(2.0 * m->hfr, truth, 0.1 * truth) << "neighbour at " << nx << "," << ny;
    EXPECT_NEAR(m->fwhm, truth, 0.1 * truth);
  }
}

// Only sky noise, or a lone hot pixel, in the window: no star, not a measure of the noise.
TEST_F(StarMeasureTest, NoStarWhereNothingStandsAboveTheSky) {
  const sim::SkyRenderer empty(sim::SkyConfig{}, {});
  head.hot_pixel_count = 12;
  sim::RenderRequest req;
  req.width = 660;
  req.height = 494;
  req.exposure_s = 3.0;
  std::vector<std::uint16_t> img(660 * 494);
  empty.render(head, req, img.data());
  for (int y = 20; y < 480; y += 23)
    for (int x = 20; x < 640; x += 31)
      EXPECT_FALSE(measureStar(img.data(), 660, 494, x, y).has_value()) << x << "," << y;
  for (const auto& [hx, hy] : empty.hotPixels(head))
    EXPECT_FALSE(measureStar(img.data(), 660, 494, hx, hy).has_value()) << "hot pixel " << hx << "," << hy;
  EXPECT_FALSE(brightestStar(img.data(), 660, 494, 10).has_value());
}

TEST(StarMeasureEdgeTest, NoStarInAFlatImageOrAtTheEdge) {
  std::vector<std::uint16_t> flat(64 * 64, 1000);
  EXPECT_FALSE(measureStar(flat.data(), 64, 64, 32, 32).has_value());
  std::vector<std::uint16_t> edge(64 * 64, 1000);
  edge[1 * 64 + 1] = 30000;
  EXPECT_FALSE(measureStar(edge.data(), 64, 64, 2, 2).has_value());
}

}  // namespace
}  // namespace qlm
