#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sim/sky_renderer.h"

namespace qlm::sim {
namespace {

// A quiet head: no hot pixels, so a window holds only background and stars.
HeadConfig quietHead(HeadConfig h = mainHeadConfig()) {
  h.hot_pixel_count = 0;
  return h;
}

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint16_t> v;
  int at(int x, int y) const { return v[static_cast<std::size_t>(y * width + x)]; }
};

Image render(const SkyRenderer& sky, const HeadConfig& head, RenderRequest req) {
  Image img{req.width / req.hbin, req.height / req.vbin, {}};
  img.v.assign(static_cast<std::size_t>(img.width * img.height), 0);
  sky.render(head, req, img.v.data());
  return img;
}

RenderRequest window(int x0, int y0, int w, int h, double seconds, bool noise = false) {
  RenderRequest r;
  r.x0 = x0;
  r.y0 = y0;
  r.width = w;
  r.height = h;
  r.exposure_s = seconds;
  r.noise = noise;
  return r;
}

// Background-subtracted first moment of an image; the background is its corner pixel.
struct Centroid {
  double x = 0.0;
  double y = 0.0;
  double flux = 0.0;
};

Centroid centroid(const Image& img) {
  const double bg = img.at(0, 0);
  Centroid c;
  for (int y = 0; y < img.height; ++y) {
    for (int x = 0; x < img.width; ++x) {
      const double s = img.at(x, y) - bg;
      c.x += s * x;
      c.y += s * y;
      c.flux += s;
    }
  }
  c.x /= c.flux;
  c.y /= c.flux;
  return c;
}

SkyRenderer oneStar(double x, double y, double flux = 200000.0) {
  return SkyRenderer(SkyConfig{}, {Star{x, y, flux}});
}

TEST(SkyRendererTest, SameSeedGivesTheSameFrame) {
  const SkyRenderer a;
  const SkyRenderer b;
  RenderRequest req = window(0, 0, 660, 494, 1.0, true);
  req.frame = 4;
  const Image first = render(a, mainHeadConfig(), req);
  EXPECT_EQ(first.v, render(b, mainHeadConfig(), req).v);
  req.frame = 5;
  EXPECT_NE(first.v, render(a, mainHeadConfig(), req).v);  // the next frame has new noise

  SkyConfig other;
  other.seed += 1;
  ASSERT_GT(SkyRenderer(other).stars().size(), 5u);
  EXPECT_NE(SkyRenderer(other).stars()[5].x_px, a.stars()[5].x_px);
}

TEST(SkyRendererTest, FluxGrowsWithExposure) {
  const SkyRenderer sky = oneStar(40.0, 40.0);
  double previous = 0.0;
  for (double t : {0.25, 0.5, 1.0, 2.0}) {
    const double flux = centroid(render(sky, quietHead(), window(20, 20, 41, 41, t))).flux;
    EXPECT_GT(flux, previous * 1.9) << t;
    previous = flux;
  }
  // With noise the growth holds as well.
  const double short_noisy = centroid(render(sky, quietHead(), window(20, 20, 41, 41, 0.5, true))).flux;
  const double long_noisy = centroid(render(sky, quietHead(), window(20, 20, 41, 41, 2.0, true))).flux;
  EXPECT_GT(long_noisy, 3.0 * short_noisy);
}

TEST(SkyRendererTest, StarProfileIsSymmetric) {
  const Image img = render(oneStar(100.0, 80.0), quietHead(), window(90, 70, 21, 21, 1.0));
  for (int d = 1; d <= 6; ++d) {
    EXPECT_EQ(img.at(10 - d, 10), img.at(10 + d, 10));
    EXPECT_EQ(img.at(10, 10 - d), img.at(10, 10 + d));
    EXPECT_EQ(img.at(10 - d, 10 - d), img.at(10 + d, 10 + d));
    EXPECT_EQ(img.at(10 + d, 10), img.at(10, 10 + d));
    EXPECT_GT(img.at(10, 10), img.at(10 + d, 10));
  }
}

TEST(SkyRendererTest, SaturationClampsAt65535) {
  const Image img = render(oneStar(30.0, 30.0, 1e10), quietHead(), window(20, 20, 21, 21, 10.0, true));
  EXPECT_EQ(*std::max_element(img.v.begin(), img.v.end()), 65535);
  // A clamped star never wraps round to small values.
  EXPECT_GE(*std::min_element(img.v.begin(), img.v.end()), 800);
}

class SubPixelTest : public ::testing::TestWithParam<double> {};

TEST_P(SubPixelTest, CentroidMovesByTheFraction) {
  const double dx = GetParam();
  const Centroid base = centroid(render(oneStar(60.0, 50.0), quietHead(), window(45, 35, 31, 31, 1.0)));
  const Centroid moved =
      centroid(render(oneStar(60.0 + dx, 50.0 - dx / 2), quietHead(), window(45, 35, 31, 31, 1.0)));
  EXPECT_NEAR(moved.x - base.x, dx, 0.01);
  EXPECT_NEAR(moved.y - base.y, -dx / 2, 0.01);
  EXPECT_NEAR(base.x, 15.0, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Fractions, SubPixelTest, ::testing::Values(0.1, 0.25, 0.5, 0.8));

TEST(SkyRendererTest, FocuserWidensTheMainHeadStarsOnly) {
  const SkyRenderer sky = oneStar(100.0, 80.0);
  const double best = sky.config().best_focus_steps;
  EXPECT_DOUBLE_EQ(sky.fwhmHeadPx(mainHeadConfig(), best), sky.config().best_fwhm_px);
  EXPECT_GT(sky.fwhmHeadPx(mainHeadConfig(), best + 500), sky.fwhmHeadPx(mainHeadConfig(), best + 100));
  EXPECT_DOUBLE_EQ(sky.fwhmHeadPx(mainHeadConfig(), best - 300),
                   sky.fwhmHeadPx(mainHeadConfig(), best + 300));
  EXPECT_DOUBLE_EQ(sky.fwhmHeadPx(guiderHeadConfig(), best + 500), sky.fwhmHeadPx(guiderHeadConfig(), best));

  RenderRequest req = window(80, 60, 41, 41, 1.0);
  req.focuser_steps = best;
  const Image sharp = render(sky, quietHead(), req);
  req.focuser_steps = best + 800;
  const Image blurred = render(sky, quietHead(), req);
  EXPECT_GT(sharp.at(20, 20), 2 * blurred.at(20, 20));
  EXPECT_NEAR(centroid(sharp).flux, centroid(blurred).flux, centroid(sharp).flux * 0.01);  // same light
}

TEST(SkyRendererTest, BinningAddsTheChargeOfEachBlock) {
  const SkyRenderer sky = oneStar(41.3, 40.6);
  const HeadConfig head = quietHead();
  const Image full = render(sky, head, window(30, 30, 24, 24, 1.0));
  RenderRequest req = window(30, 30, 24, 24, 1.0);
  req.hbin = 2;
  req.vbin = 2;
  const Image binned = render(sky, head, req);
  ASSERT_EQ(binned.width, 12);
  const double bias = head.bias_adu;
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 12; ++x) {
      const double sum = full.at(2 * x, 2 * y) + full.at(2 * x + 1, 2 * y) + full.at(2 * x, 2 * y + 1) +
                         full.at(2 * x + 1, 2 * y + 1) - 4 * bias;
      EXPECT_NEAR(binned.at(x, y) - bias, sum, 2.5) << x << "," << y;  // one rounding per pixel
    }
  }
}

