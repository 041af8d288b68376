#pragma once
#include <array>
#include <cstdint>
#include <string>

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
  // Guider camera only: the trained rotation, used when `rotate` is set (trained values in use and
  // "Ignore RA Angle" off).
  bool rotate = false;
  float theta = 0.0f;  // angle of the RA axis, radians
  int quadrant = 1;
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

// The guider camera's correction for errors dx, dy (thousandths). Without rotation: nothing beyond
// 8 pixels on either axis; an axis is corrected above 300 (ignore drift) or 30 thousandths; East / North
// for a positive error; a reversal adds backlash x 1000; pulse = |size / rate| - hysteresis x 100.
// With rotation: the error is split along the trained RA angle (angles truncated to whole radians),
// letters chosen by the quadrant, no threshold and no limit. `last` is updated with the letters used.
GuideCorrection guiderCorrection(int dx, int dy, const GuideParams& p, LastLetters& last);

// The main camera's correction: nothing beyond 5 pixels; thresholds 1000 (ignore drift) or 50 for RA
// and 1000 or 30 for Dec; otherwise as the guider's correction without rotation.
GuideCorrection mainCorrection(int dx, int dy, const GuideParams& p, LastLetters& last);

// --- Training ---

// The positions the eight steps of the guider training measured (p[0] is the guide star).
struct GuiderTrainingPositions {
  std::array<int, 9> x{};
  std::array<int, 9> y{};
};

// The guider training's results.
struct GuiderTraining {
  int rx = 0, ry = 0;  // RA vector, pixels per second (west pulses)
  int dx = 0, dy = 0;  // Dec vector (north pulses)
  int ra_rate = 1;
  int dec_rate = 1;
  int ra_backlash_x = 0, ra_backlash_y = 0, ra_backlash = 0;
  int dec_backlash_x = 0, dec_backlash_y = 0, dec_backlash = 0;
  float theta = 0.0f;
  int quadrant = 1;
  // The star did not move along an axis (a vector of length 0): nothing was measured.
  bool nonsense = false;
};

// Predicted offsets of the next search: 9 (or 5) times the first short move, plus one pixel.
inline int predictedOffset(int factor, int moved) {
  return factor * moved + 1;
}

// Results from the step positions with training time T seconds (integer arithmetic, truncating).
GuiderTraining guiderTrainingResults(const GuiderTrainingPositions& p, int t_seconds);
// Theta: 0 when ry = 0, else the arctangent of the integer quotient |rx| / |ry|.
float trainingTheta(int rx, int ry);
// The text of the results box.
std::string guiderTrainingText(const GuiderTraining& r);

// The main-camera training's recorded coordinates: x0 (measured before the east pulses), x1-x4 after
// East, East, West, West; y0 (measured at the third step), y1-y4 after North, North, South, South.
struct MainTrainingPositions {
  std::array<int, 5> x{};
  std::array<int, 5> y{};
};

struct MainTraining {
  int ra_rate = 0;
  int dec_rate = 0;
  int ra_backlash = 0;
  int dec_backlash = 0;
};

// RA takes means of the two moves, Dec the larger one; divided by the training time Tm.
MainTraining mainTrainingResults(const MainTrainingPositions& p, int tm_seconds);
std::string mainTrainingText(const MainTraining& r);

// The box shown when a training measured a star that did not move.
inline constexpr const char* kTrainingNoMovementText =
    "Training failed: the star did not move with the guide pulses (rate 0).\n"
    "Check the drive method and the guide cable; the previous values are kept.";

}  // namespace qlm
