#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture_fixture.h"
#include "files/fits_details.h"
#include "files/pk.h"
#include "guiding/guide_star.h"
#include "guiding/guider.h"
#include "image/autoprocess.h"
#include "image/centroid.h"
#include "image/frame.h"

namespace qlm {
namespace {

using test::CaptureTest;

class SequenceTest : public CaptureTest {
 protected:
  std::vector<std::string> captions() const {
    std::vector<std::string> out;
    for (const auto& c : p.ui.callsOf("progress-open"))
      out.push_back(c.caption);
    return out;
  }
  // Times of the flags-8 clears sent after the n-th exposure started (the starting one excluded).
  std::vector<std::uint32_t> flushesDuringExposure(std::size_t n = 0) const {
    const std::uint32_t t0 = camera.exposureStart(n);
    const std::uint32_t end = camera.readouts().size() > n ? camera.readouts()[n].at_ms : clockNow();
    std::vector<std::uint32_t> out;
    for (const auto& b : camera.of(kCmdClear, kClearFlush)) {
      if (b.at_ms > t0 && b.at_ms <= end) out.push_back(b.at_ms - t0);
    }
    return out;
  }
  std::uint32_t clockNow() const { return platform().clock->millis(); }
  static void writeUniformPk(const std::filesystem::path& file, std::uint16_t v) {
    auto frame = std::make_unique<Frame>();
    frame->fill(v);
    ASSERT_TRUE(saveRawImage(file, *frame));
  }
};

TEST_F(SequenceTest, TenthsAreTimedByTheCameraThroughTheDelayField) {
  takePhoto(exposure(ql::kTenths, 5));
  const auto r = camera.readouts();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].command(), kCmdReadoutDelayed);
  ASSERT_EQ(r[0].bytes.size(), 22u);
  EXPECT_EQ(r[0].bytes[18] | (r[0].bytes[19] << 8), 500);
  EXPECT_EQ(r[0].at_ms, camera.exposureStart());  // no wait on the program's side
  EXPECT_EQ(frames, 1);
}

TEST_F(SequenceTest, OneSecondTakesTheShortPathWithoutPumping) {
  takePhoto(exposure(ql::kSeconds, 1));
  const auto r = camera.readouts();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].command(), kCmdReadoutDelayed);
  EXPECT_EQ(std::vector<std::uint8_t>(r[0].bytes.begin() + 18, r[0].bytes.end()),
            (std::vector<std::uint8_t>{0xE8, 0x03, 0, 0}));
  EXPECT_EQ(r[0].at_ms, camera.exposureStart());
  EXPECT_EQ(captions().front(), "EXPOSURE UNDERWAY");
}

TEST_F(SequenceTest, ThirtySecondsFlushOnceTwoSecondsBeforeTheEndAndMoveTheGaugeEvery1500Ms) {
  takePhoto(exposure(ql::kSeconds, 30));
  EXPECT_EQ(flushesDuringExposure(), (std::vector<std::uint32_t>{28000}));
  const auto r = camera.readouts();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].command(), kCmdReadoutNow);
  EXPECT_EQ(r[0].bytes.size(), 18u);
  EXPECT_EQ(r[0].at_ms - camera.exposureStart(), 30000u);
  // Gauge: 0 at the start, then 12 more every 1,500 ms, then the readout's 20.
  std::vector<UiCall> moves;
  for (const auto& c : p.ui.callsOf("progress")) {
    if (c.at_ms > camera.exposureStart() && c.at_ms < r[0].at_ms) moves.push_back(c);
  }
  ASSERT_EQ(moves.size(), 19u);
  for (std::size_t i = 0; i < moves.size(); ++i) {
    EXPECT_EQ(moves[i].value, static_cast<int>(12 * (i + 1)));
    EXPECT_EQ(moves[i].at_ms - camera.exposureStart(), 1500u * (i + 1));
  }
}

