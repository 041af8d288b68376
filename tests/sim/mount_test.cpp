#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "sim/sim_setup.h"
#include "support/test_home.h"

namespace qlm::sim {
namespace {

void send(Mount& m, const std::string& bytes, std::uint32_t at_ms = 0) {
  m.receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), at_ms);
}

std::string take(Mount& m, std::size_t n = 33) {
  std::string out(n, '\0');
  out.resize(m.reply(reinterpret_cast<std::uint8_t*>(out.data()), n, 0));
  return out;
}

TEST(MountTest, ParserTakesCommandsBetweenHashColonAndHashAndIgnoresOtherBytes) {
  Mount m;
  send(m, "\xA5\x01\x03\xA9#:GR#");  // a filter wheel message on the same port, then a command
  send(m, "#:Sd +12");               // left unfinished: the next '#' starts afresh
  send(m, "#:GD#");
  send(m, "#:Sr 25:00.0#");  // out of range
  EXPECT_EQ(m.commands(), (std::vector<std::string>{"#:GR#", "#:Sd +12#", "#:GD#", "#:Sr 25:00.0#"}));
  // "#:Sd +12" lacks its minutes: refused with '0', as is the RA hour 25.
  EXPECT_EQ(take(m), "00:00:00#0+00*00'00#0");
}

TEST(MountTest, PeriodicErrorHasItsPeakToPeakAndPeriod) {
  MountConfig c;
  c.pe_peak_to_peak_arcsec = 8.0;
  c.pe_period_s = 480.0;
  Mount m(c);
  double lo = 1e9;
  double hi = -1e9;
  for (int t = 0; t < 480; ++t) {
    lo = std::min(lo, m.periodicErrorArcsec(t));
    hi = std::max(hi, m.periodicErrorArcsec(t));
    EXPECT_NEAR(m.periodicErrorArcsec(t), m.periodicErrorArcsec(t + 480.0), 1e-9);
  }
  EXPECT_NEAR(hi - lo, 8.0, 0.01);
}

TEST(MountTest, DriftAndPeriodicErrorMoveThePointingNotTheReportedAxes) {
  MountConfig c;
  c.drift_ra_arcsec_per_s = 0.5;
  c.drift_dec_arcsec_per_s = -0.25;
  Mount m(c, 1000);
  const std::uint32_t t = 1000 + 100000;
  EXPECT_NEAR(m.pointingAt(t).ra_arcsec - m.axesAt(t).ra_arcsec, 50.0 + m.periodicErrorArcsec(100.0), 1e-6);
  EXPECT_NEAR(m.pointingAt(t).dec_arcsec, -25.0, 1e-6);
  EXPECT_EQ(m.axesAt(t).dec_arcsec, 0.0);
}

TEST(MountTest, ManualMovesRunAtTheChosenRateUntilTheirQuit) {
  MountConfig c;
  c.pe_peak_to_peak_arcsec = 0.0;
  Mount m(c);
  send(m, "#:RC##:Mn#", 0);
  send(m, "#:Qs#", 1000);  // a quit of the other direction does not stop it
  send(m, "#:Qn#", 2000);
  EXPECT_NEAR(m.axesAt(5000).dec_arcsec, 2.0 * 8.0 * kSiderealArcsecPerS, 1e-6);
  // A moment between two events is interpolated.
  EXPECT_NEAR(m.axesAt(500).dec_arcsec, 0.5 * 8.0 * kSiderealArcsecPerS, 1e-6);
}

TEST(SimSetupTest, KeysSetTheirValuesAndRefuseBadOnes) {
  SimOptions o = defaultSimOptions();
  EXPECT_EQ(applySimSetting(o, "pe_arcsec=3.5"), "");
  EXPECT_EQ(applySimSetting(o, "seed=7"), "");
  EXPECT_EQ(applySimSetting(o, "fault.mount_reply=garbage"), "");
  EXPECT_EQ(o.mount.pe_peak_to_peak_arcsec, 3.5);
  EXPECT_EQ(o.camera.sky.seed, 7u);
  EXPECT_EQ(o.mount.reply_fault, ReplyFault::Garbage);
  EXPECT_NE(applySimSetting(o, "pe_arcsec=lots"), "");
  EXPECT_NE(applySimSetting(o, "mount_port=2"), "");
  EXPECT_NE(applySimSetting(o, "no_such_key=1"), "");
  EXPECT_NE(applySimSetting(o, "seed"), "");
  EXPECT_EQ(o.mount.pe_peak_to_peak_arcsec, 3.5);

  const std::string help = simHelpText();
  for (const SimKey& k : simKeys())
    EXPECT_NE(help.find(k.name + "=" + k.default_value + " "), std::string::npos) << k.name;
  for (const char* key : {"main_arcsec_per_px=1.9 ", "guider_arcsec_per_px=3.8 ", "dec_backlash_arcsec=6 ",
                          "guide_rate=0.5 ", "pe_arcsec=8 ", "pe_period_s=480 "})
    EXPECT_NE(help.find(key), std::string::npos) << key;
}

// The whole simulator: the mount moves the star field on both heads, each at its own plate scale, and
// the focuser that "#:F+#" drives defocuses the main head.
class SimSystemTest : public ::testing::Test {
 protected:
  SimSystemTest() {
    settings().show_interface_details = false;
    FindCamera();
  }
  SimSystem sim;
  test::TestPlatform platform{&sim.transport()};
  const Star& star = sim.transport().renderer().stars().front();

  HeadPoint readAndLocate(int head) {
    if (head == 1) {
      GuiderExposure('h', 10, imageBuffers().GuiderFrames[0], GuiderProcessing{});
    } else {
      ClearSensor(kClearStart, kMainHead);
      ReadFullFrame(imageBuffers().CurrentFrame, 100);
    }
    return sim.transport().trueHeadPosition(head, star.x_px, star.y_px);
  }
};

TEST_F(SimSystemTest, PointingMovesTheStarOnBothHeadsByTheirPlateScales) {
  const HeadPoint main0 = readAndLocate(0);
  const HeadPoint guider0 = readAndLocate(1);
  SerialWrite(0, "#:RC#", 5);
  SerialWrite(0, "#:Me#", 5);
  waitMs(platform.clock, 1000);
  SerialWrite(0, "#:Qe#", 5);
  const HeadPoint main1 = readAndLocate(0);
  const HeadPoint guider1 = readAndLocate(1);
  const double arcsec = 8.0 * kSiderealArcsecPerS;
  // Seeing wanders each frame by about 0.15 px, so allow for it.
  EXPECT_NEAR(main1.x - main0.x, arcsec / 1.9, 0.8);
  const double guider_moved = std::hypot(guider1.x - guider0.x, guider1.y - guider0.y);
  EXPECT_NEAR(guider_moved, arcsec / 3.8, 0.5);
  EXPECT_EQ(sim.mount().commands().size(), 3u);
}

TEST_F(SimSystemTest, FocuserFollowsTheFocusCommands) {
  SerialWrite(0, "#:FF#", 5);
  SerialWrite(0, "#:F+#", 5);
  waitMs(platform.clock, 2000);
  SerialWrite(0, "#:FQ#", 5);
  readAndLocate(0);
  EXPECT_NEAR(sim.transport().lastExposure(0).focuser_steps, 5000.0 + 400.0, 2.0);
}

}  // namespace
}  // namespace qlm::sim
