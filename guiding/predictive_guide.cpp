#include "guiding/predictive_guide.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "files/settings.h"

namespace qlm {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadiansPerDegree = kPi / 180.0;

// Samples kept for the drift model: a few periods of the slowest worm gear.
constexpr double kHistorySeconds = 2400.0;
// The local trend's window: short enough to follow a periodic error's curvature, long enough that
// seeing averages out.
constexpr double kTrendWindowSeconds = 60.0;
// Periods searched for, and how often the search runs again (seconds of the run).
constexpr double kMinPeriodSeconds = 60.0;
constexpr double kMaxPeriodSeconds = 1200.0;
constexpr double kPeriodRefitSeconds = 30.0;
constexpr int kHarmonics = 3;
// A period must explain this share of what a straight line leaves unexplained to be believed.
constexpr double kPeriodicGain = 0.6;
// A Dec reversal is made only after the error has pointed the new way for this many frames (or is
// this many minimum moves large): seeing alone must not swing the Dec gears through their play.
constexpr int kDecReversalFrames = 3;
constexpr double kDecReversalMoves = 3.0;
// The share of the trained Dec backlash the first reversal takes up: more play than there is swings the
// star across the reference on every reversal, less only leaves the rest for the next frame. Each
// reversal then corrects the estimate by this share of what it over- or undershot.
constexpr double kDecBacklashStart = 0.75;
constexpr double kDecBacklashLearning = 0.4;
// Prediction scores forget old cycles at this rate per cycle.
constexpr double kScoreMemory = 0.95;

// Solves the normal equations a x = b (n x n, row-major) by Gaussian elimination with partial
// pivoting. False when singular.
bool solve(std::vector<double>& a, std::vector<double>& b, int n) {
  for (int c = 0; c < n; ++c) {
    int pivot = c;
    for (int r = c + 1; r < n; ++r)
      if (std::abs(a[static_cast<std::size_t>(r * n + c)]) >
          std::abs(a[static_cast<std::size_t>(pivot * n + c)]))
        pivot = r;
    const double p = a[static_cast<std::size_t>(pivot * n + c)];
    if (std::abs(p) < 1e-12) return false;
    if (pivot != c) {
      for (int k = 0; k < n; ++k)
        std::swap(a[static_cast<std::size_t>(c * n + k)], a[static_cast<std::size_t>(pivot * n + k)]);
      std::swap(b[static_cast<std::size_t>(c)], b[static_cast<std::size_t>(pivot)]);
    }
    for (int r = c + 1; r < n; ++r) {
      const double f = a[static_cast<std::size_t>(r * n + c)] / a[static_cast<std::size_t>(c * n + c)];
      if (f == 0.0) continue;
      for (int k = c; k < n; ++k)
        a[static_cast<std::size_t>(r * n + k)] -= f * a[static_cast<std::size_t>(c * n + k)];
      b[static_cast<std::size_t>(r)] -= f * b[static_cast<std::size_t>(c)];
    }
  }
  for (int c = n - 1; c >= 0; --c) {
    double s = b[static_cast<std::size_t>(c)];
    for (int k = c + 1; k < n; ++k)
      s -= a[static_cast<std::size_t>(c * n + k)] * b[static_cast<std::size_t>(k)];
    b[static_cast<std::size_t>(c)] = s / a[static_cast<std::size_t>(c * n + c)];
  }
  return true;
}

// The basis functions of a model at time u (seconds from its origin): the polynomial terms, then cos
// and sin of each harmonic.
void basis(double u, int poly_terms, double period_s, int harmonics, double* f) {
  double power = 1.0;
  for (int i = 0; i < poly_terms; ++i, power *= u)
    f[i] = power;
  for (int h = 1; h <= harmonics; ++h) {
    const double a = 2.0 * kPi * h * u / period_s;
    f[poly_terms + 2 * (h - 1)] = std::cos(a);
    f[poly_terms + 2 * (h - 1) + 1] = std::sin(a);
  }
}

// Least squares over the samples from index `first`, the model's origin at the last sample.
std::optional<DriftModel> fit(const std::deque<double>& t, const std::deque<double>& d, std::size_t first,
                              int poly_terms, double period_s, int harmonics) {
  const int n = poly_terms + 2 * harmonics;
  if (t.size() < first + static_cast<std::size_t>(n) + 2) return std::nullopt;
  const double origin = t.back();
  std::vector<double> a(static_cast<std::size_t>(n * n), 0.0), b(static_cast<std::size_t>(n), 0.0);
  double f[16];
  for (std::size_t i = first; i < t.size(); ++i) {
    basis(t[i] - origin, poly_terms, period_s, harmonics, f);
    for (int r = 0; r < n; ++r) {
      b[static_cast<std::size_t>(r)] += f[r] * d[i];
      for (int c = 0; c < n; ++c)
        a[static_cast<std::size_t>(r * n + c)] += f[r] * f[c];
    }
  }
  if (!solve(a, b, n)) return std::nullopt;
  DriftModel m;
  m.period_s = harmonics > 0 ? period_s : 0.0;
  m.origin_s = origin;
  m.harmonic_count = harmonics;
  for (int i = 0; i < poly_terms; ++i)
    m.poly[static_cast<std::size_t>(i)] = b[static_cast<std::size_t>(i)];
  for (int i = 0; i < 2 * harmonics; ++i)
    m.harmonics[static_cast<std::size_t>(i)] = b[static_cast<std::size_t>(poly_terms + i)];
  double sq = 0.0;
  for (std::size_t i = first; i < t.size(); ++i) {
    const double e = m.valueAt(t[i]) - d[i];
    sq += e * e;
  }
  m.residual_px = std::sqrt(sq / static_cast<double>(t.size() - first));
  return m;
}

int sign(double v) {
  return v > 0.0 ? 1 : (v < 0.0 ? -1 : 0);
}

// The hysteresis rule: a share of the error blended with the last move, nothing below the minimum.
double hysteresisMove(double error_px, double last_move_px, const AxisTuning& t) {
  if (std::abs(error_px) < t.min_move_px) return 0.0;
  return t.aggressiveness * ((1.0 - t.hysteresis) * error_px + t.hysteresis * last_move_px);
}

}  // namespace

