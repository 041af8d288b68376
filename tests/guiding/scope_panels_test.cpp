#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "camera/link.h"
#include "files/settings.h"
#include "guiding/scope_panels.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "support/sim_mount.h"

namespace qlm {
namespace {

using test::Commands;

// The panels driven as a user drives them, against the simulated mount behind the simulated camera.
class ScopePanelTest : public test::SimMountTest {
 protected:
  ScopePanelTest() {
    settings().show_interface_details = false;
    settings().drive_method = 'l';
    saveSettings();  // the first telescope use reads the settings file
    EXPECT_TRUE(prepareTelescopeUse(scope));
  }
  TelescopeState& scope = telescopeState();
  ScopePanelModel panel{ScopePanelKind::Lx200, scope};
};

// The panel's choices and field rules, read back from the simulator's log.
TEST_F(ScopePanelTest, FieldsChooseWhatIsSent) {
  panel.messier = " 31 ";  // Messier wins when both are filled
  panel.cngc = "7000";
  panel.gotoObject();
  panel.messier = "M31";  // not a number: counts as 0, so CNGC
  panel.cngc = "+7815";
  panel.gotoObject();
  panel.ra_hours = "23";
  panel.ra_minutes = "59";
  panel.dec_degrees = "-89";
  panel.dec_minutes = "59";
  panel.gotoCoordinates();
  EXPECT_EQ(mount.commands(), (Commands{"#:LM 0031#", "#:LI#", "#:MS#", "#:LC 7815#", "#:LI#", "#:MS#",
                                        "#:Sr 23:59.0#", "#:Sd -89*59#", "#:LI#", "#:MS#"}));
  EXPECT_TRUE(platform.ui.messageTexts().empty());
}

struct Refused {
  const char* name;
  const char* fields[4];  // Messier, CNGC (both empty for coordinates) or h, m, d, dm
};

class PanelRefusesTest : public ScopePanelTest, public ::testing::WithParamInterface<Refused> {};

TEST_P(PanelRefusesTest, BoxShownAndNothingSent) {
  const auto& f = GetParam().fields;
  const bool catalogue = f[2] == nullptr;
  if (catalogue) {
    panel.messier = f[0];
    panel.cngc = f[1];
    panel.gotoObject();
  } else {
    panel.ra_hours = f[0];
    panel.ra_minutes = f[1];
    panel.dec_degrees = f[2];
    panel.dec_minutes = f[3];
    panel.gotoCoordinates();
  }
  EXPECT_TRUE(mount.receivedBytes().empty());
  const auto boxes = platform.ui.callsOf("message");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, catalogue ? "QLM_T4 - Control Telescope" : "Vex_K2 - Control Telescope");
  EXPECT_EQ(boxes[0].text, catalogue ? kOutOfRangeText : kInvalidCoordinatesText);
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, PanelRefusesTest,
    ::testing::Values(Refused{"Messier111", {"111", "0"}}, Refused{"Cngc7816", {"0", "7816"}},
                      Refused{"Negative", {"-1", "-224"}}, Refused{"DecMinus90", {"1", "0", "-90", "0"}},
                      Refused{"DecPlus90", {"1", "0", "90", "0"}}, Refused{"Hours24", {"24", "0", "0", "0"}},
                      Refused{"Minutes60", {"1", "60", "0", "0"}},
                      Refused{"DecMinutes60", {"1", "0", "0", "60"}},
                      Refused{"NotANumber", {"5h", "0", "0", "0"}},
                      Refused{"EmptyField", {"5", "0", "", "0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScopePanelTest, SlewTurnsRaTheShortWayRound) {
  panel.gotoPlanet(908);  // Neptune in November 2023 (the simulator's date), at 23.7 h: west of the start
  EXPECT_EQ(waitForArrival(300000, scope), SlewEnd::Arrived);
  EXPECT_EQ(scope.ra_text.substr(0, 3), "23:");
  EXPECT_LT(now(), 10000u);
}

TEST_F(ScopePanelTest, SilentOrEndlessSlewEndsTheWaitAndThePanelStaysUsable) {
  panel.messier = "42";
  panel.gotoObject();
  EXPECT_EQ(waitForArrival(10000, scope), SlewEnd::TimedOut);
  EXPECT_TRUE(mount.slewing());

  mount.setReplyFault(sim::ReplyFault::Silent);
  const std::uint32_t t0 = now();
  EXPECT_EQ(waitForArrival(5000, scope), SlewEnd::NoAnswer);
  EXPECT_NEAR(static_cast<double>(now() - t0), 5000.0, 50.0);
  mount.clearLog();
  panel.arrowPressed(Direction::West);
  panel.arrowReleased();
  EXPECT_EQ(mount.commands().size(), 6u);
}

TEST_F(ScopePanelTest, AutostarPollingReadsBeepsInTurnAndEndsOnARightPress) {
  settings().drive_method = 'a';
  ScopePanelModel autostar(scopePanelKind('a'), scope);
  EXPECT_TRUE(autostar.pollPass({}));
  EXPECT_TRUE(autostar.pollPass({}));
  EXPECT_TRUE(autostar.pollPass({}));
  EXPECT_EQ(mount.commands(), (Commands{"#:GR#", "#:GD#", "#:GR#", "#:GD#"}));
  EXPECT_EQ(platform.ui.beepCount(), 1u);
  InputEvents right;
  right.right_button = true;
  EXPECT_FALSE(autostar.pollPass(right));
  EXPECT_FALSE(autostar.pollPass({}));
  EXPECT_EQ(mount.commands().size(), 4u);
  // The panel itself goes on working.
  autostar.help();
  EXPECT_EQ(platform.ui.callsOf("message").back().caption, "QLMT8 - Control Telescope");
  EXPECT_EQ(platform.ui.callsOf("message").back().text, kHelpText);
  autostar.messier = "1";
  autostar.gotoObject();
  EXPECT_EQ(mount.commands().back(), "#:MS#");
}

// The Autostar polling reads many times a second: its slew has ended when the readings stood still
// for two seconds of the clock, not after the first few that agree.
TEST_F(ScopePanelTest, AutostarPollingSaysWhenTheSlewEnds) {
  settings().drive_method = 'a';
  mount.setModelSource([] { return sim::MountModel::Autostar; });
  ScopePanelModel autostar(scopePanelKind('a'), scope);
  autostar.messier = "42";
  autostar.gotoObject();
  EXPECT_EQ(autostar.slewStatus(), "Slewing");
  std::uint32_t stopped_at = 0;
  while (autostar.slewWatch() == SlewWatch::Slewing && now() < 120000) {
    autostar.pollPass({});
    if (mount.slewing() || stopped_at == 0) stopped_at = mount.slewing() ? 0 : now();
  }
  EXPECT_EQ(autostar.slewStatus(), "Slew ended");
  ASSERT_NE(stopped_at, 0u);
  EXPECT_GE(now() - stopped_at, 2000u);
  EXPECT_LE(now() - stopped_at, 2100u);
}

TEST(ScopeFirstUseTest, SettingsCheckThenCameraThenPort) {
  sim::SimSystem sim;
  test::TestPlatform platform{&sim.transport()};
  settings().show_interface_details = false;
  settings().telescope_com = '2';
  saveSettings();
  std::filesystem::resize_file(platform.paths().settingsFile(), 100);  // a file that ends early
  sim.transport().setUnplugged(true);
  EXPECT_FALSE(prepareTelescopeUse());
  // Discovery reports the missing device itself before the command's own message.
  EXPECT_EQ(platform.ui.messageTexts(),
            (std::vector<std::string>{messageBoxText(27), "USB ZADUZ device not found",
                                      "Sorry, Camera not found"}));
  EXPECT_EQ(std::filesystem::file_size(platform.paths().settingsFile()), 1402u);
  EXPECT_FALSE(telescopeState().port_selected);
  sim.transport().setUnplugged(false);
  EXPECT_TRUE(prepareTelescopeUse());
  EXPECT_EQ(telescopeState().port, 1);
  EXPECT_EQ(platform.ui.messageTexts().size(), 3u);
}

}  // namespace
}  // namespace qlm
