#include "guiding/guide_history.h"

#include <tuple>

namespace qlm {

GuideAxes guideAxes(const GuideParams& p) {
  double wx = -p.ra_rate, wy = 0.0, nx = 0.0, ny = p.dec_rate;
  if (p.rotate && p.vectors) {
    wx = p.west_x;
    wy = p.west_y;
    nx = p.north_x;
    ny = p.north_y;
  } else if (p.rotate) {
    // East moves the star along (cos theta, -sin theta), North along (sin theta, cos theta).
    const double c = std::cos(p.theta), s = std::sin(p.theta);
    wx = -c * p.ra_rate;
    wy = s * p.ra_rate;
    nx = s * p.dec_rate;
    ny = c * p.dec_rate;
  }
  GuideAxes a;
  a.west_rate = std::hypot(wx, wy);
  a.north_rate = std::hypot(nx, ny);
  if (a.west_rate > 0 && a.north_rate > 0) {
    a.wx = wx / a.west_rate;
    a.wy = wy / a.west_rate;
    a.nx = nx / a.north_rate;
    a.ny = ny / a.north_rate;
  }
  return a;
}

std::pair<double, double> raDecOffset(const GuideAxes& a, double dx, double dy) {
  // dx, dy = u West + v North; a star off towards West needs an East pulse, one towards North a South.
  const double det = a.wx * a.ny - a.wy * a.nx;
  if (std::abs(det) < 1e-9) return {-dx, -dy};
  const double u = (dx * a.ny - dy * a.nx) / det;
  const double v = (a.wx * dy - a.wy * dx) / det;
  return {u, -v};
}

char pulseDirection(const GuideParams& p, char letter) {
  static constexpr char kNames[4] = {'E', 'W', 'N', 'S'};
  for (std::size_t i = 0; i < p.letters.size(); ++i)
    if (letter != 0 && p.letters[i] == letter) return kNames[i];
  return 0;
}

GuideGraphPoint guideGraphPoint(const GuideFrameRecord& rec, const GuideParams& p) {
  GuideGraphPoint g;
  std::tie(g.ra_px, g.dec_px) = raDecOffset(guideAxes(p), -rec.dx / 1000.0, -rec.dy / 1000.0);
  const GuideCorrection& k = rec.correction;
  if (!rec.pulses_sent || k.too_far) return g;
  if (k.ra.sent()) g.ra_ms = pulseDirection(p, k.ra.letter) == 'W' ? -k.ra.ms : k.ra.ms;
  if (k.dec.sent()) g.dec_ms = pulseDirection(p, k.dec.letter) == 'S' ? -k.dec.ms : k.dec.ms;
  return g;
}

}  // namespace qlm