TEST_F(SequenceTest, ThreeSecondsSendNoFlushDuringTheWait) {
  takePhoto(exposure(ql::kSeconds, 3));
  EXPECT_TRUE(flushesDuringExposure().empty());
  EXPECT_EQ(camera.readouts().at(0).at_ms - camera.exposureStart(), 3000u);
}

TEST_F(SequenceTest, LongTenthsBusyWaitWithFlushesAndIgnorePresses) {
  p.ui.scheduleKeyPress(3000);
  takePhoto(exposure(ql::kTenths, 100));  // 10 s: F at 8,000, then every 2,005 ms
  EXPECT_EQ(flushesDuringExposure(), (std::vector<std::uint32_t>{8000}));
  EXPECT_EQ(camera.readouts().size(), 1u);
  EXPECT_EQ(camera.readouts()[0].at_ms - camera.exposureStart(), 10000u);
  EXPECT_EQ(frames, 1);
}

TEST_F(SequenceTest, MinutesFlushEvery2005MsFromTwoSecondsBeforeTheEnd) {
  takePhoto(exposure(ql::kMinutes, 1));
  EXPECT_EQ(flushesDuringExposure(), (std::vector<std::uint32_t>{58000}));
}

TEST_F(SequenceTest, StartClearsThenPollsBeforeEveryExposure) {
  takePhoto(exposure(ql::kTenths, 5));
  std::vector<int> order;
  for (const auto& b : camera.blocks)
    order.push_back(b.command() * 100 + std::max(0, b.value()));
  EXPECT_EQ(order, (std::vector<int>{108, 100, 0, 203}));
}

TEST_F(SequenceTest, FinishedFrameIsShownAsPkCameraImageWithTheReadoutInIt) {
  camera.pixel = 4321;
  takePhoto(exposure(ql::kTenths, 5));
  EXPECT_EQ(p.ui.title(), "QLM_T4_USB - PK Camera Image");
  EXPECT_EQ(imageBuffers().CurrentFrame[6 * kFrameWidth], 4321);
  EXPECT_EQ(imageBuffers().CurrentFrame[0], 0);
  EXPECT_DOUBLE_EQ(fitsDetails().exposureSeconds, 0.5);
  const auto c = captions();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[1], "READING PK CAMERA - takes 5-6 seconds");
}

TEST_F(SequenceTest, BinnedReadoutHasItsOwnCaptionAndBlock) {
  takePhoto(exposure(ql::kTenths, 5, [](QlModel& panel) { panel.press(ql::kBinned); }));
  EXPECT_EQ(captions().back(), "READING PK CAMERA - takes 2-3 seconds");
  ASSERT_EQ(camera.readouts().size(), 1u);
  EXPECT_EQ(camera.readouts()[0].bytes[16], 2);  // horizontal binning
  EXPECT_EQ(frameState().binning_indicator, 2);
}

TEST_F(SequenceTest, ClickDuringALongExposureSkipsTheReadoutAndEndsTheSequence) {
  p.ui.scheduleMousePress(5000, /*right_button=*/true);
  readoutState().focus_x = 10;
  takePhoto(exposure(ql::kSeconds, 30, [](QlModel& panel) {
    panel.press(ql::kContinuous);
    setExposures(panel, 3);
  }));
  EXPECT_TRUE(camera.readouts().empty());
  EXPECT_EQ(frames, 0);
  EXPECT_EQ(p.ui.beepCount(), 1u);
  EXPECT_EQ(readoutState().focus_x, kDefaultFocusX);
  EXPECT_LT(clockNow() - camera.exposureStart(), 6000u);
  EXPECT_EQ(camera.of(kCmdStatus).size(), 1u);  // no second exposure
}

