#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/guiding_commands.h"
#include "app/window_model.h"
#include "camera/fake_transport.h"
#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "guiding/guide_star.h"
#include "guiding/guider.h"
#include "guiding/telescope.h"
#include "image/frame.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class GuideStarTest : public ::testing::Test {
 protected:
  test::TestPlatform platform;
  GuideStarState& s = guideStarState();
  CentroidState& c = centroidState();
  GuiderFrame& guider = imageBuffers().GuiderFrames[0];
  std::vector<std::pair<int, int>> moves;
  int refreshes = 0;
  std::pair<int, int> screen{1000, 600};
  PickHooks hooks{[this] { return std::optional<std::pair<int, int>>(screen); },
                  [this](int x, int y) {
                    moves.emplace_back(x, y);
                    screen = {x, y};
                  },
                  [this] { ++refreshes; }};

  GuideStarTest() {
    guider.fill(10 * 256);
    // A star straddling guider columns 200 and 201, a little below the middle of row 100.
    guider[100 * kGuiderWidth + 200] = 200 * 256;
    guider[100 * kGuiderWidth + 201] = 200 * 256;
    for (int x : {200, 201}) {
      guider[99 * kGuiderWidth + x] = 40 * 256;
      guider[101 * kGuiderWidth + x] = 80 * 256;
    }
  }
  std::vector<std::string> messages() const { return platform.ui.messageTexts(); }
};

TEST_F(GuideStarTest, GuiderPickRefusesReleasesTooNearTheEdgeAndStaysArmed) {
  armGuiderPick(s);
  EXPECT_EQ(platform.ui.callsOf("cursor").back().value, static_cast<int>(CursorShape::Cross));
  EXPECT_FALSE(guiderPickRelease(24, 150, guider.data(), 15, hooks, s, c));
  EXPECT_FALSE(guiderPickRelease(200, 335 - 14, guider.data(), 15, hooks, s, c));
  EXPECT_EQ(messages(), (std::vector<std::string>{"Sorry, outside Image area - try again",
                                                  "Sorry, outside Image area - try again"}));
  EXPECT_TRUE(s.guider_pick_armed);
  EXPECT_FALSE(guiderGuideStar().has_value());
  guider[105 * kGuiderWidth + 20] = 200 * 256;  // a star for the passes to find near the left edge
  EXPECT_TRUE(guiderPickRelease(25, 150, guider.data(), 15, hooks, s, c));  // x = r + 10 is inside
  EXPECT_NEAR(guiderGuideStar()->x, 20, 1);
}

TEST_F(GuideStarTest, GuiderPickRefinesThreeTimesAndPutsThePointerOnTheStar) {
  armGuiderPick(s);
  // Released three pixels left of and two below the star.
  ASSERT_TRUE(guiderPickRelease(10 + 197, 45 + 102, guider.data(), 4, hooks, s, c));
  ASSERT_EQ(moves.size(), 3u);
  EXPECT_EQ(moves[0], std::make_pair(1000 + 3, 600 - 2));
  EXPECT_EQ(moves[2], moves[0]);  // later passes start on the star and stay there
  ASSERT_TRUE(guiderGuideStar().has_value());
  EXPECT_EQ(guiderGuideStar()->x, 200);
  EXPECT_EQ(guiderGuideStar()->y, 100);
  EXPECT_EQ(c.guider.tx, 4);  // between columns 200 and 201
  EXPECT_FALSE(s.guider_pick_armed);
  EXPECT_EQ(refreshes, 1);
  EXPECT_EQ(messages(), std::vector<std::string>{"x position =   200\ny position =   100"});
  EXPECT_EQ(platform.ui.callsOf("cursor").back().value, static_cast<int>(CursorShape::Arrow));
  // Not armed any more: a release picks nothing.
  EXPECT_FALSE(guiderPickRelease(10 + 197, 45 + 102, guider.data(), 4, hooks, s, c));
}

TEST_F(GuideStarTest, GuiderPickEndsAtTheFirstPassThatDoesNotFitAndKeepsTheStar) {
  armGuiderPick(s);
  ASSERT_TRUE(guiderPickRelease(10 + 200, 45 + 100, guider.data(), 8, hooks, s, c));
  armGuiderPick(s);
  moves.clear();
  // x = 510 - r passes the edge rule, but the window of column 492 reaches past column 499.
  EXPECT_FALSE(guiderPickRelease(510 - 8, 45 + 100, guider.data(), 8, hooks, s, c));
  EXPECT_EQ(messages(), (std::vector<std::string>{"x position =   200\ny position =   100",
                                                  "Find centre failed - outside image area"}));
  EXPECT_TRUE(moves.empty());
  ASSERT_TRUE(guiderGuideStar().has_value());
  EXPECT_EQ(guiderGuideStar()->x, 200);
  EXPECT_EQ(guiderGuideStar()->y, 100);
  EXPECT_TRUE(s.guider_pick_armed);
}

