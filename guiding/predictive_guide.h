#pragma once
#include <array>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

#include "guiding/guide_rules.h"

namespace qlm {

// The predictive guide algorithm, beside the classic rule: per axis a hysteresis rule (a share of the
// error, blended with the last move, nothing below a minimum move), the trained response at full
// precision, Dec backlash taken up on reversal, and on RA a learnt model of the mount's periodic error
// whose predicted drift over the next cycle is sent ahead of the error it would cause. Plain arithmetic
// on the times and positions it is given: no clock, no camera, no program-wide state.

// The hysteresis rule of one axis.
struct AxisTuning {
  double hysteresis = 0.1;      // share of the last move blended into this one (0-1)
  double aggressiveness = 0.7;  // share of the blended error corrected (0-2)
  double min_move_px = 0.15;    // errors below this are left alone
};

struct PredictiveParams {
  // Direction letters by slot: East, West, North, South (the swaps already applied).
  std::array<char, 4> letters = {'e', 'w', 'n', 's'};
  AxisTuning ra;
  AxisTuning dec;
  // The mount's response: milliseconds of pulse per pixel of star motion on the sensor, and the
  // direction in which the star moves: an East pulse along (cos a, -sin a) of the RA angle a, a North
  // pulse along (sin d, cos d) of the Dec angle d (degrees; equal for a sensor that is not mirrored).
  double ra_ms_per_px = 1000.0 / 6.0;
  double dec_ms_per_px = 1000.0 / 6.0;
  double ra_angle_deg = 0.0;
  double dec_angle_deg = 0.0;
  double dec_backlash_px = 0.0;  // play taken up when Dec reverses
  bool periodic_model = true;    // learn and feed forward the drift on RA
  double max_pulse_ms = 5000.0;  // longest pulse sent in one correction
  double limit_px = 8.0;         // an error beyond this on either axis is not corrected (as the classic rule)
};

// A fitted model of the drift along one axis: a straight line plus harmonics of one period.
struct DriftModel {
  double period_s = 0.0;              // 0: a local polynomial only
  double origin_s = 0.0;              // time the coefficients are measured from
  std::array<double, 3> poly{};       // constant, slope, curvature (in (t - origin) seconds)
  std::array<double, 8> harmonics{};  // cos, sin of harmonic 1, 2, ... (pixels)
  int harmonic_count = 0;
  double residual_px = 0.0;  // rms misfit over the samples fitted
  double valueAt(double t_s) const;
};

// Fits `harmonic_count` harmonics of `period_s` plus a straight line to (t, d) by least squares. Nothing
// when the samples cannot determine the coefficients.
std::optional<DriftModel> fitPeriodicDrift(const std::deque<double>& t, const std::deque<double>& d,
                                           double period_s, int harmonic_count);
// The period (seconds, between `min_s` and `max_s`) whose harmonics fit the samples best; nothing when
// no period fits markedly better than a straight line.
std::optional<DriftModel> findPeriodicDrift(const std::deque<double>& t, const std::deque<double>& d,
                                            double min_s, double max_s, int harmonic_count);
// A quadratic through the samples of the last `window_s` seconds; nothing with fewer than 6 samples.
std::optional<DriftModel> fitLocalDrift(const std::deque<double>& t, const std::deque<double>& d,
                                        double window_s);

// One guide frame as the algorithm sees it: when it was measured, where the star is and where it is
// held (pixels on the guide sensor), and whether the pulses it asks for will be sent.
struct PredictiveInput {
  double t_s = 0.0;
  double x = 0.0, y = 0.0;
  double ref_x = 0.0, ref_y = 0.0;
  bool send = true;
};

// What the algorithm decided on a frame, beyond the pulses: for the log and the tests.
struct PredictiveDetail {
  double ra_error_px = 0.0, dec_error_px = 0.0;  // the error along the axes (East, North positive)
  double ra_feed_px = 0.0;                       // the predicted drift sent ahead on RA
  double dec_backlash_px = 0.0;                  // the play taken up by this frame's Dec pulse
  const char* predictor = "none";                // "none", "trend" or "periodic"
  double period_s = 0.0;                         // the learnt period, 0 before one is found
};

// The algorithm's state over one guiding run.
class PredictiveGuider {
 public:
  PredictiveGuider() = default;
  explicit PredictiveGuider(const PredictiveParams& p) : p_(p) {}
  const PredictiveParams& params() const { return p_; }
  void setParams(const PredictiveParams& p) { p_ = p; }
  // Forgets the run: the next frame starts a new one.
  void reset();

  // The correction for one frame. Letters and pulse lengths as the classic rule gives them (the RA
  // pulse first), so the loop sends and logs them the same way.
  GuideCorrection correct(const PredictiveInput& in);
  const PredictiveDetail& lastDetail() const { return detail_; }
  // The Dec backlash the next reversal takes up (pixels).
  double decBacklashCompensation() const;

  // The error vector (dx, dy, pixels, reference less position) split into its parts along the axes:
  // RA (East positive) and Dec (North positive), in pixels of star motion.
  std::pair<double, double> alongAxes(double dx, double dy) const;

 private:
  double predictDrift(double t_s, double horizon_s);
  void learn(double t_s, double ra_pos_px);

  PredictiveParams p_;
  PredictiveDetail detail_;
  // RA drift: the star's position along RA less the corrections sent, over time.
  std::deque<double> times_, drift_;
  double sent_ra_px_ = 0.0;  // RA motion of the pulses sent so far (East positive)
  double last_t_ = -1.0;
  double cycle_s_ = 0.0;  // smoothed time between frames
  double last_ra_move_ = 0.0, last_dec_move_ = 0.0;
  int last_dec_sign_ = 0;          // direction of the last Dec pulse sent: +1 North, -1 South
  std::deque<double> dec_errors_;  // the last few Dec errors, for the reversal rule
  // Dec backlash taken up on a reversal, learnt from what each reversal did; < 0 until the first.
  double dec_comp_px_ = -1.0;
  // A reversal sent on the last frame: the move it was meant to make and the error before it.
  bool check_reversal_ = false;
  double reversal_move_ = 0.0, reversal_error_ = 0.0;
  // Prediction scores: each predictor's squared miss of the drift over the cycles so far.
  struct Score {
    double predicted_from_t = -1.0, predicted_delta = 0.0, from_value = 0.0;
    double sum_sq = 0.0;
    int n = 0;
  };
  Score trend_score_, periodic_score_;
  std::optional<DriftModel> periodic_;
  double periodic_fitted_at_ = -1e9;
  int frames_ = 0;
};

// The guide algorithms a run can use.
enum class GuideAlgorithm { Classic, Predictive };
const char* guideAlgorithmName(GuideAlgorithm a);  // "Classic" or "Predictive"

}  // namespace qlm
