#include "app/fits_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qlm {
namespace {

class FitsModelTest : public ::testing::Test {
 protected:
  FitsDetails d;
};

TEST_F(FitsModelTest, OpensWithTheRecordsValues) {
  d.object = "M 13";
  d.focalLength = 80.25;
  d.exposureSeconds = 30;
  d.timeDifferenceHours = -11;
  FitsModel m(d);
  EXPECT_EQ(m.texts.object, "M 13");
  EXPECT_EQ(m.texts.instrument, "Orbilux CCD");
  EXPECT_EQ(m.texts.focal_length, "80.250000");
  EXPECT_EQ(m.texts.aperture, "0.000000");
  EXPECT_EQ(m.texts.exposure, "30.000000");
  EXPECT_EQ(m.timeDifference(), -11);
}

TEST_F(FitsModelTest, AnOutOfRangeDifferenceShowsAndStoresZero) {
  d.timeDifferenceHours = 15;
  FitsModel m(d);
  EXPECT_EQ(m.timeDifference(), 0);
  m.store();
  EXPECT_EQ(d.timeDifferenceHours, 0);
}

TEST_F(FitsModelTest, ArrowsStopAtTheEnds) {
  d.timeDifferenceHours = 10;
  FitsModel m(d);
  m.arrowDown();
  EXPECT_EQ(m.timeDifference(), 11);
  m.arrowDown();
  EXPECT_EQ(m.timeDifference(), 11);
  for (int i = 0; i < 30; ++i)
    m.arrowUp();
  EXPECT_EQ(m.timeDifference(), -11);
  m.arrowDown();
  EXPECT_EQ(m.timeDifference(), -10);
  EXPECT_EQ(d.timeDifferenceHours, 10);  // stored only by Continue
}

TEST_F(FitsModelTest, AbortKeepsTheTextsButTheBoxesHaveActed) {
  d.unsignedFits = true;
  FitsModel m(d);
  m.texts.object = "edited";
  m.arrowUp();
  m.toggleEightBit();
  m.toggleUnsigned();
  // Abort: nothing stored.
  EXPECT_EQ(d.object, "");
  EXPECT_EQ(d.timeDifferenceHours, 0);
  EXPECT_TRUE(d.eightBit);
  EXPECT_FALSE(d.unsignedFits);
}

TEST_F(FitsModelTest, ContinueStoresEveryBoxAtItsWidth) {
  FitsModel m(d);
  m.texts.instrument = std::string(80, 'i');
  m.texts.history = std::string(300, 'h');
  m.texts.comments = "short";
  m.texts.date = "2024-06-07-extra";
  m.texts.time = "21:04:05 UT";
  m.texts.filter = "Ha";
  m.texts.focal_length = "  12.5 inches";
  m.texts.aperture = "-0.5e1";
  m.texts.exposure = "1234567890123456789.5";  // only the first 19 characters are read
  m.arrowDown();
  m.store();
  EXPECT_EQ(d.instrument, std::string(67, 'i'));
  EXPECT_EQ(d.historyText, std::string(254, 'h'));
  EXPECT_EQ(d.commentText, "short");
  EXPECT_EQ(d.dateObs, "2024-06-07-");
  EXPECT_EQ(d.timeObs, "21:04:05 ");
  EXPECT_EQ(d.filterName, "Ha");
  EXPECT_DOUBLE_EQ(d.focalLength, 12.5);
  EXPECT_DOUBLE_EQ(d.aperture, -5.0);
  EXPECT_DOUBLE_EQ(d.exposureSeconds, 1234567890123456789.0);
  EXPECT_EQ(d.timeDifferenceHours, 1);
}

TEST_F(FitsModelTest, ABoxWithoutANumberLeavesTheFieldAsItWas) {
  d.focalLength = 7;
  d.aperture = 3;
  FitsModel m(d);
  m.texts.focal_length = "abc";
  m.texts.aperture = "";
  m.texts.exposure = "1e999";
  m.store();
  EXPECT_EQ(d.focalLength, 7);
  EXPECT_EQ(d.aperture, 3);
  EXPECT_TRUE(std::isinf(d.exposureSeconds));
}

}  // namespace
}  // namespace qlm
