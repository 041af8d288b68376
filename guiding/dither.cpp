#include "guiding/dither.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "image/frame.h"
#include "platform/platform.h"

namespace qlm {

namespace {

// A uniform value in [-amount, amount] from one draw of the generator (the same on every library).
double uniformSigned(std::mt19937& rng, double amount) {
  const double u = static_cast<double>(rng()) / 4294967296.0;
  return amount * (2.0 * u - 1.0);
}

double tenths(double v) {
  return std::round(v * 10.0) / 10.0;
}

// The sensor offset of an offset along the axes, in tenths, and the axis offsets that it really is.
DitherOffset onSensor(double ra, double dec, const DitherAxes& a) {
  DitherOffset o;
  o.x = tenths(ra * a.ra_x + dec * a.dec_x);
  o.y = tenths(ra * a.ra_y + dec * a.dec_y);
  const double det = a.ra_x * a.dec_y - a.dec_x * a.ra_y;
  if (std::abs(det) < 1e-6) {
    o.ra = ra;
    o.dec = dec;
  } else {
    o.ra = (o.x * a.dec_y - o.y * a.dec_x) / det;
    o.dec = (a.ra_x * o.y - a.ra_y * o.x) / det;
  }
  return o;
}

bool fits(const DitherOffset& next, const DitherOffset& current, double home_x, double home_y,
          const DitherLimits& l) {
  constexpr double kSlack = 1e-9;
  const double x = home_x + next.x, y = home_y + next.y;
  return std::abs(next.x - current.x) <= l.max_move_px + kSlack &&
         std::abs(next.y - current.y) <= l.max_move_px + kSlack && x >= l.x_min - kSlack &&
         x <= l.x_max + kSlack && y >= l.y_min - kSlack && y <= l.y_max + kSlack;
}

}  // namespace

DitherAxes ditherAxes(const GuideParams& p) {
  DitherAxes a;
  const double west = std::hypot(p.west_x, p.west_y), north = std::hypot(p.north_x, p.north_y);
  if (p.rotate && p.vectors && west > 0.0 && north > 0.0) {
    a.ra_x = p.west_x / west;
    a.ra_y = p.west_y / west;
    a.dec_x = p.north_x / north;
    a.dec_y = p.north_y / north;
    return a;
  }
  // A West pulse moves the star along (-cos theta, sin theta), a North pulse along (sin theta, cos theta).
  const double t = p.rotate ? static_cast<double>(p.theta) : 0.0;
  a.ra_x = -std::cos(t);
  a.ra_y = std::sin(t);
  a.dec_x = std::sin(t);
  a.dec_y = std::cos(t);
  return a;
}

DitherLimits ditherLimits(int r, int width, int height) {
  DitherLimits l;
  l.max_move_px = std::max(0.0, std::min(6.5, r - 2.0));
  l.x_min = r + 1;
  l.x_max = width - r - 2;
  l.y_min = r + 1;
  l.y_max = height - r - 2;
  return l;
}

DitherOffset drawDitherOffset(std::mt19937& rng, double amount, const DitherAxes& axes,
                              const DitherOffset& current, double home_x, double home_y,
                              const DitherLimits& limits) {
  amount = std::max(0.0, amount);
  double ra = 0.0, dec = 0.0;
  for (int i = 0; i < 32; ++i) {
    ra = uniformSigned(rng, amount);
    dec = uniformSigned(rng, amount);
    const DitherOffset next = onSensor(ra, dec, axes);
    if (fits(next, current, home_x, home_y, limits)) return next;
  }
  // Nothing fitted (a small window or a star near the edge): the last move, shortened.
  for (int k = 9; k > 0; --k) {
    const double s = k / 10.0;
    const DitherOffset next =
        onSensor(current.ra + s * (ra - current.ra), current.dec + s * (dec - current.dec), axes);
    if (fits(next, current, home_x, home_y, limits)) return next;
  }
  return current;
}

SettleState SettleRule::frame(std::uint32_t now_ms, std::optional<double> distance_px) {
  if (distance_px && *distance_px < p_.settle_px) {
    if (!under_since_) under_since_ = now_ms;
    if (now_ms - *under_since_ >= static_cast<std::uint32_t>(std::lround(p_.settle_s * 1000.0)))
      return SettleState::Settled;
  } else {
    under_since_.reset();
  }
  if (now_ms - start_ms_ >= static_cast<std::uint32_t>(std::lround(p_.timeout_s * 1000.0)))
    return SettleState::TimedOut;
  return SettleState::Settling;
}

std::string ditherHistoryText(const DitherOffset& offset) {
  char text[64];
  std::snprintf(text, sizeof text, "Dither offset x %+.1f y %+.1f guider px", offset.x, offset.y);
  return text;
}

GuideRunNote ditherReference(DitherRun& run, double amount_px, const GuidingView& view) {
  GuidingState& g = guidingState();
  if (!run.started) {
    run.home = g.reference;
    run.started = true;
  }
  const int home_x = run.home.x * 10 + run.home.tx, home_y = run.home.y * 10 + run.home.ty;
  const DitherLimits limits = ditherLimits(centroidState().working_radius, kGuiderWidth, kGuiderHeight);
  const DitherOffset next = drawDitherOffset(run.rng, amount_px, ditherAxes(guiderParams()), run.offset,
                                             home_x / 10.0, home_y / 10.0, limits);
  GuideRunNote note;
  note.kind = GuideRunNote::Kind::Dither;
  note.time_ms = platform().clock->millis();
  note.dx_px = next.x - run.offset.x;
  note.dy_px = next.y - run.offset.y;
  note.ra_px = next.ra - run.offset.ra;
  note.dec_px = next.dec - run.offset.dec;
  run.offset = next;
  const int x = home_x + static_cast<int>(std::lround(next.x * 10.0));
  const int y = home_y + static_cast<int>(std::lround(next.y * 10.0));
  g.reference.x = x / 10;
  g.reference.tx = x % 10;
  g.reference.y = y / 10;
  g.reference.ty = y % 10;
  noteGuideRun(note, view);
  return note;
}

}  // namespace qlm
