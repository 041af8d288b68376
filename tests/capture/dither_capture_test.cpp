#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "capture/capture_front_end.h"
#include "capture/capture_state.h"
#include "capture/ql_model.h"
#include "capture/sequence.h"
#include "files/settings.h"
#include "guiding/guider.h"
#include "guiding/telescope.h"
#include "image/frame.h"
#include "sim/sim_setup.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using Kind = GuideRunNote::Kind;

// "Autoguide Photo" of a continuous series with "Dither between frames" ticked in the camera panel, on the
// simulated camera and mount with the virtual clock.
class DitherCaptureTest : public ::testing::Test {
 protected:
  DitherCaptureTest() {
    settings().show_interface_details = false;
    settings().drive_method = 'b';
    FindCamera();
    SelectTelescopePort();
    GuiderExposure('s', 1, imageBuffers().GuiderFrames[0], GuiderProcessing{});
    guiderGuideStar() = brightestGuiderStar(imageBuffers().GuiderFrames[0], settings().mask_radius);
    captureSettings().dither_seed = 3;
    platform.ui.onPanel(kCameraPanelName, [](PanelModel& m) {
      auto& panel = dynamic_cast<QlModel&>(m);
      panel.press(ql::kSeconds);
      panel.setValueText("10");
      panel.press(ql::kContinuous);
      panel.scroll(ql::kExposuresScroll, ScrollAction::LineDown);
      panel.scroll(ql::kExposuresScroll, ScrollAction::LineDown);
      panel.press(ql::kDither);
      panel.scroll(ql::kDitherScroll, ScrollAction::LineDown);  // 3.5 px
      return panel.press(ql::kAutoguidePhoto);
    });
    front.guiding.log_path = "-";
    front.guiding.run_note = [this](const GuideRunNote& n) { notes.push_back(n); };
    front.frame_finished = [this] {
      history.push_back(historyList().entry(historyList().count() - 1));
      if (on_frame) on_frame();
    };
  }
  std::vector<Kind> kinds() const {
    std::vector<Kind> k;
    for (const GuideRunNote& n : notes)
      k.push_back(n.kind);
    return k;
  }

  sim::SimSystem sim{sim::defaultSimOptions()};
  test::TestPlatform platform{&sim.transport()};
  CaptureFrontEnd front;
  std::vector<GuideRunNote> notes;
  std::vector<std::string> history;  // the last history line of each finished frame
  std::function<void()> on_frame;
};

TEST_F(DitherCaptureTest, ThePanelsSeriesDithersAndSettlesBetweenItsFrames) {
  ASSERT_TRUE(guiderGuideStar());
  takePhotoCommand(front);
  EXPECT_EQ(captureSettings().dither_params.amount_px, 3.5);
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[0], "Dither offset x +0.0 y +0.0 guider px");
  EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::Dither, Kind::Settling, Kind::Settled, Kind::Dither,
                                        Kind::Settling, Kind::Settled}));
  double x = 0.0, y = 0.0;
  for (int k = 0; k < 2; ++k) {
    const GuideRunNote& dither = notes[static_cast<std::size_t>(3 * k)];
    const GuideRunNote& settled = notes[static_cast<std::size_t>(3 * k + 2)];
    EXPECT_LT(settled.distance_px, 1.5);
    EXPECT_GE(settled.time_ms - dither.time_ms, 10000u);
    x += dither.dx_px;
    y += dither.dy_px;
    // Not rotated: the RA and Dec parts are the sensor's moves.
    EXPECT_NEAR(std::abs(dither.ra_px), std::abs(dither.dx_px), 1e-9);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Dither offset x %+.1f y %+.1f guider px", x, y);
    EXPECT_EQ(history[static_cast<std::size_t>(k + 1)], expected);
    EXPECT_LE(std::max(std::abs(x), std::abs(y)), 3.5 + 1e-9);
  }
}

TEST_F(DitherCaptureTest, AClickWhileSettlingEndsTheSeriesBeforeTheNextExposure) {
  on_frame = [this] { platform.ui.scheduleMousePress(platform.clock.millis() + 4000); };
  takePhotoCommand(front);
  EXPECT_EQ(history.size(), 1u);
  EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::Dither, Kind::Settling}));
  EXPECT_FALSE(guiderGuidingRunning());
}

}  // namespace
}  // namespace qlm