TEST(GuiderPickReleaseTest, EndsARunningManualMoveArmedOrNot) {
  test::ScriptedTransport usb;
  usb.devices.paths.push_back("usb:vid_fffe&pid_0115");
  test::TestPlatform platform(&usb);
  settings().show_interface_details = false;
  FindCamera();
  telescopeState().moving = true;
  EXPECT_FALSE(guiderPickRelease(200, 150, imageBuffers().GuiderFrames[0].data(), 8, {}));
  EXPECT_FALSE(telescopeState().moving);
  ASSERT_EQ(usb.writes.size(), 1u);
  EXPECT_EQ(usb.writes[0], test::bytesOf({0x40, 0x09, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(platform.ui.messageTexts().empty());
}

TEST_F(GuideStarTest, PointerReadoutCoversTheGuiderImageOnly) {
  const auto on_star = guiderPointerReadout(210, 145, guider.data());
  ASSERT_TRUE(on_star.has_value());
  EXPECT_EQ(on_star->x, 200);
  EXPECT_EQ(on_star->y, 100);
  EXPECT_EQ(on_star->value, 200);
  EXPECT_TRUE(guiderPointerReadout(11, 46, guider.data()).has_value());
  EXPECT_TRUE(guiderPointerReadout(509, 334, guider.data()).has_value());
  EXPECT_FALSE(guiderPointerReadout(10, 100, guider.data()).has_value());
  EXPECT_FALSE(guiderPointerReadout(100, 335, guider.data()).has_value());
}

TEST_F(GuideStarTest, GuideWindowClampsAtTheFrameEdgesAndOffsetsWhenBinned) {
  GuideWindowPlacement p = guideWindowPlacement(30, 250, 660, 500, false);
  EXPECT_EQ(p.origin_x, 0);
  EXPECT_EQ(p.star_x, 30);
  EXPECT_EQ(p.origin_y, 186);
  EXPECT_EQ(p.star_y, 64);
  p = guideWindowPlacement(640, 64, 660, 500, false);
  EXPECT_EQ(p.origin_x, 532);
  EXPECT_EQ(p.star_x, 108);
  EXPECT_EQ(p.origin_y, 0);  // gy = h still counts as the edge
  p = guideWindowPlacement(301, 147, 660, 500, true);
  EXPECT_EQ(p.origin_x, 237);
  EXPECT_EQ(p.xoffset, 474 % 4);
  EXPECT_EQ(p.yoffset, 166 % 30);
  EXPECT_EQ(p.result_x, 2 * 64 + 2);
  EXPECT_EQ(p.result_y, 2 * 64 - 16);
}

TEST_F(GuideStarTest, PlaceGuideWindowMovesTheFocusWindowAndSwitchesTheCentroidTo128) {
  c.main = {333, 222, 5, 6};
  setMainGuideStar(400, 300, s);
  PlaceGuideWindow(s, c);
  EXPECT_EQ(readoutState().focus_x, 336);
  EXPECT_EQ(readoutState().focus_y, 236);
  EXPECT_EQ(c.main.x, 64 + 0);
  EXPECT_EQ(c.main.y, 64 - 26);
  EXPECT_EQ(s.kept_main_result.x, 333);
  EXPECT_EQ(s.kept_main_result.ty, 6);
  EXPECT_EQ(messages(),
            std::vector<std::string>{"xcent=   64, ycent =    38, focus_x =   336, focus_y =   236,  "
                                     "xoffset =     0, yoffset =    26"});
  EXPECT_EQ(findCentreTarget(centreConditions(s)).width, 128);
}

// The main-window pick: Ctrl+K and a click through the window's dispatcher, with the start-up hooks.
TEST_F(GuideStarTest, MainWindowPickRefinesOntoTheStarAndReportsIt) {
  Frame& frame = imageBuffers().CurrentFrame;
  std::fill(frame.begin(), frame.end(), 1000);
  frame[120 * kFrameWidth + 300] = 30000;
  connectGuidingLinks();
  std::vector<std::pair<int, int>> pointer;
  clickHooks().move_pointer = [&pointer](int x, int y) { pointer.emplace_back(x, y); };
  frameState().fit_to_window = true;
  EXPECT_FALSE(pickGuideStarCommand());
  EXPECT_EQ(messages(), std::vector<std::string>{"Sorry. Cannot Pick Star in ths display mode"});
  frameState().fit_to_window = false;
  settings().mask_radius = 11;
  ASSERT_TRUE(pickGuideStarCommand());
  EXPECT_EQ(c.working_radius, 11);
  MouseModes& m = mouseModes();
  EXPECT_EQ(dispatchClick(m, 304, 117, clickHooks()), ClickResult::Pick);
  EXPECT_EQ(pointer, (std::vector<std::pair<int, int>>{{300, 120}, {300, 120}, {300, 120}}));
  EXPECT_EQ(s.main_x, 300);
  EXPECT_EQ(s.main_y, 120);
  EXPECT_EQ(messages().back(), "x position =   300\ny position =   120");
  EXPECT_TRUE(m.pick);  // stays armed until the command is chosen again
  ASSERT_TRUE(pickGuideStarCommand());
  EXPECT_FALSE(m.pick);
}

}  // namespace
}  // namespace qlm
