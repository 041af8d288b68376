#include "sim/sky_renderer.h"

#include <algorithm>
#include <cmath>

namespace qlm::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFwhmPerSigma = 2.354820045;

std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// A small counter-based random stream: the same keys always give the same numbers, so any pixel's
// noise can be drawn without drawing the pixels before it.
class Stream {
 public:
  Stream(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d)
      : state_(mix(a ^ mix(b ^ mix(c ^ mix(d))))) {}
  // Uniform in (0, 1].
  double uniform() {
    state_ += 0x9E3779B97F4A7C15ULL;
    return static_cast<double>((mix(state_) >> 11) + 1) * (1.0 / 9007199254740992.0);
  }
  double gaussian() {
    const double r = std::sqrt(-2.0 * std::log(uniform()));
    return r * std::cos(2.0 * kPi * uniform());
  }
  // Poisson count with the given mean: exact below 12, the normal approximation above.
  double poisson(double mean) {
    if (mean <= 0.0) return 0.0;
    if (mean >= 12.0) return std::max(0.0, std::round(mean + std::sqrt(mean) * gaussian()));
    const double limit = std::exp(-mean);
    double p = uniform();
    int k = 0;
    while (p > limit) {
      p *= uniform();
      ++k;
    }
    return k;
  }

 private:
  std::uint64_t state_;
};

// Keys that keep the random streams of different uses apart.
enum StreamKind : std::uint64_t {
  kStarStream = 1,
  kHotStream = 2,
  kWanderStream = 3,
  kPixelStream = 4,
  kDustStream = 5
};

// Share of a unit-flux Gaussian (centre c, sigma s) that falls on pixel i, which spans [i - 0.5, i + 0.5].
double pixelShare(int i, double c, double s) {
  const double k = 1.0 / (s * std::sqrt(2.0));
  return 0.5 * (std::erf((i + 0.5 - c) * k) - std::erf((i - 0.5 - c) * k));
}

}  // namespace

HeadConfig mainHeadConfig() {
  return HeadConfig{};
}

HeadConfig guiderHeadConfig() {
  HeadConfig g;
  g.width_px = 500;
  g.height_px = 290;
  g.origin_x_px = 25.0;
  g.origin_y_px = 50.0;
  g.scale = 1.2;
  g.rotation_deg = 2.0;
  g.throughput = 0.5;
  g.gain_e_per_adu = 1.0;
  g.bias_adu = 2600.0;  // about 10 in the head's 8-bit output
  g.read_noise_e = 40.0;
  g.dark_current_e_per_s = 2.0;
  g.hot_pixel_count = 8;
  g.hot_pixel_e_per_s = 20000.0;
  g.follows_focuser = false;
  g.noise_stream = 1;
  return g;
}

std::vector<Star> scatterStars(const SkyConfig& c) {
  std::vector<Star> stars;
  if (c.bright_star_at_centre) {
    // The middle of the default focus window, a little off the pixel centres.
    stars.push_back({330.3, 249.6, c.brightest_star_e_per_s * 0.5});
  }
  Stream s(c.seed, kStarStream, 0, 0);
  const double ratio = c.brightest_star_e_per_s / std::max(c.faintest_star_e_per_s, 1e-9);
  for (int i = 0; i < c.star_count; ++i) {
    Star star;
    star.x_px = c.field_left_px + (c.field_right_px - c.field_left_px) * s.uniform();
    star.y_px = c.field_top_px + (c.field_bottom_px - c.field_top_px) * s.uniform();
    const double u = s.uniform();
    star.flux_e_per_s = c.faintest_star_e_per_s * std::pow(ratio, u * u * u);  // mostly faint stars
    stars.push_back(star);
  }
  // The outer field, from a stream of its own so that the inner stars stay as they were.
  const double inner_w = c.field_right_px - c.field_left_px, inner_h = c.field_bottom_px - c.field_top_px;
  if (c.star_count > 0 && inner_w > 0 && inner_h > 0 && c.outer_field_half_px > 0) {
    const double density = c.star_count / (inner_w * inner_h);
    const double side = 2.0 * c.outer_field_half_px;
    const double left = 330.0 - c.outer_field_half_px, top = 247.0 - c.outer_field_half_px;
    const auto tries = static_cast<int>(std::lround(density * side * side));
    Stream o(c.seed, kStarStream, 1, 0);
    for (int i = 0; i < tries; ++i) {
      Star star;
      star.x_px = left + side * o.uniform();
      star.y_px = top + side * o.uniform();
      const double u = o.uniform();
      star.flux_e_per_s = c.faintest_star_e_per_s * std::pow(ratio, u * u * u);
      const bool inner = star.x_px >= c.field_left_px && star.x_px < c.field_right_px &&
                         star.y_px >= c.field_top_px && star.y_px < c.field_bottom_px;
      if (!inner) stars.push_back(star);
    }
  }
  return stars;
}

