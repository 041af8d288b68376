#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "guiding/ao_unit.h"
#include "guiding/autoguider_model.h"
#include "guiding/guide_algorithm.h"
#include "guiding/guide_history.h"
#include "guiding/guide_star.h"
#include "guiding/guider.h"
#include "guiding/telescope.h"
#include "image/frame.h"
#include "platform/atomic_file.h"
#include "platform/platform.h"
#include "sim/sim_setup.h"
#include "support/sim_mount.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class AutoguiderModelTest : public ::testing::Test {
 protected:
  AutoguiderModelTest() {
    settings().show_interface_details = false;
    FindCamera();
  }
  sim::SimSystem sim;
  test::TestPlatform platform{&sim.transport()};
  AutoguiderModel panel;
};

TEST_F(AutoguiderModelTest, UnitsSetCountAndLimits) {
  panel.press(GuiderControl::Tenths);
  EXPECT_EQ(panel.view().count, 5);
  for (int i = 0; i < 200; ++i)
    panel.press(GuiderControl::ExposureUp);
  EXPECT_EQ(panel.view().count, 100);
  panel.press(GuiderControl::Seconds);
  EXPECT_EQ(panel.view().count, 1);
  panel.press(GuiderControl::ExposureDown);
  EXPECT_EQ(panel.view().count, 1);
}

TEST_F(AutoguiderModelTest, SwapsTickAndAreSaved) {
  panel.press(GuiderControl::SwapEastWest);
  EXPECT_TRUE(panel.view().swap_ew);
  EXPECT_FALSE(panel.view().swap_ns);
  Settings saved;
  FitsDetails fits;
  ASSERT_EQ(loadSettings(platform.paths().settingsFile(), saved, fits), kSettingsOk);
  EXPECT_EQ(saved.direction_letters[kEastSlot], 'w');
  panel.press(GuiderControl::SwapEastWest);
  EXPECT_FALSE(panel.view().swap_ew);
}

// The algorithm choice starts Classic, is kept beside the settings file (whose record does not change
// size), and the start-up reading of that file brings it back.
TEST_F(AutoguiderModelTest, GuideAlgorithmChoiceIsKeptBesideTheSettings) {
  EXPECT_EQ(panel.view().algorithm, GuideAlgorithm::Classic);
  saveSettings();
  panel.press(GuiderControl::AlgorithmPredictive);
  EXPECT_EQ(panel.view().algorithm, GuideAlgorithm::Predictive);
  EXPECT_EQ(std::filesystem::file_size(platform.paths().settingsFile()), 1402u);
  guideAlgorithmSettings() = GuideAlgorithmSettings{};
  ASSERT_TRUE(loadGuideAlgorithmSettings());
  panel.refresh();
  EXPECT_EQ(panel.view().algorithm, GuideAlgorithm::Predictive);
  panel.press(GuiderControl::AlgorithmClassic);
  ASSERT_TRUE(loadGuideAlgorithmSettings());
  EXPECT_EQ(guideAlgorithmSettings().algorithm, GuideAlgorithm::Classic);
  // A damaged file keeps what it can: bad values fall back to the start-up ones.
  const GuideAlgorithmSettings read = parseGuideAlgorithmText(
      "algorithm=PREDICTIVE\r\nra_aggressiveness=7\ndec_min_move_px=0.3\ntrained=1\nra_ms_per_px=400\n"
      "dec_hysteresis=nan\ngarbage\n");
  EXPECT_EQ(read.algorithm, GuideAlgorithm::Predictive);
  EXPECT_DOUBLE_EQ(read.ra.aggressiveness, 0.7);
  EXPECT_DOUBLE_EQ(read.dec.min_move_px, 0.3);
  EXPECT_DOUBLE_EQ(read.dec.hysteresis, 0.1);
  EXPECT_FALSE(read.trained);  // half a training is none
  EXPECT_EQ(parseGuideAlgorithmText(guideAlgorithmText(read)).dec.min_move_px, 0.3);
}

