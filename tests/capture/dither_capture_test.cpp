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
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[0], "Dither offset x +0.0 y +0.0 guider px");
  EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::Dither, Kind::Settling, Kind::Settled, Kind::Dither,
                                        Kind::Settling, Kind::Settled}));
  double x = 0.0, y = 0.0;
  for (std::size_t k = 0; k < 2; ++k) {
    EXPECT_LT(notes[3 * k + 2].distance_px, 1.5);
    EXPECT_GE(notes[3 * k + 2].time_ms - notes[3 * k].time_ms, 10000u);
    x += notes[3 * k].dx_px;
    y += notes[3 * k].dy_px;
    EXPECT_LE(std::max(std::abs(x), std::abs(y)), 3.5 + 1e-9);  // the panel's amount
  }
  char last[64];
  std::snprintf(last, sizeof last, "Dither offset x %+.1f y %+.1f guider px", x, y);
  EXPECT_EQ(history[2], last);
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
