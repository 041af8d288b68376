#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture_fixture.h"
#include "guiding/ao_unit.h"

namespace qlm {
namespace {

using test::CaptureTest;

class AORecentreTest : public CaptureTest {
 protected:
  AORecentreTest() {
    settings().guide_device = 'A';
    aoState().tilt_x = -20;
    aoState().tilt_y = 7;
  }
  // Texts the camera sent out of its serial ports, in order.
  std::vector<std::string> serialTexts() const {
    std::vector<std::string> out;
    for (const auto& b : camera.of(kCmdSerialWrite))
      out.emplace_back(b.bytes.begin() + 8, b.bytes.end());
    return out;
  }
};

TEST_F(AORecentreTest, SingleExposureEndsByUndoingTheTilt) {
  takePhoto(exposure(ql::kSeconds, 2));
  EXPECT_EQ(serialTexts(), (std::vector<std::string>{"GS00007", "GT00020"}));
  EXPECT_EQ(aoState().tilt_x, 0);
  // The recentring comes before the readout.
  EXPECT_LT(camera.of(kCmdSerialWrite).back().at_ms, camera.readouts().front().at_ms);
}

TEST_F(AORecentreTest, SeriesLeavesTheTilt) {
  takePhoto(exposure(ql::kSeconds, 2, [](QlModel& panel) {
    panel.press(ql::kContinuous);
    setExposures(panel, 2);
  }));
  EXPECT_TRUE(serialTexts().empty());
  EXPECT_EQ(aoState().tilt_x, -20);
}

TEST_F(AORecentreTest, TelescopeGuidingLeavesTheTilt) {
  settings().guide_device = 'T';
  takePhoto(exposure(ql::kSeconds, 2));
  EXPECT_TRUE(serialTexts().empty());
  EXPECT_EQ(aoState().tilt_x, -20);
}

}  // namespace
}  // namespace qlm