TEST_F(AutoguiderModelTest, DarkFrameOnlyAppliesOnceTaken) {
  panel.press(GuiderControl::ApplyDark);
  EXPECT_FALSE(panel.view().dark_in_use);
  EXPECT_EQ(panel.view().dark_text, "No darkframe has been taken");
  panel.press(GuiderControl::Hundredths);
  panel.press(GuiderControl::TakeDark);
  EXPECT_EQ(panel.view().dark_text, " 5 hundredth darkframe available");
  panel.press(GuiderControl::ApplyDark);
  EXPECT_EQ(panel.view().dark_text, " 5 hundredth darkframe being used");
}

TEST_F(AutoguiderModelTest, EachGuiderExposureRewritesTheBitmapAndAFailedWriteGivesItsStagesMessage) {
  panel.press(GuiderControl::Hundredths);
  int shown = 0;
  AtomicFile::setFailAfterBytesForTesting(500);  // the header cannot be written
  panel.runExposures([&] {
    if (++shown == 2) panel.press(GuiderControl::Stop);
  });
  panel.press(GuiderControl::TakeDark);
  AtomicFile::setFailAfterBytesForTesting(-1);
  // Three failed writes on a disk that stays full: one message, naming the file and the reason.
  EXPECT_EQ(platform.ui.messageTexts(),
            std::vector<std::string>{"Unable to create temp bitmap file header: " +
                                     platform.paths().guiderBitmap().string() + ": No space left on device"});
  EXPECT_EQ(panel.view().dark_text, "No darkframe has been taken");
  panel.press(GuiderControl::TakeDark);
  EXPECT_EQ(std::filesystem::file_size(platform.paths().guiderBitmap()), 1078u + 145000u);
}

// A camera that stops delivering: "Take DarkFrame" keeps no dark (not the last light frame), and
// "Start" ends at the first frame lost instead of reporting a failure per frame.
TEST_F(AutoguiderModelTest, AFailingCameraGivesNoDarkAndEndsTheExposures) {
  panel.press(GuiderControl::Hundredths);
  sim.transport().failReads(1000);
  panel.press(GuiderControl::TakeDark);
  EXPECT_EQ(panel.view().dark_text, "No darkframe has been taken");
  panel.press(GuiderControl::ApplyDark);
  EXPECT_FALSE(panel.view().dark_in_use);
  int shown = 0;
  panel.runExposures([&] {
    if (++shown == 3) panel.press(GuiderControl::Stop);
  });
  EXPECT_EQ(shown, 0);
}

TEST_F(AutoguiderModelTest, ValueButtonsAndClosingRequests) {
  panel.press(GuiderControl::UseDefault);  // no training yet: the defaults stay in use
  EXPECT_EQ(panel.view().values_text, "Using Default Vals");
  calibrationState().trained_available = true;
  calibrationState().trained.ra_rate = 3;
  panel.press(GuiderControl::UseDefault);
  EXPECT_EQ(panel.view().use_default_label, "Use Defaults");
  // "Ignore RA Angle" (on at start-up) makes guiding correct with the defaults: the status says so.
  EXPECT_EQ(panel.view().values_text, "Using Default Vals");
  panel.press(GuiderControl::IgnoreRaAngle);
  EXPECT_EQ(panel.view().values_text, "Using Trained Vals");
  panel.press(GuiderControl::UseDefault);
  EXPECT_EQ(panel.view().use_default_label, "Use Trained");
  panel.press(GuiderControl::SaveLatest);
  EXPECT_EQ(settings().guider_ra_rate, 3);
  panel.setDefaultFields(4, 5, 1, 2, 0.5);
  panel.press(GuiderControl::ChangeDefaults);
  EXPECT_EQ(settings().guider_dec_backlash, 2);
  EXPECT_EQ(panel.press(GuiderControl::StartGuiding), kPanelOk);
  EXPECT_TRUE(guidingState().start_request);
  EXPECT_EQ(panel.press(GuiderControl::GotoMainCamera), kPanelOk);
  EXPECT_TRUE(guidingState().goto_main_request);
}