TEST_F(SequenceTest, ContinuousWithOneExposureRepeatsUntilAKeyPress) {
  // Each frame: 2 s exposure, readout, then the 2-second wait; the key arrives in the fourth frame's wait.
  p.ui.scheduleKeyPress(15000);
  takePhoto(exposure(ql::kSeconds, 2, [](QlModel& panel) { panel.press(ql::kContinuous); }));
  EXPECT_EQ(frames, 4);
  EXPECT_EQ(camera.readouts().size(), 4u);
  EXPECT_EQ(camera.of(kCmdStatus).size(), 4u);
  EXPECT_FALSE(sequenceState().loop_continuous);
  // Each frame stands alone in continuous mode.
  EXPECT_DOUBLE_EQ(fitsDetails().exposureSeconds, 2.0);
}

TEST_F(SequenceTest, SeriesImagingTakesExactlyTheAskedFrames) {
  std::string mode;
  takePhoto(exposure(ql::kSeconds, 2, [&mode](QlModel& panel) {
    panel.press(ql::kContinuous);
    setExposures(panel, 3);
    mode = panel.view().camera_mode;
  }));
  EXPECT_EQ(mode, "Series Imaging");
  EXPECT_EQ(frames, 3);
  EXPECT_EQ(camera.readouts().size(), 3u);
  const auto c = captions();
  EXPECT_NE(std::find(c.begin(), c.end(), "EXPOSURE UNDERWAY (Left - 3)"), c.end());
  EXPECT_NE(std::find(c.begin(), c.end(), "READING PK CAMERA (Left - 3)"), c.end());
  EXPECT_NE(std::find(c.begin(), c.end(), "EXPOSURE UNDERWAY (Left - 2)"), c.end());
  EXPECT_NE(std::find(c.begin(), c.end(), "EXPOSURE UNDERWAY"), c.end());  // the last one
}

TEST_F(SequenceTest, AutoMergingShowsOnlyTheFinalStackAndSumsTheExposure) {
  centroidState().main = {330, 250, 0, 0};
  takePhoto(exposure(ql::kSeconds, 2, [](QlModel& panel) { setExposures(panel, 4); }));
  EXPECT_EQ(camera.readouts().size(), 4u);
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(imageBuffers().CurrentFrame[250 * kFrameWidth + 330], 4000);  // four frames of 1000
  EXPECT_DOUBLE_EQ(fitsDetails().exposureSeconds, 8.0);
}

TEST_F(SequenceTest, LostStarEndsTheSeriesAfterThatFrameWithTheStackSoFar) {
  centroidState().main = {330, 250, 0, 0};
  camera.after_frame = [this] { camera.pixel = 200; };  // the next frame is far fainter
  takePhoto(exposure(ql::kSeconds, 2, [](QlModel& panel) { setExposures(panel, 5); }));
  EXPECT_EQ(camera.readouts().size(), 2u);
  EXPECT_EQ(frames, 1);
  ASSERT_FALSE(p.ui.messageTexts().empty());
  EXPECT_EQ(p.ui.messageTexts().back().rfind("Sorry. Guide star lost.", 0), 0u);
  EXPECT_EQ(imageBuffers().CurrentFrame[250 * kFrameWidth + 330], 1000);
  EXPECT_DOUBLE_EQ(fitsDetails().exposureSeconds, 2.0);  // the one exposure in the stack
}

TEST_F(SequenceTest, PauseBetweenExposuresWaitsInSixteenSteps) {
  takePhoto(exposure(ql::kTenths, 5, [](QlModel& panel) {
    panel.press(ql::kContinuous);
    setExposures(panel, 2);
    for (int i = 0; i < 3; ++i)
      panel.scroll(ql::kDelayScroll, ScrollAction::LineDown);
  }));
  EXPECT_EQ(frames, 2);
  const auto c = captions();
  ASSERT_EQ(std::count(c.begin(), c.end(), "Pause between exposures"), 1);
  // The second exposure starts after the camera's 500 ms, the 2-second wait and the 3-second pause.
  EXPECT_EQ(camera.exposureStart(1) - camera.exposureStart(0), 5500u);
  // The pause's gauge: 16, 32, ... 256 between its opening and its closing.
  std::vector<int> pause_gauge;
  bool in_pause = false;
  for (const auto& c : p.ui.calls()) {
    if (c.kind == "progress-open") in_pause = c.caption == "Pause between exposures";
    if (c.kind == "progress-close") in_pause = false;
    if (in_pause && c.kind == "progress") pause_gauge.push_back(c.value);
  }
  ASSERT_EQ(pause_gauge.size(), 16u);
  for (std::size_t i = 0; i < 16; ++i)
    EXPECT_EQ(pause_gauge[i], static_cast<int>(16 * (i + 1)));
}

