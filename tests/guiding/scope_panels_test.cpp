#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "camera/link.h"
#include "files/settings.h"
#include "guiding/scope_panels.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "sim/sim_setup.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using Commands = std::vector<std::string>;

sim::SimOptions quietMount() {
  sim::SimOptions o = sim::defaultSimOptions();
  o.mount.pe_peak_to_peak_arcsec = 0.0;
  o.mount.drift_ra_arcsec_per_s = 0.0;
  o.mount.drift_dec_arcsec_per_s = 0.0;
  return o;
}

// The panels driven as a user drives them, against the simulated mount behind the simulated camera.
class ScopePanelTest : public ::testing::Test {
 protected:
  ScopePanelTest() {
    settings().show_interface_details = false;
    settings().drive_method = 'l';
    saveSettings();  // the first telescope use reads the settings file
    EXPECT_TRUE(prepareTelescopeUse(scope));
  }
  sim::SimSystem sim{quietMount()};
  test::TestPlatform platform{&sim.transport()};
  sim::Mount& mount = sim.mount();
  TelescopeState& scope = telescopeState();
  ScopePanelModel panel{ScopePanelKind::Lx200, scope};

  std::uint32_t now() { return platform.clock.millis(); }
  std::uint32_t eventTime(const std::string& text) {
    for (const auto& e : mount.events())
      if (e.text == text) return e.at_ms;
    ADD_FAILURE() << "no event " << text;
    return 0;
  }
};

struct SentCase {
  const char* name;
  std::function<void(ScopePanelModel&)> act;
  Commands sent;
};

class PanelSendsTest : public ScopePanelTest, public ::testing::WithParamInterface<SentCase> {};

TEST_P(PanelSendsTest, CommandTextsReachTheMountInOrder) {
  GetParam().act(panel);
  EXPECT_EQ(mount.commands(), GetParam().sent);
  EXPECT_TRUE(platform.ui.messageTexts().empty());
}