double DriftModel::valueAt(double t_s) const {
  const double u = t_s - origin_s;
  double v = poly[0] + poly[1] * u + poly[2] * u * u;
  for (int h = 1; h <= harmonic_count && period_s > 0.0; ++h) {
    const double a = 2.0 * kPi * h * u / period_s;
    v += harmonics[static_cast<std::size_t>(2 * (h - 1))] * std::cos(a) +
         harmonics[static_cast<std::size_t>(2 * (h - 1) + 1)] * std::sin(a);
  }
  return v;
}

std::optional<DriftModel> fitPeriodicDrift(const std::deque<double>& t, const std::deque<double>& d,
                                           double period_s, int harmonic_count) {
  if (period_s <= 0.0 || harmonic_count < 1 || harmonic_count > 4) return std::nullopt;
  return fit(t, d, 0, 2, period_s, harmonic_count);
}

std::optional<DriftModel> findPeriodicDrift(const std::deque<double>& t, const std::deque<double>& d,
                                            double min_s, double max_s, int harmonic_count) {
  if (t.size() < 20 || min_s <= 0.0 || max_s < min_s) return std::nullopt;
  const auto line = fit(t, d, 0, 2, 0.0, 0);
  if (!line) return std::nullopt;
  // A coarse search over periods spaced by 3 %, then a golden-section refinement around the best.
  std::optional<DriftModel> best;
  double best_p = 0.0;
  for (double p = min_s; p <= max_s; p *= 1.03) {
    const auto m = fitPeriodicDrift(t, d, p, harmonic_count);
    if (m && (!best || m->residual_px < best->residual_px)) {
      best = m;
      best_p = p;
    }
  }
  if (!best) return std::nullopt;
  double lo = best_p / 1.03, hi = std::min(best_p * 1.03, max_s);
  const double g = (std::sqrt(5.0) - 1.0) / 2.0;
  for (int i = 0; i < 12; ++i) {
    const double a = hi - g * (hi - lo), b = lo + g * (hi - lo);
    const auto ma = fitPeriodicDrift(t, d, a, harmonic_count), mb = fitPeriodicDrift(t, d, b, harmonic_count);
    if (!ma || !mb) break;
    if (ma->residual_px < mb->residual_px) {
      hi = b;
      if (ma->residual_px < best->residual_px) best = ma;
    } else {
      lo = a;
      if (mb->residual_px < best->residual_px) best = mb;
    }
  }
  if (best->residual_px > kPeriodicGain * line->residual_px) return std::nullopt;
  return best;
}

