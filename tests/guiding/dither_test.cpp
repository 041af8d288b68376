#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "guiding/dither.h"
#include "image/frame.h"

namespace qlm {
namespace {

TEST(DitherAxesTest, FollowTheAxesTheCorrectionUses) {
  GuideParams p;
  p.theta = 0.5f;
  DitherAxes a = ditherAxes(p);  // not rotating: the sensor's own axes, whatever the angle
  EXPECT_DOUBLE_EQ(std::abs(a.ra_x), 1.0);
  EXPECT_DOUBLE_EQ(a.dec_y, 1.0);
  p.rotate = true;
  a = ditherAxes(p);
  EXPECT_NEAR(a.ra_x, -std::cos(0.5), 1e-6);
  EXPECT_NEAR(a.ra_y, std::sin(0.5), 1e-6);
  EXPECT_NEAR(a.ra_x * a.dec_x + a.ra_y * a.dec_y, 0.0, 1e-9);
  // Trained vectors win over the angle, as unit vectors along the measured moves.
  p.vectors = true;
  p.west_x = 0.0, p.west_y = -3.0, p.north_x = 2.0, p.north_y = 0.0;
  a = ditherAxes(p);
  EXPECT_DOUBLE_EQ(a.ra_y, -1.0);
  EXPECT_DOUBLE_EQ(a.dec_x, 1.0);
}

TEST(DitherLimitsTest, MovesStayUnderTheCorrectionLimitAndInsideTheWindow) {
  EXPECT_DOUBLE_EQ(ditherLimits(8, kGuiderWidth, kGuiderHeight).max_move_px, 6.0);
  EXPECT_DOUBLE_EQ(ditherLimits(15, kGuiderWidth, kGuiderHeight).max_move_px, 6.5);
  EXPECT_DOUBLE_EQ(ditherLimits(1, kGuiderWidth, kGuiderHeight).max_move_px, 0.0);
  const DitherLimits l = ditherLimits(8, kGuiderWidth, kGuiderHeight);
  EXPECT_EQ(l.x_min, 9);  // the window x - 8 .. x + 8 inside 0 .. 499
  EXPECT_EQ(l.x_max, 490);
  EXPECT_EQ(l.y_max, 280);
}

class DrawDitherTest : public ::testing::Test {
 protected:
  DitherAxes turned() const {
    DitherAxes a;
    a.ra_x = std::cos(0.7), a.ra_y = std::sin(0.7), a.dec_x = -std::sin(0.7), a.dec_y = std::cos(0.7);
    return a;
  }
  DitherLimits limits = ditherLimits(8, kGuiderWidth, kGuiderHeight);
};

TEST_F(DrawDitherTest, OffsetsStayWithinTheAmountAndEachMoveWithinTheLimits) {
  std::mt19937 rng(11);
  DitherOffset at;
  double largest = 0.0;
  for (int i = 0; i < 500; ++i) {
    const DitherOffset next = drawDitherOffset(rng, 5.0, turned(), at, 250.0, 145.0, limits);
    // Axis offsets within the amount (the tenths rounding of the sensor offset aside).
    EXPECT_LE(std::abs(next.ra), 5.08);
    EXPECT_LE(std::abs(next.dec), 5.08);
    EXPECT_LE(std::abs(next.x - at.x), 6.0 + 1e-9);
    EXPECT_LE(std::abs(next.y - at.y), 6.0 + 1e-9);
    EXPECT_DOUBLE_EQ(next.x * 10.0, std::round(next.x * 10.0));  // tenths, as the reference holds it
    largest = std::max({largest, std::abs(next.ra), std::abs(next.dec)});
    at = next;
  }
  EXPECT_GT(largest, 4.5);  // the whole range is used
}

TEST_F(DrawDitherTest, TheSameSeedGivesTheSameOffsets) {
  std::mt19937 a(42), b(42), c(43);
  const DitherOffset first = drawDitherOffset(a, 3.0, DitherAxes{}, {}, 250.0, 145.0, limits);
  const DitherOffset again = drawDitherOffset(b, 3.0, DitherAxes{}, {}, 250.0, 145.0, limits);
  const DitherOffset other = drawDitherOffset(c, 3.0, DitherAxes{}, {}, 250.0, 145.0, limits);
  EXPECT_EQ(first.x, again.x);
  EXPECT_EQ(first.y, again.y);
  EXPECT_TRUE(first.x != other.x || first.y != other.y);
}

TEST_F(DrawDitherTest, AStarNearTheEdgeOrASmallWindowShortensTheMove) {
  std::mt19937 rng(5);
  // Home two pixels inside the lowest place the reference may go: no offset below -2 in x or y.
  for (int i = 0; i < 200; ++i) {
    const DitherOffset next =
        drawDitherOffset(rng, 8.0, DitherAxes{}, {}, limits.x_min + 2.0, limits.y_min + 2.0, limits);
    EXPECT_GE(next.x, -2.0 - 1e-9);
    EXPECT_GE(next.y, -2.0 - 1e-9);
  }
  // A radius-3 window allows one pixel per move, however large the amount.
  const DitherLimits small = ditherLimits(3, kGuiderWidth, kGuiderHeight);
  DitherOffset at;
  for (int i = 0; i < 200; ++i) {
    const DitherOffset next = drawDitherOffset(rng, 8.0, DitherAxes{}, at, 250.0, 145.0, small);
    EXPECT_LE(std::abs(next.x - at.x), 1.0 + 1e-9);
    EXPECT_LE(std::abs(next.y - at.y), 1.0 + 1e-9);
    at = next;
  }
}

TEST(DitherHistoryTest, FitsOneHistoryEntry) {
  DitherOffset o;
  o.x = -20.0, o.y = -19.9;
  EXPECT_EQ(ditherHistoryText(o), "Dither offset x -20.0 y -19.9 guider px");
  EXPECT_LE(ditherHistoryText(o).size(), 39u);
}

// The settle rule on frames a second apart: settle 1.5 px for 10 s, timeout 60 s.
class SettleRuleTest : public ::testing::Test {
 protected:
  DitherParams p;
  // Feeds one frame a second from `from`; returns the state after the last one.
  SettleState feed(SettleRule& rule, std::uint32_t& now, int frames, std::optional<double> distance) {
    SettleState s = SettleState::Settling;
    for (int i = 0; i < frames; ++i) {
      now += 1000;
      s = rule.frame(now, distance);
    }
    return s;
  }
};

TEST_F(SettleRuleTest, SettlesOnceTheErrorStayedUnderForTheSettleTime) {
  std::uint32_t now = 5000;
  SettleRule rule(p, now);
  EXPECT_EQ(feed(rule, now, 3, 4.0), SettleState::Settling);
  EXPECT_EQ(feed(rule, now, 10, 1.0), SettleState::Settling);          // under for 9 s so far
  EXPECT_EQ(feed(rule, now, 1, 2.0), SettleState::Settling);           // an excursion starts the count again
  EXPECT_EQ(feed(rule, now, 1, std::nullopt), SettleState::Settling);  // so does a lost star
  EXPECT_EQ(feed(rule, now, 10, 1.49), SettleState::Settling);
  EXPECT_EQ(feed(rule, now, 1, 1.49), SettleState::Settled);
  EXPECT_DOUBLE_EQ(rule.elapsedSeconds(now), 26.0);
}

TEST_F(SettleRuleTest, TimesOutWhenTheErrorNeverStaysUnder) {
  std::uint32_t now = 0xFFFFF000u;  // the millisecond clock wraps during the settling
  SettleRule rule(p, now);
  for (int i = 0; i < 59; ++i)
    EXPECT_EQ(feed(rule, now, 1, i % 5 == 0 ? 3.0 : 1.0), SettleState::Settling) << i;
  EXPECT_EQ(feed(rule, now, 1, 1.0), SettleState::TimedOut);
}

TEST_F(SettleRuleTest, ZeroSettleTimeAndTinyTimeout) {
  p.settle_s = 0.0;
  std::uint32_t now = 0;
  SettleRule at_once(p, now);
  EXPECT_EQ(feed(at_once, now, 1, 1.0), SettleState::Settled);  // the first frame under is enough
  p.settle_s = 10.0;
  p.timeout_s = 0.2;
  SettleRule tiny(p, now);
  EXPECT_EQ(feed(tiny, now, 1, 0.1), SettleState::TimedOut);
}

}  // namespace
}  // namespace qlm