TEST(SkyRendererTest, ImageShiftMovesBothHeadsAlike) {
  SkyConfig config;
  config.seeing_jitter_px = 0.0;
  const SkyRenderer sky(config, {Star{300.0, 200.0, 300000.0}});
  const HeadConfig guider = quietHead(guiderHeadConfig());
  const HeadPoint g0 = sky.skyToHead(guider, 300.0, 200.0);
  const int gx = static_cast<int>(std::lround(g0.x)) - 15;
  const int gy = static_cast<int>(std::lround(g0.y)) - 15;

  RenderRequest main_req = window(285, 185, 31, 31, 1.0);
  RenderRequest guider_req = window(gx, gy, 31, 31, 1.0);
  const Centroid m0 = centroid(render(sky, quietHead(), main_req));
  const Centroid c0 = centroid(render(sky, guider, guider_req));
  main_req.shift_x_px = guider_req.shift_x_px = 4.0;
  main_req.shift_y_px = guider_req.shift_y_px = -2.5;
  const Centroid m1 = centroid(render(sky, quietHead(), main_req));
  const Centroid c1 = centroid(render(sky, guider, guider_req));
  EXPECT_NEAR(m1.x - m0.x, 4.0, 0.01);
  EXPECT_NEAR(m1.y - m0.y, -2.5, 0.01);
  const HeadPoint g1 = sky.skyToHead(guider, 304.0, 197.5);
  EXPECT_NEAR(c1.x - c0.x, g1.x - g0.x, 0.02);
  EXPECT_NEAR(c1.y - c0.y, g1.y - g0.y, 0.02);
  EXPECT_NEAR(std::hypot(g1.x - g0.x, g1.y - g0.y), std::hypot(4.0, 2.5) / guider.scale, 1e-9);
}

TEST(SkyRendererTest, PixelsBeyondTheSensorCollectNoLight) {
  const SkyRenderer sky = oneStar(659.0, 100.0, 1e6);
  const HeadConfig head = quietHead();
  const Image img = render(sky, head, window(640, 90, 40, 20, 1.0));
  const int bias = static_cast<int>(head.bias_adu);
  for (int y = 0; y < 20; ++y)
    for (int x = 20; x < 40; ++x)
      EXPECT_EQ(img.at(x, y), bias) << x;  // columns 660 and beyond
  EXPECT_GT(img.at(19, 10), 5000);         // the star on the last column
}

