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

struct Image {
  const std::uint16_t* p;
  int w;
  int h;
  double at(int x, int y) const { return p[static_cast<std::size_t>(y) * w + x]; }
  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
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
      if (d >= r0 && d <= r1 && im.inside(x, y)) ring.push_back(im.at(x, y));
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
// Background, centre, HFR and FWHM of the star whose brightest 3 x 3 block is centred on (bx, by).
std::optional<StarMeasure> measureAt(const Image& im, int bx, int by) {
  const int width = im.w;
  const int height = im.h;
  StarMeasure m;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      m.peak = std::max(m.peak, im.p[static_cast<std::size_t>(by + dy) * width + bx + dx]);

  // Grow the measuring radius with the star: about four widths, between 4 and 30 pixels.
  double cx = bx;
  double cy = by;
  int r = 8;
  double sigma = 1.0;
  for (int pass = 0; pass < 4; ++pass) {
    const int ix = static_cast<int>(std::lround(cx));
    const int iy = static_cast<int>(std::lround(cy));
    if (ix - r - 1 < 0 || iy - r - 1 < 0 || ix + r + 1 >= width || iy + r + 1 >= height) return std::nullopt;
    m.background = ringMedian(im, cx, cy, r);
    const Moments mo = moments(im, cx, cy, r, m.background);
    if (mo.flux <= 0) return std::nullopt;
    cx = mo.x;
    cy = mo.y;
    sigma = std::sqrt(std::max(0.05, mo.var));
    r = std::clamp(static_cast<int>(std::ceil(4.5 * sigma)) + 1, kMinRadius, kMaxRadius);
  }
  const int ix = static_cast<int>(std::lround(cx));
  const int iy = static_cast<int>(std::lround(cy));
  if (ix - r - 1 < 0 || iy - r - 1 < 0 || ix + r + 1 >= width || iy + r + 1 >= height) return std::nullopt;
  m.background = ringMedian(im, cx, cy, r);
  const Moments mo = moments(im, cx, cy, r, m.background);
  if (mo.flux <= 0) return std::nullopt;
  m.x = mo.x;
  m.y = mo.y;
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

std::optional<StarMeasure> measureStar(const std::uint16_t* pixels, int width, int height, int x, int y,
                                       int search) {
  const Image im{pixels, width, height};
  // 3 x 3 sums over the search box; their local maxima are the candidate stars, brightest first.
  const int x0 = std::max(1, x - search);
  const int x1 = std::min(width - 2, x + search);
  const int y0 = std::max(1, y - search);
  const int y1 = std::min(height - 2, y + search);
  if (x0 > x1 || y0 > y1) return std::nullopt;
  const int bw = x1 - x0 + 1;
  const int bh = y1 - y0 + 1;
  std::vector<long> sums(static_cast<std::size_t>(bw) * bh);
  for (int yy = y0; yy <= y1; ++yy)
    for (int xx = x0; xx <= x1; ++xx) {
      long s = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          s += pixels[static_cast<std::size_t>(yy + dy) * width + xx + dx];
      sums[static_cast<std::size_t>(yy - y0) * bw + xx - x0] = s;
    }
  std::vector<std::pair<long, std::pair<int, int>>> candidates;
  for (int j = 0; j < bh; ++j)
    for (int i = 0; i < bw; ++i) {
      const long s = sums[static_cast<std::size_t>(j) * bw + i];
      bool top = true;
      for (int dy = -1; dy <= 1 && top; ++dy)
        for (int dx = -1; dx <= 1 && top; ++dx) {
          const int ni = i + dx;
          const int nj = j + dy;
          if ((dx || dy) && ni >= 0 && nj >= 0 && ni < bw && nj < bh)
            top = s > sums[static_cast<std::size_t>(nj) * bw + ni] ||
                  (s == sums[static_cast<std::size_t>(nj) * bw + ni] && (dy > 0 || (dy == 0 && dx > 0)));
        }
      if (top) candidates.push_back({s, {x0 + i, y0 + j}});
    }
  std::sort(candidates.begin(), candidates.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
  // The brightest that can be measured: one too close to the edge gives way to the next.
  constexpr std::size_t kTried = 8;
  for (std::size_t k = 0; k < candidates.size() && k < kTried; ++k)
    if (auto m = measureAt(im, candidates[k].second.first, candidates[k].second.second)) return m;
  return std::nullopt;
}

}  // namespace qlm
