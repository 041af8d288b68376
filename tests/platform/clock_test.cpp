#include <gtest/gtest.h>

#include "platform/clock.h"

namespace qlm {
namespace {

TEST(VirtualClock, MovesOnlyWhenIdledOrAdvanced) {
  VirtualClock clock(1000, 1700000000);
  EXPECT_EQ(clock.millis(), 1000u);
  EXPECT_EQ(clock.millis(), 1000u);
  clock.idle(5);
  EXPECT_EQ(clock.millis(), 1005u);
  clock.idle(0);  // a zero idle still lets a millisecond pass, so busy loops cannot spin forever
  EXPECT_EQ(clock.millis(), 1006u);
  clock.advance(30000);
  EXPECT_EQ(clock.millis(), 31006u);
  EXPECT_EQ(clock.elapsed(), 30006u);
}

TEST(VirtualClock, MillisecondCounterWrapsLikeAnUnsigned32BitValue) {
  VirtualClock clock(0xFFFFFFF0u);
  const std::uint32_t start = clock.millis();
  clock.advance(0x20);
  EXPECT_EQ(clock.millis(), 0x10u);
  EXPECT_EQ(clock.millis() - start, 0x20u);  // unsigned difference survives the wrap
}

TEST(VirtualClock, CalendarFollowsTheMillisecondClock) {
  VirtualClock clock(500, 1700000000);
  EXPECT_EQ(clock.calendarSeconds(), 1700000000);
  clock.advance(999);
  EXPECT_EQ(clock.calendarSeconds(), 1700000000);
  clock.advance(1);
  EXPECT_EQ(clock.calendarSeconds(), 1700000001);
  clock.advance(60000);
  EXPECT_EQ(clock.calendarSeconds(), 1700000061);
}

TEST(VirtualClock, TenMinuteWaitIsExactAndInstant) {
  VirtualClock clock(0xFFFF0000u);
  const std::uint32_t start = clock.millis();
  waitMs(clock, 600000);
  EXPECT_EQ(clock.millis() - start, 600000u);
}

TEST(RealClock, MillisAdvanceAcrossAWait) {
  RealClock clock;
  const std::uint32_t start = clock.millis();
  waitMs(clock, 3);
  EXPECT_GE(clock.millis() - start, 3u);
  EXPECT_GT(clock.calendarSeconds(), 1600000000);
}

}  // namespace
}  // namespace qlm