TEST_F(SequenceTest, KeyDuringThePauseEndsTheSeriesAfterThatFrame) {
  // Frame 1 is read at 0.5 s; its 2-second wait runs to 2.5 s; the minute's pause from there.
  p.ui.scheduleKeyPress(4000);
  takePhoto(exposure(ql::kTenths, 5, [](QlModel& panel) {
    panel.press(ql::kContinuous);
    setExposures(panel, 5);
    panel.scroll(ql::kDelayScroll, ScrollAction::LineDown);
    panel.press(ql::kDelayMinutes);
  }));
  EXPECT_EQ(frames, 1);
  EXPECT_LT(clockNow(), 5000u);
}

TEST_F(SequenceTest, CountdownBeepsTenTimesAndAKeyShortensOnlyThatSecond) {
  p.ui.scheduleKeyPress(3500);
  takePhoto(exposure(ql::kTenths, 5, [](QlModel& panel) { panel.press(ql::kDelayBefore); }));
  const auto c = captions();
  ASSERT_GE(c.size(), 10u);
  EXPECT_EQ(c[0], "EXPOSURE DELAY (Left - 10)");
  EXPECT_EQ(c[9], "EXPOSURE DELAY (Left - 1)");
  EXPECT_EQ(p.ui.beepCount(), 11u);  // ten countdown beeps and the one that answers the key
  EXPECT_EQ(frames, 1);
  // The fourth second was cut short at 3.5 s: the exposure starts half a second early.
  EXPECT_GE(camera.exposureStart(), 9500u);
  EXPECT_LT(camera.exposureStart(), 9600u);
}

TEST_F(SequenceTest, MissingCameraEndsTheCommandWithItsMessage) {
  test::TestPlatform no_camera;  // no device listed
  resetLinkState(linkState());
  settings().show_interface_details = false;
  takePhotoCommand(front);
  const auto texts = no_camera.ui.messageTexts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], "USB ZADUZ device not found");
  EXPECT_EQ(texts.back(), "Sorry, No camera found on USB");
  EXPECT_TRUE(no_camera.ui.callsOf("panel").empty());
}

TEST_F(SequenceTest, UnreadableSettingsAreReportedAndDiscoveryStillRuns) {
  // An existing but empty settings file reads short.
  std::filesystem::create_directories(p.paths().autosaveDir());
  std::ofstream(p.paths().settingsFile()).put('\0');
  p.ui.onPanel(kCameraPanelName, [](PanelModel&) { return ql::kCancel; });
  takePhotoCommand(front);
  ASSERT_FALSE(p.ui.messageTexts().empty());
  EXPECT_EQ(p.ui.messageTexts().front(), "Warning!\nNo INI file found, please set defaults...");
  EXPECT_EQ(linkState().camera_present, 1);
  EXPECT_EQ(p.ui.callsOf("panel").size(), 1u);
}

TEST_F(SequenceTest, CancelTakesNoPhotoAndGotoAutoguiderOpensTheAutoguider) {
  int opened = 0;
  front.open_autoguider = [&opened] { ++opened; };
  settings().drive_method = 'l';
  p.ui.onPanel(kCameraPanelName,
               [](PanelModel& m) { return dynamic_cast<QlModel&>(m).press(ql::kGotoAutoguider); });
  takePhotoCommand(front);
  EXPECT_TRUE(camera.readouts().empty());
  EXPECT_EQ(opened, 1);
  EXPECT_FALSE(sequenceState().goto_autoguider);
}