std::optional<DriftModel> fitLocalDrift(const std::deque<double>& t, const std::deque<double>& d,
                                        double window_s) {
  if (t.empty()) return std::nullopt;
  std::size_t first = t.size();
  while (first > 0 && t.back() - t[first - 1] <= window_s)
    --first;
  if (t.size() - first < 6) return std::nullopt;
  return fit(t, d, first, 3, 0.0, 0);
}

void PredictiveGuider::reset() {
  *this = PredictiveGuider(p_);
}

std::pair<double, double> PredictiveGuider::alongAxes(double dx, double dy) const {
  const double a = p_.ra_angle_deg * kRadiansPerDegree, b = p_.dec_angle_deg * kRadiansPerDegree;
  // dx, dy = r (cos a, -sin a) + n (sin b, cos b): r along East, n along North.
  const double ex = std::cos(a), ey = -std::sin(a), nx = std::sin(b), ny = std::cos(b);
  const double det = ex * ny - ey * nx;
  if (std::abs(det) < 1e-6) return {dx, dy};  // axes along one line: no split is possible
  return {(dx * ny - dy * nx) / det, (ex * dy - ey * dx) / det};
}

void PredictiveGuider::learn(double t_s, double ra_pos_px) {
  times_.push_back(t_s);
  drift_.push_back(ra_pos_px - sent_ra_px_);
  while (!times_.empty() && t_s - times_.front() > kHistorySeconds) {
    times_.pop_front();
    drift_.pop_front();
  }
}

double PredictiveGuider::predictDrift(double t_s, double horizon_s) {
  // Score the predictions made on the previous frame against the drift that happened since.
  const auto score = [&](Score& s) {
    if (s.predicted_from_t < 0.0 || drift_.size() < 2) return;
    const double happened = drift_.back() - s.from_value;
    const double miss = s.predicted_delta - happened;
    s.sum_sq = kScoreMemory * s.sum_sq + miss * miss;
    s.n = std::min(s.n + 1, 1000);
    s.predicted_from_t = -1.0;
  };
  score(trend_score_);
  score(periodic_score_);

  const double span = times_.empty() ? 0.0 : times_.back() - times_.front();
  if (t_s - periodic_fitted_at_ >= kPeriodRefitSeconds && span >= 1.1 * kMinPeriodSeconds) {
    periodic_fitted_at_ = t_s;
    periodic_ = findPeriodicDrift(times_, drift_, kMinPeriodSeconds, std::min(kMaxPeriodSeconds, span / 1.1),
                                  kHarmonics);
  } else if (periodic_) {
    // The same period, its coefficients brought up to date with the newest samples.
    periodic_ = fitPeriodicDrift(times_, drift_, periodic_->period_s, periodic_->harmonic_count);
  }
  const auto trend = fitLocalDrift(times_, drift_, kTrendWindowSeconds);

  const auto predict = [&](const std::optional<DriftModel>& m, Score& s) -> std::optional<double> {
    if (!m) return std::nullopt;
    const double delta = m->valueAt(t_s + horizon_s) - m->valueAt(t_s);
    s.predicted_from_t = t_s;
    s.predicted_delta = delta;
    s.from_value = drift_.back();
    return delta;
  };
  const auto by_trend = predict(trend, trend_score_);
  const auto by_period = predict(periodic_, periodic_score_);
  detail_.period_s = periodic_ ? periodic_->period_s : 0.0;
  // The periodic model once it has proved itself on the cycles since it was found, else the trend.
  if (by_period && periodic_score_.n >= 5 && (!by_trend || periodic_score_.sum_sq <= trend_score_.sum_sq)) {
    detail_.predictor = "periodic";
    return *by_period;
  }
  if (by_trend) {
    detail_.predictor = "trend";
    return *by_trend;
  }
  detail_.predictor = "none";
  return 0.0;
}

