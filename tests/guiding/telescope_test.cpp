#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camera/link.h"
#include "files/settings.h"
#include "guiding/lx200.h"
#include "guiding/telescope.h"
#include "support/sim_mount.h"

namespace qlm {
namespace {

using test::Commands;
using test::quietMount;

// The program's telescope commands against the simulated mount behind the simulated camera.
class TelescopeTest : public test::SimMountTest {
 protected:
  TelescopeTest() {
    settings().show_interface_details = false;
    FindCamera();
    SelectTelescopePort(scope);
  }
  TelescopeState& scope = telescopeState();

  std::uint32_t eventTime(const std::string& text) {
    for (const auto& e : mount.events())
      if (e.text == text) return e.at_ms;
    ADD_FAILURE() << "no event " << text;
    return 0;
  }
  void pulse(char letter, int ms, PulseRoad road) {
    scope.current_direction = letter;
    scope.pulse_length_ms = ms;
    GuidePulse(road, scope);
  }
};

TEST_F(TelescopeTest, TextPulseSendsRateMoveAndQuitOnTime) {
  settings().drive_method = 'l';
  const std::uint32_t t0 = now();
  pulse(directionLetter(Direction::East), 250, guidingPulseRoad('l'));
  EXPECT_EQ(mount.commands(), (Commands{"#:RG#", "#:Me#", "#:Qe#"}));
  EXPECT_EQ(mount.receivedBytes(), "#:RG##:Me##:Qe#");
  const std::uint32_t move = eventTime("Me");
  EXPECT_NEAR(static_cast<double>(move - t0), 20.0, 1.0);
  EXPECT_EQ(eventTime("Qe") - move, 250u);
  EXPECT_NEAR(static_cast<double>(now() - eventTime("Qe")), 4.0, 1.0);

  mount.clearLog();
  settings().direction_letters = {'w', 'e', 'n', 's'};  // "Swap e/w direction"
  pulse(directionLetter(Direction::East), 250, PulseRoad::Text);
  EXPECT_EQ(mount.commands(), (Commands{"#:RG#", "#:Mw#", "#:Qw#"}));
}

TEST_F(TelescopeTest, RelayPulseClosesTheBitForTheLengthThenSettles) {
  const std::uint32_t t0 = now();
  pulse('n', 100, guidingPulseRoad('a'));
  ASSERT_EQ(mount.events().size(), 2u);
  EXPECT_EQ(mount.events()[0].text, "relays 4");
  EXPECT_EQ(mount.events()[1].text, "relays 0");
  EXPECT_NEAR(static_cast<double>(mount.events()[0].at_ms - t0), 10.0, 1.0);
  EXPECT_EQ(mount.events()[1].at_ms - mount.events()[0].at_ms, 100u);
  EXPECT_NEAR(static_cast<double>(now() - mount.events()[1].at_ms), 300.0, 1.0);
  EXPECT_TRUE(mount.receivedBytes().empty());
  EXPECT_EQ(trainingPulseRoad('b'), PulseRoad::Relay);
  EXPECT_EQ(trainingPulseRoad('a'), PulseRoad::Text);
}

TEST_F(TelescopeTest, UnknownDirectionLetterOnlyWaits) {
  std::uint32_t t0 = now();
  pulse('x', 500, PulseRoad::Text);
  EXPECT_EQ(now() - t0, 4u);
  t0 = now();
  pulse('x', 500, PulseRoad::Relay);
  EXPECT_EQ(now() - t0, 300u);
  EXPECT_TRUE(mount.events().empty());
}

TEST_F(TelescopeTest, ManualMovesSendOnceAndStopWithAllFourQuits) {
  settings().drive_method = 'l';
  scope.rate_command = "#:RC#";
  StartManualMove(Direction::West, scope);
  StartManualMove(Direction::West, scope);  // a second press while moving sends nothing
  StopManualMove(scope);
  StopManualMove(scope);  // and a second release neither
  EXPECT_EQ(mount.commands(), (Commands{"#:RC#", "#:Mw#", "#:Qn#", "#:Qs#", "#:Qe#", "#:Qw#"}));

  mount.clearLog();
  settings().drive_method = 'b';
  StartManualMove(Direction::South, scope);
  EXPECT_EQ(scope.current_direction, 's');
  StopManualMove(scope);
  ASSERT_EQ(mount.events().size(), 2u);
  EXPECT_EQ(mount.events()[0].text, "relays 2");
  EXPECT_EQ(mount.events()[1].text, "relays 0");
}

TEST_F(TelescopeTest, FocusMovesTheFocuserAndTheAutostarIsReadAfterEachCommand) {
  settings().drive_method = 'a';
  scope.focus_speed_command = "#:FF#";
  const double before = mount.focuserAt(now());
  StartFocus(true, scope);
  platform.clock.advance(1000);
  StopFocus(scope);
  EXPECT_EQ(mount.commands(), (Commands{"#:FF#", "#:F+#", "#:FQ#"}));
  EXPECT_NEAR(mount.focuserAt(now()) - before, 0.2 * (eventTime("FQ") - eventTime("F+")), 1e-6);
  EXPECT_GT(eventTime("FQ") - eventTime("F+"), 1000u);
  int reads = 0;
  for (const auto& block : sim.transport().received())
    reads += block.bytes[1] == kCmdSerialRead && block.bytes[6] == 33;
  EXPECT_EQ(reads, 3);
}

TEST_F(TelescopeTest, CatalogueGotoSelectsReadsInfoSlewsAndArrives) {
  const std::uint32_t t0 = now();
  GotoCatalogue('m', 31, scope);
  EXPECT_EQ(mount.commands(), (Commands{"#:LM 0031#", "#:LI#", "#:MS#"}));
  EXPECT_EQ(scope.object_info, "M31 Andromeda Galaxy");
  EXPECT_EQ(scope.slew_reply, "");
  EXPECT_EQ(platform.ui.beepCount(), 1u);
  EXPECT_GE(now() - t0, 700u);
  EXPECT_TRUE(mount.slewing());
  platform.clock.advance(60000);
  ReadPosition(scope);
  EXPECT_EQ(scope.ra_text, "00:42:44");
  EXPECT_EQ(scope.dec_text, "+41*16'09");
  EXPECT_EQ(lx200::positionText(scope.dec_text), "+41:16:09");

  mount.clearLog();
  GotoCatalogue('c', 7000, scope);
  GotoCatalogue('s', 906, scope);
  EXPECT_EQ(mount.commands(), (Commands{"#:LC 7000#", "#:LI#", "#:MS#", "#:LS 0906#", "#:LI#", "#:MS#"}));
  EXPECT_EQ(scope.object_info, "Saturn");
}

TEST_F(TelescopeTest, CoordinateGotoTextsAndTheRepliesLeftWaiting) {
  GotoCoordinates(5, 34, -5, 23, scope);
  EXPECT_EQ(mount.commands(), (Commands{"#:Sr 05:34.0#", "#:Sd -05*23#", "#:LI#", "#:MS#"}));
  // Each text went out of the telescope port (0 for "Com 1") with its fixed length.
  std::vector<int> lengths;
  for (const auto& block : sim.transport().received())
    if (block.bytes[1] == kCmdSerialWrite && block.bytes[4] == 0) lengths.push_back(block.bytes[6]);
  EXPECT_EQ(lengths, (std::vector<int>{13, 12, 5, 5}));
  // The '1's answering "#:Sr" and "#:Sd" are still waiting, so the slew read takes them as a refusal.
  EXPECT_EQ(scope.slew_reply, "1Coordinates");
  EXPECT_EQ(lx200::decCommand(0, 30), "#:Sd +00*30#");
  EXPECT_EQ(lx200::catalogueCommand('x', 224), "#:LC 0224#");
}

TEST_F(TelescopeTest, RefusedSlewKeepsTheReasonWithoutItsMarks) {
  mount.receive(reinterpret_cast<const std::uint8_t*>("#:Q#"), 4, now());  // nothing selected yet
  SerialWrite(scope.port, "#:MS#", 5);
  SerialReadReply(scope.port);
  EXPECT_STREQ(secondReplyText(), "No object selected");
}

TEST(AutostarTest, LateAnswersArriveAtTheSecondPositionRead) {
  sim::SimOptions o = quietMount();
  o.mount_reply_delay_ms = 5;
  sim::SimSystem sim(o);
  test::TestPlatform platform(&sim.transport());
  settings().show_interface_details = false;
  settings().drive_method = 'a';
  FindCamera();
  TelescopeState& scope = telescopeState();
  SelectTelescopePort(scope);
  ReadPosition(scope);
  EXPECT_EQ(scope.ra_text, "00:00:00");
  EXPECT_EQ(scope.dec_text, "+00*00'00");
  settings().drive_method = 'l';  // read once only: the late answer is missed and left waiting
  ReadPosition(scope);
  EXPECT_EQ(scope.ra_text, "");
  EXPECT_EQ(scope.dec_text, "");
}

// A mount that is silent, answers short or answers noise: the texts hold only what arrived.
TEST_F(TelescopeTest, BadRepliesNeverShowMoreThanWasReceived) {
  mount.setReplyFault(sim::ReplyFault::Silent);
  GotoCatalogue('m', 31, scope);
  EXPECT_EQ(scope.object_info, "");
  EXPECT_EQ(scope.slew_reply, "");

  mount.setReplyFault(sim::ReplyFault::Short);
  ReadObjectInfo(scope);
  EXPECT_EQ(scope.object_info, "M31 Androm");

  // Three bytes delivered into a buffer still holding an older, longer answer.
  mount.setReplyFault(sim::ReplyFault::None);
  receiveBuffer().bytes.fill('Z');
  sim.transport().shortenNextRead(3);
  ReadObjectInfo(scope);
  EXPECT_EQ(scope.object_info, "M31");

  mount.setReplyFault(sim::ReplyFault::Garbage);
  ReadPosition(scope);
  EXPECT_EQ(scope.ra_text.size(), 9u);  // as long as "00:00:00#", but no '#'
  EXPECT_EQ(scope.ra_text.find('#'), std::string::npos);

  sim.transport().failReads(1);
  ReadObjectInfo(scope);
  EXPECT_EQ(scope.object_info, "");
  EXPECT_EQ(platform.ui.messageTexts().back(), "Error -1 trying to read ZADUZ data from USB\n");
}

// Pulses move the sky by the guide rate times the pulse length, on either road and axis.
struct PulseCase {
  PulseRoad road;
  char letter;
  int ms;
};

class PulseDistanceTest : public TelescopeTest, public ::testing::WithParamInterface<PulseCase> {};

TEST_P(PulseDistanceTest, StarMovesByRateTimesLength) {
  const PulseCase c = GetParam();
  const bool ra = c.letter == 'e' || c.letter == 'w';
  const double before = ra ? mount.shiftXPxAt(now()) : mount.shiftYPxAt(now());
  pulse(c.letter, c.ms, c.road);
  const double after = ra ? mount.shiftXPxAt(now()) : mount.shiftYPxAt(now());
  const double expected = 0.5 * sim::kSiderealArcsecPerS * c.ms / 1000.0 / 1.9;
  const double sign = (c.letter == 'e' || c.letter == 'n') ? 1.0 : -1.0;
  EXPECT_NEAR(sign * (after - before), expected, 0.02 * expected);
}

INSTANTIATE_TEST_SUITE_P(
    Roads, PulseDistanceTest,
    ::testing::Values(PulseCase{PulseRoad::Relay, 'e', 100}, PulseCase{PulseRoad::Relay, 'w', 2000},
                      PulseCase{PulseRoad::Relay, 'n', 2000}, PulseCase{PulseRoad::Text, 'e', 2000},
                      PulseCase{PulseRoad::Text, 'w', 100}, PulseCase{PulseRoad::Text, 'n', 100}));

TEST_F(TelescopeTest, DecBacklashEatsTheFirstPulseAfterAReversal) {
  const double px_per_s = 0.5 * sim::kSiderealArcsecPerS / 1.9;
  double y = mount.shiftYPxAt(now());
  pulse('n', 1000, PulseRoad::Relay);
  EXPECT_NEAR(mount.shiftYPxAt(now()) - y, px_per_s, 0.01);
  y = mount.shiftYPxAt(now());
  pulse('s', 500, PulseRoad::Relay);  // 3.8" of the 6" play
  EXPECT_NEAR(mount.shiftYPxAt(now()), y, 1e-9);
  pulse('s', 1000, PulseRoad::Relay);  // the rest of the play, then 5.3"
  EXPECT_NEAR(y - mount.shiftYPxAt(now()), (1.5 * 0.5 * sim::kSiderealArcsecPerS - 6.0) / 1.9, 0.01);
  y = mount.shiftYPxAt(now());
  pulse('s', 500, PulseRoad::Relay);  // same direction again: no loss
  EXPECT_NEAR(y - mount.shiftYPxAt(now()), px_per_s / 2, 0.01);
}

}  // namespace
}  // namespace qlm
