#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "guiding/guide_log.h"
#include "guiding/guider.h"
#include "guiding/telescope.h"
#include "image/frame.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "sim/sim_setup.h"
#include "support/test_home.h"

namespace qlm {
namespace {

sim::SimOptions withSetting(const std::string& key_value) {
  sim::SimOptions o = sim::defaultSimOptions();
  EXPECT_EQ(sim::applySimSetting(o, key_value), "");
  return o;
}

// Training and guiding with the guider head against the simulated mount on the virtual clock, the star
// picked as the command line picks it (the brightest one whose window fits).
class GuiderTest : public ::testing::Test {
 protected:
  explicit GuiderTest(const sim::SimOptions& o = sim::defaultSimOptions()) : sim(o) {
    settings().show_interface_details = false;
    settings().drive_method = 'b';
    FindCamera();
    SelectTelescopePort();
    GuiderExposure('s', 1, imageBuffers().GuiderFrames[0], GuiderProcessing{});
    star = brightestGuiderStar(imageBuffers().GuiderFrames[0], settings().mask_radius);
    centroidState().working_radius = settings().mask_radius;
    view.log_path = (platform.paths().root() / "run.csv").string();
    view.truth = [this]() -> std::optional<std::pair<double, double>> {
      const sim::ExposureRecord& e = sim.transport().lastExposure(1);
      return std::make_pair(e.pointing_x_px, e.pointing_y_px);
    };
    view.frame_done = [this](const GuideFrameRecord&) {
      if (static_cast<std::int32_t>(platform.clock.millis() - stop_at) >= 0)
        guidingState().guider_guiding = false;
    };
  }
  sim::SimSystem sim;
  test::TestPlatform platform{&sim.transport()};
  std::optional<GuiderStar> star;
  GuidingView view;
  std::uint32_t stop_at = 0;

  bool shown(int message) {
    const std::vector<std::string> texts = platform.ui.messageTexts();
    return std::find(texts.begin(), texts.end(), std::string(messageText(message))) != texts.end();
  }