INSTANTIATE_TEST_SUITE_P(Controls, PanelSendsTest,
                         ::testing::Values(SentCase{"CngcWhenMessierIsZero",
                                                    [](ScopePanelModel& p) {
                                                      p.messier = "0";
                                                      p.cngc = "224";
                                                      p.gotoObject();
                                                    },
                                                    {"#:LC 0224#", "#:LI#", "#:MS#"}},
                                           SentCase{"MessierWinsOverCngc",
                                                    [](ScopePanelModel& p) {
                                                      p.messier = " 31 ";
                                                      p.cngc = "7000";
                                                      p.gotoObject();
                                                    },
                                                    {"#:LM 0031#", "#:LI#", "#:MS#"}},
                                           SentCase{"NonNumberMessierPassesToCngc",
                                                    [](ScopePanelModel& p) {
                                                      p.messier = "M31";
                                                      p.cngc = "7815";
                                                      p.gotoObject();
                                                    },
                                                    {"#:LC 7815#", "#:LI#", "#:MS#"}},
                                           SentCase{"Saturn",
                                                    [](ScopePanelModel& p) {
                                                      p.gotoPlanet(findPlanet("saturn")->star_number);
                                                    },
                                                    {"#:LS 0906#", "#:LI#", "#:MS#"}},
                                           SentCase{"Coordinates",
                                                    [](ScopePanelModel& p) {
                                                      p.ra_hours = "5";
                                                      p.ra_minutes = "34";
                                                      p.dec_degrees = "-5";
                                                      p.dec_minutes = "23";
                                                      p.gotoCoordinates();
                                                    },
                                                    {"#:Sr 05:34.0#", "#:Sd -05*23#", "#:LI#", "#:MS#"}},
                                           SentCase{"CoordinateEdges",
                                                    [](ScopePanelModel& p) {
                                                      p.ra_hours = "23";
                                                      p.ra_minutes = "59";
                                                      p.dec_degrees = "-89";
                                                      p.dec_minutes = "59";
                                                      p.gotoCoordinates();
                                                    },
                                                    {"#:Sr 23:59.0#", "#:Sd -89*59#", "#:LI#", "#:MS#"}},
                                           SentCase{"EastTwiceThenRelease",
                                                    [](ScopePanelModel& p) {
                                                      p.setRate('C');
                                                      p.arrowPressed(Direction::East);
                                                      p.arrowPressed(Direction::East);
                                                      p.arrowReleased();
                                                    },
                                                    {"#:RC#", "#:Me#", "#:Qn#", "#:Qs#", "#:Qe#", "#:Qw#"}},
                                           SentCase{"NorthAtFind",
                                                    [](ScopePanelModel& p) {
                                                      p.setRate('M');
                                                      p.arrowPressed(Direction::North);
                                                      p.arrowReleased();
                                                    },
                                                    {"#:RM#", "#:Mn#", "#:Qn#", "#:Qs#", "#:Qe#", "#:Qw#"}},
                                           SentCase{"FocusFastUp",
                                                    [](ScopePanelModel& p) {
                                                      p.setFocusFast(true);
                                                      p.focusPressed(true);
                                                      p.focusPressed(false);
                                                      p.focusReleased();
                                                    },
                                                    {"#:FF#", "#:F+#", "#:FQ#"}},
                                           SentCase{"FocusSlowDown",
                                                    [](ScopePanelModel& p) {
                                                      p.setFocusFast(false);
                                                      p.focusPressed(false);
                                                      p.focusReleased();
                                                    },
                                                    {"#:FS#", "#:F-#", "#:FQ#"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScopePanelTest, RadioButtonsShowTheCommandsChosen) {
  EXPECT_EQ(panel.rateLetter(), 'S');
  EXPECT_FALSE(panel.focusFast());
  for (const Rate& r : kRates) {
    panel.setRate(r.letter);
    EXPECT_EQ(scope.rate_command, r.command);
    EXPECT_EQ(panel.rateLetter(), r.letter);
  }
  panel.setFocusFast(true);
  EXPECT_TRUE(panel.focusFast());
  EXPECT_TRUE(mount.commands().empty());  // choices are sent with the next move only
}

struct RefusedCase {
  const char* name;
  std::function<void(ScopePanelModel&)> act;
  const char* caption;
  std::string_view text;
};

class PanelRefusesTest : public ScopePanelTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(PanelRefusesTest, BoxShownAndNothingSent) {
  GetParam().act(panel);
  EXPECT_TRUE(mount.receivedBytes().empty());
  const auto boxes = platform.ui.callsOf("message");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, GetParam().caption);
  EXPECT_EQ(boxes[0].text, GetParam().text);
}

std::function<void(ScopePanelModel&)> coordinates(const char* h, const char* m, const char* d,
                                                  const char* dm) {
  return [=](ScopePanelModel& p) {
    p.ra_hours = h;
    p.ra_minutes = m;
    p.dec_degrees = d;
    p.dec_minutes = dm;
    p.gotoCoordinates();
  };
}

std::function<void(ScopePanelModel&)> catalogue(const char* messier, const char* cngc) {
  return [=](ScopePanelModel& p) {
    p.messier = messier;
    p.cngc = cngc;
    p.gotoObject();
  };
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, PanelRefusesTest,
    ::testing::Values(
        RefusedCase{"Messier111", catalogue("111", "0"), "QLM_T4 - Control Telescope", kOutOfRangeText},
        RefusedCase{"Cngc7816", catalogue("0", "7816"), "QLM_T4 - Control Telescope", kOutOfRangeText},
        RefusedCase{"NegativeBoth", catalogue("-1", "-224"), "QLM_T4 - Control Telescope", kOutOfRangeText},
        RefusedCase{"DecMinus90", coordinates("1", "0", "-90", "0"), "Vex_K2 - Control Telescope",
                    kInvalidCoordinatesText},
        RefusedCase{"DecPlus90", coordinates("1", "0", "90", "0"), "Vex_K2 - Control Telescope",
                    kInvalidCoordinatesText},
        RefusedCase{"Hours24", coordinates("24", "0", "0", "0"), "Vex_K2 - Control Telescope",
                    kInvalidCoordinatesText},
        RefusedCase{"Minutes60", coordinates("1", "60", "0", "0"), "Vex_K2 - Control Telescope",
                    kInvalidCoordinatesText},
        RefusedCase{"DecMinutes60", coordinates("1", "0", "0", "60"), "Vex_K2 - Control Telescope",
                    kInvalidCoordinatesText},
        RefusedCase{"NegativeMinutes", coordinates("1", "-1", "0", "0"), "Vex_K2 - Control Telescope",
                    kInvalidCoordinatesText},
        RefusedCase{"NotANumber", coordinates("5h", "0", "0", "0"), "Vex_K2 - Control Telescope",
                    kInvalidCoordinatesText},
        RefusedCase{"EmptyField", coordinates("5", "0", "", "0"), "Vex_K2 - Control Telescope",
                    kInvalidCoordinatesText},
        RefusedCase{"Help", [](ScopePanelModel& p) { p.help(); }, "Vex_K2 - Control Telescope", kHelpText}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScopePanelTest, GotoM42TakesTimeThenThePositionIsM42s) {
  panel.messier = "42";
  const std::uint32_t t0 = now();
  panel.gotoObject();
  EXPECT_EQ(panel.objectInfo(), "M42 Orion Nebula");
  EXPECT_EQ(panel.slewReply(), "");
  platform.clock.advance(20000);
  ReadPosition(scope);
  EXPECT_NE(scope.ra_text, "05:35:17");  // still on the way
  EXPECT_EQ(waitForArrival(300000, scope), SlewEnd::Arrived);
  EXPECT_EQ(scope.ra_text, "05:35:17");
  EXPECT_EQ(scope.dec_text, "-05*23'28");
  // 5h35m17s of RA at the slew rate, and two more readings to see it stand still.
  const double slew_s = 5.5881 * 54000.0 / mount.rateArcsecPerS('S');
  EXPECT_NEAR((now() - t0) / 1000.0, slew_s + 2.0, 1.5);
  EXPECT_NEAR(*raArcsec(scope.ra_text), 5.5881 * 54000.0, 15.0);
  EXPECT_NEAR(*decArcsec(scope.dec_text), -5.3911 * 3600.0, 1.0);
}

TEST_F(ScopePanelTest, SlewTurnsRaTheShortWayRound) {
  panel.gotoPlanet(908);  // Neptune at 23.95 h, 0.05 h west of the start
  EXPECT_EQ(waitForArrival(300000, scope), SlewEnd::Arrived);
  EXPECT_EQ(scope.ra_text, "23:57:00");
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

// A hand move at each rate moves the star by rate x time.
class HandMoveTest : public ScopePanelTest, public ::testing::WithParamInterface<char> {};

TEST_P(HandMoveTest, StarMovesByRateTimesTime) {
  const char letter = GetParam();
  panel.setRate(letter);
  const double x0 = mount.shiftXPxAt(now());
  const double y0 = mount.shiftYPxAt(now());
  panel.arrowPressed(Direction::East);
  platform.clock.advance(700);
  panel.arrowReleased();
  const double east_s = (eventTime("Qe") - eventTime("Me")) / 1000.0;
  const double px_per_s = mount.rateArcsecPerS(letter) / 1.9;
  EXPECT_NEAR(mount.shiftXPxAt(now()) - x0, px_per_s * east_s, 1e-6 * px_per_s + 1e-9);
  EXPECT_NEAR(mount.shiftYPxAt(now()), y0, 1e-9);

  mount.clearLog();
  panel.arrowPressed(Direction::North);
  platform.clock.advance(300);
  panel.arrowReleased();
  const double north_s = (eventTime("Qn") - eventTime("Mn")) / 1000.0;
  EXPECT_NEAR(mount.shiftYPxAt(now()) - y0, px_per_s * north_s, 1e-6 * px_per_s + 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Rates, HandMoveTest, ::testing::Values('G', 'C', 'M', 'S'));

TEST_F(ScopePanelTest, MoveTelescopePanelDrivesTheRelays) {
  settings().drive_method = 'b';
  ScopePanelModel move(scopePanelKind('b'), scope);
  move.arrowPressed(Direction::West);
  move.arrowPressed(Direction::North);  // ignored while the west relay is closed
  move.arrowReleased();
  ASSERT_EQ(mount.events().size(), 2u);
  EXPECT_EQ(mount.events()[0].text, "relays 1");
  EXPECT_EQ(mount.events()[1].text, "relays 0");
  EXPECT_TRUE(mount.receivedBytes().empty());
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
  autostar.messier = "1";
  autostar.gotoObject();
  EXPECT_EQ(mount.commands().back(), "#:MS#");
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