TEST_F(SequenceTest, EveryTakePhotoStartsWithOneExposureAndRestoresPickMode) {
  bool pick = true;
  std::vector<bool> switched;
  front.pick_mode = [&pick] { return pick; };
  front.set_pick_mode = [&](bool on) {
    pick = on;
    switched.push_back(on);
  };
  captureSettings().exposures = 9;
  readoutState().focus_x = 10;
  int seen = 0;
  p.ui.onPanel(kCameraPanelName, [&seen](PanelModel&) {
    seen = captureSettings().exposures;
    return ql::kCancel;
  });
  takePhotoCommand(front);
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(switched, (std::vector<bool>{false, true}));
  EXPECT_EQ(readoutState().focus_x, 10);  // a cancelled panel leaves the focus window alone
  EXPECT_EQ(captureSettings().dark_file, "c:\\dark.def");
  EXPECT_EQ(captureSettings().flat_file, "c:\\flat.def");
}

// The end of a command puts the main centroid back where the guide-window placement left it, and the
// guiding reference too unless guider-camera guiding is holding it.
TEST_F(SequenceTest, EndOfCommandRestoresTheKeptGuidePosition) {
  guideStarState().kept_main_result = CentroidResult{120, 80, 3, 7};
  for (bool guiding : {false, true}) {
    centroidState().main = CentroidResult{1, 2, 0, 0};
    guidingState().reference = CentroidResult{5, 6, 0, 0};
    guidingState().guider_guiding = guiding;
    takePhoto(exposure(ql::kTenths, 1));
    EXPECT_EQ(centroidState().main.x, 120);
    EXPECT_EQ(centroidState().main.ty, 7);
    EXPECT_EQ(guidingState().reference.x, guiding ? 5 : 120) << "guiding " << guiding;
    EXPECT_EQ(guidingState().reference.ty, guiding ? 0 : 7) << "guiding " << guiding;
  }
  guidingState().guider_guiding = false;
}

TEST_F(SequenceTest, HistoryCarriesTheCorrectionsOfTheFrame) {
  writeUniformPk(p.paths().darkDefault(), 100);
  writeUniformPk(p.paths().flatDefault(), 500);
  historyList().append("Old entry");
  takePhoto(exposure(ql::kTenths, 5, [](QlModel& panel) {
    panel.press(ql::kAutoDark);
    panel.press(ql::kAutoFlat);
  }));
  EXPECT_EQ(imageBuffers().CurrentFrame[250 * kFrameWidth + 330], 900);  // (1000 - 100) / 500 x 500
  EXPECT_EQ(historyList().count(), 2);
  EXPECT_EQ(historyList().entry(0), "Dark Frame Subtracted");
  EXPECT_EQ(historyList().entry(1), "Flatfield Applied");
}

TEST_F(SequenceTest, ACorrectionThatCouldNotLoadIsReportedAndNotWrittenIntoTheHistory) {
  writeUniformPk(p.paths().flatDefault(), 500);
  takePhoto(exposure(ql::kTenths, 5, [](QlModel& panel) {
    panel.press(ql::kAutoDark);
    panel.press(ql::kAutoFlat);
  }));
  EXPECT_EQ(p.ui.messageTexts(), (std::vector<std::string>{"Sorry, chosen Darkframe is not an PK File"}));
  EXPECT_EQ(imageBuffers().CurrentFrame[250 * kFrameWidth + 330], 1000);
  ASSERT_EQ(historyList().count(), 1);
  EXPECT_EQ(historyList().entry(0), "Flatfield Applied");
}