SkyRenderer::SkyRenderer(const SkyConfig& config) : config_(config), stars_(scatterStars(config)) {}

SkyRenderer::SkyRenderer(const SkyConfig& config, std::vector<Star> stars)
    : config_(config), stars_(std::move(stars)) {}

double SkyRenderer::fwhmHeadPx(const HeadConfig& head, double focuser_steps) const {
  double fwhm = config_.best_fwhm_px;
  if (head.follows_focuser)
    fwhm += std::abs(focuser_steps - config_.best_focus_steps) * config_.fwhm_px_per_step;
  return fwhm / head.scale;
}

HeadPoint SkyRenderer::skyToHead(const HeadConfig& head, double x_px, double y_px) const {
  const double a = head.rotation_deg * kPi / 180.0;
  const double dx = x_px - head.origin_x_px;
  const double dy = y_px - head.origin_y_px;
  return {(std::cos(a) * dx + std::sin(a) * dy) / head.scale,
          (-std::sin(a) * dx + std::cos(a) * dy) / head.scale};
}

HeadPoint SkyRenderer::wander(const HeadConfig& head, std::uint64_t frame, bool noise) const {
  if (!noise || config_.seeing_jitter_px <= 0.0) return {};
  Stream s(config_.seed, kWanderStream, frame, head.noise_stream);
  const double x = s.gaussian() * config_.seeing_jitter_px;
  return {x, s.gaussian() * config_.seeing_jitter_px};
}

std::vector<std::pair<int, int>> SkyRenderer::hotPixels(const HeadConfig& head) const {
  std::vector<std::pair<int, int>> hot;
  Stream s(config_.seed, kHotStream, head.noise_stream, 0);
  for (int i = 0; i < head.hot_pixel_count; ++i) {
    const int x = std::min(head.width_px - 1, static_cast<int>(s.uniform() * head.width_px));
    const int y = std::min(head.height_px - 1, static_cast<int>(s.uniform() * head.height_px));
    hot.emplace_back(x, y);
  }
  return hot;
}

namespace {
struct Mote {
  double x, y, radius, depth;
};

std::vector<Mote> dustMotes(std::uint64_t seed, const HeadConfig& head) {
  std::vector<Mote> motes;
  Stream s(seed, kDustStream, head.noise_stream, 0);
  for (int i = 0; i < head.dust_motes; ++i) {
    Mote m{};
    m.x = s.uniform() * head.width_px;
    m.y = s.uniform() * head.height_px;
    m.radius = 5.0 + 7.0 * s.uniform();
    m.depth = 0.1 + 0.2 * s.uniform();
    motes.push_back(m);
  }
  return motes;
}

double shareAt(const HeadConfig& head, const std::vector<Mote>& motes, int x, int y) {
  const double cx = 0.5 * (head.width_px - 1);
  const double cy = 0.5 * (head.height_px - 1);
  const double r2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (cx * cx + cy * cy);
  double share = 1.0 - head.vignetting * r2;
  for (const Mote& m : motes) {
    const double d2 = ((x - m.x) * (x - m.x) + (y - m.y) * (y - m.y)) / (m.radius * m.radius);
    if (d2 < 16.0) share *= 1.0 - m.depth * std::exp(-d2 * d2);  // flat-bottomed, soft-edged shadow
  }
  return std::max(share, 0.0);
}
}  // namespace

double SkyRenderer::opticsShare(const HeadConfig& head, int x, int y) const {
  return shareAt(head, dustMotes(config_.seed, head), x, y);
}

