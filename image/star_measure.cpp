#include "image/star_measure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace qlm {

namespace {
constexpr double kFwhmPerSigma = 2.3548200450309493;  // 2 sqrt(2 ln 2)
constexpr double kPixelWidthHfr2 = 2.0 * 0.6931471805599453 / 12.0;
constexpr int kMinRadius = 4;
constexpr int kMaxRadius = 30;
constexpr int kRingGap = 3;     // background ring from R + 3 ...
constexpr int kRingWidth = 5;   // ... to R + 8
constexpr int kSubSamples = 5;  // per pixel side, for the enclosed-flux curve

// The image measured, with the pixels of other stars masked: a masked pixel reads as its mirror image
// through the star's centre (or the background where that is masked too), so a neighbour's light never
// enters the star's measures.
class Image {
 public:
  Image(const float* p, int w, int h) : p_(p), w_(w), h_(h) {}
  int w() const { return w_; }
  int h() const { return h_; }
  double raw(int x, int y) const { return p_[static_cast<std::size_t>(y) * w_ + x]; }
  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < w_ && y < h_; }
  bool masked(int x, int y) const {
    for (const auto& [nx, ny] : neighbours_)
      if ((x - nx) * (x - nx) + (y - ny) * (y - ny) < (x - tx_) * (x - tx_) + (y - ty_) * (y - ty_))
        return true;
    return false;
  }
  double at(int x, int y) const {
    if (neighbours_.empty() || !masked(x, y)) return raw(x, y);
    const int mx = static_cast<int>(std::lround(2.0 * cx_ - x));
    const int my = static_cast<int>(std::lround(2.0 * cy_ - y));
    if (inside(mx, my) && !masked(mx, my)) return raw(mx, my);
    return background_;
  }
  // Pixels nearer another star than (tx, ty) are masked; (cx, cy) is the centre they are mirrored through.
  void mask(int tx, int ty, std::vector<std::pair<int, int>> neighbours) {
    tx_ = tx;
    ty_ = ty;
    neighbours_ = std::move(neighbours);
  }
  void setCentre(double cx, double cy, double background) {
    cx_ = cx;
    cy_ = cy;
    background_ = background;
  }

 private:
  const float* p_;
  int w_;
  int h_;
  int tx_ = 0;
  int ty_ = 0;
  double cx_ = 0.0;
  double cy_ = 0.0;
  double background_ = 0.0;
  std::vector<std::pair<int, int>> neighbours_;
};

double ringMedian(const Image& im, double cx, double cy, int r) {
  std::vector<double> ring;
  const double r0 = r + kRingGap;
  const double r1 = r0 + kRingWidth;
  const int reach = static_cast<int>(std::ceil(r1));
  const int ix = static_cast<int>(std::lround(cx));
  const int iy = static_cast<int>(std::lround(cy));
  for (int y = iy - reach; y <= iy + reach; ++y) {
    for (int x = ix - reach; x <= ix + reach; ++x) {
      const double d = std::hypot(x - cx, y - cy);
      if (d >= r0 && d <= r1 && im.inside(x, y) && !im.masked(x, y)) ring.push_back(im.raw(x, y));
    }
  }
  if (ring.empty()) return 0.0;
  auto mid = ring.begin() + static_cast<std::ptrdiff_t>(ring.size() / 2);
  std::nth_element(ring.begin(), mid, ring.end());
  return *mid;
}

// Flux-weighted centre and second moment (per axis) of the positive excess inside radius r.
struct Moments {
  double x, y, var, flux;
};
Moments moments(const Image& im, double cx, double cy, int r, double bg) {
  double s = 0, sx = 0, sy = 0, sxx = 0;
  const int ix = static_cast<int>(std::lround(cx));
  const int iy = static_cast<int>(std::lround(cy));
  for (int y = iy - r; y <= iy + r; ++y) {
    for (int x = ix - r; x <= ix + r; ++x) {
      if (std::hypot(x - cx, y - cy) > r) continue;
      const double v = std::max(0.0, im.at(x, y) - bg);
      s += v;
      sx += v * x;
      sy += v * y;
    }
  }
  if (s <= 0) return {cx, cy, 1.0, 0.0};
  const double mx = sx / s;
  const double my = sy / s;
  for (int y = iy - r; y <= iy + r; ++y)
    for (int x = ix - r; x <= ix + r; ++x)
      if (std::hypot(x - cx, y - cy) <= r) {
        const double v = std::max(0.0, im.at(x, y) - bg);
        sxx += v * ((x - mx) * (x - mx) + (y - my) * (y - my));
      }
  return {mx, my, sxx / s / 2.0, s};
}

