#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <string>

#include "guiding/guide_log.h"

namespace qlm {
namespace {

// Lines a damaged or hand-edited log may hold: numbers that do not fit the row's integers are
// refused rather than converted (a conversion of them would be undefined).
TEST(GuideLogReaderTest, RefusesNumbersOutsideTheRowsIntegers) {
  const std::string tail = ",250.3,140.7,0.125,-0.300,w,120,n,80,,,,";
  ASSERT_TRUE(parseGuideLogLine("1000,1" + tail).has_value());
  for (const char* head : {"nan,1", "-5,1", "1e300,1", "1000,1e12", "1000,inf"})
    EXPECT_FALSE(parseGuideLogLine(std::string(head) + tail).has_value()) << head;
  EXPECT_FALSE(parseGuideLogLine("1000,1,250.3,140.7,1e300,-0.300,w,120,n,80,,,,").has_value());
  EXPECT_FALSE(parseGuideLogLine("1000,1,250.3,140.7,0.125,-0.300,w,1e99,n,80,,,,").has_value());
}

// Rows at the ends of every column's range: the written line reads back as the same row (the values
// are exact in the columns' decimals), however long the numbers print.
class GuideLogRoundTripTest : public ::testing::TestWithParam<GuideLogRow> {};

TEST_P(GuideLogRoundTripTest, WrittenLineReadsBackAsTheSameRow) {
  const GuideLogRow& row = GetParam();
  const std::string line = guideLogLine(row);
  const auto back = parseGuideLogLine(line);
  ASSERT_TRUE(back.has_value()) << line;
  EXPECT_EQ(back->time_ms, row.time_ms);
  EXPECT_EQ(back->frame, row.frame);
  EXPECT_EQ(back->x, row.x);
  EXPECT_EQ(back->y, row.y);
  EXPECT_EQ(back->dx, row.dx);
  EXPECT_EQ(back->dy, row.dy);
  EXPECT_EQ(back->ra_dir, row.ra_dir);
  EXPECT_EQ(back->ra_ms, row.ra_ms);
  EXPECT_EQ(back->dec_dir, row.dec_dir);
  EXPECT_EQ(back->dec_ms, row.dec_ms);
  EXPECT_EQ(back->ao, row.ao);
  EXPECT_EQ(back->truth, row.truth);
}

GuideLogRow extremeRow(double truth_x, double truth_y, int pulse, int offset) {
  GuideLogRow r;
  r.time_ms = 4294967295UL;
  r.frame = pulse;
  r.x = truth_x;
  r.y = -truth_y;
  r.dx = offset;
  r.dy = offset == INT_MIN ? INT_MAX : -offset;
  r.ra_dir = 'w';
  r.ra_ms = pulse;
  r.dec_dir = 'n';
  r.dec_ms = pulse;
  r.ao = std::make_pair(-32768, 32767);
  r.truth = std::make_pair(truth_x, truth_y);
  return r;
}

INSTANTIATE_TEST_SUITE_P(ExtremeValues, GuideLogRoundTripTest,
                         ::testing::Values(extremeRow(1e300, -1e300, INT_MAX, INT_MIN),
                                           extremeRow(DBL_MAX, -DBL_MAX, INT_MIN, INT_MAX),
                                           extremeRow(-123456789012.5, 0.5, 0, -1)));

}  // namespace
}  // namespace qlm
