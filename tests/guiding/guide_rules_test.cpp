#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "guiding/guide_rules.h"

namespace qlm {
namespace {

TEST(GuideRulesTest, ErrorIsReferenceMinusPositionInThousandthsAndSaturates) {
  EXPECT_EQ(guideError(100, 0, 100, 4), -400);
  EXPECT_EQ(guideError(100, 7, 98, 2), 2500);
  EXPECT_EQ(guideError(0, 0, 40, 0), -32768);  // 40 px would wrap to a positive error in 16 bits
}

class GuiderCorrectionTest : public ::testing::Test {
 protected:
  GuideParams p;
  LastLetters last{'w', 's'};
};

TEST_F(GuiderCorrectionTest, ThresholdsOfIgnoreDrift) {
  p.ra_rate = 4;
  GuideCorrection c = guiderCorrection(-400, 0, p, last);
  EXPECT_TRUE(c.ra.sent());
  EXPECT_EQ(c.ra.letter, 'w');
  EXPECT_EQ(c.ra.ms, 100);
  EXPECT_FALSE(c.dec.considered);
  p.ignore_drift = false;
  EXPECT_FALSE(guiderCorrection(-25, 0, p, last).ra.considered);
  EXPECT_TRUE(guiderCorrection(-31, 0, p, last).ra.considered);
  p.ignore_drift = true;
  EXPECT_FALSE(guiderCorrection(-300, 300, p, last).ra.considered);
}

TEST_F(GuiderCorrectionTest, ReversalAddsBacklashAndHysteresisCanCancelThePulse) {
  last.ra = 'e';
  p.ra_backlash = 2;
  p.ra_rate = 5;
  p.ra_hysteresis = 1;
  GuideCorrection c = guiderCorrection(-1000, 0, p, last);
  EXPECT_EQ(c.ra.ms, 600 - 100);
  EXPECT_EQ(last.ra, 'w');
  EXPECT_EQ(guiderCorrection(-1000, 0, p, last).ra.ms, 200 - 100);  // no reversal: no backlash
  p.ra_rate = 4;
  p.ra_hysteresis = 3;
  c = guiderCorrection(-1000, 0, p, last);  // 250 - 300
  EXPECT_TRUE(c.ra.considered);
  EXPECT_FALSE(c.ra.sent());
}

TEST_F(GuiderCorrectionTest, BeyondEightPixelsNothingIsCorrectedAndSwapsApply) {
  GuideCorrection c = guiderCorrection(500, -8001, p, last);
  EXPECT_TRUE(c.too_far);
  EXPECT_FALSE(c.ra.considered || c.dec.considered);
  EXPECT_EQ(last.ra, 'w');
  p.letters = {'w', 'e', 's', 'n'};  // both swaps
  c = guiderCorrection(500, 8000, p, last);
  EXPECT_EQ(c.ra.letter, 'w');  // east, sent as the swapped letter
  EXPECT_EQ(c.dec.letter, 's');
}

TEST_F(GuiderCorrectionTest, RotationAtAngleZeroIsThePlainRule) {
  GuideParams turned = p;
  turned.rotate = true;
  p.ra_rate = turned.ra_rate = 3;
  p.dec_backlash = turned.dec_backlash = 2;
  for (const auto& [dx, dy] : {std::pair{-400, 1200}, {2500, -31}, {0, -7999}, {-299, 301}}) {
    LastLetters a = last, b = last;
    const GuideCorrection plain = guiderCorrection(dx, dy, p, a);
    const GuideCorrection rotated = guiderCorrection(dx, dy, turned, b);
    EXPECT_EQ(plain.ra.ms, rotated.ra.ms) << dx << "," << dy;
    EXPECT_EQ(plain.ra.letter, rotated.ra.letter);
    EXPECT_EQ(plain.dec.ms, rotated.dec.ms);
    EXPECT_EQ(plain.dec.letter, rotated.dec.letter);
  }
  turned.theta = 1.0f;
  EXPECT_TRUE(guiderCorrection(9000, 0, turned, last).too_far);
}

// A mount seen by a guider turned by `deg` (and mirrored in Dec when `mirrored`): the pulses of one
// correction, played on that mount, bring the star back to the reference.
struct TurnedMount {
  double deg;
  bool mirrored;
  bool use_vectors;
};
class RotatedCorrectionTest : public ::testing::TestWithParam<TurnedMount> {};

TEST_P(RotatedCorrectionTest, OneCorrectionReturnsTheStar) {
  const TurnedMount m = GetParam();
  const double a = m.deg * 3.14159265358979 / 180.0;
  const double ra_rate = 2.6, dec_rate = 1.7;
  // East moves the star along (cos a, -sin a), North along (sin a, cos a) (or its opposite, mirrored).
  const double ex = ra_rate * std::cos(a), ey = -ra_rate * std::sin(a);
  const double sign = m.mirrored ? -1.0 : 1.0;
  const double nx = sign * dec_rate * std::sin(a), ny = sign * dec_rate * std::cos(a);
  GuideParams p;
  p.rotate = true;
  p.ignore_drift = false;
  p.theta = static_cast<float>(a);
  p.ra_rate = 3;  // whole pixels, as the default column holds them
  p.dec_rate = 2;
  p.vectors = m.use_vectors;
  p.west_x = -ex, p.west_y = -ey, p.north_x = nx, p.north_y = ny;
  for (const auto& [dx, dy] : {std::pair{1500, 0}, {0, -2000}, {-1200, 900}, {700, 2400}}) {
    LastLetters last{'e', 'n'};
    const GuideCorrection c = guiderCorrection(dx, dy, p, last);
    double x = 0, y = 0;  // the star's move, thousandths
    const double e = c.ra.letter == 'e' ? c.ra.ms : -c.ra.ms;
    const double n = c.dec.letter == 'n' ? c.dec.ms : -c.dec.ms;
    x += e * ex + n * nx;
    y += e * ey + n * ny;
    const double left = std::hypot(dx - x, dy - y), asked = std::hypot(dx, dy);
    // Whole-pixel rates leave up to a third of the error; the trained vectors leave under 2 %.
    EXPECT_LT(left, (m.use_vectors ? 0.02 : 0.35) * asked) << m.deg << " deg, error " << dx << "," << dy;
  }
}

INSTANTIATE_TEST_SUITE_P(Angles, RotatedCorrectionTest,
                         ::testing::Values(TurnedMount{2, false, false}, TurnedMount{30, false, false},
                                           TurnedMount{120, false, false}, TurnedMount{270, false, false},
                                           TurnedMount{30, false, true}, TurnedMount{135, false, true},
                                           TurnedMount{-100, true, true}));

TEST(MainCorrectionTest, FivePixelLimitAndItsThresholds) {
  GuideParams p;
  p.ra_rate = 2;
  p.dec_rate = 2;
  LastLetters last;
  EXPECT_TRUE(mainCorrection(5001, 0, p, last).too_far);
  EXPECT_FALSE(mainCorrection(1000, 0, p, last).ra.considered);
  GuideCorrection c = mainCorrection(1002, -1100, p, last);
  EXPECT_EQ(c.ra.ms, 501);
  EXPECT_EQ(c.dec.letter, 's');
  p.ignore_drift = false;
  EXPECT_TRUE(mainCorrection(51, 0, p, last).ra.considered);
  EXPECT_FALSE(mainCorrection(0, 30, p, last).dec.considered);
  EXPECT_TRUE(mainCorrection(0, 31, p, last).dec.considered);
}

// The positions the eight training steps find on a mount whose West pulses move the star (wx, wy)
// pixels per second and North pulses (nx, ny), with `ra_play` / `dec_play` pixels of backlash taken up
// on each reversal (the Dec gears last turned north), for training time t.
GuiderTrainingPositions stepsOn(double wx, double wy, double nx, double ny, double ra_play, double dec_play,
                                int t) {
  GuiderTrainingPositions p;
  double x = 120.3, y = 140.6;
  p.x[0] = x, p.y[0] = y;
  const auto move = [&](int i, double seconds, double vx, double vy, double play) {
    const double len = std::hypot(vx, vy), lost = std::min(play, len * seconds);
    const double f = len > 0 ? (len * seconds - lost) / len : 0.0;
    x += vx * f, y += vy * f;
    p.x[static_cast<std::size_t>(i)] = x, p.y[static_cast<std::size_t>(i)] = y;
  };
  move(1, 0.1 * t, wx, wy, 0);
  move(2, 1.0 * t, wx, wy, 0);
  move(3, 1.0 * t, wx, wy, 0);
  move(4, 1.0 * t, -wx, -wy, ra_play);
  move(5, 1.0 * t, wx, wy, ra_play);
  move(6, 0.2 * t, nx, ny, 0);
  move(7, 1.0 * t, nx, ny, 0);
  move(8, 1.0 * t, -nx, -ny, dec_play);
  return p;
}

struct TrainingCase {
  double deg;       // the guider's turn
  double ra, dec;   // rates, pixels per second
  double dec_play;  // pixels
};
class GuiderTrainingTest : public ::testing::TestWithParam<TrainingCase> {};

TEST_P(GuiderTrainingTest, MeasuresRatesAngleAndBacklashAndPredictsEveryStep) {
  const TrainingCase k = GetParam();
  const double a = k.deg * 3.14159265358979 / 180.0;
  const int t = 2;
  // West moves the star along -(cos a, -sin a), North along (sin a, cos a).
  const GuiderTrainingPositions p = stepsOn(-k.ra * std::cos(a), k.ra * std::sin(a), k.dec * std::sin(a),
                                            k.dec * std::cos(a), 0.0, k.dec_play, t);
  const GuiderTraining r = guiderTrainingResults(p, t);
  EXPECT_FALSE(r.nonsense);
  EXPECT_NEAR(std::hypot(r.west_x, r.west_y), k.ra, 1e-9);
  EXPECT_NEAR(std::hypot(r.north_x, r.north_y), k.dec, 1e-9);
  EXPECT_EQ(r.ra_rate, std::max(1, static_cast<int>(std::lround(k.ra))));
  EXPECT_EQ(r.dec_rate, std::max(1, static_cast<int>(std::lround(k.dec))));
  EXPECT_NEAR(std::remainder(r.theta - a, 2 * 3.14159265358979), 0.0, 1e-6);
  EXPECT_NEAR(r.dec_backlash_px, k.dec_play, 1e-9);
  EXPECT_EQ(r.dec_backlash, static_cast<int>(k.dec_play));  // cut, never rounded up
  EXPECT_EQ(r.ra_backlash, 0);
  EXPECT_TRUE(r.doubts.empty());
  // Every step's first search lands within a pixel and a half of where the star went (the reversals'
  // backlash aside), so the centroid window never has to reach for it.
  for (int i = 1; i <= 8; ++i) {
    const auto [sx, sy] = guiderTrainingSearchPoint(i, p);
    // Step 6 looks where step 5 left the star (the North rate is not known yet), step 8 meets the play.
    const double slack = i == 6 ? 0.4 * k.dec : i == 8 ? k.dec_play : 0.0;
    EXPECT_LT(std::hypot(sx - p.x[static_cast<std::size_t>(i)], sy - p.y[static_cast<std::size_t>(i)]),
              1.5 + slack)
        << "step " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Mounts, GuiderTrainingTest,
                         ::testing::Values(TrainingCase{2, 1.98, 1.98, 1.58}, TrainingCase{30, 6.6, 6.6, 0},
                                           TrainingCase{120, 3.96, 3.96, 5.26},
                                           TrainingCase{270, 0.99, 0.99, 0.4},
                                           TrainingCase{-45, 1.3, 0.7, 0.9}));

TEST(GuiderTrainingResultsTest, TheResultsBoxShowsWholePixelsAndTheAngleInWholeRadians) {
  const GuiderTraining r = guiderTrainingResults(stepsOn(-7, 2, 0, 5, 1, 3, 2), 2);
  EXPECT_EQ(
      guiderTrainingText(r),
      "slew RA =    -7,    2,     7\nslew Dec =     0,     5,     5\nbacklash RA =     0,     0,     1\n"
      "backlash Dec =     0,     3,     3\nTheta =     0");
  EXPECT_EQ(r.quadrant, 2);
}

TEST(GuiderTrainingResultsTest, AStillStarIsNonsenseAndAnEatenMoveIsDoubted) {
  EXPECT_TRUE(guiderTrainingResults(GuiderTrainingPositions{}, 2).nonsense);
  // Slow but moving: rate 1, kept.
  GuiderTraining r = guiderTrainingResults(stepsOn(-0.3, 0, 0, 0.3, 0, 0, 2), 2);
  EXPECT_FALSE(r.nonsense);
  EXPECT_EQ(r.ra_rate, 1);
  // Dec play larger than the long pulse's move: the south pulse moved nothing.
  r = guiderTrainingResults(stepsOn(-2, 0, 0, 2, 0, 6, 2), 2);
  EXPECT_FALSE(r.nonsense);
  EXPECT_NE(r.doubts.find("Dec backlash is at least 4.0 px"), std::string::npos) << r.doubts;
}

TEST(MainTrainingTest, RaTakesMeansDecTheLargerMoveAndBacklashIsADistance) {
  MainTrainingPositions p;
  p.x = {50, 60, 70, 64, 56};  // second east move 10, second west move 8
  p.y = {40, 46, 52, 49, 40};  // north 6, south 9
  MainTraining r = mainTrainingResults(p, 1);
  EXPECT_EQ(r.ra_rate, 9);
  EXPECT_EQ(r.dec_rate, 9);
  EXPECT_EQ(r.ra_backlash, (6 + 4) / 2);
  EXPECT_EQ(r.dec_backlash, 3);
  EXPECT_EQ(mainTrainingText(r), "slewx =     9, slewy =     9\nbacklashx =     5, backlashy =     3");
  // With Tm = 2 the rates halve (rounded) but the pixels of play stay pixels.
  r = mainTrainingResults(p, 2);
  EXPECT_EQ(r.ra_rate, 5);
  EXPECT_EQ(r.dec_backlash, 3);
  // Tenths count: moves of 3.6 and 3.8 px make 4, not 3.
  p.x = {50, 53.6, 57.2, 54.4, 50.6};
  EXPECT_EQ(mainTrainingResults(p, 1).ra_rate, 4);
  p.y = {40, 40.2, 40.4, 40.2, 40};
  EXPECT_TRUE(mainTrainingResults(p, 1).nonsense);
}

}  // namespace
}  // namespace qlm
