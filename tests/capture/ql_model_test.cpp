#include <gtest/gtest.h>

#include <string>

#include "camera/readout.h"
#include "capture/capture_front_end.h"
#include "capture/capture_state.h"
#include "capture/ql_model.h"
#include "capture_fixture.h"
#include "files/settings.h"
#include "image/display.h"
#include "image/frame.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// The panel on fresh program values, with no focus mode behind "Start" unless a test gives one.
class PanelTest : public test::CaptureTest {
 protected:
  PanelTest() { panel.focus_runner = nullptr; }
  QlModel panel;
};

struct RangeCase {
  int button;
  char unit;
  int count;
  int maximum;
};

class RangeButtonTest : public PanelTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(RangeButtonTest, SetsUnitCountAndMaximum) {
  const RangeCase c = GetParam();
  panel.setValueText("42");  // the button's count wins over the box
  panel.press(c.button);
  EXPECT_EQ(captureSettings().unit, c.unit);
  EXPECT_EQ(captureSettings().count, c.count);
  EXPECT_EQ(captureSettings().count_max, c.maximum);
  EXPECT_EQ(panel.view().exposure_range_max, c.maximum);
  EXPECT_EQ(panel.view().value_text, std::to_string(c.count));
  EXPECT_EQ(panel.view().unit_button, c.button);
}

INSTANTIATE_TEST_SUITE_P(Buttons, RangeButtonTest,
                         ::testing::Values(RangeCase{ql::kThousandths, 'q', 5, 500},
                                           RangeCase{ql::kHundredths, 'h', 5, 500},
                                           RangeCase{ql::kTenths, 't', 5, 100},
                                           RangeCase{ql::kSeconds, 's', 1, 300},
                                           RangeCase{ql::kMinutes, 'm', 1, 90}),
                         [](const auto& info) { return std::string(1, info.param.unit); });

TEST_F(PanelTest, ExposureArrowsStepFromTheBoxWithinTheLimits) {
  panel.press(ql::kMinutes);
  panel.scroll(ql::kExposureScroll, ScrollAction::LineUp);  // at the minimum: nothing
  EXPECT_EQ(captureSettings().count, 1);
  panel.setValueText("89");
  panel.scroll(ql::kExposureScroll, ScrollAction::LineDown);
  EXPECT_EQ(captureSettings().count, 90);
  panel.scroll(ql::kExposureScroll, ScrollAction::LineDown);  // at the maximum: nothing
  EXPECT_EQ(captureSettings().count, 90);
  EXPECT_EQ(panel.view().value_text, "90");
  panel.scroll(ql::kExposureScroll, ScrollAction::LineUp);
  EXPECT_EQ(captureSettings().count, 89);
  panel.scroll(ql::kExposureScroll, ScrollAction::PageDown);  // paging is not an exposure step
  EXPECT_EQ(captureSettings().count, 89);
}

TEST_F(PanelTest, ValueBoxIsReadAtTheNextRefreshUnlessAButtonSetTheCount) {
  panel.setValueText("17");
  panel.press(ql::kContinuous);
  EXPECT_EQ(captureSettings().count, 17);
  panel.setValueText("abc");
  panel.press(ql::kContinuous);
  EXPECT_EQ(captureSettings().count, 17);
  EXPECT_EQ(panel.view().value_text, "17");
  panel.setValueText("0");
  panel.refresh();
  EXPECT_EQ(captureSettings().count, 17);
}

TEST_F(PanelTest, TakePhotoTakesTheTypedCountAndRefusesZero) {
  panel.setValueText("0");
  EXPECT_EQ(panel.press(ql::kTakePhoto), 0);
  panel.setValueText("12x");
  EXPECT_EQ(panel.press(ql::kTakePhoto), 0);
  EXPECT_EQ(captureSettings().count, 1);
  panel.setValueText("7");
  EXPECT_EQ(panel.press(ql::kTakePhoto), ql::kTakePhoto);
  EXPECT_EQ(captureSettings().count, 7);
  EXPECT_TRUE(sequenceState().focus_stop);
}

