#include <gtest/gtest.h>

#include "camera/link.h"
#include "capture/capture_front_end.h"
#include "capture/capture_state.h"
#include "capture/ql_model.h"
#include "capture/sequence.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "image/centroid.h"
#include "image/frame.h"
#include "image/star_measure.h"
#include "sim/sim_transport.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// The simulated camera with the mount drifting 1.5 pixels a second to the right and 1 pixel down.
class StackingCaptureTest : public ::testing::Test {
 protected:
  StackingCaptureTest() {
    resetLinkState(linkState());
    settings().show_interface_details = false;
    sim.setImageShiftSource([](std::uint32_t at_ms) {
      return sim::ImageShift{0.0015 * at_ms, 0.001 * at_ms};
    });
  }
  ~StackingCaptureTest() override { resetLinkState(linkState()); }

  // Takes `n` two-second exposures, averaged, starting from the star picked near the frame centre.
  StarMeasure capture(int n) {
    centroidState().main = {330, 250, 0, 0};
    centroidState().working_radius = 8;
    p.ui.onPanel(kCameraPanelName, [n](PanelModel& m) {
      auto& panel = dynamic_cast<QlModel&>(m);
      panel.press(ql::kSeconds);
      panel.setValueText("2");
      while (captureSettings().exposures < n)
        panel.scroll(ql::kExposuresScroll, ScrollAction::LineDown);
      if (!captureSettings().average_multiple) panel.press(ql::kAverage);
      return panel.press(ql::kTakePhoto);
    });
    takePhotoCommand();
    const auto star =
        measureStar(imageBuffers().CurrentFrame.data(), kFrameWidth, kFrameHeight, 335, 255, 15);
    EXPECT_TRUE(star);
    return star.value_or(StarMeasure{});
  }

  sim::SimTransport sim;
  test::TestPlatform p{&sim};
};

TEST_F(StackingCaptureTest, ThreeAveragedExposuresWithDriftStackAsSharpAsOne) {
  const StarMeasure one = capture(1);
  const StarMeasure three = capture(3);
  EXPECT_EQ(p.ui.messageTexts(), std::vector<std::string>{});
  EXPECT_GT(three.x - one.x, 5.0);  // the stack lies where the last frame saw the star
  EXPECT_LT(three.fwhm, one.fwhm * 1.25);
  EXPECT_GT(three.peak, one.peak * 0.7);  // an average of three aligned stars, not a smear
  EXPECT_DOUBLE_EQ(fitsDetails().exposureSeconds, 6.0);
}

}  // namespace
}  // namespace qlm
