#include <gtest/gtest.h>

#include <cmath>

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

TEST_F(GuiderCorrectionTest, RotationTruncatesAnglesToWholeRadians) {
  p.rotate = true;
  p.theta = 1.2f;
  p.ra_rate = 2;
  p.dec_rate = 3;
  last = {'e', 'n'};
  // |dx| / |dy| = 0: phi 0; a = |0 - 1| = 1 radian; v = 500.
  GuideCorrection c = guiderCorrection(300, 400, p, last);
  EXPECT_EQ(c.ra.letter, 'e');
  EXPECT_EQ(c.ra.ms, static_cast<int>(std::cos(1.0) * 500.0f) / 2);
  EXPECT_EQ(c.dec.letter, 'n');
  EXPECT_EQ(c.dec.ms, static_cast<int>(std::sin(1.0) * 500.0f) / 3);
  // v is the double root held as a float: a root of the float sum would give 2981 and 4296 here.
  p.ra_rate = 1;
  p.dec_rate = 1;
  EXPECT_EQ(guiderCorrection(4029, 3772, p, last).ra.ms, 2982);
  EXPECT_EQ(guiderCorrection(4120, 3017, p, last).dec.ms, 4297);
  // No 8-pixel limit; quadrant 3 turns both letters.
  p.quadrant = 3;
  c = guiderCorrection(9000, 9000, p, last);
  EXPECT_FALSE(c.too_far);
  EXPECT_EQ(c.ra.letter, 'w');
  EXPECT_EQ(c.dec.letter, 's');
}

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

// Step positions of a star that moves (vx, vy) per second west and (ux, uy) per second north, T = 2.
GuiderTrainingPositions stepsFor(int vx, int vy, int ux, int uy) {
  GuiderTrainingPositions p;
  auto set = [&p](int i, int x, int y) {
    p.x[i] = 100 + x;
    p.y[i] = 100 + y;
  };
  set(0, 0, 0);
  set(1, vx / 5, vy / 5);
  set(2, vx * 2 + vx / 5, vy * 2 + vy / 5);
  set(3, vx * 4, vy * 4);
  set(4, vx * 2 + 1, vy * 2);  // one pixel of RA backlash
  set(5, vx * 4, vy * 4);
  set(6, vx * 4 + ux / 2, vy * 4 + uy / 2);
  set(7, vx * 4 + ux * 4, vy * 4 + uy * 4);
  set(8, vx * 4 + ux * 2, vy * 4 + uy * 2 + 3);
  return p;
}

TEST(GuiderTrainingTest, VectorsThetaQuadrantAndBacklash) {
  GuiderTraining r = guiderTrainingResults(stepsFor(7, 2, 0, 5), 2);
  EXPECT_EQ(r.rx, 7);
  EXPECT_EQ(r.ry, 2);
  EXPECT_NEAR(r.theta, std::atan(3.0), 1e-6);  // 7 / 2 counts as 3
  EXPECT_EQ(r.quadrant, 1);
  EXPECT_EQ(r.ra_rate, 7);
  EXPECT_EQ(r.dec_rate, 5);
  EXPECT_EQ(r.ra_backlash, 1);
  EXPECT_EQ(r.dec_backlash, 3);
  EXPECT_FALSE(r.nonsense);
  EXPECT_EQ(guiderTrainingText(r).substr(0, 28), "slew RA =     7,    2,     7");
  EXPECT_EQ(guiderTrainingResults(stepsFor(1, 2, 5, 0), 2).theta, 0.0f);
  r = guiderTrainingResults(stepsFor(-3, 4, 4, 3), 2);
  EXPECT_EQ(r.ra_rate, 5);
  EXPECT_EQ(r.quadrant, 2);
  EXPECT_EQ(predictedOffset(9, 2), 19);
}

TEST(GuiderTrainingTest, AStillStarIsNonsense) {
  GuiderTraining r = guiderTrainingResults(GuiderTrainingPositions{}, 2);
  EXPECT_TRUE(r.nonsense);
  EXPECT_EQ(r.ra_rate, 1);
}

TEST(MainTrainingTest, RaTakesMeansDecTheLargerMove) {
  MainTrainingPositions p;
  p.x = {50, 60, 70, 64, 56};  // second east move 10, second west move 8
  p.y = {40, 46, 52, 49, 40};  // north 6, south 9
  const MainTraining r = mainTrainingResults(p, 1);
  EXPECT_EQ(r.ra_rate, 9);
  EXPECT_EQ(r.dec_rate, 9);
  EXPECT_EQ(r.ra_backlash, (6 + 4) / 2);
  EXPECT_EQ(r.dec_backlash, 3);
  EXPECT_EQ(mainTrainingText(r), "slewx =     9, slewy =     9\nbacklashx =     5, backlashy =     3");
}

}  // namespace
}  // namespace qlm
