#include <gtest/gtest.h>

#include <filesystem>

#include "capture_fixture.h"
#include "image/frame.h"

namespace qlm {
namespace {

using test::CaptureTest;

class FocusModeTest : public CaptureTest {
 protected:
  FocusModeTest() {
    linkState().camera_present = 1;
    panel.focus_runner = [this](QlModel& q) { runFocusMode(q, front.focus_exposed); };
  }
  // Runs focus mode from a panel until `exposures` focus images have been shown, then presses Stop.
  void runFocus(int exposures) {
    front.focus_exposed = [this, exposures] {
      if (++shown == exposures) panel.press(ql::kFocusStop);
    };
    panel.press(ql::kFocusStart);
  }
  QlModel panel;
  int shown = 0;
};

TEST_F(FocusModeTest, MinutesOrACountOf100DoNothing) {
  panel.press(ql::kMinutes);
  runFocus(1);
  panel.press(ql::kHundredths);
  panel.setValueText("100");
  panel.refresh();
  runFocus(1);
  EXPECT_EQ(shown, 0);
  EXPECT_TRUE(camera.blocks.empty());
  EXPECT_FALSE(sequenceState().focus_running);
}

TEST_F(FocusModeTest, NinetyNineHundredthsRunAndShowThePeak) {
  camera.pixel = 30000;
  panel.press(ql::kHundredths);
  panel.setValueText("99");
  panel.refresh();
  runFocus(3);
  EXPECT_EQ(shown, 3);
  const auto reads = camera.readouts();
  ASSERT_EQ(reads.size(), 3u);
  for (const auto& r : reads) {
    EXPECT_EQ(r.command(), kCmdReadoutDelayed);
    EXPECT_EQ(r.bytes[12] | (r.bytes[13] << 8), 128);                   // width
    EXPECT_EQ(r.bytes[18] | (r.bytes[19] << 8), 990);                   // camera-timed 990 ms
    EXPECT_EQ(r.bytes[8] | (r.bytes[9] << 8), readoutState().focus_x);  // at the focus origin
  }
  EXPECT_EQ(panel.view().max_value_text, "30000");
  EXPECT_EQ(panel.view().hfr_text, "");  // a flat image holds no star to measure
  EXPECT_TRUE(sequenceState().focus_running);
  EXPECT_TRUE(frameState().focus_mode);
  EXPECT_TRUE(std::filesystem::exists(p.paths().focusBitmap()));
  EXPECT_FALSE(panel.view().focus_bitmap.empty());
  EXPECT_EQ(p.ui.beepCount(), 2u);  // a beep between exposures, none after the last
}

TEST_F(FocusModeTest, LeftClickEndsFocusMode) {
  panel.press(ql::kTenths);
  p.ui.scheduleMousePress(2000);
  panel.press(ql::kFocusStart);
  EXPECT_TRUE(sequenceState().focus_stop);
  EXPECT_GE(camera.readouts().size(), 3u);
  EXPECT_LE(platform().clock->millis(), 2600u);
}

TEST_F(FocusModeTest, OneSecondDelaySettingPausesBetweenExposures) {
  settings().one_sec_delay_when_focussing = true;
  panel.press(ql::kTenths);  // 500 ms, timed by the camera
  runFocus(3);
  const auto reads = camera.readouts();
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[1].at_ms - reads[0].at_ms, 1500u);  // the camera's 500 ms and the pause
}

TEST_F(FocusModeTest, AutochangeDoublesTheExposureOfADimStar) {
  camera.pixel = 20000;
  panel.press(ql::kTenths);
  panel.setValueText("6");
  panel.press(ql::kAutochange);
  runFocus(2);
  const auto reads = camera.readouts();
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].bytes[18] | (reads[0].bytes[19] << 8), 600);
  // 1200 ms is shown as 1 second, so the next exposure is 1000 ms, timed by the camera.
  EXPECT_EQ(reads[1].bytes[18] | (reads[1].bytes[19] << 8), 1000);
  EXPECT_EQ(captureSettings().unit, 's');
  EXPECT_EQ(panel.view().unit_button, ql::kSeconds);
  EXPECT_EQ(panel.view().value_text, "2");  // and 2 seconds after the second doubling
}

TEST_F(FocusModeTest, ClosingThePanelAfterFocusModeShowsTheWholeFrameAgain) {
  p.ui.onPanel(kCameraPanelName, [this](PanelModel& m) {
    auto& panel = dynamic_cast<QlModel&>(m);
    panel.press(ql::kTenths);
    front.focus_exposed = [&panel] { panel.press(ql::kFocusStop); };
    panel.press(ql::kFocusStart);
    return panel.press(ql::kCancel);
  });
  takePhotoCommand(front);
  EXPECT_EQ(camera.readouts().size(), 1u);
  EXPECT_FALSE(sequenceState().focus_running);
  EXPECT_FALSE(frameState().focus_mode);
}

TEST_F(FocusModeTest, TakePhotoAfterFocusModeTakesAFullFrame) {
  p.ui.onPanel(kCameraPanelName, [this](PanelModel& m) {
    auto& panel = dynamic_cast<QlModel&>(m);
    panel.press(ql::kTenths);
    front.focus_exposed = [&panel] { panel.press(ql::kTakePhoto); };
    panel.press(ql::kFocusStart);
    return panel.press(ql::kTakePhoto);
  });
  takePhotoCommand(front);
  const auto reads = camera.readouts();
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[1].bytes[12] | (reads[1].bytes[13] << 8), 660);
  EXPECT_FALSE(frameState().focus_mode);
  EXPECT_EQ(frames, 1);
}

}  // namespace
}  // namespace qlm
