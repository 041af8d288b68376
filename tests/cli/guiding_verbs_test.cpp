#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/guiding_verbs.h"
#include "files/settings.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class GuidingVerbsTest : public ::testing::Test {
 protected:
  test::TestPlatform platform;
  std::ostringstream out;
  std::ostringstream err;

  // A raw 660 x 500 image file of background 1000 with one star.
  std::string writeImage(int star_x, int star_y) {
    std::vector<std::uint16_t> pixels(660 * 500, 1000);
    pixels[static_cast<std::size_t>(star_y * 660 + star_x)] = 30000;
    pixels[static_cast<std::size_t>(star_y * 660 + star_x + 1)] = 12000;
    const std::string path = (platform.home.path() / "star.pk").string();
    std::ofstream f(path, std::ios::binary);
    for (std::uint16_t v : pixels) {
      f.put(static_cast<char>(v & 0xFF));
      f.put(static_cast<char>(v >> 8));
    }
    return path;
  }
  CliOptions simulated(std::vector<std::string> sim = {}) {
    CliOptions o;
    o.simulate = true;
    o.virtual_clock = true;
    o.sim_settings = std::move(sim);
    return o;
  }
};

TEST_F(GuidingVerbsTest, CentroidFollowsThePickPassesToTheStar) {
  const std::string image = writeImage(300, 120);
  ASSERT_EQ(runCentroidVerb({image, 305, 116, std::nullopt}, out, err), 0) << err.str();
  EXPECT_EQ(out.str(), "x=300.0 y=120.0\n");  // the main-window pick measures to the nearest pixel

  out.str("");
  settings().mask_radius = 15;
  EXPECT_EQ(runCentroidVerb({image, 14, 200, std::nullopt}, out, err), 1);
  EXPECT_EQ(runCentroidVerb({image, 296, 118, 8}, out, err), 0);
  EXPECT_EQ(out.str(), "x=300.0 y=120.0\n");
  EXPECT_EQ(platform.ui.messageTexts(), std::vector<std::string>{"Find centre failed - outside image area"});
  EXPECT_EQ(runCentroidVerb({image, 14, 200, 16}, out, err), 2);
}

TEST_F(GuidingVerbsTest, TelescopeStatusPrintsWhereTheSimulatedMountPoints) {
  const std::string home = platform.home.path().string();
  ASSERT_EQ(runCli({"--home", home, "--simulate", "--virtual-clock", "telescope", "status"}, out, err), 0)
      << err.str();
  EXPECT_EQ(out.str(), "ra: 00:00:00\ndec: +00:00:00\n");
  out.str("");
  ASSERT_EQ(runCli({"--home", home, "--sim", "ra_h=5.5", "--simulate", "telescope", "status",
                    "--virtual-clock", "--sim", "dec_deg=-10.25"},
                   out, err),
            0);
  EXPECT_EQ(out.str(), "ra: 05:30:00\ndec: -10:15:00\n");
  out.str("");
  EXPECT_EQ(runCli({"--sim-help"}, out, err), 0);
  EXPECT_NE(out.str().find("dec_backlash_arcsec=6 "), std::string::npos);
}

TEST_F(GuidingVerbsTest, TelescopeRefusesBadInputAndReportsASilentMount) {
  EXPECT_EQ(runTelescopeVerb({"status"}, simulated({"pe_arcsec=much"}), out, err), 2);
  EXPECT_EQ(runTelescopeVerb({"pulse", 'x', 100}, simulated(), out, err), 2);
  CliOptions no_sim;
  no_sim.virtual_clock = true;
  EXPECT_EQ(runTelescopeVerb({"status"}, no_sim, out, err), 2);
  no_sim = simulated({"pe_arcsec=4"});
  no_sim.simulate = false;
  no_sim.virtual_clock = false;
  EXPECT_EQ(runTelescopeVerb({"status"}, no_sim, out, err), 2);
  out.str("");
  // A silent, cut-short or garbled mount fails the verb and prints no position.
  for (const char* fault : {"silent", "short", "garbage"}) {
    out.str("");
    err.str("");
    EXPECT_EQ(runTelescopeVerb({"status"}, simulated({std::string("fault.mount_reply=") + fault}), out, err),
              1)
        << fault;
    EXPECT_EQ(out.str(), "") << fault;
    EXPECT_NE(err.str().find(fault == std::string("silent") ? "did not answer" : "not a position"),
              std::string::npos)
        << fault << ": " << err.str();
  }
}

TEST_F(GuidingVerbsTest, PulseTakesItsLengthOnTheVirtualClock) {
  settings().drive_method = 'l';
  settings().show_interface_details = false;
  const std::uint32_t before = platform.clock.millis();
  ASSERT_EQ(runTelescopeVerb({"pulse", 'e', 2000}, simulated(), out, err), 0) << err.str();
  // The verb's own virtual clock ran the pulse; the test's clock did not move.
  EXPECT_EQ(platform.clock.millis(), before);
  EXPECT_TRUE(platform.ui.messageTexts().empty());
}

// The README's telescope lines on the default simulator, with either text drive method: the simulated
// mount answers as the mount the settings name (an Autostar a few milliseconds late).
class DriveMethodTest : public GuidingVerbsTest, public ::testing::WithParamInterface<char> {};

TEST_P(DriveMethodTest, StatusGotoAndPulseWorkOnTheDefaultSimulator) {
  settings().drive_method = GetParam();
  settings().show_interface_details = false;
  saveSettings();
  auto run = [this](std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), {"--home", platform.home.path().string(), "--simulate", "--virtual-clock"});
    return runCli(args, out, err);
  };
  ASSERT_EQ(run({"telescope", "status"}), 0) << err.str();
  EXPECT_EQ(out.str(), "ra: 00:00:00\ndec: +00:00:00\n");
  ASSERT_EQ(run({"telescope", "goto", "messier", "2"}), 0) << err.str();
  EXPECT_EQ(out.str(), "ra: 21:33:28\ndec: -00:49:24\n");
  ASSERT_EQ(run({"telescope", "pulse", "e", "500"}), 0) << err.str();
  EXPECT_EQ(out.str(), GetParam() == 'l' ? "pulse: e 500 ms, sent as #:Me# ... #:Qe#\n"
                                         : "pulse: e 500 ms, sent as relay 8\n");
  // A mount fixed to the other model than the settings name shows why the model matters.
  const std::string other = GetParam() == 'l' ? "mount=autostar" : "mount=lx200";
  EXPECT_EQ(run({"--sim", other, "telescope", "status"}), 1);
}

INSTANTIATE_TEST_SUITE_P(Lx200AndAutostar, DriveMethodTest, ::testing::Values('l', 'a'));

}  // namespace
}  // namespace qlm
