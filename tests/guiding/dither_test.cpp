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
  EXPECT_DOUBLE_EQ(ditherAxes(p).dec_y, 1.0);  // not rotating: the sensor's own axes, whatever the angle
  p.rotate = true;
  EXPECT_NEAR(ditherAxes(p).ra_y, std::sin(0.5), 1e-6);
  p.vectors = true;  // trained vectors win over the angle, as unit vectors along the measured moves
  p.west_x = 0.0, p.west_y = -3.0, p.north_x = 2.0, p.north_y = 0.0;
  EXPECT_DOUBLE_EQ(ditherAxes(p).ra_y, -1.0);
  EXPECT_DOUBLE_EQ(ditherAxes(p).dec_x, 1.0);
}

TEST(DitherLimitsTest, MovesStayUnderTheCorrectionLimitAndInsideTheWindow) {
  EXPECT_DOUBLE_EQ(ditherLimits(8, kGuiderWidth, kGuiderHeight).max_move_px, 6.0);
  EXPECT_DOUBLE_EQ(ditherLimits(15, kGuiderWidth, kGuiderHeight).max_move_px, 6.5);
  const DitherLimits l = ditherLimits(8, kGuiderWidth, kGuiderHeight);
  EXPECT_EQ(l.x_min, 9);  // the window x - 8 .. x + 8 inside 0 .. 499
  EXPECT_EQ(l.y_max, 280);
}

class DrawDitherTest : public ::testing::Test {
 protected:
  DitherAxes turned{std::cos(0.7), std::sin(0.7), -std::sin(0.7), std::cos(0.7)};
  DitherLimits limits = ditherLimits(8, kGuiderWidth, kGuiderHeight);
};

TEST_F(DrawDitherTest, OffsetsStayWithinTheAmountAndEachMoveWithinTheLimits) {
  std::mt19937 rng(11);
  DitherOffset at;
  double largest = 0.0;
  for (int i = 0; i < 500; ++i) {
    const DitherOffset next = drawDitherOffset(rng, 5.0, turned, at, 250.0, 145.0, limits);
    // Within the amount along the axes (but for the tenths the sensor offset is rounded to).
    EXPECT_LE(std::max(std::abs(next.ra), std::abs(next.dec)), 5.08);
    EXPECT_LE(std::max(std::abs(next.x - at.x), std::abs(next.y - at.y)), 6.0 + 1e-9);
    EXPECT_DOUBLE_EQ(next.x * 10.0, std::round(next.x * 10.0));
    largest = std::max({largest, std::abs(next.ra), std::abs(next.dec)});
    at = next;
  }
  EXPECT_GT(largest, 4.5);  // the whole range is used
  std::mt19937 a(42), b(42), c(43);
  const DitherOffset first = drawDitherOffset(a, 3.0, turned, {}, 250.0, 145.0, limits);
  const DitherOffset again = drawDitherOffset(b, 3.0, turned, {}, 250.0, 145.0, limits);
  const DitherOffset other = drawDitherOffset(c, 3.0, turned, {}, 250.0, 145.0, limits);
  EXPECT_TRUE(first.x == again.x && first.y == again.y);  // a seed repeats its offsets
  EXPECT_TRUE(first.x != other.x || first.y != other.y);
}

TEST_F(DrawDitherTest, AStarNearTheEdgeOrASmallWindowShortensTheMove) {
  std::mt19937 rng(5);
  const DitherLimits small = ditherLimits(3, kGuiderWidth, kGuiderHeight);  // one pixel a move
  DitherOffset at;
  for (int i = 0; i < 200; ++i) {
    // Home two pixels inside the lowest place the reference may go.
    const DitherOffset edge =
        drawDitherOffset(rng, 8.0, DitherAxes{}, {}, limits.x_min + 2.0, limits.y_min + 2.0, limits);
    EXPECT_GE(std::min(edge.x, edge.y), -2.0 - 1e-9);
    const DitherOffset next = drawDitherOffset(rng, 8.0, DitherAxes{}, at, 250.0, 145.0, small);
    EXPECT_LE(std::max(std::abs(next.x - at.x), std::abs(next.y - at.y)), 1.0 + 1e-9);
    at = next;
  }
}

// The settle rule, settle 1.5 px for 10 s, timeout 60 s, on frames a second apart.
SettleState feed(SettleRule& rule, std::uint32_t& now, int frames, std::optional<double> distance) {
  SettleState s = SettleState::Settling;
  for (int i = 0; i < frames; ++i)
    s = rule.frame(now += 1000, distance);
  return s;
}

TEST(SettleRuleTest, SettlesOnceTheErrorStayedUnderForTheSettleTime) {
  std::uint32_t now = 5000;
  SettleRule rule(DitherParams{}, now);
  EXPECT_EQ(feed(rule, now, 3, 4.0), SettleState::Settling);
  EXPECT_EQ(feed(rule, now, 10, 1.0), SettleState::Settling);          // under for 9 s so far
  EXPECT_EQ(feed(rule, now, 1, 2.0), SettleState::Settling);           // an excursion starts the count again
  EXPECT_EQ(feed(rule, now, 1, std::nullopt), SettleState::Settling);  // so does a lost star
  EXPECT_EQ(feed(rule, now, 10, 1.49), SettleState::Settling);
  EXPECT_EQ(feed(rule, now, 1, 1.49), SettleState::Settled);
  EXPECT_DOUBLE_EQ(rule.elapsedSeconds(now), 26.0);
}

TEST(SettleRuleTest, TimesOutWhenTheErrorNeverStaysUnderAndZeroTimeSettlesAtOnce) {
  std::uint32_t now = 0xFFFFF000u;  // the millisecond clock wraps during the settling
  SettleRule rule(DitherParams{}, now);
  for (int i = 0; i < 59; ++i)
    EXPECT_EQ(feed(rule, now, 1, i % 5 == 0 ? 3.0 : 1.0), SettleState::Settling) << i;
  EXPECT_EQ(feed(rule, now, 1, 1.0), SettleState::TimedOut);
  DitherParams p;
  p.settle_s = 0.0;
  SettleRule at_once(p, now);
  EXPECT_EQ(feed(at_once, now, 1, 1.0), SettleState::Settled);
}

}  // namespace
}  // namespace qlm
