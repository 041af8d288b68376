#include "guiding/guide_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <type_traits>

#include "files/settings.h"

namespace qlm {

std::int16_t guideError(int ref, int ref_tenths, int pos, int pos_tenths) {
  const long e = (static_cast<long>(ref) - pos) * 1000L + (static_cast<long>(ref_tenths) - pos_tenths) * 100L;
  return static_cast<std::int16_t>(std::clamp<long>(e, std::numeric_limits<std::int16_t>::min(),
                                                    std::numeric_limits<std::int16_t>::max()));
}

namespace {

// A rate below 1 would divide by zero; the settings panel allows 0, so it counts as 1.
int usableRate(int rate) {
  return rate < 1 ? 1 : rate;
}

// One axis: threshold, letter, backlash on reversal, pulse. `error` is the part of the error along the
// axis (thousandths, positive towards `positive`), `rate` pixels per second.
template <typename Rate>
AxisPulse axisPulse(double error, int threshold, char positive, char negative, int backlash, Rate rate,
                    int hysteresis, char& last) {
  AxisPulse a;
  const double size = std::abs(error);
  if (size <= threshold) return a;
  a.considered = true;
  a.letter = error > 0 ? positive : negative;
  const bool reversal = a.letter != last;
  last = a.letter;
  if constexpr (std::is_integral_v<Rate>) {
    int whole = static_cast<int>(size);
    if (reversal) whole += backlash * 1000;
    a.ms = std::abs(whole / usableRate(rate)) - hysteresis * 100;
  } else {
    const double total = size + (reversal ? backlash * 1000.0 : 0.0);
    a.ms = static_cast<int>(std::min(total / rate, 1e6)) - hysteresis * 100;
  }
  return a;
}

// The error split into its parts along the RA axis (positive East) and the Dec axis (positive North),
// with the rate of each axis in pixels per second.
struct AxisParts {
  double ra = 0.0, dec = 0.0;
  double ra_rate = 1.0, dec_rate = 1.0;
};

AxisParts splitAlongAxes(int dx, int dy, const GuideParams& p) {
  AxisParts parts;
  const double ex = p.west_x == 0.0 && p.west_y == 0.0 ? 0.0 : -p.west_x;  // East moves the star back
  const double ey = -p.west_y;
  const double e_len = std::hypot(ex, ey), n_len = std::hypot(p.north_x, p.north_y);
  const double det = ex * p.north_y - ey * p.north_x;
  if (p.vectors && e_len > 0.0 && n_len > 0.0 && std::abs(det) > 0.1 * e_len * n_len) {
    // dx, dy = tE (East, ms) x east vector + tN (North, ms) x north vector.
    const double t_east = (dx * p.north_y - dy * p.north_x) / det;
    const double t_north = (ex * dy - ey * dx) / det;
    parts.ra = t_east * e_len;
    parts.dec = t_north * n_len;
    parts.ra_rate = e_len;
    parts.dec_rate = n_len;
    return parts;
  }
  const double c = std::cos(static_cast<double>(p.theta)), s = std::sin(static_cast<double>(p.theta));
  parts.ra = dx * c - dy * s;
  parts.dec = dx * s + dy * c;
  parts.ra_rate = usableRate(p.ra_rate);
  parts.dec_rate = usableRate(p.dec_rate);
  return parts;
}

}  // namespace

GuideCorrection guiderCorrection(int dx, int dy, const GuideParams& p, LastLetters& last) {
  GuideCorrection c;
  const char east = p.letters[kEastSlot], west = p.letters[kWestSlot];
  const char north = p.letters[kNorthSlot], south = p.letters[kSouthSlot];
  if (std::abs(dx) > 8000 || std::abs(dy) > 8000) {
    c.too_far = true;
    return c;
  }
  const int threshold = p.ignore_drift ? 300 : 30;
  if (p.rotate) {
    const AxisParts a = splitAlongAxes(dx, dy, p);
    c.ra = axisPulse(a.ra, threshold, east, west, p.ra_backlash, a.ra_rate, p.ra_hysteresis, last.ra);
    c.dec = axisPulse(a.dec, threshold, north, south, p.dec_backlash, a.dec_rate, p.dec_hysteresis, last.dec);
    return c;
  }
  c.ra = axisPulse(dx, threshold, east, west, p.ra_backlash, p.ra_rate, p.ra_hysteresis, last.ra);
  c.dec = axisPulse(dy, threshold, north, south, p.dec_backlash, p.dec_rate, p.dec_hysteresis, last.dec);
  return c;
}

GuideCorrection mainCorrection(int dx, int dy, const GuideParams& p, LastLetters& last) {
  GuideCorrection c;
  if (std::abs(dx) > 5000 || std::abs(dy) > 5000) {
    c.too_far = true;
    return c;
  }
  c.ra = axisPulse(dx, p.ignore_drift ? 1000 : 50, p.letters[kEastSlot], p.letters[kWestSlot], p.ra_backlash,
                   p.ra_rate, p.ra_hysteresis, last.ra);
  c.dec = axisPulse(dy, p.ignore_drift ? 1000 : 30, p.letters[kNorthSlot], p.letters[kSouthSlot],
                    p.dec_backlash, p.dec_rate, p.dec_hysteresis, last.dec);
  return c;
}

namespace {

int rounded(double v) {
  return static_cast<int>(std::lround(v));
}

// A move shorter than this (pixels) over a long pulse is no move: centroid noise is a tenth or two.
constexpr double kNoMovePx = 0.5;

// The lost motion of a reversing pulse: `back` is where the reversal took the star from `from`, `v`
// the axis's motion per second, `t` the pulse's seconds. Measured along the axis, never negative.
double lostMotion(double from_x, double from_y, double back_x, double back_y, double vx, double vy,
                  double t) {
  const double len = std::hypot(vx, vy);
  if (len <= 0.0) return 0.0;
  const double returned = ((from_x - back_x) * vx + (from_y - back_y) * vy) / len;
  return std::max(0.0, len * t - returned);
}

void appendDoubt(std::string& doubts, const std::string& text) {
  if (!doubts.empty()) doubts += '\n';
  doubts += text;
}

std::string backlashDoubt(const char* axis, double lost, double move) {
  char text[200];
  std::snprintf(text, sizeof text,
                "%s backlash is at least %.1f px, as large as the whole move of %.1f px: "
                "train with a longer training time to measure it.",
                axis, lost, move);
  return text;
}

}  // namespace

std::pair<int, int> guiderTrainingSearchPoint(int step, const GuiderTrainingPositions& p) {
  const auto& x = p.x;
  const auto& y = p.y;
  // The mean long West move (from step 3 on both long pulses are known).
  const double lx = step >= 4 ? (x[3] - x[1]) / 2.0 : x[2] - x[1];
  const double ly = step >= 4 ? (y[3] - y[1]) / 2.0 : y[2] - y[1];
  double sx = 0.0, sy = 0.0;
  switch (step) {
    case 1:
      sx = x[0], sy = y[0];
      break;
    case 2:  // ten times the short pulse
      sx = x[1] + 10.0 * (x[1] - x[0]), sy = y[1] + 10.0 * (y[1] - y[0]);
      break;
    case 3:
      sx = x[2] + lx, sy = y[2] + ly;
      break;
    case 4:  // East: back by one long move
      sx = x[3] - lx, sy = y[3] - ly;
      break;
    case 5:
      sx = x[4] + lx, sy = y[4] + ly;
      break;
    case 6:
      sx = x[5], sy = y[5];
      break;
    case 7:  // five times the short North pulse
      sx = x[6] + 5.0 * (x[6] - x[5]), sy = y[6] + 5.0 * (y[6] - y[5]);
      break;
    default:  // South: back by the long North move
      sx = x[6], sy = y[6];
      break;
  }
  return {rounded(sx), rounded(sy)};
}

GuiderTraining guiderTrainingResults(const GuiderTrainingPositions& p, int t) {
  GuiderTraining r;
  const auto& x = p.x;
  const auto& y = p.y;
  const double ts = t < 1 ? 1.0 : t;
  r.west_x = (x[3] - x[1]) / (2.0 * ts);
  r.west_y = (y[3] - y[1]) / (2.0 * ts);
  r.north_x = (x[7] - x[6]) / ts;
  r.north_y = (y[7] - y[6]) / ts;
  r.rx = rounded(r.west_x);
  r.ry = rounded(r.west_y);
  r.dx = rounded(r.north_x);
  r.dy = rounded(r.north_y);
  const double ra_len = std::hypot(r.west_x, r.west_y);
  const double dec_len = std::hypot(r.north_x, r.north_y);
  // East moves the star back along the West vector: its direction on the sensor is the angle.
  r.theta = ra_len > 0.0 ? static_cast<float>(std::atan2(r.west_y, -r.west_x)) : 0.0f;
  r.quadrant = 1 + (r.west_x < 0 ? 1 : 0) + (r.west_y < 0 ? 1 : 0);
  r.nonsense = ra_len * ts < kNoMovePx || dec_len * ts < kNoMovePx;
  r.ra_rate = std::max(1, rounded(ra_len));
  r.dec_rate = std::max(1, rounded(dec_len));
  r.ra_backlash_px = lostMotion(x[3], y[3], x[4], y[4], r.west_x, r.west_y, ts);
  r.dec_backlash_px = lostMotion(x[7], y[7], x[8], y[8], r.north_x, r.north_y, ts);
  const auto along = [](double lost, double vx, double vy, int& bx, int& by) {
    const double len = std::hypot(vx, vy);
    bx = len > 0 ? static_cast<int>(std::abs(lost * vx / len)) : 0;
    by = len > 0 ? static_cast<int>(std::abs(lost * vy / len)) : 0;
  };
  along(r.ra_backlash_px, r.west_x, r.west_y, r.ra_backlash_x, r.ra_backlash_y);
  along(r.dec_backlash_px, r.north_x, r.north_y, r.dec_backlash_x, r.dec_backlash_y);
  // Backlash is cut to whole pixels, never rounded up: a correction that takes up more play than there
  // is overshoots on every reversal and the star swings from side to side; one that takes up less only
  // leaves a little for the next frame.
  r.ra_backlash = static_cast<int>(r.ra_backlash_px);
  r.dec_backlash = static_cast<int>(r.dec_backlash_px);
  if (!r.nonsense) {
    if (r.ra_backlash_px >= 0.9 * ra_len * ts)
      appendDoubt(r.doubts, backlashDoubt("RA", r.ra_backlash_px, ra_len * ts));
    if (r.dec_backlash_px >= 0.9 * dec_len * ts)
      appendDoubt(r.doubts, backlashDoubt("Dec", r.dec_backlash_px, dec_len * ts));
  }
  return r;
}

std::string guiderTrainingText(const GuiderTraining& r) {
  char text[400];
  std::snprintf(text, sizeof text,
                "slew RA = %5d,%5d, %5d\nslew Dec = %5d, %5d, %5d\nbacklash RA = %5d, %5d, %5d\n"
                "backlash Dec = %5d, %5d, %5d\nTheta = %5d",
                r.rx, r.ry, r.ra_rate, r.dx, r.dy, r.dec_rate, r.ra_backlash_x, r.ra_backlash_y,
                r.ra_backlash, r.dec_backlash_x, r.dec_backlash_y, r.dec_backlash, static_cast<int>(r.theta));
  return text;
}

MainTraining mainTrainingResults(const MainTrainingPositions& p, int tm) {
  const auto& x = p.x;
  const auto& y = p.y;
  const double ts = tm < 1 ? 1.0 : tm;
  MainTraining r;
  const double ra_move = (std::abs(x[1] - x[2]) + std::abs(x[3] - x[4])) / 2.0;
  const double dec_move = std::max(std::abs(y[1] - y[2]), std::abs(y[3] - y[4]));
  r.ra_rate = rounded(ra_move / ts);
  r.dec_rate = rounded(dec_move / ts);
  // Lost motion is a distance, whatever the pulse length.
  const double ra_lost = (std::abs(x[0] - x[4]) + std::abs(x[1] - x[3])) / 2.0;
  const double dec_lost = std::max(std::abs(y[1] - y[3]), std::abs(y[0] - y[4]));
  r.ra_backlash = static_cast<int>(ra_lost);  // cut, never rounded up (as the guider training)
  r.dec_backlash = static_cast<int>(dec_lost);
  r.nonsense = ra_move < kNoMovePx || dec_move < kNoMovePx;
  if (ra_move >= kNoMovePx && ra_lost >= 0.9 * ra_move)
    appendDoubt(r.doubts, backlashDoubt("RA", ra_lost, ra_move));
  if (dec_move >= kNoMovePx && dec_lost >= 0.9 * dec_move)
    appendDoubt(r.doubts, backlashDoubt("Dec", dec_lost, dec_move));
  return r;
}

std::string mainTrainingText(const MainTraining& r) {
  char text[200];
  std::snprintf(text, sizeof text, "slewx = %5d, slewy = %5d\nbacklashx = %5d, backlashy = %5d", r.ra_rate,
                r.dec_rate, r.ra_backlash, r.dec_backlash);
  return text;
}

}  // namespace qlm
