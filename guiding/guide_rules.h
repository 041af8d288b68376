#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace qlm {

// The guiding corrections as plain arithmetic: from a measured position and the reference to the
// direction letters and pulse lengths. Nothing here touches the camera, the clock or program-wide
// state, so a recorded run can be replayed through the same rules.

// The error of one axis in thousandths of a pixel: (reference - measured) x 1000 plus the tenths
// difference x 100, held in a signed 16-bit value (saturated rather than wrapped, so a far-off star
// keeps the sign of its error). A star that moved to larger x gives a negative error.
std::int16_t guideError(int ref, int ref_tenths, int pos, int pos_tenths);

// What a correction reads.
struct GuideParams {
  // Direction letters by slot: East, West, North, South (the swaps already applied).
  std::array<char, 4> letters = {'e', 'w', 'n', 's'};
  bool ignore_drift = true;  // "Ignore drift < 1 pixel"
  // Rates (pixels per second), backlash (pixels) and hysteresis (0-20) of the loop's camera.
  int ra_rate = 6;
  int dec_rate = 6;
  int ra_backlash = 0;
  int dec_backlash = 0;
  int ra_hysteresis = 0;
  int dec_hysteresis = 0;
  // Guider camera only: the RA axis's angle on the sensor, used when `rotate` is set ("Ignore RA Angle"
  // off). An East pulse moves the star along (cos theta, -sin theta), a North pulse along (sin theta,
  // cos theta); at theta 0 the rotated rule is the plain one.
  bool rotate = false;
  float theta = 0.0f;  // radians
  int quadrant = 1;    // of the trained RA vector; shown, not used by the correction
  // Trained motion per second of pulse (pixels per second, full precision): West and North. When set,
  // the rotated rule splits the error along these two vectors instead of along theta.
  bool vectors = false;
  double west_x = 0.0, west_y = 0.0;
  double north_x = 0.0, north_y = 0.0;
};

// The previous correction's letters; a change of letter means the axis reverses.
struct LastLetters {
  char ra = 'e';
  char dec = 'n';
};

// One axis of a correction: the letter and the pulse length (sent only when above 0).
struct AxisPulse {
  bool considered = false;  // the error passed the threshold (always with rotation)
  char letter = 0;
  int ms = 0;
  bool sent() const { return considered && ms > 0; }
};

struct GuideCorrection {
  bool too_far = false;  // beyond the loop's limit: nothing is corrected this cycle
  AxisPulse ra;
  AxisPulse dec;
};

// The guider camera's correction for errors dx, dy (thousandths). Nothing beyond 8 pixels on either
// axis; an axis is corrected above 300 (ignore drift) or 30 thousandths; East / North for a positive
// error; a reversal adds backlash x 1000; pulse = |size / rate| - hysteresis x 100. With rotation the
// error is first split into its RA and Dec parts along the trained vectors (or theta), at full angle
// precision, and the same rule runs on each part. `last` is updated with the letters used.
GuideCorrection guiderCorrection(int dx, int dy, const GuideParams& p, LastLetters& last);

// The main camera's correction: nothing beyond 5 pixels; thresholds 1000 (ignore drift) or 50 for RA
// and 1000 or 30 for Dec; otherwise as the guider's correction without rotation.
GuideCorrection mainCorrection(int dx, int dy, const GuideParams& p, LastLetters& last);

// --- Training ---

// The positions the eight steps of the guider training measured, in pixels with their tenths (index 0
// is the guide star).
struct GuiderTrainingPositions {
  std::array<double, 9> x{};
  std::array<double, 9> y{};
};

// The guider training's results. The whole-pixel values are the measured ones, rates rounded (at least
// 1) and backlash cut, as the panel and the settings record hold them; the full-precision vectors feed
// guiding along the trained axes.
struct GuiderTraining {
  int rx = 0, ry = 0;  // RA vector, pixels per second (west pulses)
  int dx = 0, dy = 0;  // Dec vector (north pulses)
  int ra_rate = 1;
  int dec_rate = 1;
  int ra_backlash_x = 0, ra_backlash_y = 0, ra_backlash = 0;
  int dec_backlash_x = 0, dec_backlash_y = 0, dec_backlash = 0;
  float theta = 0.0f;  // angle of the RA axis on the sensor, radians in (-pi, pi]; 0 for an unturned head
  int quadrant = 1;
  double west_x = 0.0, west_y = 0.0;    // pixels per second of West pulse
  double north_x = 0.0, north_y = 0.0;  // pixels per second of North pulse
  double ra_backlash_px = 0.0, dec_backlash_px = 0.0;
  // The star did not move along an axis: nothing was measured and nothing is kept.
  bool nonsense = false;
  // Values that were measured but cannot be trusted (a backlash as large as the whole move); shown.
  std::string doubts;
};

// Where step `step` (1-8) looks first, from the positions measured so far: each long pulse is
// expected to move the star as far as the measured short one scaled by the pulse lengths (then as the
// long ones did), a reversal to bring it back. Rounded to whole pixels.
std::pair<int, int> guiderTrainingSearchPoint(int step, const GuiderTrainingPositions& p);

// Results from the step positions with training time T seconds: RA from the two long West pulses, Dec
// from the long North pulse (the short ones before them take up any play), backlash as the part of the
// reversing pulse's expected return that did not happen, measured along the axis.
GuiderTraining guiderTrainingResults(const GuiderTrainingPositions& p, int t_seconds);
// The text of the results box.
std::string guiderTrainingText(const GuiderTraining& r);

// The main-camera training's recorded coordinates (pixels and tenths): x0 (measured before the east
// pulses), x1-x4 after East, East, West, West; y0 (measured on the first guide-window frame), y1-y4
// after North, North, South, South.
struct MainTrainingPositions {
  std::array<double, 5> x{};
  std::array<double, 5> y{};
};

struct MainTraining {
  int ra_rate = 0;
  int dec_rate = 0;
  int ra_backlash = 0;
  int dec_backlash = 0;
  bool nonsense = false;  // the star did not move along an axis: nothing is kept
  std::string doubts;     // as for the guider training
};

// RA takes the mean of the two second-pulse moves, Dec the larger one, each divided by the training
// time Tm and rounded; backlash is the lost motion in pixels (mean for RA, larger for Dec), cut to
// whole pixels.
MainTraining mainTrainingResults(const MainTrainingPositions& p, int tm_seconds);
std::string mainTrainingText(const MainTraining& r);

// The box shown when a training measured a star that did not move.
inline constexpr const char* kTrainingNoMovementText =
    "Training failed: the star did not move with the guide pulses.\n"
    "Check the drive method and the guide cable; the previous values are kept.";

}  // namespace qlm