// Frame 1 reads the dark (100); the file then changes to 300, which frame 2 does not see (the cached
// copy is used); an undo snapshot then replaces the cache, so frame 3 reads the file again.
TEST_F(SequenceTest, TheAutomaticDarkIsCachedUntilAnUndoSnapshotReplacesIt) {
  writeUniformPk(p.paths().darkDefault(), 100);
  std::vector<int> shown;
  front.frame_finished = [&] {
    shown.push_back(imageBuffers().CurrentFrame[100 * kFrameWidth + 100]);
    if (shown.size() == 1) writeUniformPk(p.paths().darkDefault(), 300);
    if (shown.size() == 2) takeUndoSnapshot(imageBuffers().CurrentFrame, imageBuffers().UndoFrame);
  };
  takePhoto(exposure(ql::kTenths, 5, [](QlModel& panel) {
    panel.press(ql::kContinuous);
    setExposures(panel, 3);
    panel.press(ql::kAutoDark);
  }));
  EXPECT_EQ(shown, (std::vector<int>{900, 900, 700}));
}

TEST_F(SequenceTest, TheProgramsAutoProcessingChainRunsAfterEachFrame) {
  writeUniformPk(p.paths().flatDefault(), 500);
  settings().unsharp_mask = true;
  takePhoto(exposure(ql::kTenths, 5, [](QlModel& panel) {
    panel.press(ql::kAutoFlat);
    panel.press(ql::kAutoProcess);
  }));
  ASSERT_EQ(historyList().count(), 2);
  EXPECT_EQ(historyList().entry(0), "Flatfield Applied");
  EXPECT_EQ(historyList().entry(1), "Unsharp Mask : rad 3 ,power 1");
}

TEST_F(SequenceTest, GuidedExposureThatCannotStartSkipsTheReadout) {
  guiderGuideStar() = GuiderStar{100, 100};  // no drive method: guiding refuses to start
  p.ui.onPanel(kCameraPanelName, [](PanelModel& m) {
    auto& panel = dynamic_cast<QlModel&>(m);
    panel.press(ql::kSeconds);
    panel.setValueText("3");
    panel.press(ql::kContinuous);
    return panel.press(ql::kAutoguidePhoto);
  });
  takePhotoCommand(front);
  EXPECT_TRUE(camera.readouts().empty());
  EXPECT_FALSE(captureSettings().continuous);
  EXPECT_EQ(frames, 0);
}

TEST(InterruptibleWaitTest, ReturnsOneOnAPressAndZeroOtherwise) {
  test::TestPlatform p;
  EXPECT_EQ(InterruptibleWait(2), 0);
  EXPECT_EQ(p.clock.millis(), 2000u);
  p.ui.scheduleMousePress(2500);
  EXPECT_EQ(InterruptibleWait(2), 1);
  EXPECT_EQ(p.clock.millis(), 2500u);
  EXPECT_EQ(p.ui.beepCount(), 1u);
}

TEST(AbortPumpTest, ModesDecideWhatHappensToTheSequence) {
  test::TestPlatform p;
  CaptureSettings& s = captureSettings();
  SequenceState& st = sequenceState();
  s.exposures = 5;
  st.loop_continuous = true;
  st.guided_exposure = true;
  st.wait_deadline = 99999;
  EXPECT_FALSE(AbortPump(1));
  EXPECT_EQ(s.exposures, 5);
  p.ui.scheduleKeyPress(0);
  EXPECT_TRUE(AbortPump(1));
  EXPECT_EQ(s.exposures, 1);
  EXPECT_TRUE(st.readout_skip);
  EXPECT_FALSE(st.loop_continuous);
  EXPECT_FALSE(st.guided_exposure);
  EXPECT_EQ(st.wait_deadline, p.clock.millis());

  s.exposures = 5;
  s.continuous = true;
  st.readout_skip = false;
  st.started_by_guiding = true;
  p.ui.scheduleMousePress(0);
  EXPECT_TRUE(AbortPump(0));
  EXPECT_EQ(s.exposures, 0);
  EXPECT_FALSE(st.readout_skip);
  EXPECT_FALSE(s.continuous);
}

}  // namespace
}  // namespace qlm
