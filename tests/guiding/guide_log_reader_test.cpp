#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qlm
