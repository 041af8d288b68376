#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "guiding/ao_unit.h"
#include "image/centroid.h"
#include "image/frame.h"
#include "sim/sim_setup.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using Texts = std::vector<std::string>;

sim::SimOptions stillSky(bool relays = false) {
  sim::SimOptions o = sim::defaultSimOptions();
  o.mount.pe_peak_to_peak_arcsec = 0.0;
  o.mount.drift_ra_arcsec_per_s = 0.0;
  o.mount.drift_dec_arcsec_per_s = 0.0;
  o.camera.sky.seeing_jitter_px = 0.0;
  o.ao_relays = relays ? 1 : 0;
  return o;
}

// The AO unit's commands against the simulated unit behind the simulated camera.
class AOUnitTest : public ::testing::Test {
 protected:
  explicit AOUnitTest(bool relays = false) : sim(stillSky(relays)), platform(&sim.transport()) {
    settings().show_interface_details = false;
    settings().ao_through_relays = relays;
    FindCamera();
    sim.transport().clearReceived();
  }
  sim::SimSystem sim;
  test::TestPlatform platform;
  AOState& ao = aoState();

  std::uint32_t now() { return platform.clock.millis(); }
  // Relay values the camera received, with their times.
  std::vector<std::pair<std::uint32_t, int>> relayValues() {
    std::vector<std::pair<std::uint32_t, int>> v;
    for (const auto& b : sim.transport().received())
      if (b.bytes[1] == kCmdRelays) v.push_back({b.at_ms, b.bytes[2] | (b.bytes[3] << 8)});
    return v;
  }
  void correct(int dx, int dy) { AOCorrect(dx, dy); }
};

TEST_F(AOUnitTest, CorrectionSendsSevenByteStepAndTracksTilt) {
  correct(2000, 0);  // 2 pixels with gain 5: ten steps West
  ASSERT_EQ(sim.transport().received().size(), 1u);
  const std::vector<std::uint8_t> block = sim.transport().received()[0].bytes;
  EXPECT_EQ(block,
            (std::vector<std::uint8_t>{0x40, 10, 0, 0, 0, 0, 7, 0, 'G', 'W', '0', '0', '0', '1', '0'}));
  EXPECT_EQ(ao.tilt_x, -10);
  EXPECT_EQ(sim.ao().tiltX(), -10);
  EXPECT_EQ(platform.ui.beepCount(), 2u);

  // Dec: dy > 0 goes to the North letter, dy < 0 to the South letter; small errors and far ones nothing.
  sim.ao().clearLog();
  correct(-25, 3000);
  correct(0, -1000);
  correct(9000, 9000);
  correct(100, 0);  // 100 x 5 / 1000 = 0 steps: considered, nothing sent
  EXPECT_EQ(sim.ao().commands(), (Texts{"GN00015", "GS00005"}));
  EXPECT_EQ(ao.tilt_y, 10);
  EXPECT_TRUE(aoCorrection(9000, 0).too_far);
  EXPECT_TRUE(aoCorrection(100, 0).ra.considered);
  EXPECT_FALSE(aoCorrection(100, 0).ra.sent());

  // Swapped letters and other gains follow the settings.
  settings().ao_direction_letters = {'w', 'e', 's', 'n'};
  settings().ao_default_lr_gain = 7;
  sim.ao().clearLog();
  correct(-1000, -1000);
  EXPECT_EQ(sim.ao().commands(), (Texts{"GW00007", "GN00005"}));
}

