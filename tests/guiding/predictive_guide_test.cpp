#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <random>

#include "guiding/predictive_guide.h"

namespace qlm {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A frame held `dx`, `dy` pixels from the reference (reference less position), at time t.
PredictiveInput frameAt(double t, double dx, double dy) {
  PredictiveInput in;
  in.t_s = t;
  in.ref_x = 100.0;
  in.ref_y = 100.0;
  in.x = 100.0 - dx;
  in.y = 100.0 - dy;
  return in;
}

class PredictiveRuleTest : public ::testing::Test {
 protected:
  PredictiveRuleTest() {
    p.ra_ms_per_px = 500.0;
    p.dec_ms_per_px = 400.0;
    p.periodic_model = false;
  }
  PredictiveParams p;
};

TEST_F(PredictiveRuleTest, HysteresisRulePerAxisWithMinimumMoveAndLimit) {
  PredictiveGuider g(p);
  // Below the minimum move nothing is sent on either axis.
  GuideCorrection c = g.correct(frameAt(0.0, 0.14, -0.14));
  EXPECT_FALSE(c.ra.sent() || c.dec.sent());
  // 1 px East: 0.7 x 0.9 x 1 px at 500 ms/px; 0.5 px South at 400 ms/px.
  c = g.correct(frameAt(2.0, 1.0, -0.5));
  EXPECT_EQ(c.ra.letter, 'e');
  EXPECT_EQ(c.ra.ms, 315);
  EXPECT_EQ(c.dec.letter, 's');
  EXPECT_EQ(c.dec.ms, 126);
  // The next move blends in a tenth of the last one: 0.7 x (0.9 x 1 + 0.1 x 0.63).
  c = g.correct(frameAt(4.0, 1.0, 0.0));
  EXPECT_EQ(c.ra.ms, static_cast<int>(0.7 * (0.9 + 0.1 * 0.63) * 500.0));
  // Beyond the limit on either axis the frame is not corrected.
  c = g.correct(frameAt(6.0, 0.5, -8.1));
  EXPECT_TRUE(c.too_far);
  EXPECT_FALSE(c.ra.considered || c.dec.considered);
  // Swapped letters are used as given, and a long error stops at the longest pulse.
  p.letters = {'w', 'e', 's', 'n'};
  p.max_pulse_ms = 1000.0;
  PredictiveGuider swapped(p);
  c = swapped.correct(frameAt(0.0, 7.0, 0.3));
  EXPECT_EQ(c.ra.letter, 'w');
  EXPECT_EQ(c.ra.ms, 1000);
  EXPECT_EQ(c.dec.letter, 's');
}

TEST_F(PredictiveRuleTest, ErrorsAreSplitAlongTheTrainedAxes) {
  p.ra_angle_deg = 90.0;  // East moves the star towards -y, North towards +x
  p.dec_angle_deg = 90.0;
  PredictiveGuider g(p);
  const auto [ra, dec] = g.alongAxes(0.4, -1.0);
  EXPECT_NEAR(ra, 1.0, 1e-9);
  EXPECT_NEAR(dec, 0.4, 1e-9);
  const GuideCorrection c = g.correct(frameAt(0.0, 0.0, -1.0));
  EXPECT_EQ(c.ra.letter, 'e');
  EXPECT_FALSE(c.dec.considered);
  // A mirrored sensor: North along -x while East is along +x turned by 30 degrees.
  p.ra_angle_deg = 30.0;
  p.dec_angle_deg = 210.0;
  const auto [r2, d2] = PredictiveGuider(p).alongAxes(std::cos(kPi / 6), -std::sin(kPi / 6));
  EXPECT_NEAR(r2, 1.0, 1e-9);
  EXPECT_NEAR(d2, 0.0, 1e-9);
}

TEST_F(PredictiveRuleTest, DecReversesOnlyOnAPersistentErrorAndLearnsItsBacklash) {
  p.dec_backlash_px = 2.0;
  PredictiveGuider g(p);
  GuideCorrection c = g.correct(frameAt(0.0, 0.0, 0.5));  // North; the gears' side is now known
  EXPECT_EQ(c.dec.letter, 'n');
  EXPECT_EQ(g.lastDetail().dec_backlash_px, 0.0);
  // One small error the other way is seeing: no reversal.
  c = g.correct(frameAt(2.0, 0.0, -0.2));
  EXPECT_FALSE(c.dec.sent());
  c = g.correct(frameAt(4.0, 0.0, -0.2));
  EXPECT_FALSE(c.dec.sent());
  // The third frame the same way reverses, taking up 3/4 of the trained play first.
  c = g.correct(frameAt(6.0, 0.0, -0.2));
  ASSERT_TRUE(c.dec.sent());
  EXPECT_EQ(c.dec.letter, 's');
  EXPECT_DOUBLE_EQ(g.lastDetail().dec_backlash_px, 1.5);
  const double meant = -0.7 * (0.9 * -0.2 + 0.1 * 0.0);  // South move, pixels
  EXPECT_EQ(c.dec.ms, static_cast<int>((meant + 1.5) * 400.0));
  // The star went 0.3 px past the reference: the play was overestimated, the next reversal takes less.
  g.correct(frameAt(8.0, 0.0, -0.2 + meant + 0.3));
  EXPECT_NEAR(g.decBacklashCompensation(), 1.5 - 0.4 * 0.3, 1e-9);
  // A large error reverses at once.
  c = g.correct(frameAt(10.0, 0.0, 0.6));
  EXPECT_EQ(c.dec.letter, 'n');
  c = g.correct(frameAt(12.0, 0.0, -1.0));
  EXPECT_EQ(c.dec.letter, 's');
  EXPECT_GT(g.lastDetail().dec_backlash_px, 0.0);
}

// A worm's periodic error with its second harmonic, a slow drift and seeing, sampled every 2.5 s.
struct Drift {
  double period = 480.0;
  double at(double t) const {
    const double a = 2.0 * kPi * t / period;
    return 2.5 * std::sin(a) + 0.75 * std::sin(2.0 * a + 0.9) + 0.002 * t;
  }
};

TEST(PeriodicDriftTest, FindsThePeriodAndRefusesNoise) {
  std::mt19937 rng(3);
  std::normal_distribution<double> seeing(0.0, 0.1);
  const Drift drift;
  std::deque<double> t, d, flat;
  for (double s = 0.0; s < 1100.0; s += 2.5) {
    t.push_back(s);
    d.push_back(drift.at(s) + seeing(rng));
    flat.push_back(0.001 * s + seeing(rng));
  }
  const auto m = findPeriodicDrift(t, d, 60.0, 1000.0, 3);
  ASSERT_TRUE(m);
  EXPECT_NEAR(m->period_s, 480.0, 10.0);
  EXPECT_LT(m->residual_px, 0.12);
  // Extrapolated half a minute ahead it follows the drift within the seeing.
  EXPECT_NEAR(m->valueAt(1130.0) - m->valueAt(1100.0), drift.at(1130.0) - drift.at(1100.0), 0.05);
  EXPECT_FALSE(findPeriodicDrift(t, flat, 60.0, 1000.0, 3));
  // Too few samples for the harmonics: no model rather than a wild one.
  const std::deque<double> few_t(t.begin(), t.begin() + 8), few_d(d.begin(), d.begin() + 8);
  EXPECT_FALSE(fitPeriodicDrift(few_t, few_d, 480.0, 3));
  EXPECT_FALSE(fitLocalDrift(few_t, few_d, 10.0));
}

// The closed loop on a mount that is only its periodic error: the model learns it and corrects ahead,
// where the rule alone lags behind.
TEST(PredictiveLoopTest, TheLearntPeriodicErrorIsCorrectedAhead) {
  const auto run = [](bool model) {
    PredictiveParams p;
    p.ra_ms_per_px = 500.0;
    p.periodic_model = model;
    PredictiveGuider g(p);
    std::mt19937 rng(11);
    std::normal_distribution<double> seeing(0.0, 0.08);
    Drift drift;
    drift.period = 300.0;
    double sent = 0.0, sq = 0.0;
    int n = 0;
    for (double t = 0.0; t < 1500.0; t += 2.5) {
      const double star = drift.at(t) * 2.0 + sent;  // 5 px peak to peak
      if (t > 700.0) {
        sq += star * star;
        ++n;
      }
      PredictiveInput in = frameAt(t, -(star + seeing(rng)), 0.0);
      const GuideCorrection c = g.correct(in);
      if (c.ra.sent()) sent += (c.ra.letter == 'e' ? 1.0 : -1.0) * c.ra.ms / p.ra_ms_per_px;
    }
    return std::make_pair(std::sqrt(sq / n), std::string(g.lastDetail().predictor));
  };
  const auto [reactive, none] = run(false);
  const auto [predicted, by] = run(true);
  EXPECT_EQ(none, "none");
  EXPECT_EQ(by, "periodic");
  EXPECT_LT(predicted, 0.6 * reactive) << predicted << " against " << reactive;
}

}  // namespace
}  // namespace qlm