void SkyRenderer::render(const HeadConfig& head, const RenderRequest& req, std::uint16_t* out) const {
  const int w = std::max(req.width, 0);
  const int h = std::max(req.height, 0);
  const int hbin = std::max(req.hbin, 1);
  const int vbin = std::max(req.vbin, 1);
  const int ow = w / hbin;
  const int oh = h / vbin;
  if (ow == 0 || oh == 0) return;
  const double t = std::max(req.exposure_s, 0.0);
  auto on_sensor = [&](int x, int y) { return x >= 0 && y >= 0 && x < head.width_px && y < head.height_px; };

  // Electrons collected by each unbinned pixel of the window.
  std::vector<double> e(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0.0);
  // Without a cap, flat light or optics the light and the dark current are collected as one floor.
  const bool plain = !config_.capped && !config_.flat_field && head.vignetting == 0.0 && head.dust_motes == 0;
  const bool starlight = !config_.capped && !config_.flat_field;
  const double light = config_.capped       ? 0.0
                       : config_.flat_field ? config_.flat_field_e_per_s
                                            : config_.sky_background_e_per_s;
  const double sky = light * head.scale * head.scale * head.throughput;
  const double floor_e = plain ? (sky + head.dark_current_e_per_s) * t : sky * t;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (on_sensor(req.x0 + x, req.y0 + y)) e[static_cast<std::size_t>(y * w + x)] = floor_e;
  auto add_dark_and_hot = [&] {
    if (!plain) {
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          if (on_sensor(req.x0 + x, req.y0 + y))
            e[static_cast<std::size_t>(y * w + x)] += head.dark_current_e_per_s * t;
    }
    for (const auto& [hx, hy] : hotPixels(head)) {
      const int x = hx - req.x0;
      const int y = hy - req.y0;
      if (x >= 0 && y >= 0 && x < w && y < h)
        e[static_cast<std::size_t>(y * w + x)] += head.hot_pixel_e_per_s * t;
    }
  };
  if (plain) add_dark_and_hot();

  // The whole image wanders a little from frame to frame with the seeing.
  const HeadPoint w_sky = wander(head, req.frame, req.noise);
  const double wander_x = w_sky.x;
  const double wander_y = w_sky.y;
  const double sigma = fwhmHeadPx(head, req.focuser_steps) / kFwhmPerSigma;
  const int reach = static_cast<int>(std::ceil(5.0 * sigma)) + 1;
  std::vector<double> share_x;
  std::vector<double> share_y;
  for (const Star& star : starlight ? stars_ : std::vector<Star>{}) {
    const HeadPoint p =
        skyToHead(head, star.x_px + req.shift_x_px + wander_x, star.y_px + req.shift_y_px + wander_y);
    const int cx = static_cast<int>(std::lround(p.x));
    const int cy = static_cast<int>(std::lround(p.y));
    const int x_lo = std::max(cx - reach, req.x0);
    const int x_hi = std::min(cx + reach, req.x0 + w - 1);
    const int y_lo = std::max(cy - reach, req.y0);
    const int y_hi = std::min(cy + reach, req.y0 + h - 1);
    if (x_lo > x_hi || y_lo > y_hi) continue;
    share_x.resize(static_cast<std::size_t>(x_hi - x_lo + 1));
    share_y.resize(static_cast<std::size_t>(y_hi - y_lo + 1));
    for (int x = x_lo; x <= x_hi; ++x)
      share_x[static_cast<std::size_t>(x - x_lo)] = pixelShare(x, p.x, sigma);
    for (int y = y_lo; y <= y_hi; ++y)
      share_y[static_cast<std::size_t>(y - y_lo)] = pixelShare(y, p.y, sigma);
    const double total = star.flux_e_per_s * head.throughput * t * req.transmission;
    for (int y = y_lo; y <= y_hi; ++y) {
      for (int x = x_lo; x <= x_hi; ++x) {
        if (!on_sensor(x, y)) continue;
        e[static_cast<std::size_t>((y - req.y0) * w + (x - req.x0))] +=
            total * share_x[static_cast<std::size_t>(x - x_lo)] * share_y[static_cast<std::size_t>(y - y_lo)];
      }
    }
  }

  // The optics dim the light (not the dark current) before it reaches the pixels.
  if (!plain) {
    if (head.vignetting != 0.0 || head.dust_motes != 0) {
      const std::vector<Mote> motes = dustMotes(config_.seed, head);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          e[static_cast<std::size_t>(y * w + x)] *= shareAt(head, motes, req.x0 + x, req.y0 + y);
    }
    add_dark_and_hot();
  }

  // Binning adds the charge of each block; the block is then read once (one bias, one read noise).
  for (int oy = 0; oy < oh; ++oy) {
    for (int ox = 0; ox < ow; ++ox) {
      double charge = 0.0;
      for (int by = 0; by < vbin; ++by)
        for (int bx = 0; bx < hbin; ++bx)
          charge += e[static_cast<std::size_t>((oy * vbin + by) * w + ox * hbin + bx)];
      if (req.noise) {
        const auto key = static_cast<std::uint64_t>(req.y0 + oy * vbin) * 65536u +
                         static_cast<std::uint64_t>(req.x0 + ox * hbin);
        Stream s(config_.seed ^ (static_cast<std::uint64_t>(hbin) << 56),
                 kPixelStream * 0x100000000ULL + req.frame, head.noise_stream, key);
        charge = s.poisson(charge) + s.gaussian() * head.read_noise_e;
      }
      const double adu = std::round(head.bias_adu + charge / head.gain_e_per_adu);
      out[static_cast<std::size_t>(oy * ow + ox)] = static_cast<std::uint16_t>(std::clamp(adu, 0.0, 65535.0));
    }
  }
}

}  // namespace qlm::sim
