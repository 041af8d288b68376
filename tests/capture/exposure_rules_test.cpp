#include <gtest/gtest.h>

#include "capture/capture_state.h"
#include "capture/sequence.h"
#include "support/test_home.h"

namespace qlm {
namespace {

struct UnitCase {
  char unit;
  int count;
  std::uint32_t exposure_ms;
  int steps;
  bool short_path;
};

class ExposureUnitTest : public ::testing::TestWithParam<UnitCase> {};

TEST_P(ExposureUnitTest, TimeStepsAndPathFollowTheUnit) {
  const UnitCase c = GetParam();
  EXPECT_EQ(exposureMillis(c.unit, c.count), c.exposure_ms);
  EXPECT_EQ(progressSteps(c.unit, c.count), c.steps);
  EXPECT_EQ(shortUnitExposure(c.unit, exposureMillis(c.unit, c.count)), c.short_path);
}

INSTANTIATE_TEST_SUITE_P(Units, ExposureUnitTest,
                         ::testing::Values(UnitCase{'q', 7, 7, 2, true},         //
                                           UnitCase{'h', 99, 990, 2, true},      //
                                           UnitCase{'t', 5, 500, 2, true},       //
                                           UnitCase{'t', 100, 10000, 2, true},   //
                                           UnitCase{'s', 1, 1000, 2, true},      // timed by the camera
                                           UnitCase{'s', 3, 3000, 2, false},     //
                                           UnitCase{'s', 4, 4000, 2, false},     //
                                           UnitCase{'s', 5, 5000, 6, false},     //
                                           UnitCase{'s', 12, 12000, 6, false},   //
                                           UnitCase{'s', 13, 13000, 20, false},  //
                                           UnitCase{'s', 30, 30000, 20, false},  //
                                           UnitCase{'m', 1, 60000, 20, false},   //
                                           UnitCase{'x', 2, 2000, 2, false}),    // other letters: seconds
                         [](const auto& info) {
                           return std::string(1, info.param.unit == 'x' ? 'o' : info.param.unit) +
                                  std::to_string(info.param.count);
                         });

struct AutochangeCase {
  char unit;
  int count;
  std::uint16_t peak;
  char new_unit;
  int new_count;
};

class AutochangeTest : public ::testing::TestWithParam<AutochangeCase> {};

TEST_P(AutochangeTest, RewritesUnitAndCountInTheLargestFittingUnit) {
  test::TestPlatform p;
  const AutochangeCase c = GetParam();
  captureSettings().unit = c.unit;
  captureSettings().count = c.count;
  applyAutochange(c.peak);
  EXPECT_EQ(captureSettings().unit, c.new_unit);
  EXPECT_EQ(captureSettings().count, c.new_count);
}

INSTANTIATE_TEST_SUITE_P(
    Peaks, AutochangeTest,
    ::testing::Values(AutochangeCase{'t', 6, 20000, 's', 1},     // 600 ms doubled to 1200
                      AutochangeCase{'t', 6, 40000, 't', 6},     // in range: unchanged
                      AutochangeCase{'t', 6, 65000, 't', 3},     // halved
                      AutochangeCase{'h', 5, 10000, 'h', 10},    // 50 -> 100 ms stays in hundredths
                      AutochangeCase{'h', 6, 10000, 't', 1},     // 60 -> 120 ms
                      AutochangeCase{'q', 5, 10000, 'q', 10},    //
                      AutochangeCase{'s', 80, 10000, 'm', 2},    // 160 s
                      AutochangeCase{'s', 60, 10000, 's', 120},  // exactly 120,000 ms stays in seconds
                      AutochangeCase{'q', 1, 65000, 'q', 1}),    // never halved to nothing
    [](const auto& info) { return "case" + std::to_string(info.index); });

}  // namespace
}  // namespace qlm