TEST_F(AOUnitTest, MountMovesWhileTiltIsBeyondFiftySteps) {
  for (int i = 0; i < 5; ++i)
    correct(2000, 0);
  EXPECT_EQ(ao.tilt_x, -50);
  EXPECT_EQ(sim.ao().mountMoves(), 0);
  const double ra_before = sim.mount().axesAt(now()).ra_arcsec;
  sim.ao().clearLog();
  correct(2000, 0);  // -60: the sixth also moves the mount east
  correct(2000, 0);  // -70: and the seventh
  EXPECT_EQ(sim.ao().commands(), (Texts{"GW00010", "MT00100", "GW00010", "MT00100"}));
  EXPECT_EQ(ao.tilt_x, -70);
  EXPECT_EQ(ao.bumps, 2);
  EXPECT_NEAR(sim.mount().axesAt(now()).ra_arcsec - ra_before, 2 * 1.0, 1e-6);

  sim.ao().clearLog();
  correct(-2000, 0);  // -60: still beyond, the move follows an east step too (opposite: west)
  correct(-2000, 0);  // -50: back within
  EXPECT_EQ(sim.ao().commands(), (Texts{"GT00010", "MW00100", "GT00010"}));
  // A Dec step checks both axes.
  ao.tilt_x = 60;
  sim.ao().clearLog();
  correct(0, 1000);
  EXPECT_EQ(sim.ao().commands(), (Texts{"GN00005", "MS00100"}));
}

TEST_F(AOUnitTest, ManualMoveRecentreAndCentralise) {
  AOMove('n');
  AOMove('e');
  AOMove('x');  // not a direction: nothing
  EXPECT_EQ(sim.ao().commands(), (Texts{"MN00100", "MT00100"}));
  EXPECT_EQ(ao.tilt_y, 100);  // no mount move after a manual move
  EXPECT_EQ(ao.tilt_x, 100);

  ao.tilt_x = -30;
  ao.tilt_y = 20;
  sim.ao().clearLog();
  const std::uint32_t t0 = now();
  RecentreAO();
  ASSERT_EQ(sim.ao().events().size(), 2u);
  EXPECT_EQ(sim.ao().commands(), (Texts{"GS00020", "GT00030"}));
  EXPECT_NEAR(static_cast<double>(sim.ao().events()[1].at_ms - sim.ao().events()[0].at_ms), 350.0, 2.0);
  EXPECT_GE(now() - t0, 700u);
  EXPECT_EQ(ao.tilt_x, 0);
  EXPECT_EQ(ao.tilt_y, 0);

  // Nothing to undo sends nothing.
  sim.ao().clearLog();
  RecentreAO();
  EXPECT_TRUE(sim.ao().events().empty());

  ao.tilt_x = 12;
  sim.transport().clearReceived();
  CentraliseAO();
  ASSERT_EQ(sim.transport().received().size(), 1u);
  EXPECT_EQ(sim.transport().received()[0].bytes,
            (std::vector<std::uint8_t>{0x40, 10, 0, 0, 0, 0, 1, 0, 'K'}));
  EXPECT_EQ(ao.tilt_x, 0);
  EXPECT_EQ(sim.ao().tiltX(), 0);
  EXPECT_EQ(sim.ao().tiltY(), 0);
}

TEST_F(AOUnitTest, TiltStopsAtTheLimitOfTravelAndShiftsTheImage) {
  settings().ao_port = 1;  // "Com 1": the unit listens on port 0 and hears nothing
  AOMove('n');
  EXPECT_TRUE(sim.ao().events().empty());
  settings().ao_port = 0;
  ao.count = 400;
  ao.letter = 'n';
  AOStep(ao);
  EXPECT_EQ(sim.ao().tiltY(), 150);
  EXPECT_EQ(sim.ao().stopsAtTravel(), 1);
  EXPECT_NEAR(sim.ao().shiftYPxAt(now()), 150 * 0.76 / 1.9, 1e-9);
  ao.count = 100;
  ao.letter = 'e';
  AOStep(ao);
  EXPECT_NEAR(sim.ao().shiftXPxAt(now()), -100 * 0.76 / 1.9, 1e-9);  // east tilts as a west pulse
}

class AORelayTest : public AOUnitTest {
 protected:
  AORelayTest() : AOUnitTest(true) {}
};