  // Guides for `seconds`; the true rms (main pixels, about the mean) of the logged frames.
  double guide(int seconds, bool corrections) {
    view.send_pulses = corrections;
    stop_at = platform.clock.millis() + static_cast<std::uint32_t>(seconds) * 1000u;
    EXPECT_TRUE(runGuiderGuiding(star, view));
    const std::vector<GuideLogRow> rows = readGuideLog(view.log_path);
    EXPECT_EQ(static_cast<int>(rows.size()), guidingState().frames);
    return trueRms(rows);
  }
};

TEST_F(GuiderTest, TrainingRecoversTheMountsRates) {
  ASSERT_TRUE(star);
  ASSERT_TRUE(TrainGuider(star));
  const CalibrationState& c = calibrationState();
  EXPECT_TRUE(c.trained_available && c.use_trained);
  EXPECT_EQ(c.training_step, 8);
  // Guide rate 0.5 x sidereal at 3.8 arcsec per guider pixel, the guider turned by 2 degrees: a west
  // pulse moves the star along (-cos, sin), a north pulse along (sin, cos).
  const double rate = 0.5 * sim::kSiderealArcsecPerS / 3.8;
  const double turn = sim.options().camera.guider_head.rotation_deg * 3.14159265358979 / 180.0;
  EXPECT_NEAR(c.trained.ra_rate, rate, 0.05 * rate);
  // The three west pulses (2100 T ms) and the two north ones (1200 T ms) are divided by 2 T.
  const int rx = static_cast<int>(-1.05 * rate * std::cos(turn));
  const int ry = static_cast<int>(1.05 * rate * std::sin(turn));
  EXPECT_EQ(c.trained.rx, rx);
  EXPECT_EQ(c.trained.ry, ry);
  EXPECT_EQ(c.trained.theta, trainingTheta(rx, ry));
  EXPECT_EQ(c.trained.quadrant, 2);
  EXPECT_EQ(c.trained.dx, static_cast<int>(0.6 * rate * std::sin(turn)));
  EXPECT_EQ(c.trained.dy, static_cast<int>(0.6 * rate * std::cos(turn)));
  EXPECT_EQ(c.trained.ra_backlash, 0);  // the RA gears never reverse while tracking
  EXPECT_EQ(sim.transport().relayValue(), 0);
  ASSERT_FALSE(platform.ui.messageTexts().empty());
  EXPECT_EQ(platform.ui.messageTexts().front().rfind("slew RA = ", 0), 0u);
}

// The closed loop, and its log replayed through the correction rules.
TEST_F(GuiderTest, GuidingHoldsTheStarAndItsLogReplaysToTheSamePulses) {
  ASSERT_TRUE(star);
  const double guided = guide(300, true);
  EXPECT_GT(guidingState().corrections, 5);
  const std::vector<GuideLogRow> rows = readGuideLog(view.log_path);
  const double unguided = guide(300, false);
  EXPECT_LE(guided, 0.35 * unguided) << guided << " against " << unguided;
  EXPECT_EQ(sim.transport().relayValue(), 0);
  EXPECT_FALSE(guiderGuidingRunning());

  LastLetters last;  // the letters the run started from
  const GuideParams p = guiderParams();
  int pulses = 0;
  for (const GuideLogRow& r : rows) {
    const GuideCorrection c = guiderCorrection(r.dx, r.dy, p, last);
    EXPECT_EQ(c.ra.sent() ? c.ra.letter : 0, r.ra_dir) << "frame " << r.frame;
    EXPECT_EQ(c.ra.sent() ? c.ra.ms : 0, r.ra_ms) << "frame " << r.frame;
    EXPECT_EQ(c.dec.sent() ? c.dec.letter : 0, r.dec_dir) << "frame " << r.frame;
    EXPECT_EQ(c.dec.sent() ? c.dec.ms : 0, r.dec_ms) << "frame " << r.frame;
    pulses += (r.ra_ms > 0) + (r.dec_ms > 0);
  }
  EXPECT_GT(pulses, 5);
}

TEST_F(GuiderTest, OnlyAStepsSecondCentroidEndsTheTraining) {
  // From a start point whose window does not fit, each first pass shows its box and the second starts
  // from the result held; steps 2 and 3 start 9 first moves away, outside; step 4's second pass fails.
  ASSERT_TRUE(star && (star->x > 60 || star->y > 40));
  centroidState().guider = CentroidResult{star->x, star->y, 0, 0};
  EXPECT_FALSE(TrainGuider(GuiderStar{2, 2}));
  EXPECT_EQ(calibrationState().training_step, 3);
  const std::vector<std::string> texts = platform.ui.messageTexts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Find centre failed - outside image area"), 4);
}

TEST_F(GuiderTest, RefusedStartsRunNoCycle) {
  EXPECT_FALSE(startGuiderGuiding(std::nullopt, view));
  EXPECT_TRUE(shown(53));
  settings().drive_method = 'n';
  EXPECT_FALSE(startGuiderGuiding(star, view));
  EXPECT_TRUE(shown(55));
  EXPECT_EQ(guidingState().frames, 0);
  EXPECT_FALSE(TrainGuider(std::nullopt));
  EXPECT_EQ(calibrationState().training_step, 0);
}

// A camera that fails during a run: the run or the training ends at that frame with the link's one
// message, no relay held and the log complete. Offsets count the transfers of the next guider exposure
// (0 discard block, 1 discard read, 2-3 clears, 4 readout block, 5 frame read).
struct CameraFault {
  std::uint64_t offset;
  sim::SimTransport::TransferFault kind;
};

class CameraFailureGuiderTest : public GuiderTest, public ::testing::WithParamInterface<CameraFault> {
 protected:
  void armAfter(std::uint64_t pulse_transfers) {
    sim.transport().faultAtTransfer(sim.transport().transfers() + pulse_transfers + GetParam().offset,
                                    GetParam().kind);
  }
};

TEST_P(CameraFailureGuiderTest, GuidingEndsAtTheFrameTheCameraDidNotDeliver) {
  ASSERT_TRUE(star);
  view.frame_done = [this](const GuideFrameRecord& r) {
    if (r.frame == 10) armAfter(0);
    if (r.frame == 20) guidingState().guider_guiding = false;  // a run that went on past the fault
  };
  const std::size_t before = platform.ui.messageTexts().size();
  EXPECT_TRUE(runGuiderGuiding(star, view));
  EXPECT_TRUE(guidingState().camera_failed);
  EXPECT_EQ(guidingState().frames, 10);
  EXPECT_EQ(platform.ui.messageTexts().size(), before + 1);
  EXPECT_EQ(sim.transport().relayValue(), 0);
  EXPECT_FALSE(guiderGuidingRunning());
  EXPECT_EQ(readGuideLog(view.log_path).size(), 10u);
}

TEST_P(CameraFailureGuiderTest, TrainingEndsWithoutResults) {
  ASSERT_TRUE(star);
  calibrationState().trained.ra_rate = 7;
  bool armed = false;
  view.refresh = [&] {
    // Step 3 starts with a west pulse: the relay set and its release, then the exposure.
    if (calibrationState().training_step != 2 || armed) return;
    armed = true;
    armAfter(2);
  };
  const std::size_t before = platform.ui.messageTexts().size();
  EXPECT_FALSE(TrainGuider(star, view));
  EXPECT_TRUE(guidingState().camera_failed);
  EXPECT_EQ(calibrationState().training_step, 2);
  EXPECT_EQ(calibrationState().trained.ra_rate, 7);
  EXPECT_FALSE(calibrationState().trained_available || calibrationState().training_in_progress);
  EXPECT_EQ(platform.ui.messageTexts().size(), before + 1);
  EXPECT_EQ(sim.transport().relayValue(), 0);
}

using Fault = sim::SimTransport::TransferFault;
INSTANTIATE_TEST_SUITE_P(Faults, CameraFailureGuiderTest,
                         ::testing::Values(CameraFault{5, Fault::Fail}, CameraFault{5, Fault::Short},
                                           CameraFault{4, Fault::Short}, CameraFault{0, Fault::Unplug},
                                           CameraFault{3, Fault::Unplug}));

class CloudyGuiderTest : public GuiderTest {
 protected:
  CloudyGuiderTest() : GuiderTest(withSetting("clouds_at_s=40")) {}
};

TEST_F(CloudyGuiderTest, ALostStarEndsGuidingWithTheMountStill) {
  stop_at = 600000;
  EXPECT_TRUE(runGuiderGuiding(star, view));
  EXPECT_TRUE(shown(kGuideStarLostMessage));
  EXPECT_LT(platform.clock.millis(), 60000u);
  EXPECT_FALSE(guiderGuidingRunning());
  EXPECT_EQ(sim.transport().relayValue(), 0);
  // Training after the clouds came keeps what an earlier training found.
  calibrationState().trained.ra_rate = 7;
  EXPECT_FALSE(TrainGuider(star));
  EXPECT_EQ(calibrationState().trained.ra_rate, 7);
  EXPECT_FALSE(calibrationState().training_in_progress);
}

class CloudsWhileStabilisingGuiderTest : public GuiderTest {
 protected:
  CloudsWhileStabilisingGuiderTest() : GuiderTest(withSetting("clouds_at_s=5")) {}
};

TEST_F(CloudsWhileStabilisingGuiderTest, AllThreeStabilisingCorrectionsRunAndNoCycleFollows) {
  stop_at = 600000;
  EXPECT_TRUE(runGuiderGuiding(star, view));
  const std::vector<std::string> texts = platform.ui.messageTexts();
  const auto lost = std::count(texts.begin(), texts.end(), std::string(messageText(kGuideStarLostMessage)));
  EXPECT_GE(lost, 2);
  EXPECT_EQ(guidingState().frames + lost, 3);  // each correction measured the star or lost it
  EXPECT_FALSE(guiderGuidingRunning());
}

class StuckMountGuiderTest : public GuiderTest {
 protected:
  StuckMountGuiderTest() : GuiderTest(withSetting("guide_rate=0")) {}
};

TEST_F(StuckMountGuiderTest, AStarThatDoesNotMoveIsNotATraining) {
  calibrationState().trained.dec_rate = 4;
  EXPECT_FALSE(TrainGuider(star));
  const std::vector<std::string> texts = platform.ui.messageTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1], kTrainingNoMovementText);
  EXPECT_FALSE(calibrationState().trained_available);
  EXPECT_EQ(calibrationState().trained.dec_rate, 4);
}

}  // namespace
}  // namespace qlm