TEST(ValueBoxTest, AcceptsOnlyPositiveWholeNumbersThatFitSixteenBits) {
  EXPECT_EQ(QlModel::parseValue("7"), 7);
  EXPECT_EQ(QlModel::parseValue(" 65535 "), 65535);
  EXPECT_EQ(QlModel::parseValue("65536"), 0);
  EXPECT_EQ(QlModel::parseValue("-3"), 0);
  EXPECT_EQ(QlModel::parseValue(""), 0);
  EXPECT_EQ(QlModel::parseValue("1.5"), 0);
}

struct ModeCase {
  bool continuous;
  int exposures;
  const char* text;
};

class CameraModeTest : public PanelTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(CameraModeTest, StatusTextFollowsContinuousModeAndNumberOfExposures) {
  if (GetParam().continuous) panel.press(ql::kContinuous);
  setExposures(panel, GetParam().exposures);
  EXPECT_EQ(panel.view().exposures_text, std::to_string(GetParam().exposures));
  EXPECT_EQ(panel.view().camera_mode, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Modes, CameraModeTest,
                         ::testing::Values(ModeCase{false, 1, "Single Image"},
                                           ModeCase{false, 4, "Auto Merging"},
                                           ModeCase{true, 1, "Continuous Imaging"},
                                           ModeCase{true, 4, "Series Imaging"}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(PanelTest, ExposuresAndDelayArrowsStayInTheirRanges) {
  panel.scroll(ql::kExposuresScroll, ScrollAction::LineUp);
  EXPECT_EQ(captureSettings().exposures, 1);
  setExposures(panel, 99);
  panel.scroll(ql::kExposuresScroll, ScrollAction::LineDown);
  EXPECT_EQ(captureSettings().exposures, 99);

  panel.scroll(ql::kDelayScroll, ScrollAction::LineUp);
  EXPECT_EQ(captureSettings().delay_between, 0);
  for (int i = 0; i < 25; ++i)
    panel.scroll(ql::kDelayScroll, ScrollAction::LineDown);
  EXPECT_EQ(captureSettings().delay_between, 20);
  EXPECT_EQ(panel.view().delay_text, "20");
  panel.press(ql::kDelayMinutes);
  EXPECT_TRUE(captureSettings().delay_in_minutes);
  EXPECT_EQ(panel.view().delay_unit_button, ql::kDelayMinutes);
}

TEST_F(PanelTest, StretchScrollsByArrowPageAndThumb) {
  EXPECT_EQ(panel.view().stretch_pos, 14);
  panel.scroll(ql::kStretchScroll, ScrollAction::LineDown);
  EXPECT_EQ(displayState().focus_stretch_power, 15);
  panel.scroll(ql::kStretchScroll, ScrollAction::PageUp);
  EXPECT_EQ(displayState().focus_stretch_power, 1);
  panel.scroll(ql::kStretchScroll, ScrollAction::LineUp);
  EXPECT_EQ(displayState().focus_stretch_power, 1);
  panel.scroll(ql::kStretchScroll, ScrollAction::PageDown);
  panel.scroll(ql::kStretchScroll, ScrollAction::LineDown);
  EXPECT_EQ(displayState().focus_stretch_power, 50);
  panel.scroll(ql::kStretchScroll, ScrollAction::Thumb, 33);
  EXPECT_EQ(panel.view().stretch_text, "33");
}

TEST_F(PanelTest, DitherAmountStepsByHalfPixelsFromHalfToEight) {
  EXPECT_EQ(panel.view().dither_text, "3.0");
  panel.press(ql::kDither);
  EXPECT_TRUE(captureSettings().dither && panel.view().dither);
  for (int i = 0; i < 20; ++i)
    panel.scroll(ql::kDitherScroll, ScrollAction::LineDown);
  EXPECT_EQ(captureSettings().dither_params.amount_px, 8.0);
  panel.scroll(ql::kDitherScroll, ScrollAction::Thumb, 2);
  panel.scroll(ql::kDitherScroll, ScrollAction::LineUp);
  panel.scroll(ql::kDitherScroll, ScrollAction::LineUp);
  EXPECT_EQ(panel.view().dither_text, "0.5");
}

TEST_F(PanelTest, TogglesFlipTheirSettingsAndShowInTheView) {
  const std::pair<int, bool CaptureSettings::*> toggles[] = {
      {ql::kAverage, &CaptureSettings::average_multiple}, {ql::kContinuous, &CaptureSettings::continuous},
      {ql::kDelayBefore, &CaptureSettings::delay_before}, {ql::kAutoDark, &CaptureSettings::auto_dark},
      {ql::kAutoFlat, &CaptureSettings::auto_flat},       {ql::kAutoProcess, &CaptureSettings::auto_process},
      {ql::kAutoSave, &CaptureSettings::auto_save},       {ql::kAltSlew, &CaptureSettings::alternative_slew},
      {ql::kAutochange, &CaptureSettings::autochange}};
  for (const auto& [id, member] : toggles) {
    panel.press(id);
    EXPECT_TRUE(captureSettings().*member) << id;
  }
  const QlView& v = panel.view();
  EXPECT_TRUE(v.average && v.continuous && v.delay_before && v.auto_dark && v.auto_flat && v.auto_process &&
              v.auto_save && v.alt_slew && v.autochange);
  panel.press(ql::kAutoSave);
  EXPECT_FALSE(captureSettings().auto_save);
  EXPECT_FALSE(panel.view().auto_save);
}

TEST_F(PanelTest, ReadoutButtonsSetBinnedFlagAndMode) {
  panel.press(ql::kBinned);
  EXPECT_TRUE(frameState().binned);
  EXPECT_EQ(captureSettings().readout_mode, 2);
  EXPECT_EQ(panel.view().readout_button, ql::kBinned);
  panel.press(ql::kHighResolution);
  EXPECT_FALSE(frameState().binned);
  EXPECT_EQ(captureSettings().readout_mode, 1);
}

TEST_F(PanelTest, FilterButtonsWrapAndMoveTheWheel) {
  linkState().camera_present = 1;
  panel.press(ql::kFilterPrev);  // position 1 with 7 filters: to 7
  EXPECT_EQ(readoutState().filter_position, 7);
  EXPECT_EQ(panel.view().filter_position, "7");
  EXPECT_EQ(panel.view().filter_name, "Filter 7");
  panel.press(ql::kFilterNext);  // after the last: back to 1
  EXPECT_EQ(readoutState().filter_position, 1);
  EXPECT_EQ(panel.view().filter_name, "Blank");
  panel.press(ql::kFilterNext);
  panel.press(ql::kFilterFirst);
  // The wheel saw 7, 1, 2, 1: the position byte of each four-byte message.
  const auto moves = camera.of(kCmdSerialWrite);
  ASSERT_EQ(moves.size(), 4u);
  EXPECT_EQ(moves[0].bytes, (std::vector<std::uint8_t>{0x40, 0x0A, 0, 0, 1, 0, 4, 0, 0xA5, 0x01, 7, 0xAD}));
  EXPECT_EQ(moves[1].bytes[10], 1);
  EXPECT_EQ(moves[2].bytes[10], 2);
  EXPECT_EQ(moves[3].bytes[10], 1);
}

TEST_F(PanelTest, HelpShowsTheTextInItsOwnBox) {
  EXPECT_EQ(panel.press(ql::kHelp), 0);
  const auto boxes = p.ui.callsOf("message");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "QLM_T4_USB - Control PL Camera");
  EXPECT_EQ(boxes[0].buttons, MessageButtons::Ok);
  const std::string text = boxes[0].text;
  EXPECT_EQ(text.rfind("Select exposure range using Radio buttons on left of dialog Window \nSelect anti", 0),
            0u);
  EXPECT_NE(text.find("button\n\nThe Focus mode allows repeated exposures of 0.01 to 10 seconds"),
            std::string::npos);
  EXPECT_NE(text.find("to pematurely terminate an exposure.\n\n"), std::string::npos);
  EXPECT_EQ(text.size(), 931u);
  EXPECT_EQ(text.substr(text.size() - 36), "Continuous mode Slew&Sum is disabled");
}

TEST_F(PanelTest, GotoAutoguiderNeedsADriveMethodAndNoRunningGuiding) {
  EXPECT_EQ(panel.press(ql::kGotoAutoguider), 0);
  EXPECT_EQ(p.ui.messageTexts().back(), "Please select a telescope drive method before using autoguider");
  settings().drive_method = 'l';
  guidingState().guider_guiding = true;
  EXPECT_EQ(panel.press(ql::kGotoAutoguider), 0);
  EXPECT_EQ(p.ui.messageTexts().back(), "Sorry, already guiding with external camera");
  EXPECT_EQ(panel.press(ql::kAutoguidePhoto), 0);
  EXPECT_EQ(p.ui.messageTexts().size(), 3u);
  guidingState().guider_guiding = false;
  EXPECT_EQ(panel.press(ql::kGotoAutoguider), ql::kCancel);
  EXPECT_TRUE(sequenceState().goto_autoguider);
}

TEST_F(PanelTest, AutoguidePhotoAsksForGuidingOnlyWithAPickedStar) {
  EXPECT_EQ(panel.press(ql::kAutoguidePhoto), ql::kTakePhoto);
  EXPECT_FALSE(sequenceState().guided_exposure);
  guiderGuideStar() = GuiderStar{100, 100};
  EXPECT_EQ(panel.press(ql::kAutoguidePhoto), ql::kTakePhoto);
  EXPECT_TRUE(sequenceState().guided_exposure);
  panel.press(ql::kTakePhoto);  // a plain photo is not guided
  EXPECT_FALSE(sequenceState().guided_exposure);
}

TEST_F(PanelTest, AutoguiderStatusText) {
  EXPECT_EQ(panel.view().autoguider_status, "Guider Camera not detected");
  linkState().camera_present = 1;
  panel.refresh();
  EXPECT_EQ(panel.view().autoguider_status, "Guider Camera available");
  guidingState().guider_guiding = true;
  panel.refresh();
  EXPECT_EQ(panel.view().autoguider_status, "Already Autoguiding");
}

TEST_F(PanelTest, ShowsPeakFilesAndAutosaveFolder) {
  readoutState().PeakValue = 41234;
  settings().autosave_counter = 12;
  captureSettings().dark_file = "c:\\darks\\d1";
  panel.refresh();
  EXPECT_EQ(panel.view().max_value_text, "41234");
  EXPECT_EQ(panel.view().last_file_text, "12");
  EXPECT_EQ(panel.view().sub_dir, "c:\\AUTOSAVE");
  EXPECT_EQ(panel.view().dark_name, "c:\\darks\\d1");
  EXPECT_TRUE(panel.view().focus_bitmap.empty());
}

TEST_F(PanelTest, StartRunsFocusModeInsideThePressAndStopAsksItToEnd) {
  int runs = 0;
  int count_seen = 0;
  panel.focus_runner = [&](QlModel&) {
    ++runs;
    count_seen = captureSettings().count;
  };
  panel.setValueText("9");
  EXPECT_EQ(panel.press(ql::kFocusStart), 0);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(count_seen, 9);  // the typed count is taken before focus mode starts
  EXPECT_EQ(panel.press(ql::kFocusStop), 0);
  EXPECT_TRUE(sequenceState().focus_stop);
  sequenceState().focus_stop = false;
  EXPECT_EQ(panel.press(ql::kCancel), ql::kCancel);
  EXPECT_TRUE(sequenceState().focus_stop);
}

}  // namespace
}  // namespace qlm