TEST_F(AORelayTest, StepHoldsDirectionValueForCountThenRests) {
  settings().ao_default_lr_gain = 20;
  const std::uint32_t t0 = now();
  correct(-2000, 0);  // 40 steps East
  const auto v = relayValues();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].second, 7);
  EXPECT_EQ(v[1].second, 15);
  EXPECT_NEAR(static_cast<double>(v[0].first - t0), 10.0, 2.0);
  EXPECT_EQ(v[1].first - v[0].first, 40u);
  EXPECT_NEAR(static_cast<double>(now() - v[1].first), 300.0, 2.0);
  EXPECT_EQ(ao.tilt_x, 0);  // not tracked in relay mode
  EXPECT_EQ(sim.ao().tiltX(), 40);

  for (char d : {'n', 's', 'w'}) {
    ao.letter = d;
    ao.count = 5;
    AOStep(ao);
  }
  const auto w = relayValues();
  ASSERT_EQ(w.size(), 8u);
  EXPECT_EQ((std::vector<int>{w[2].second, w[4].second, w[6].second}), (std::vector<int>{11, 13, 14}));

  CentraliseAO();
  RecentreAO();
  const auto c = relayValues();
  ASSERT_EQ(c.size(), 11u);
  EXPECT_EQ(c[8].second, 15);
  EXPECT_EQ(c[9].second, 0);
  EXPECT_NEAR(static_cast<double>(c[9].first - c[8].first), 100.0, 2.0);
  EXPECT_EQ(c[10].second, 0);
  EXPECT_EQ(sim.ao().tiltX(), 0);
  EXPECT_TRUE(sim.mount().events().empty());  // the unit, not the mount, is on the socket
}

// The training on the simulated guider: the unit's steps move the star, the centroids measure it.
class AOTrainingTest : public AOUnitTest {
 protected:
  AOTrainingTest() {
    const auto& head = sim.transport().config().guider_head;
    double best = 0;
    for (const auto& s : sim.transport().renderer().stars()) {
      const sim::HeadPoint p = sim.transport().renderer().skyToHead(head, s.x_px, s.y_px);
      if (p.x < 40 || p.y < 40 || p.x > 460 || p.y > 250 || s.flux_e_per_s <= best) continue;
      best = s.flux_e_per_s;
      star = {static_cast<int>(p.x + 0.5), static_cast<int>(p.y + 0.5)};
    }
    view.expose = [this] {
      StartGuiderExposure();
      GuiderExposure('t', 5, *image, GuiderProcessing{});
      return image->data();
    };
    // The star as the panel's pick measures it.
    view.expose();
    FindGuiderCentre(star.first, star.second, image->data(), 4);
    star = {centroidState().guider.x, centroidState().guider.y};
    view.caption = [this](const std::string& c) { captions.push_back(c); };
  }
  std::unique_ptr<GuiderFrame> image = std::make_unique<GuiderFrame>();
  std::pair<int, int> star;
  AOTrainingView view;
  Texts captions;
};

TEST_F(AOTrainingTest, FourStepsMeasureTheGainsAndSaveThem) {
  settings().ao_latest_lr_gain = 9;
  ASSERT_TRUE(TrainAO(star, view));
  // 25 steps of 0.76" on a 3.8"/px guider move the star 5 pixels: 5 steps per pixel.
  EXPECT_EQ(sim.ao().commands(), (Texts{"GW00025", "GT00025", "GN00025", "GS00025"}));
  EXPECT_EQ(settings().ao_latest_lr_gain, 5);
  EXPECT_EQ(settings().ao_latest_ud_gain, 5);
  EXPECT_TRUE(ao.trained_available && ao.use_trained);
  EXPECT_FALSE(ao.training_in_progress);
  EXPECT_EQ(captions.front(), "Auto Guider Camera Control - Training / slewing West");
  EXPECT_EQ(captions.back(), "Auto Guider Camera Control");
  Settings stored;
  FitsDetails fits;
  loadSettings(platform.home.path() / "autosave" / "QLM_T4.ini", stored, fits);
  EXPECT_EQ(stored.ao_latest_lr_gain, 5);

  // Without a star nothing happens.
  sim.ao().clearLog();
  EXPECT_FALSE(TrainAO(std::nullopt, view));
  EXPECT_TRUE(sim.ao().events().empty());
}

