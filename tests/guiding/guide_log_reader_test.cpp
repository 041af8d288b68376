#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <string>
#include <vector>

#include "guiding/guide_log.h"
#include "support/test_home.h"

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

// Rows at the ends of every column's range read back as written, however long the numbers print.
TEST(GuideLogReaderTest, ExtremeRowsRoundTrip) {
  for (const double big : {1e300, DBL_MAX}) {
    GuideLogRow r;
    r.time_ms = 4294967295UL;
    r.frame = INT_MIN;
    r.x = big;
    r.y = -big;
    r.dx = INT_MAX;
    r.dy = INT_MIN;
    r.ra_dir = 'w';
    r.ra_ms = INT_MAX;
    r.ao = std::make_pair(-32768, 32767);
    r.truth = std::make_pair(-big, big);
    const std::string line = guideLogLine(r);
    const auto back = parseGuideLogLine(line);
    ASSERT_TRUE(back.has_value()) << line;
    EXPECT_EQ(guideLogLine(*back), line);
    EXPECT_EQ(back->truth, r.truth);
    EXPECT_EQ(back->dx, r.dx);
  }
}

// A log on a full disk: the first lost line is reported once with the path and the reason, and the
// writer says it failed.
TEST(GuideLogWriterTest, AFullDiskIsReportedOnce) {
  test::TestPlatform platform;
  GuideLogWriter log;
  ASSERT_TRUE(log.open("/dev/full"));  // the header waits for the first row
  for (int i = 0; i < 3; ++i)
    log.write(GuideLogRow{});
  log.close();
  EXPECT_TRUE(log.failed());
  EXPECT_EQ(platform.ui.messageTexts(),
            std::vector<std::string>{"Cannot write the guide log /dev/full: No space left on device"});
}

}  // namespace
}  // namespace qlm
