#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "guiding/guide_star.h"
#include "guiding/main_guider.h"
#include "guiding/telescope.h"
#include "image/display.h"
#include "image/frame.h"
#include "platform/platform.h"
#include "sim/sim_setup.h"
#include "support/sim_mount.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// Main-camera training and guiding on the simulator, the main guide star at the brightest pixel of a
// full frame.
class MainGuiderTest : public ::testing::Test {
 protected:
  MainGuiderTest() {
    settings().show_interface_details = false;
    settings().drive_method = 'b';
    saveSettings();
    FindCamera();
    test::pickBrightestMainStar();
  }
  sim::SimSystem sim;
  test::TestPlatform platform{&sim.transport()};
};

TEST_F(MainGuiderTest, TrainingMeasuresTheMainRates) {
  ASSERT_TRUE(TrainMain());
  // Each guide-window frame was drawn as the 128 x 128 picture.
  ASSERT_TRUE(windowBitmap().has_value());
  EXPECT_EQ(windowBitmap()->width, 128);
  EXPECT_FALSE(displayState().guide_window_shown);
  // 0.5 x sidereal at 1.9 arcsec per main pixel: 3.96 px/s (Dec takes the larger of two noisy moves).
  EXPECT_EQ(settings().main_ra_rate, 4);
  EXPECT_GE(settings().main_dec_rate, 4);
  EXPECT_LE(settings().main_dec_rate, 5);
  // 6 arcsec of Dec play is 3.2 main pixels; the RA gears never reverse while tracking.
  EXPECT_EQ(settings().main_dec_backlash, 3);
  EXPECT_EQ(settings().main_ra_backlash, 0);
  EXPECT_FALSE(guideStarState().guide_window_set);
  EXPECT_EQ(sim.transport().relayValue(), 0);
  const std::vector<std::string> texts = platform.ui.messageTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back().rfind("slewx =     4, slewy = ", 0), 0u) << texts.back();
  settings().drive_method = 'n';
  EXPECT_FALSE(TrainMain());
}

TEST_F(MainGuiderTest, TrainingMeasuresOnceWithTheRadiusItFindsBeforeTakingTheMaskRadius) {
  centroidState().working_radius = 200;  // no window of this radius fits the guide window
  ASSERT_TRUE(TrainMain());
  const std::vector<std::string> texts = platform.ui.messageTexts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Find centre failed - outside image area"), 1);
  EXPECT_EQ(centroidState().working_radius, settings().mask_radius);
}

TEST_F(MainGuiderTest, AWindowThatLeavesTheImageAtAStepsSecondCentroidEndsTrainingWithoutResults) {
  settings().mask_radius = 70;  // no window of this radius fits the 128 x 128 guide window
  settings().main_ra_rate = 7;
  saveSettings();  // the first telescope use reads the file
  EXPECT_FALSE(TrainMain());
  const std::vector<std::string> texts = platform.ui.messageTexts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Find centre failed - outside image area"), 1);
  EXPECT_EQ(texts.back(), "Find centre failed - outside image area");  // no results box
  EXPECT_EQ(settings().main_ra_rate, 7);
  EXPECT_FALSE(guideStarState().guide_window_set || guidingState().main_active);
}

TEST_F(MainGuiderTest, GuidingRunsUntilAKeyPress) {
  platform.ui.scheduleKeyPress(120000);
  int frames = 0;
  GuidingView view;
  int drawn = 0;
  int refreshed_with_this_frame = 0;
  int measured = -1;  // the frames measured when the fields were last refreshed
  view.refresh = [&] { measured = guidingState().frames; };
  view.frame_done = [&](const GuideFrameRecord& r) {
    ++frames;
    drawn += windowBitmap() && windowBitmap()->width == 128 && windowBitmap()->height == 128;
    refreshed_with_this_frame += measured == r.frame;
  };
  ASSERT_TRUE(runMainGuiding(view));
  EXPECT_GT(frames, 20);
  EXPECT_EQ(drawn, frames);
  EXPECT_EQ(refreshed_with_this_frame, frames);
  EXPECT_FALSE(displayState().guide_window_shown);
  EXPECT_EQ(platform.ui.messageTexts().back(), "AutoGuiding Terminated");
  EXPECT_FALSE(guidingState().main_running);
  EXPECT_EQ(sim.transport().relayValue(), 0);
}

// Star fields whose guide window puts the picked star rows away from where the window placement expects
// it (the placement's row remainder by 30 is far from the simulated camera's 6-row band): training and
// guiding must still hold the picked star, not empty sky.
class MainStarFieldTest : public ::testing::TestWithParam<int> {
 protected:
  MainStarFieldTest() : sim(test::withSetting("seed=" + std::to_string(GetParam()))) {
    settings().show_interface_details = false;
    settings().drive_method = 'b';
    saveSettings();
    FindCamera();
    Frame& f = imageBuffers().CurrentFrame;
    ReadFullFrame(f, 1000);
    const auto star = brightestPickableStar(f.data(), kFrameWidth, kFrameHeight, settings().mask_radius,
                                            kMainPickEdgeMargin);
    EXPECT_TRUE(star);
    if (star) setMainGuideStar(star->first, star->second);
    centroidState().working_radius = settings().mask_radius;
  }
  sim::SimSystem sim;
  test::TestPlatform platform{&sim.transport()};
};

TEST_P(MainStarFieldTest, TrainingAndGuidingHoldThePickedStar) {
  const GuideWindowPlacement w = guideWindowPlacement(guideStarState().main_x, guideStarState().main_y,
                                                      kFrameWidth, kFrameHeight, false);
  EXPECT_GT(std::abs(w.yoffset - 6), settings().mask_radius);  // the case this field stands for
  ASSERT_TRUE(TrainMain()) << platform.ui.messageTexts().back();
  EXPECT_EQ(settings().main_ra_rate, 4);
  EXPECT_EQ(settings().main_dec_backlash, 3);

  platform.ui.scheduleKeyPress(platform.clock.millis() + 600000);
  std::vector<double> errors;
  GuidingView view;
  view.frame_done = [&](const GuideFrameRecord& r) {
    if (!r.lost && r.frame > 20) errors.push_back(std::hypot(r.dx, r.dy) / 1000.0);
  };
  ASSERT_TRUE(runMainGuiding(view));
  EXPECT_EQ(guidingState().lost_frames, 0);
  ASSERT_GT(errors.size(), 100u);
  double sum = 0.0;
  for (double e : errors)
    sum += e * e;
  EXPECT_LT(std::sqrt(sum / static_cast<double>(errors.size())), 1.5);
}

INSTANTIATE_TEST_SUITE_P(RowRemainders, MainStarFieldTest, ::testing::Values(2, 9));

}  // namespace
}  // namespace qlm
