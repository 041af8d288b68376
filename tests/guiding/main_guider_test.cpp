#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace
}  // namespace qlm