TEST(SkyRendererTest, HotPixelsShineInTheDark) {
  SkyConfig config;
  config.star_count = 0;
  config.bright_star_at_centre = false;
  const SkyRenderer sky(config);
  const HeadConfig head = mainHeadConfig();
  const auto hot = sky.hotPixels(head);
  ASSERT_EQ(hot.size(), static_cast<std::size_t>(head.hot_pixel_count));
  EXPECT_EQ(hot, SkyRenderer(config).hotPixels(head));
  const Image img = render(sky, head, window(0, 0, 660, 494, 2.0, true));
  for (const auto& [x, y] : hot)
    EXPECT_GT(img.at(x, y), head.bias_adu + 3000);
  std::vector<std::uint16_t> sorted = img.v;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2), sorted.end());
  EXPECT_NEAR(sorted[sorted.size() / 2],
              head.bias_adu + 80.0 / head.gain_e_per_adu + 1.0 / head.gain_e_per_adu, 3.0);
}

TEST(SkyRendererTest, ScatteredFieldHasABrightStarInTheFocusWindow) {
  const SkyRenderer sky;
  const auto& stars = sky.stars();
  // The field's own stars (and the bright one) first, then the outer field, at the same density all
  // round it, so that a guider turned any way sees stars.
  const SkyConfig& c = sky.config();
  const std::size_t inner = static_cast<std::size_t>(c.star_count) + 1;
  ASSERT_GT(stars.size(), 5 * inner);
  const auto in_field = [&](const Star& s) {
    return s.x_px >= c.field_left_px && s.x_px < c.field_right_px && s.y_px >= c.field_top_px &&
           s.y_px < c.field_bottom_px;
  };
  EXPECT_TRUE(std::all_of(stars.begin(), stars.begin() + static_cast<long>(inner), in_field));
  EXPECT_TRUE(std::none_of(stars.begin() + static_cast<long>(inner), stars.end(), in_field));
  const auto in_window = [](const Star& s) {
    return s.x_px > 266 + 10 && s.x_px < 266 + 118 && s.y_px > 182 + 10 && s.y_px < 182 + 118;
  };
  EXPECT_TRUE(std::any_of(stars.begin(), stars.end(), [&](const Star& s) {
    return in_window(s) && s.flux_e_per_s >= sky.config().brightest_star_e_per_s * 0.4;
  }));
  for (const Star& s : stars) {
    EXPECT_GE(s.flux_e_per_s, sky.config().faintest_star_e_per_s);
    EXPECT_LE(s.flux_e_per_s, sky.config().brightest_star_e_per_s);
  }
}

// A capped telescope shows only the dark current and the hot pixels; the flat light shows the optics:
// the corners lose the vignetting's share and a dust shadow dims its patch.
TEST(SkyRendererTest, CapAndFlatLightForCalibrationFrames) {
  SkyConfig capped;
  capped.capped = true;
  HeadConfig head = mainHeadConfig();
  const Image dark = render(SkyRenderer(capped), head, window(0, 0, 660, 494, 3.0));
  const auto hot = SkyRenderer(capped).hotPixels(head);
  const double floor = head.bias_adu + head.dark_current_e_per_s * 3.0 / head.gain_e_per_adu;
  int lit = 0;
  for (int y = 0; y < dark.height; ++y)
    for (int x = 0; x < dark.width; ++x)
      if (dark.at(x, y) > floor + 1) ++lit;
  EXPECT_EQ(lit, static_cast<int>(hot.size()));  // no sky, no stars: only the hot pixels stand out

  SkyConfig flat;
  flat.flat_field = true;
  head.vignetting = 0.25;
  head.dust_motes = 3;
  head.hot_pixel_count = 0;
  const SkyRenderer flat_sky(flat);
  const Image f = render(flat_sky, head, window(0, 0, 660, 494, 1.0));
  const auto light = [&](int x, int y) {
    return f.at(x, y) - head.bias_adu - head.dark_current_e_per_s / head.gain_e_per_adu;
  };
  const double centre = light(330, 247) / flat_sky.opticsShare(head, 330, 247);  // the light undimmed
  EXPECT_NEAR(light(0, 0) / centre, 0.75, 0.01);
  EXPECT_NEAR(light(659, 493) / centre, 0.75, 0.01);
  int dimmed = 0;
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x) {
      const double even = flat_sky.opticsShare(head, x, y);
      EXPECT_NEAR(light(x, y) / centre, even, 0.01);
      // Dust: darker than vignetting alone explains there.
      HeadConfig clean = head;
      clean.dust_motes = 0;
      if (even < flat_sky.opticsShare(clean, x, y) - 0.05) ++dimmed;
    }
  EXPECT_GT(dimmed, 3 * 50);  // three shadows of 5 to 12 pixels' radius
}

}  // namespace
}  // namespace qlm::sim