// A camera unplugged and plugged in again while the panel is open is found by the next action that
// needs it; without a camera the action does nothing beyond discovery's own message.
TEST_F(AutoguiderModelTest, ActionsLookForACameraPluggedInAgain) {
  panel.press(GuiderControl::Hundredths);
  sim.transport().setUnplugged(true);
  panel.press(GuiderControl::TakeDark);
  ASSERT_EQ(linkState().camera_present, 0);
  panel.press(GuiderControl::TakeDark);
  EXPECT_EQ(platform.ui.messageTexts(),
            (std::vector<std::string>{"Could not write ZADUZ Output - try rebooting USB device",
                                      "USB ZADUZ device not found"}));
  sim.transport().setUnplugged(false);
  panel.press(GuiderControl::TakeDark);
  EXPECT_EQ(linkState().camera_present, 1);
  EXPECT_EQ(panel.view().dark_text, " 5 hundredth darkframe available");
}

// A user at the panel, on several star fields: "Select Guide Star", a click on the brightest star (the
// release handed the working radius, as the panel does), "Train". From the start-up working radius (4)
// the training must measure the mount as the command line's does.
class PanelTrainingTest : public ::testing::TestWithParam<int> {
 protected:
  PanelTrainingTest() : sim(test::withSetting("seed=" + std::to_string(GetParam()))) {
    settings().show_interface_details = false;
    settings().drive_method = 'b';
    FindCamera();
    SelectTelescopePort();
  }
  sim::SimSystem sim;
  test::TestPlatform platform{&sim.transport()};
  AutoguiderModel panel;
};

TEST_P(PanelTrainingTest, PickAndTrainFromTheStartUpRadius) {
  ASSERT_EQ(centroidState().working_radius, 4);
  GuiderFrame& image = imageBuffers().GuiderFrames[0];
  GuiderExposure('s', 1, image, GuiderProcessing{});
  const auto star = brightestGuiderStar(image, settings().mask_radius);
  ASSERT_TRUE(star);
  panel.press(GuiderControl::SelectGuideStar);
  ASSERT_TRUE(guiderPickRelease(star->x + kGuiderImageLeft, star->y + kGuiderImageTop, image.data(),
                                centroidState().working_radius, PickHooks{}));
  panel.press(GuiderControl::Train);
  const CalibrationState& c = calibrationState();
  ASSERT_TRUE(c.trained_available) << platform.ui.messageTexts().back();
  const double rate = 0.5 * sim::kSiderealArcsecPerS / 3.8;
  EXPECT_NEAR(std::hypot(c.trained.west_x, c.trained.west_y), rate, 0.15 * rate);
  EXPECT_NEAR(std::hypot(c.trained.north_x, c.trained.north_y), rate, 0.15 * rate);
  EXPECT_NEAR(c.trained.dec_backlash_px, 6.0 / 3.8, 1.0);
  EXPECT_NEAR(c.trained.theta * 180.0 / 3.14159265358979, 2.0, 5.0);
}

INSTANTIATE_TEST_SUITE_P(StarFields, PanelTrainingTest, ::testing::Values(1, 4, 7, 11, 12));

// The panel's AO group against the simulated unit, on a still sky so that only the unit moves the star.
class AOPanelTest : public ::testing::Test {
 protected:
  AOPanelTest() {
    settings().show_interface_details = false;
    settings().drive_method = 'l';  // manual telescope moves as texts the mount logs
    FindCamera();
    SelectTelescopePort();
    GuiderExposure('s', 1, imageBuffers().GuiderFrames[0], GuiderProcessing{});
    guiderGuideStar() = brightestGuiderStar(imageBuffers().GuiderFrames[0], settings().mask_radius);
    sim.ao().clearLog();
  }
  sim::SimSystem sim{[] {
    sim::SimOptions o = sim::defaultSimOptions();
    o.mount.pe_peak_to_peak_arcsec = o.mount.drift_ra_arcsec_per_s = o.mount.drift_dec_arcsec_per_s = 0.0;
    o.camera.sky.seeing_jitter_px = 0.0;
    return o;
  }()};
  test::TestPlatform platform{&sim.transport()};
  AutoguiderModel panel;
  using Texts = std::vector<std::string>;
};

