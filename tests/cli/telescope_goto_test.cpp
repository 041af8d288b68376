#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cli/telescope_goto.h"
#include "files/settings.h"
#include "guiding/lx200.h"
#include "guiding/telescope.h"
#include "support/sim_mount.h"

namespace qlm {
namespace {

using test::Commands;

// The telescope actions on the simulated camera and mount, on a virtual clock.
class TelescopeGotoTest : public test::SimMountTest {
 protected:
  TelescopeGotoTest() {
    settings().show_interface_details = false;
    settings().drive_method = 'l';
    saveSettings();
  }
  int gotoObject(const std::string& kind, std::vector<std::string> values) {
    out.str("");
    err.str("");
    return runTelescopeGoto({kind, std::move(values)}, out, err);
  }
  // What `telescope status` prints: the position as the mount reports it.
  std::string status() {
    ReadPosition();
    return "ra: " + lx200::positionText(telescopeState().ra_text) +
           "\ndec: " + lx200::positionText(telescopeState().dec_text) + "\n";
  }
  std::uint32_t eventTime(const std::string& text) {
    for (const auto& e : mount.events())
      if (e.text == text) return e.at_ms;
    ADD_FAILURE() << "no event " << text;
    return 0;
  }

  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(TelescopeGotoTest, GotoM42WaitsForTheSlewAndStatusReportsM42) {
  EXPECT_EQ(gotoObject("messier", {"42"}), 0) << err.str();
  EXPECT_EQ(out.str(), "ra: 05:35:17\ndec: -05:23:28\n");
  EXPECT_EQ(status(), out.str());
  const Commands sent = mount.commands();
  ASSERT_GE(sent.size(), 5u);
  EXPECT_EQ(Commands(sent.begin(), sent.begin() + 5),
            (Commands{"#:LM 0042#", "#:LI#", "#:MS#", "#:GR#", "#:GD#"}));
  // The slew of 5h35m of RA at the slew rate took its time.
  EXPECT_GT(platform.clock.millis(), 40000u);
  EXPECT_LT(platform.clock.millis(), 50000u);
}

// Coordinates go out rounded to the minute the mount's texts carry; what was sent is printed, and a
// note says when seconds were dropped.
struct Rounding {
  const char* ra;
  const char* dec;
  const char* sr;
  const char* sd;
  const char* printed;
};

class GotoRoundingTest : public TelescopeGotoTest, public ::testing::WithParamInterface<Rounding> {};

TEST_P(GotoRoundingTest, SentToTheNearestMinuteAndReachedThere) {
  const Rounding& r = GetParam();
  EXPECT_EQ(gotoObject("radec", {r.ra, r.dec}), 0) << err.str();
  const Commands sent = mount.commands();
  EXPECT_EQ(Commands(sent.begin(), sent.begin() + 4), (Commands{r.sr, r.sd, "#:LI#", "#:MS#"}));
  EXPECT_EQ(out.str(), r.printed);
  const bool seconds = std::string(r.ra).substr(6) != "00" || std::string(r.dec).substr(7) != "00";
  EXPECT_EQ(err.str().find("to the minute") != std::string::npos, seconds) << err.str();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GotoRoundingTest,
    ::testing::Values(Rounding{"05:34:59", "-05:23:10", "#:Sr 05:35.0#", "#:Sd -05*23#",
                               "sent ra: 05:35\nsent dec: -05:23\nra: 05:35:00\ndec: -05:23:00\n"},
                      Rounding{"05:35:17", "-05:23:31", "#:Sr 05:35.0#", "#:Sd -05*24#",
                               "sent ra: 05:35\nsent dec: -05:24\nra: 05:35:00\ndec: -05:24:00\n"},
                      Rounding{"23:59:30", "+89:59:45", "#:Sr 00:00.0#", "#:Sd +89*59#",
                               "sent ra: 00:00\nsent dec: +89:59\nra: 00:00:00\ndec: +89:59:00\n"},
                      Rounding{"01:10:00", "-00:00:29", "#:Sr 01:10.0#", "#:Sd +00*00#",
                               "sent ra: 01:10\nsent dec: +00:00\nra: 01:10:00\ndec: +00:00:00\n"},
                      Rounding{"01:10:00", "+10:00:00", "#:Sr 01:10.0#", "#:Sd +10*00#",
                               "sent ra: 01:10\nsent dec: +10:00\nra: 01:10:00\ndec: +10:00:00\n"}));

struct BadGoto {
  const char* name;
  const char* kind;
  std::vector<std::string> values;
  const char* says;
};

class BadGotoTest : public TelescopeGotoTest, public ::testing::WithParamInterface<BadGoto> {};

TEST_P(BadGotoTest, RefusedWithAMessageAndNothingSent) {
  EXPECT_EQ(gotoObject(GetParam().kind, GetParam().values), 2);
  EXPECT_NE(err.str().find(GetParam().says), std::string::npos) << err.str();
  EXPECT_TRUE(out.str().empty());
  EXPECT_TRUE(sim.transport().received().empty());  // the camera was not even looked for
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadGotoTest,
    ::testing::Values(BadGoto{"Messier111", "messier", {"111"}, "Object out of range - try again"},
                      BadGoto{"MessierText", "messier", {"M42"}, "Object out of range - try again"},
                      BadGoto{"Cngc7816", "cngc", {"7816"}, "Object out of range - try again"},
                      BadGoto{"Earth", "planet", {"Earth"}, "Unknown planet"},
                      BadGoto{"Hours24", "radec", {"24:00:00", "+10:00:00"}, "Invalid Co-ordinates set."},
                      BadGoto{"Dec90", "radec", {"01:00:00", "+90:00:00"}, "Invalid Co-ordinates set."},
                      BadGoto{"Seconds60", "radec", {"01:00:60", "+10:00:00"}, "Invalid Co-ordinates set."},
                      BadGoto{"NoSeconds", "radec", {"05:34", "+10:00:00"}, "HH:MM:SS and SDD:MM:SS"},
                      BadGoto{"Letters", "radec", {"05:34:00", "+1O:00:00"}, "HH:MM:SS and SDD:MM:SS"},
                      BadGoto{"OneValue", "radec", {"05:34:00"}, "usage"},
                      BadGoto{"MinusZero", "radec", {"01:00:00", "-00:30:00"}, "cannot be sent"},
                      BadGoto{"RoundsToMinusZero", "radec", {"01:00:00", "-00:00:30"}, "cannot be sent"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TelescopeGotoTest, SilentMountEndsTheWaitAfterFiveMinutes) {
  mount.setReplyFault(sim::ReplyFault::Silent);
  EXPECT_EQ(gotoObject("messier", {"42"}), 1);
  EXPECT_EQ(err.str(), "The mount did not answer\n");
  EXPECT_NEAR(platform.clock.millis() / 1000.0, 300.7, 1.0);
}

TEST_F(TelescopeGotoTest, RefusedSlewOrSocketMountFails) {
  mount.setReplyFault(sim::ReplyFault::Garbage);  // no slew answer, no readable position
  EXPECT_EQ(gotoObject("messier", {"42"}), 1);
  EXPECT_TRUE(out.str().empty());
  EXPECT_FALSE(err.str().empty());
  mount.setReplyFault(sim::ReplyFault::None);
  mount.clearLog();
  settings().drive_method = 'b';
  EXPECT_EQ(gotoObject("messier", {"42"}), 1);
  EXPECT_NE(err.str().find("autoguider socket"), std::string::npos);
  EXPECT_TRUE(mount.receivedBytes().empty());
}

// A camera fault on any transfer of the go-to before the mount's first position: the run fails with
// the link's one message and prints no position (the mount may never have moved).
using TransferFault = sim::SimTransport::TransferFault;
class GotoFaultTest : public TelescopeGotoTest,
                      public ::testing::WithParamInterface<std::tuple<int, TransferFault>> {};

TEST_P(GotoFaultTest, FailsWithOneMessageAndNoPosition) {
  sim.transport().faultAtTransfer(static_cast<std::uint64_t>(std::get<0>(GetParam())),
                                  std::get<1>(GetParam()));
  EXPECT_EQ(gotoObject("messier", {"42"}), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(platform.ui.messageTexts().size(), 1u) << err.str();
  EXPECT_EQ(err.str(), "");
  EXPECT_LT(now(), 60000u) << "an unplugged camera is not polled for five minutes";
}

INSTANTIATE_TEST_SUITE_P(EachTransfer, GotoFaultTest,
                         ::testing::Combine(::testing::Range(0, 7),
                                            ::testing::Values(TransferFault::Fail, TransferFault::Unplug)),
                         [](const auto& info) {
                           return std::to_string(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) == TransferFault::Fail ? "Fail" : "Unplug");
                         });

TEST_F(TelescopeGotoTest, AnUnplugWhileWaitingEndsThePolling) {
  sim.transport().faultAtTransfer(12, TransferFault::Unplug);
  EXPECT_EQ(gotoObject("messier", {"42"}), 1);
  EXPECT_EQ(platform.ui.messageTexts().size(), 1u);
  EXPECT_LT(now(), 20000u);
}

// A hand move at each rate moves the star by rate x time.
class CliMoveTest : public TelescopeGotoTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CliMoveTest, StarMovesByRateTimesTime) {
  const std::string rate = GetParam();
  const double x0 = mount.shiftXPxAt(platform.clock.millis());
  EXPECT_EQ(runTelescopeMove({'e', 1500, rate}, out, err), 0) << err.str();
  const double rate_arcsec = mount.rateArcsecPerS(rate == "find" ? 'M' : static_cast<char>(rate[0] - 32));
  const double seconds = (eventTime("Qe") - eventTime("Me")) / 1000.0;
  EXPECT_NEAR(seconds, 1.5, 0.005);
  EXPECT_NEAR(mount.shiftXPxAt(platform.clock.millis()) - x0, rate_arcsec * seconds / 1.9,
              1e-6 * rate_arcsec);
  EXPECT_EQ(mount.commands().at(1), "#:Me#");
}

INSTANTIATE_TEST_SUITE_P(Rates, CliMoveTest, ::testing::Values("guide", "centre", "find", "slew"));

TEST_F(TelescopeGotoTest, MoveWithoutRateKeepsSlewAndFocusRunsTheFocuser) {
  EXPECT_EQ(runTelescopeMove({'w', 200, ""}, out, err), 0);
  EXPECT_EQ(mount.commands(), (Commands{"#:RS#", "#:Mw#", "#:Qn#", "#:Qs#", "#:Qe#", "#:Qw#"}));
  EXPECT_EQ(runTelescopeMove({'x', 200, ""}, out, err), 2);
  EXPECT_EQ(runTelescopeMove({'n', 200, "warp"}, out, err), 2);

  mount.clearLog();
  const double before = mount.focuserAt(platform.clock.millis());
  EXPECT_EQ(runTelescopeFocus({true, 1000, true}, out, err), 0);
  EXPECT_EQ(runTelescopeFocus({false, 500, false}, out, err), 0);
  EXPECT_EQ(mount.commands(), (Commands{"#:FF#", "#:F+#", "#:FQ#", "#:FS#", "#:F-#", "#:FQ#"}));
  // 200 steps/s fast for a second, then 20 steps/s slow back for half of one.
  EXPECT_NEAR(mount.focuserAt(platform.clock.millis()) - before, 200.0 - 10.0, 1.0);
}

TEST_F(TelescopeGotoTest, SubCommandsParseIntoTheirActions) {
  CLI::App app;
  CLI::App* telescope = app.add_subcommand("telescope");
  std::vector<int> results;
  addTelescopeGotoCommands(*telescope, [&](const std::function<int(std::ostream&, std::ostream&)>& action) {
    results.push_back(action(out, err));
  });
  app.parse(std::vector<std::string>{"--fast", "250", "in", "focus", "telescope"});  // reversed
  app.parse(std::vector<std::string>{"centre", "--rate", "300", "n", "move", "telescope"});
  app.parse(std::vector<std::string>{"-05:23:28", "05:35:17", "radec", "goto", "telescope"});
  EXPECT_EQ(results, (std::vector<int>{0, 0, 0}));
  const Commands sent = mount.commands();
  EXPECT_EQ(Commands(sent.begin(), sent.begin() + 9),
            (Commands{"#:FF#", "#:F+#", "#:FQ#", "#:RC#", "#:Mn#", "#:Qn#", "#:Qs#", "#:Qe#", "#:Qw#"}));
  EXPECT_THROW(app.parse(std::vector<std::string>{"100", "up", "move", "telescope"}), CLI::ValidationError);
}

}  // namespace
}  // namespace qlm