// Radius of the circle about (cx, cy) that holds half the background-subtracted light inside radius r,
// each pixel's light spread evenly over its area.
double halfFluxRadius(const Image& im, double cx, double cy, int r, double bg) {
  std::vector<std::pair<double, double>> samples;  // distance, light
  const int ix = static_cast<int>(std::lround(cx));
  const int iy = static_cast<int>(std::lround(cy));
  const double step = 1.0 / kSubSamples;
  const double share = step * step;
  double total = 0;
  for (int y = iy - r - 1; y <= iy + r + 1; ++y) {
    for (int x = ix - r - 1; x <= ix + r + 1; ++x) {
      const double v = (im.at(x, y) - bg) * share;
      for (int sy = 0; sy < kSubSamples; ++sy) {
        for (int sx = 0; sx < kSubSamples; ++sx) {
          const double d = std::hypot(x - 0.5 + (sx + 0.5) * step - cx, y - 0.5 + (sy + 0.5) * step - cy);
          if (d > r) continue;
          samples.emplace_back(d, v);
          total += v;
        }
      }
    }
  }
  if (total <= 0) return 0.0;
  std::sort(samples.begin(), samples.end());
  double sum = 0;
  double prev_d = 0;
  for (const auto& [d, v] : samples) {
    if (sum + v >= total / 2 && v > 0) return prev_d + (d - prev_d) * (total / 2 - sum) / v;
    sum += v;
    prev_d = d;
  }
  return r;
}

// Light of a unit Gaussian (centre c, width s) on pixels lo..lo + n - 1, each spanning [i - 0.5, i + 0.5].
void pixelShares(double c, double s, int lo, int n, std::vector<double>& out) {
  out.resize(static_cast<std::size_t>(n));
  const double k = 1.0 / (std::sqrt(2.0) * s);
  double left = std::erf((lo - 0.5 - c) * k);
  for (int i = 0; i < n; ++i) {
    const double right = std::erf((lo + i + 0.5 - c) * k);
    out[static_cast<std::size_t>(i)] = 0.5 * (right - left);
    left = right;
  }
}