GuideCorrection PredictiveGuider::correct(const PredictiveInput& in) {
  GuideCorrection c;
  detail_ = PredictiveDetail{};
  ++frames_;
  const double dx = in.ref_x - in.x, dy = in.ref_y - in.y;
  const auto [ra_err, dec_err] = alongAxes(dx, dy);
  detail_.ra_error_px = ra_err;
  detail_.dec_error_px = dec_err;

  // The star's position along RA (East positive) measured from the sensor's origin: the reference may
  // move (a dither) without the drift changing.
  const double ra_pos = alongAxes(in.x, in.y).first;
  if (last_t_ >= 0.0 && in.t_s > last_t_) {
    const double dt = in.t_s - last_t_;
    cycle_s_ = cycle_s_ <= 0.0 ? dt : 0.8 * cycle_s_ + 0.2 * dt;
  }
  last_t_ = in.t_s;
  learn(in.t_s, ra_pos);
  double feed = 0.0;
  if (p_.periodic_model && cycle_s_ > 0.0) {
    // The drift expected before the next frame is measured, sent now so that it does not happen.
    feed = -predictDrift(in.t_s, cycle_s_);
    detail_.ra_feed_px = feed;
  }

  if (std::abs(dx) > p_.limit_px || std::abs(dy) > p_.limit_px) {
    c.too_far = true;
    return c;
  }
  const char east = p_.letters[kEastSlot], west = p_.letters[kWestSlot];
  const char north = p_.letters[kNorthSlot], south = p_.letters[kSouthSlot];

  const double ra_move = hysteresisMove(ra_err, last_ra_move_, p_.ra) + feed;
  last_ra_move_ = ra_move - feed;
  const int ra_ms = static_cast<int>(std::min(std::abs(ra_move) * p_.ra_ms_per_px, p_.max_pulse_ms));
  if (ra_ms > 0) {
    c.ra.considered = true;
    c.ra.letter = ra_move > 0.0 ? east : west;
    c.ra.ms = ra_ms;
  }

  if (check_reversal_) {
    // What the last reversal moved against what it meant to: more is play overestimated.
    const double moved = reversal_error_ - dec_err;
    const double over = sign(reversal_move_) * (moved - reversal_move_);
    dec_comp_px_ = std::clamp(dec_comp_px_ - kDecBacklashLearning * over, 0.0, 1.5 * p_.dec_backlash_px);
    check_reversal_ = false;
  }
  double dec_move = hysteresisMove(dec_err, last_dec_move_, p_.dec);
  const int dec_sign = sign(dec_move);
  dec_errors_.push_back(dec_err);
  if (dec_errors_.size() > static_cast<std::size_t>(kDecReversalFrames)) dec_errors_.pop_front();
  double backlash = 0.0;
  if (dec_sign != 0 && last_dec_sign_ != 0 && dec_sign != last_dec_sign_) {
    const bool persistent =
        dec_errors_.size() == static_cast<std::size_t>(kDecReversalFrames) &&
        std::all_of(dec_errors_.begin(), dec_errors_.end(), [&](double e) { return sign(e) == dec_sign; });
    if (persistent || std::abs(dec_err) >= kDecReversalMoves * p_.dec.min_move_px)
      backlash = decBacklashCompensation();  // the gears' play is taken up before the star moves
    else
      dec_move = 0.0;
  }
  last_dec_move_ = dec_move;
  const double dec_total = dec_move + dec_sign * backlash;
  const int dec_ms = static_cast<int>(std::min(std::abs(dec_total) * p_.dec_ms_per_px, p_.max_pulse_ms));
  if (dec_move != 0.0 && dec_ms > 0) {
    c.dec.considered = true;
    c.dec.letter = dec_total > 0.0 ? north : south;
    c.dec.ms = dec_ms;
    detail_.dec_backlash_px = backlash;
  }

  if (in.send) {
    if (c.ra.sent()) sent_ra_px_ += (c.ra.letter == east ? 1.0 : -1.0) * c.ra.ms / p_.ra_ms_per_px;
    if (c.dec.sent()) {
      last_dec_sign_ = c.dec.letter == north ? 1 : -1;
      if (backlash > 0.0) {
        dec_comp_px_ = backlash;
        check_reversal_ = true;
        reversal_move_ = dec_move;
        reversal_error_ = dec_err;
      }
    }
  }
  return c;
}

double PredictiveGuider::decBacklashCompensation() const {
  return dec_comp_px_ >= 0.0 ? dec_comp_px_ : kDecBacklashStart * p_.dec_backlash_px;
}

const char* guideAlgorithmName(GuideAlgorithm a) {
  return a == GuideAlgorithm::Predictive ? "Predictive" : "Classic";
}

}  // namespace qlm
