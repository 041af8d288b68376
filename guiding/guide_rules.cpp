#include "guiding/guide_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

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

// One axis without rotation: threshold, letter, backlash on reversal, pulse.
AxisPulse plainAxis(int error, int threshold, char positive, char negative, int backlash, int rate,
                    int hysteresis, char& last) {
  AxisPulse a;
  if (std::abs(error) <= threshold) return a;
  a.considered = true;
  a.letter = error > 0 ? positive : negative;
  int size = std::abs(error);
  if (a.letter != last) size += backlash * 1000;
  last = a.letter;
  a.ms = std::abs(size / usableRate(rate)) - hysteresis * 100;
  return a;
}

}  // namespace

GuideCorrection guiderCorrection(int dx, int dy, const GuideParams& p, LastLetters& last) {
  GuideCorrection c;
  const char east = p.letters[kEastSlot], west = p.letters[kWestSlot];
  const char north = p.letters[kNorthSlot], south = p.letters[kSouthSlot];
  if (p.rotate) {
    // The root is taken in double precision and only its result is held as a float.
    const float v = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
    const double phi = dy == 0 ? 0.0 : std::atan(static_cast<double>(std::abs(dx) / std::abs(dy)));
    const int a = std::abs(std::abs(static_cast<int>(phi)) - std::abs(static_cast<int>(p.theta)));
    int ra_amount = static_cast<int>(std::cos(static_cast<double>(a)) * v);
    int dec_amount = static_cast<int>(std::sin(static_cast<double>(a)) * v);
    c.ra.considered = true;
    c.ra.letter = (dx > 0 && p.quadrant < 3) || (dx < 0 && p.quadrant > 2) ? east : west;
    if (c.ra.letter != last.ra) ra_amount += p.ra_backlash * 1000;
    last.ra = c.ra.letter;
    c.ra.ms = std::abs(ra_amount / usableRate(p.ra_rate)) - p.ra_hysteresis * 100;
    c.dec.considered = true;
    const bool north_side =
        (dy > 0 && (p.quadrant == 1 || p.quadrant == 4)) || (dy < 0 && (p.quadrant == 2 || p.quadrant == 3));
    c.dec.letter = north_side ? north : south;
    if (c.dec.letter != last.dec) dec_amount += p.dec_backlash * 1000;
    last.dec = c.dec.letter;
    c.dec.ms = std::abs(dec_amount / usableRate(p.dec_rate)) - p.dec_hysteresis * 100;
    return c;
  }
  if (std::abs(dx) > 8000 || std::abs(dy) > 8000) {
    c.too_far = true;
    return c;
  }
  const int threshold = p.ignore_drift ? 300 : 30;
  c.ra = plainAxis(dx, threshold, east, west, p.ra_backlash, p.ra_rate, p.ra_hysteresis, last.ra);
  c.dec = plainAxis(dy, threshold, north, south, p.dec_backlash, p.dec_rate, p.dec_hysteresis, last.dec);
  return c;
}

GuideCorrection mainCorrection(int dx, int dy, const GuideParams& p, LastLetters& last) {
  GuideCorrection c;
  if (std::abs(dx) > 5000 || std::abs(dy) > 5000) {
    c.too_far = true;
    return c;
  }
  c.ra = plainAxis(dx, p.ignore_drift ? 1000 : 50, p.letters[kEastSlot], p.letters[kWestSlot], p.ra_backlash,
                   p.ra_rate, p.ra_hysteresis, last.ra);
  c.dec = plainAxis(dy, p.ignore_drift ? 1000 : 30, p.letters[kNorthSlot], p.letters[kSouthSlot],
                    p.dec_backlash, p.dec_rate, p.dec_hysteresis, last.dec);
  return c;
}

float trainingTheta(int rx, int ry) {
  if (ry == 0) return 0.0f;
  return static_cast<float>(std::atan(static_cast<double>(std::abs(rx) / std::abs(ry))));
}

namespace {
int vectorLength(int a, int b) {
  return static_cast<int>(std::sqrt(static_cast<double>(a) * a + static_cast<double>(b) * b));
}
}  // namespace

GuiderTraining guiderTrainingResults(const GuiderTrainingPositions& p, int t) {
  GuiderTraining r;
  const auto& x = p.x;
  const auto& y = p.y;
  r.rx = ((x[2] - x[0]) + (x[3] - x[2])) / (2 * t);
  r.ry = ((y[2] - y[0]) + (y[3] - y[2])) / (2 * t);
  r.theta = trainingTheta(r.rx, r.ry);
  r.quadrant = 1 + (r.rx < 0 ? 1 : 0) + (r.ry < 0 ? 1 : 0);
  r.ra_rate = vectorLength(r.rx, r.ry);
  r.dx = ((x[6] - x[5]) + (x[7] - x[6])) / (2 * t);
  r.dy = ((y[6] - y[5]) + (y[7] - y[6])) / (2 * t);
  r.dec_rate = vectorLength(r.dx, r.dy);
  r.nonsense = r.ra_rate == 0 || r.dec_rate == 0;
  if (r.ra_rate == 0) r.ra_rate = 1;
  if (r.dec_rate == 0) r.dec_rate = 1;
  r.ra_backlash_x = std::abs(x[3] - x[4] - r.rx * t);
  r.ra_backlash_y = std::abs(y[3] - y[4] - r.ry * t);
  r.ra_backlash = vectorLength(r.ra_backlash_x, r.ra_backlash_y);
  r.dec_backlash_x = std::abs(x[7] - x[8] - r.dx * t);
  r.dec_backlash_y = std::abs(y[7] - y[8] - r.dy * t);
  r.dec_backlash = vectorLength(r.dec_backlash_x, r.dec_backlash_y);
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
  MainTraining r;
  r.ra_rate = (std::abs(x[1] - x[2]) + std::abs(x[3] - x[4])) / (2 * tm);
  r.dec_rate = std::max(std::abs(y[1] - y[2]), std::abs(y[3] - y[4])) / tm;
  r.ra_backlash = (std::abs(x[0] - x[4]) + std::abs(x[1] - x[3])) / (2 * tm);
  r.dec_backlash = std::max(std::abs(y[1] - y[3]), std::abs(y[0] - y[4])) / tm;
  return r;
}

std::string mainTrainingText(const MainTraining& r) {
  char text[200];
  std::snprintf(text, sizeof text, "slewx = %5d, slewy = %5d\nbacklashx = %5d, backlashy = %5d", r.ra_rate,
                r.dec_rate, r.ra_backlash, r.dec_backlash);
  return text;
}

}  // namespace qlm
