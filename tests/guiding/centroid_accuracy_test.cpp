#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "image/centroid.h"
#include "sim/sky_renderer.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// Star electrons for a signal-to-noise ratio: the star over the noise of star, sky, dark current and
// read-out within a radius of one FWHM.
double fluxForSnr(double snr, const sim::HeadConfig& head, const sim::SkyConfig& sky, double fwhm_px) {
  const double area = 3.14159265358979 * fwhm_px * fwhm_px;
  const double variance =
      sky.sky_background_e_per_s + head.dark_current_e_per_s + head.read_noise_e * head.read_noise_e;
  const double s2 = snr * snr;
  return (s2 + std::sqrt(s2 * s2 + 4.0 * s2 * area * variance)) / 2.0;
}

// The centroid's rms error per axis, in main-head pixels (x and y errors pooled), on simulated stars of one
// SNR placed at known positions.
double centroidRmsError(double snr, std::uint64_t seed) {
  sim::SkyConfig sky;
  sky.seeing_jitter_px = 0.0;
  sim::HeadConfig head = sim::mainHeadConfig();
  head.hot_pixel_count = 0;
  const double fwhm = sky.best_fwhm_px;
  const double flux = fluxForSnr(snr, head, sky, fwhm);
  std::vector<sim::Star> stars;
  std::uint64_t state = seed;
  auto uniform = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  for (int gy = 0; gy < 10; ++gy)
    for (int gx = 0; gx < 14; ++gx)
      stars.push_back({30.0 + gx * 45.0 + uniform(), 30.0 + gy * 45.0 + uniform(), flux});
  const sim::SkyRenderer renderer(sky, stars);
  sim::RenderRequest req;
  req.width = 660;
  req.height = 494;
  req.exposure_s = 1.0;
  req.frame = seed;
  std::vector<std::uint16_t> image(660 * 494);
  renderer.render(head, req, image.data());

  double sum_sq = 0.0;
  for (const sim::Star& s : stars) {
    CentroidResult c;
    const int x = static_cast<int>(std::lround(s.x_px));
    const int y = static_cast<int>(std::lround(s.y_px));
    EXPECT_EQ(measureCentroid(image.data(), 660, 494, x, y, 8, CentroidForm::Tenths, c), 0);
    const double dx = c.x + c.tx / 10.0 - s.x_px;
    const double dy = c.y + c.ty / 10.0 - s.y_px;
    sum_sq += dx * dx + dy * dy;
  }
  return std::sqrt(sum_sq / (2.0 * static_cast<double>(stars.size())));
}

TEST(CentroidAccuracyTest, ErrorAgainstTrueStarPositionsFallsWithSnr) {
  test::TestPlatform platform;
  const double at10 = centroidRmsError(10.0, 11);
  const double at30 = centroidRmsError(30.0, 12);
  const double at100 = centroidRmsError(100.0, 13);
  std::printf(
      "centroid rms error per axis (px, 140 stars, radius 8, tenths truncated): SNR 10 %.3f, SNR 30 %.3f, "
      "SNR 100 %.3f\n",
      at10, at30, at100);
  EXPECT_LT(at30, 0.1);
  EXPECT_LT(at100, at30);
  EXPECT_LT(at30, at10);
  EXPECT_TRUE(platform.ui.messageTexts().empty());
}

}  // namespace
}  // namespace qlm