TEST_F(AOTrainingTest, StillStarGivesGainsOfOneAndLostStarKeepsTheOldValues) {
  sim.ao().setSilent(true);
  ASSERT_TRUE(TrainAO(star, view));
  EXPECT_EQ(settings().ao_latest_lr_gain, 1);
  EXPECT_EQ(settings().ao_latest_ud_gain, 1);

  resetAOState(ao);
  settings().ao_latest_lr_gain = 8;
  resetCentroidState(centroidState());
  EXPECT_FALSE(TrainAO(std::pair<int, int>{2, 2}, view));  // the window does not fit
  EXPECT_EQ(settings().ao_latest_lr_gain, 8);
  EXPECT_FALSE(ao.trained_available);
  EXPECT_EQ(captions.back(), "Auto Guider Camera Control");
}

TEST(AOTrainingGains, VectorsTruncateAndZeroBecomesOne) {
  AOTrainingPositions p;
  // West moved +3 in x, East came back +-0 (x2 = x0 - 1): L = (3 + 4) / 2 = 3; U = (0 + 1)/2 = 0, 12.
  p.x[0] = 100, p.x[1] = 103, p.x[2] = 99, p.x[3] = 99, p.x[4] = 98;
  p.y[0] = 50, p.y[1] = 50, p.y[2] = 50, p.y[3] = 62, p.y[4] = 50;
  const AOGains g = aoTrainingGains(p);
  EXPECT_EQ(g.lr, 8);  // trunc(25 / 3)
  EXPECT_EQ(g.ud, 2);  // |U| = 12: trunc(25 / 12)
  p.x[1] = 140;        // a move longer than 25 pixels gives 0, stored as 1
  EXPECT_EQ(aoTrainingGains(p).lr, 1);
}

TEST(AOPanelControls, ButtonsChangeTheSettingsAndSaveThem) {
  test::TestPlatform platform;
  aoSelectCom(1);
  EXPECT_EQ(settings().ao_port, 1);
  aoSelectCom(2);
  EXPECT_EQ(settings().ao_port, 0);
  aoSwapUpDown();
  EXPECT_TRUE(aoUpDownSwapped());
  EXPECT_FALSE(aoLeftRightSwapped());
  aoSwapLeftRight();
  EXPECT_TRUE(aoLeftRightSwapped());
  EXPECT_EQ(settings().ao_direction_letters, (std::array<char, 4>{'w', 'e', 's', 'n'}));
  aoToggleMode();
  aoToggleGuideDevice();
  EXPECT_EQ(settings().guide_device, 'A');
  aoChangeDefaults(7, 9);
  settings().ao_latest_lr_gain = 3;
  settings().ao_latest_ud_gain = 4;
  aoSaveLatest();
  Settings stored;
  FitsDetails fits;
  loadSettings(platform.home.path() / "autosave" / "QLM_T4.ini", stored, fits);
  EXPECT_TRUE(stored.ao_through_relays);
  EXPECT_EQ(stored.guide_device, 'A');
  EXPECT_EQ(stored.ao_direction_letters, settings().ao_direction_letters);
  EXPECT_EQ(stored.ao_default_lr_gain, 3);
  EXPECT_EQ(stored.ao_default_ud_gain, 4);
  aoToggleGuideDevice();
  EXPECT_EQ(settings().guide_device, 'T');

  AOState s;
  aoUseDefault(s);  // without trained values it stays off
  EXPECT_EQ(aoStatusText(s), "Using Default Vals");
  s.trained_available = s.use_trained = true;
  EXPECT_EQ(aoStatusText(s), "Using Trained Vals");
  aoUseDefault(s);
  EXPECT_EQ(aoStatusText(s), "Using Default Vals");
  aoUseDefault(s);
  EXPECT_TRUE(s.use_trained);
}

}  // namespace
}  // namespace qlm