// Least-squares fit of background + flux x pixel-integrated Gaussian over the box of radius r about
// (cx, cy) (Levenberg-Marquardt). Returns the fitted width, or 0 when the fit fails.
double fitGaussianSigma(const Image& im, double cx, double cy, int r, double bg, double flux, double sigma0) {
  const int x0 = static_cast<int>(std::lround(cx)) - r;
  const int y0 = static_cast<int>(std::lround(cy)) - r;
  const int n = 2 * r + 1;
  std::array<double, 5> p{bg, flux, cx, cy, std::max(0.5, sigma0)};
  std::vector<double> gx, gy;
  auto residuals = [&](const std::array<double, 5>& q, std::vector<double>& res) {
    pixelShares(q[2], q[4], x0, n, gx);
    pixelShares(q[3], q[4], y0, n, gy);
    res.resize(static_cast<std::size_t>(n) * n);
    double chi = 0;
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const double e = im.at(x0 + i, y0 + j) -
                         (q[0] + q[1] * gx[static_cast<std::size_t>(i)] * gy[static_cast<std::size_t>(j)]);
        res[static_cast<std::size_t>(j) * n + i] = e;
        chi += e * e;
      }
    return chi;
  };
  std::vector<double> res, res_d;
  double chi = residuals(p, res);
  double lambda = 1e-3;
  for (int iter = 0; iter < 50; ++iter) {
    // Jacobian of the model by forward differences.
    std::array<std::vector<double>, 5> jac;
    for (std::size_t k = 0; k < 5; ++k) {
      std::array<double, 5> q = p;
      const double h = k < 2 ? std::max(1e-3, std::abs(p[k]) * 1e-6) : 1e-5;
      q[k] += h;
      residuals(q, res_d);
      jac[k].resize(res.size());
      for (std::size_t i = 0; i < res.size(); ++i)
        jac[k][i] = (res[i] - res_d[i]) / h;
    }
    std::array<std::array<double, 5>, 5> jtj{};
    std::array<double, 5> jtr{};
    for (std::size_t a = 0; a < 5; ++a) {
      for (std::size_t b = 0; b <= a; ++b) {
        double s = 0;
        for (std::size_t i = 0; i < res.size(); ++i)
          s += jac[a][i] * jac[b][i];
        jtj[a][b] = jtj[b][a] = s;
      }
      double s = 0;
      for (std::size_t i = 0; i < res.size(); ++i)
        s += jac[a][i] * res[i];
      jtr[a] = s;
    }
    bool improved = false;
    for (int attempt = 0; attempt < 10 && !improved; ++attempt) {
      // Solve (JtJ + lambda diag) d = Jtr by Gaussian elimination.
      std::array<std::array<double, 6>, 5> m{};
      for (std::size_t a = 0; a < 5; ++a) {
        for (std::size_t b = 0; b < 5; ++b)
          m[a][b] = jtj[a][b] + (a == b ? lambda * jtj[a][a] : 0.0);
        m[a][5] = jtr[a];
      }
      bool singular = false;
      for (std::size_t c = 0; c < 5 && !singular; ++c) {
        std::size_t piv = c;
        for (std::size_t rr = c + 1; rr < 5; ++rr)
          if (std::abs(m[rr][c]) > std::abs(m[piv][c])) piv = rr;
        if (std::abs(m[piv][c]) < 1e-300) singular = true;
        std::swap(m[c], m[piv]);
        for (std::size_t rr = 0; rr < 5 && !singular; ++rr) {
          if (rr == c) continue;
          const double f = m[rr][c] / m[c][c];
          for (std::size_t k = c; k < 6; ++k)
            m[rr][k] -= f * m[c][k];
        }
      }
      if (singular) return 0.0;
      std::array<double, 5> q = p;
      for (std::size_t a = 0; a < 5; ++a)
        q[a] += m[a][5] / m[a][a];
      if (q[4] <= 0.2 || q[4] > 3.0 * r) {
        lambda *= 10;
        continue;
      }
      const double chi_q = residuals(q, res_d);
      if (chi_q < chi) {
        const bool converged = (chi - chi_q) < 1e-9 * chi;
        p = q;
        chi = chi_q;
        res.swap(res_d);
        lambda = std::max(1e-7, lambda / 10);
        improved = true;
        if (converged) return p[4];
      } else {
        lambda *= 10;
      }
    }
    if (!improved) break;
  }
  return p[4];
}
// Background level and noise about a point: the median of a box and 1.4826 x its median absolute
// deviation (the standard deviation of Gaussian noise), robust to the stars in the box.
struct Level {
  double background = 0.0;
  double noise = 1.0;
};
Level localLevel(const Image& im, int x, int y, int reach) {
  std::vector<double> v;
  for (int yy = std::max(0, y - reach); yy <= std::min(im.h() - 1, y + reach); ++yy)
    for (int xx = std::max(0, x - reach); xx <= std::min(im.w() - 1, x + reach); ++xx)
      v.push_back(im.raw(xx, yy));
  Level l;
  if (v.empty()) return l;
  auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  l.background = *mid;
  for (double& e : v)
    e = std::abs(e - l.background);
  std::nth_element(v.begin(), mid, v.end());
  // Whole-number data quantises the deviation; half a count is the least noise there can be.
  l.noise = std::max(0.5, 1.4826 * *mid);
  return l;
}

double sum3(const Image& im, int x, int y) {
  double s = 0;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      s += im.raw(x + dx, y + dy);
  return s;
}

// A star stands at (x, y) (1 pixel inside the image) when its 3 x 3 block is five noise widths of
// such a block above the background and at least two of the eight pixels around the block's brightest
// are lit as well (three noise widths up): a lone hot pixel or cosmic-ray hit is not a star.
bool standsOut(const Image& im, int x, int y, const Level& l) {
  if (sum3(im, x, y) - 9.0 * l.background < 5.0 * 3.0 * l.noise) return false;
  int px = x;
  int py = y;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (im.raw(x + dx, y + dy) > im.raw(px, py)) {
        px = x + dx;
        py = y + dy;
      }
  int lit = 0;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if ((dx || dy) && im.inside(px + dx, py + dy) &&
          im.raw(px + dx, py + dy) > l.background + 3.0 * l.noise)
        ++lit;
  return lit >= 2;
}

// Whether (x, y) is the top of its 3 x 3 sums (ties go to the lower, then the right one).
bool isTop(const Image& im, int x, int y, double s) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      if (!dx && !dy) continue;
      const int nx = x + dx;
      const int ny = y + dy;
      if (nx < 1 || ny < 1 || nx > im.w() - 2 || ny > im.h() - 2) continue;
      const double n = sum3(im, nx, ny);
      if (n > s || (n == s && !(dy > 0 || (dy == 0 && dx > 0)))) return false;
    }
  return true;
}

