#pragma once
#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "guiding/guide_rules.h"
#include "guiding/guider.h"
#include "image/centroid.h"

namespace qlm {

// Dithering a guided series: between two frames the guiding reference moves to a new random offset
// from where guiding started, and the next exposure waits until guiding has pulled the star there
// (settled). The drawing and the settle rule are plain arithmetic; ditherReference applies a drawn
// offset to the guiding record.

// What a dithered series asks for.
struct DitherParams {
  double amount_px = 3.0;  // largest offset along RA and along Dec, guider pixels
  // Settled: the error stayed under `settle_px` for `settle_s` seconds; the exposure starts anyway
  // once `timeout_s` seconds have passed since the dither.
  double settle_px = 1.5;
  double settle_s = 10.0;
  double timeout_s = 60.0;
};

// The RA and Dec axes on the guider sensor as unit vectors (guider pixels): where an offset of one pixel
// along RA (towards West) and along Dec (towards North) puts the reference.
struct DitherAxes {
  double ra_x = 1.0, ra_y = 0.0;
  double dec_x = 0.0, dec_y = 1.0;
};
// The axes of a correction's parameters: the trained West and North vectors when guiding splits the
// error along them, else the RA angle when the rule rotates, else the sensor's own x and y.
DitherAxes ditherAxes(const GuideParams& p);

// Where the reference may go. A move larger than `max_move_px` on either sensor axis would put the star
// beyond the corrections' limit or outside the centroid's window around the new reference; the window
// must also fit in the image.
struct DitherLimits {
  double max_move_px = 6.0;
  double x_min = 0.0, x_max = 0.0;  // bounds of the reference itself, pixels
  double y_min = 0.0, y_max = 0.0;
};
// The limits for a centroid window of radius `r` on a width x height image: per-axis moves of at most
// min(6.5, r - 2) pixels (the error left before the dither still fits under the 8-pixel limit, and the
// star keeps two pixels of its profile inside the window), and a reference whose window fits the image.
DitherLimits ditherLimits(int r, int width, int height);

// An offset of the reference from where guiding started: along the axes (pixels) and on the sensor
// (pixels, in tenths as the reference holds them).
struct DitherOffset {
  double ra = 0.0, dec = 0.0;
  double x = 0.0, y = 0.0;
};

// The next offset: uniform in [-amount, amount] along RA and along Dec, among those that the move from
// `current` and the reference at (home_x + x, home_y + y) keep within `limits` (up to 32 draws; when none
// fits, the last draw's move is shortened until it does). Sensor offsets are rounded to tenths and the
// axis offsets follow from them. The same generator state gives the same offset.
DitherOffset drawDitherOffset(std::mt19937& rng, double amount, const DitherAxes& axes,
                              const DitherOffset& current, double home_x, double home_y,
                              const DitherLimits& limits);

// The settle rule, fed one guide frame at a time.
enum class SettleState { Settling, Settled, TimedOut };
class SettleRule {
 public:
  SettleRule(const DitherParams& p, std::uint32_t dither_ms) : p_(p), start_ms_(dither_ms) {}
  // A guide frame at `now_ms` with its error distance (pixels); nothing when the star was lost, which
  // counts as not under the distance. Settled once the frames since the first one under the distance
  // have all stayed under it for the settle time; timed out when the timeout has passed without that.
  SettleState frame(std::uint32_t now_ms, std::optional<double> distance_px);
  // Seconds from the dither to `now_ms`.
  double elapsedSeconds(std::uint32_t now_ms) const { return (now_ms - start_ms_) / 1000.0; }

 private:
  DitherParams p_;
  std::uint32_t start_ms_;
  std::optional<std::uint32_t> under_since_;
};

// The dithers of one guided series: where guiding started and the offset now in use.
struct DitherRun {
  explicit DitherRun(std::uint32_t seed) : rng(seed) {}
  std::mt19937 rng;
  bool started = false;  // `home` holds the reference of the first dither
  CentroidResult home;
  DitherOffset offset;
};

// The history line of a frame taken at `offset` (sensor pixels), at most 39 characters.
std::string ditherHistoryText(const DitherOffset& offset);

// Moves the guider guiding reference to a new offset of `run` (the first call records the reference as
// its home) within the limits of the working radius and the guider image, and tells the view with a
// Dither note. Returns the move's note.
struct GuidingView;
struct GuideRunNote;
GuideRunNote ditherReference(DitherRun& run, double amount_px, const GuidingView& view);

}  // namespace qlm