TEST_F(AOPanelTest, ArrowsMoveTheUnitOncePerPressWhileItIsTheGuideDevice) {
  panel.press(GuiderControl::GuidingMode);
  panel.moveStart('w');
  panel.moveEnd();
  panel.moveStart('n');
  EXPECT_EQ(panel.view().ao_tilt[0], -100);
  EXPECT_TRUE(sim.mount().commands().empty());  // no manual telescope move
  panel.press(GuiderControl::AOSwapLeftRight);  // the AO letters, not the telescope's, turn the arrows
  EXPECT_TRUE(panel.view().ao_swap_lr && !panel.view().swap_ew);
  panel.moveStart('w');
  panel.press(GuiderControl::CentraliseAO);
  EXPECT_EQ(sim.ao().commands(), (Texts{"MW00100", "MN00100", "MT00100", "K"}));
  EXPECT_EQ(panel.view().ao_tilt[1], 0);
  panel.press(GuiderControl::GuidingMode);  // back to the telescope: the arrows leave the unit alone
  panel.moveStart('n');
  EXPECT_EQ(sim.ao().events().size(), 4u);
  EXPECT_FALSE(sim.mount().commands().empty());
}

TEST_F(AOPanelTest, TrainingGivesLatestGainsThatGuidingUsesOnlyAfterSaveLatest) {
  panel.setAODefaultFields(7, 8);
  panel.press(GuiderControl::AOChangeDefaults);
  panel.press(GuiderControl::AOUseDefault);  // nothing trained yet
  EXPECT_EQ(panel.view().ao_values_text, "Using Default Vals");
  ASSERT_TRUE(panel.trainAO());
  EXPECT_EQ(sim.ao().commands(), (Texts{"GW00025", "GT00025", "GN00025", "GS00025"}));
  const int lr = panel.view().ao_latest_gains[0];  // 25 steps of 0.76" move the star 5 of 3.8"
  EXPECT_TRUE(lr >= 4 && lr <= 6) << lr;
  EXPECT_EQ(panel.view().ao_values_text, "Using Trained Vals");
  EXPECT_EQ(aoCorrection(2000, 0).ra.count, 14);  // guiding still steps with the default gain 7
  panel.press(GuiderControl::AOUseDefault);
  EXPECT_EQ(panel.view().ao_values_text, "Using Default Vals");
  panel.press(GuiderControl::AOSaveLatest);
  EXPECT_EQ(aoCorrection(2000, 0).ra.count, 2 * lr);
  // A unit that moves but never echoes is never asked: it trains as well, without a message.
  sim.ao().setEcho(false);
  settings().ao_latest_lr_gain = 9;
  EXPECT_TRUE(panel.trainAO());
  EXPECT_TRUE(platform.ui.messageTexts().empty());
  EXPECT_EQ(settings().ao_latest_lr_gain, lr);
}

// The panel's buttons that change stored values save without telling of a failed save.
class PanelSaveTest : public AutoguiderModelTest, public ::testing::WithParamInterface<GuiderControl> {};

TEST_P(PanelSaveTest, AFailedSaveIsNotShown) {
  AtomicFile::setFailAfterBytesForTesting(0);
  panel.press(GetParam());
  AtomicFile::setFailAfterBytesForTesting(-1);
  EXPECT_TRUE(platform.ui.messageTexts().empty());
}

INSTANTIATE_TEST_SUITE_P(Buttons, PanelSaveTest,
                         ::testing::Values(GuiderControl::SwapNorthSouth, GuiderControl::SwapEastWest,
                                           GuiderControl::ChangeDefaults, GuiderControl::SaveLatest,
                                           GuiderControl::AOSwapLeftRight, GuiderControl::AOChangeDefaults));

TEST(GuideHistoryTest, KeepsTheLastHundredAndTheirRms) {
  GuideHistory h;
  for (int i = 0; i < 150; ++i)
    h.add(i < 50 ? 10.0 : 3.0, i < 50 ? 0.0 : -4.0);
  EXPECT_EQ(h.points().size(), 100u);
  EXPECT_DOUBLE_EQ(h.rmsRa(), 3.0);
  EXPECT_DOUBLE_EQ(h.rmsDec(), 4.0);
}

}  // namespace
}  // namespace qlm