// The other stars within `reach` of the star at (bx, by): tops of the 3 x 3 sums that stand out and
// are parted from it by a valley (along the line between them the light drops below half the fainter
// peak), so bumps of the star's own noise or a ragged out-of-focus disc are not taken for neighbours.
std::vector<std::pair<int, int>> neighbourStars(const Image& im, int bx, int by, int reach, const Level& l) {
  std::vector<std::pair<int, int>> found;
  const double own = im.raw(bx, by) - l.background;
  for (int y = std::max(1, by - reach); y <= std::min(im.h() - 2, by + reach); ++y) {
    for (int x = std::max(1, bx - reach); x <= std::min(im.w() - 2, bx + reach); ++x) {
      if ((x - bx) * (x - bx) + (y - by) * (y - by) < 9) continue;
      if (im.raw(x, y) - l.background < 2.0 * l.noise) continue;  // quick rejection of the sky
      const double s = sum3(im, x, y);
      if (!isTop(im, x, y, s) || !standsOut(im, x, y, l)) continue;
      const double half = 0.5 * std::min(own, im.raw(x, y) - l.background);
      const int steps = static_cast<int>(std::ceil(std::hypot(x - bx, y - by)));
      bool valley = false;
      for (int k = 1; k < steps && !valley; ++k) {
        const int px = static_cast<int>(std::lround(bx + (x - bx) * static_cast<double>(k) / steps));
        const int py = static_cast<int>(std::lround(by + (y - by) * static_cast<double>(k) / steps));
        valley = im.raw(px, py) - l.background < half;
      }
      if (valley) found.emplace_back(x, y);
    }
  }
  return found;
}

// Where the star's light ends: the first ring (1 pixel wide) about (cx, cy) whose mean excess over the
// background is within two of its own noise widths of nothing; the measuring radius is half as far
// again, between 4 and 30 pixels.
int profileRadius(const Image& im, double cx, double cy, double bg, double noise) {
  std::array<double, kMaxRadius + 1> sum{};
  std::array<int, kMaxRadius + 1> count{};
  const int ix = static_cast<int>(std::lround(cx));
  const int iy = static_cast<int>(std::lround(cy));
  for (int y = iy - kMaxRadius; y <= iy + kMaxRadius; ++y)
    for (int x = ix - kMaxRadius; x <= ix + kMaxRadius; ++x) {
      const auto k = static_cast<std::size_t>(std::hypot(x - cx, y - cy));
      if (k > static_cast<std::size_t>(kMaxRadius) || !im.inside(x, y)) continue;
      sum[k] += im.at(x, y) - bg;
      ++count[k];
    }
  int edge = kMaxRadius;
  for (int k = 1; k <= kMaxRadius; ++k) {
    const auto n = static_cast<std::size_t>(k);
    if (count[n] > 0 && sum[n] / count[n] < 2.0 * noise / std::sqrt(count[n])) {
      edge = k;
      break;
    }
  }
  return std::clamp(static_cast<int>(std::ceil(1.5 * edge)) + 1, kMinRadius, kMaxRadius);
}

// Background, centre, HFR and FWHM of the star whose brightest 3 x 3 block is centred on (bx, by).
std::optional<StarMeasure> measureAt(Image& im, int bx, int by) {
  const int width = im.w();
  const int height = im.h();
  const Level level = localLevel(im, bx, by, 20);
  if (!standsOut(im, bx, by, level)) return std::nullopt;
  StarMeasure m;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      m.peak = std::max(m.peak, im.raw(bx + dx, by + dy));
  im.mask(bx, by, neighbourStars(im, bx, by, kMaxRadius + kRingGap + kRingWidth + 1, level));
  im.setCentre(bx, by, level.background);

  // The centre from the light just around the peak.
  double cx = bx;
  double cy = by;
  m.background = level.background;
  for (int pass = 0; pass < 2; ++pass) {
    im.setCentre(cx, cy, m.background);
    const Moments mo = moments(im, cx, cy, 3, m.background);
    if (mo.flux <= 0) return std::nullopt;
    cx = mo.x;
    cy = mo.y;
  }
  // The measuring radius from the star's own profile: half as far again as its light reaches above
  // the noise, so the noise and background of a wide aperture do not swamp a faint star.
  int r = kMinRadius;
  double sigma = 1.0;
  for (int pass = 0; pass < 2; ++pass) {
    r = profileRadius(im, cx, cy, m.background, level.noise);
    const int ix = static_cast<int>(std::lround(cx));
    const int iy = static_cast<int>(std::lround(cy));
    if (ix - r - 1 < 0 || iy - r - 1 < 0 || ix + r + 1 >= width || iy + r + 1 >= height) return std::nullopt;
    m.background = ringMedian(im, cx, cy, r);
    im.setCentre(cx, cy, m.background);
    const Moments mo = moments(im, cx, cy, r, m.background);
    if (mo.flux <= 0) return std::nullopt;
    cx = mo.x;
    cy = mo.y;
    sigma = std::sqrt(std::max(0.05, mo.var));
  }
  const int ix = static_cast<int>(std::lround(cx));
  const int iy = static_cast<int>(std::lround(cy));
  if (ix - r - 1 < 0 || iy - r - 1 < 0 || ix + r + 1 >= width || iy + r + 1 >= height) return std::nullopt;
  m.background = ringMedian(im, cx, cy, r);
  im.setCentre(cx, cy, m.background);
  const Moments mo = moments(im, cx, cy, r, m.background);
  if (mo.flux <= 0) return std::nullopt;
  m.x = mo.x;
  m.y = mo.y;
  im.setCentre(m.x, m.y, m.background);
  for (int yy = iy - r; yy <= iy + r; ++yy)
    for (int xx = ix - r; xx <= ix + r; ++xx)
      if (std::hypot(xx - m.x, yy - m.y) <= r) m.flux += im.at(xx, yy) - m.background;
  // The pixels spread each star over their own width (a variance of 1/12 per axis), which widens a
  // Gaussian's half-flux radius r by 2 ln 2 / 12 in r squared: taken out so HFR is the star's own.
  const double hfr = halfFluxRadius(im, m.x, m.y, r, m.background);
  m.hfr = std::sqrt(std::max(0.0, hfr * hfr - kPixelWidthHfr2));
  double s = fitGaussianSigma(im, m.x, m.y, r, m.background, std::max(1.0, m.flux), sigma);
  if (s <= 0) s = std::sqrt(std::max(0.05, mo.var - 1.0 / 12.0));  // second moment less the pixel's own width
  m.fwhm = s * kFwhmPerSigma;
  return m;
}
}  // namespace

std::optional<StarMeasure> measureStar(const float* pixels, int width, int height, int x, int y, int search) {
  Image im(pixels, width, height);
  // 3 x 3 sums over the search box; their local maxima are the candidate stars, brightest first.
  const int x0 = std::max(1, x - search);
  const int x1 = std::min(width - 2, x + search);
  const int y0 = std::max(1, y - search);
  const int y1 = std::min(height - 2, y + search);
  if (x0 > x1 || y0 > y1) return std::nullopt;
  std::vector<std::pair<double, std::pair<int, int>>> candidates;
  for (int yy = y0; yy <= y1; ++yy)
    for (int xx = x0; xx <= x1; ++xx) {
      const double s = sum3(im, xx, yy);
      if (isTop(im, xx, yy, s)) candidates.push_back({s, {xx, yy}});
    }
  std::sort(candidates.begin(), candidates.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
  // The brightest that can be measured: one too close to the edge gives way to the next.
  constexpr std::size_t kTried = 8;
  for (std::size_t k = 0; k < candidates.size() && k < kTried; ++k)
    if (auto m = measureAt(im, candidates[k].second.first, candidates[k].second.second)) return m;
  return std::nullopt;
}

std::optional<std::pair<int, int>> brightestStar(const std::uint16_t* pixels, int width, int height,
                                                 int margin) {
  std::vector<float> copy(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::copy_n(pixels, copy.size(), copy.begin());
  const Image im(copy.data(), width, height);
  // The sky's level and noise from every third pixel of the whole image.
  std::vector<float> sample;
  for (std::size_t i = 0; i < copy.size(); i += 3)
    sample.push_back(copy[i]);
  Level level;
  if (!sample.empty()) {
    auto mid = sample.begin() + static_cast<std::ptrdiff_t>(sample.size() / 2);
    std::nth_element(sample.begin(), mid, sample.end());
    level.background = *mid;
    for (float& v : sample)
      v = std::abs(v - static_cast<float>(level.background));
    std::nth_element(sample.begin(), mid, sample.end());
    level.noise = std::max(0.5, 1.4826 * *mid);
  }
  const int edge = std::max(margin, 1);
  std::optional<std::pair<int, int>> best;
  double best_sum = 0;
  for (int y = edge; y < height - edge; ++y)
    for (int x = edge; x < width - edge; ++x) {
      if (im.raw(x, y) < level.background + 5.0 * level.noise) continue;
      const double s = sum3(im, x, y);
      if (s > best_sum && isTop(im, x, y, s) && standsOut(im, x, y, level)) {
        best_sum = s;
        best = std::make_pair(x, y);
      }
    }
  return best;
}

std::optional<StarMeasure> measureStar(const std::uint16_t* pixels, int width, int height, int x, int y,
                                       int search) {
  std::vector<float> copy(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::copy_n(pixels, copy.size(), copy.begin());
  return measureStar(copy.data(), width, height, x, y, search);
}

}  // namespace qlm
