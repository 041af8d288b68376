#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "app/window_model.h"
#include "platform/messages.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class WindowModelTest : public ::testing::Test {
 protected:
  test::TestPlatform platform;
  MouseModes& m = mouseModes();
  FrameState& f = frameState();
  ClickHooks hooks;
};

TEST_F(WindowModelTest, FocusFrameCentreClicksHoldTheWindowInsideTheFrame) {
  const FocusOrigin low = focusOriginForClick(10, 10, 660, 500);
  EXPECT_EQ(low.x, 3);
  EXPECT_EQ(low.y, 1);
  const FocusOrigin high = focusOriginForClick(650, 490, 660, 500);
  EXPECT_EQ(high.x, 595);
  EXPECT_EQ(high.y, 435);
  const FocusOrigin mid = focusOriginForClick(330, 250, 660, 500);
  EXPECT_EQ(mid.x, 265);
  EXPECT_EQ(mid.y, 186);
  const FocusOrigin centred = defaultFocusOrigin(660, 500);
  EXPECT_EQ(centred.x, 266);
  EXPECT_EQ(centred.y, 186);
}

TEST_F(WindowModelTest, FocusClickSetsTheOriginShowsItAndEndsTheMode) {
  int ox = -1;
  int oy = -1;
  hooks.set_focus_origin = [&](int x, int y) {
    ox = x;
    oy = y;
  };
  enterFocusCentre(m);
  m.left = 0;
  m.top = 0;
  EXPECT_EQ(dispatchClick(m, 650, 490, hooks), ClickResult::FocusCentre);
  EXPECT_EQ(ox, 595);
  EXPECT_EQ(oy, 435);
  EXPECT_FALSE(m.focus_centre);
  EXPECT_EQ(platform.ui.messageTexts(),
            std::vector<std::string>{"x position =   659\ny position =   499\nleft =     0\ntop =     0"});
  EXPECT_EQ(dispatchClick(m, 100, 100, hooks), ClickResult::Ignored) << "the mode ended with its click";
}

// Click bounds: m + r <= x <= 659 + m - r and likewise y, with m = 25 only while the pick is armed.
struct BoundsCase {
  bool pick;
  int x;
  int y;
  bool inside;
};

class ClickBoundsTest : public WindowModelTest, public ::testing::WithParamInterface<BoundsCase> {};

TEST_P(ClickBoundsTest, AcceptsOnlyClicksFarEnoughInside) {
  const BoundsCase& c = GetParam();
  m.radius = 8;
  m.pick = c.pick;
  m.photometry = !c.pick;
  EXPECT_EQ(clickInBounds(m, c.x, c.y), c.inside) << c.x << "," << c.y;
  const ClickResult r = dispatchClick(m, c.x, c.y, hooks);
  EXPECT_EQ(r == ClickResult::OutOfBounds, !c.inside);
  if (!c.inside) {
    EXPECT_EQ(platform.ui.messageTexts(), std::vector<std::string>{"Sorry, outside Image area - try again"});
  }
}

INSTANTIATE_TEST_SUITE_P(Edges, ClickBoundsTest,
                         ::testing::Values(BoundsCase{false, 8, 8, true}, BoundsCase{false, 7, 100, false},
                                           BoundsCase{false, 651, 491, true},
                                           BoundsCase{false, 652, 100, false},
                                           BoundsCase{false, 100, 492, false}, BoundsCase{true, 33, 33, true},
                                           BoundsCase{true, 32, 100, false}, BoundsCase{true, 676, 516, true},
                                           BoundsCase{true, 677, 100, false},
                                           BoundsCase{true, 100, 517, false}));

TEST_F(WindowModelTest, NoModeIgnoresTheClick) {
  EXPECT_EQ(dispatchClick(m, 5000, -4, hooks), ClickResult::Ignored);
  EXPECT_TRUE(platform.ui.messageTexts().empty());
}

// A mask radius from a damaged settings file: the pick's window stays one of the panel's sizes, so
// the clicks it accepts keep the window inside the frame.
TEST_F(WindowModelTest, PickTakesTheMaskRadiusWithinThePanelsChoices) {
  for (const auto& [stored, used] :
       {std::pair{-40, 7}, std::pair{0, 7}, std::pair{13, 13}, std::pair{100000, 15}}) {
    m = MouseModes{};
    ASSERT_TRUE(togglePick(m, f, stored));
    EXPECT_EQ(m.radius, used) << stored;
    EXPECT_FALSE(clickInBounds(m, 25 + used - 1, 200)) << stored;
  }
}

TEST_F(WindowModelTest, PickRefinesThreeTimesThenShowsAndMarksTheStar) {
  ASSERT_TRUE(togglePick(m, f, 8));
  EXPECT_TRUE(m.refine);
  EXPECT_EQ(m.radius, 8);  // the mask radius
  std::vector<std::pair<int, int>> passes;
  hooks.find_centre = [&](int& x, int& y, int r) {
    EXPECT_EQ(r, 8);
    passes.emplace_back(x, y);
    x += 1;  // the star lies a little to the right each time
    return true;
  };
  int moves = 0;
  hooks.move_pointer = [&](int, int) { ++moves; };
  int picked_x = -1;
  hooks.guide_star_picked = [&](int x, int) { picked_x = x; };
  int repaints = 0;
  hooks.repaint = [&] { ++repaints; };
  m.left = 10;
  m.top = 20;
  EXPECT_EQ(dispatchClick(m, 100, 200, hooks), ClickResult::Pick);
  EXPECT_EQ(passes, (std::vector<std::pair<int, int>>{{110, 220}, {111, 220}, {112, 220}}));
  EXPECT_EQ(moves, 3);
  EXPECT_EQ(picked_x, 113);
  EXPECT_TRUE(m.guide_star_shown);
  EXPECT_EQ(m.guide_y, 220);
  EXPECT_EQ(repaints, 1);
  EXPECT_EQ(platform.ui.messageTexts(), std::vector<std::string>{"x position =   113\ny position =   220"});
  EXPECT_TRUE(m.pick) << "the pick stays armed";
  EXPECT_FALSE(m.refine) << "the click used up the refinement";
  ASSERT_TRUE(togglePick(m, f, 8));
  EXPECT_FALSE(m.pick);
}

TEST_F(WindowModelTest, RowPlotAndMergeClicksGoToTheirTools) {
  m.row_plot = true;
  int row = -1;
  hooks.row_plot = [&](int r) { row = r; };
  m.top = 40;
  EXPECT_EQ(dispatchClick(m, 300, 100, hooks), ClickResult::RowPlot);
  EXPECT_EQ(row, 140);
  m.row_plot = false;
  m.merge_marking = true;
  int mx = -1;
  hooks.merge_mark = [&](int x, int) { mx = x; };
  EXPECT_EQ(dispatchClick(m, 300, 100, hooks), ClickResult::Merge);
  EXPECT_EQ(mx, 300);
}

TEST_F(WindowModelTest, PhotometrySumsTheBoxAndReportsThePointerInsideTheImage) {
  ASSERT_TRUE(enterPhotometry(m, f));
  EXPECT_EQ(m.radius, 4);
  int r_seen = -1;
  hooks.photometry = [&](int, int, int r) { r_seen = r; };
  EXPECT_EQ(dispatchClick(m, 50, 60, hooks), ClickResult::Photometry);
  EXPECT_EQ(r_seen, 4);
  std::vector<std::pair<int, int>> seen;
  hooks.pointer_moved = [&](int x, int y) { seen.emplace_back(x, y); };
  dispatchPointerMove(m, 1, 50, hooks);    // client x must exceed 1
  dispatchPointerMove(m, 659, 50, hooks);  // image x must stay below 659
  dispatchPointerMove(m, 2, 498, hooks);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{2, 498}}));
}

// The mode-entry conflict table.
struct RefusalCase {
  const char* name;
  int (*refusal)(const MouseModes&, const FrameState&);
  void (*setup)(MouseModes&, FrameState&);
  int message;
};

int pickRefusalOf(const MouseModes&, const FrameState& f) {
  return pickRefusal(f);
}

class RefusalTest : public WindowModelTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, RefusesWithItsMessage) {
  const RefusalCase& c = GetParam();
  c.setup(m, f);
  EXPECT_EQ(c.refusal(m, f), c.message);
  ASSERT_NE(messageText(c.message), "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusalTest,
    ::testing::Values(RefusalCase{"PhotometryDuringMerge", photometryRefusal,
                                  [](MouseModes& m, FrameState&) { m.merge_marking = true; }, 35},
                      RefusalCase{"PhotometryFitted", photometryRefusal,
                                  [](MouseModes&, FrameState& f) { f.fit_to_window = true; }, 36},
                      RefusalCase{"PhotometryAgain", photometryRefusal,
                                  [](MouseModes& m, FrameState&) { m.photometry = true; }, 37},
                      RefusalCase{"RowPlotDuringPhotometry", rowPlotRefusal,
                                  [](MouseModes& m, FrameState&) { m.photometry = true; }, 35},
                      RefusalCase{"RowPlotCentred", rowPlotRefusal,
                                  [](MouseModes&, FrameState& f) { f.centre_image = true; }, 38},
                      RefusalCase{"MergeDuringRowPlot", mergeRefusal,
                                  [](MouseModes& m, FrameState&) { m.row_plot = true; }, 35},
                      RefusalCase{"MergeFitted", mergeRefusal,
                                  [](MouseModes&, FrameState& f) { f.fit_to_window = true; }, 30},
                      RefusalCase{"MergeAgain", mergeRefusal,
                                  [](MouseModes& m, FrameState&) { m.merge_marking = true; }, 31},
                      RefusalCase{"PickCentred", pickRefusalOf,
                                  [](MouseModes&, FrameState& f) { f.centre_image = true; }, 33},
                      RefusalCase{"PickFitted", pickRefusalOf,
                                  [](MouseModes&, FrameState& f) { f.fit_to_window = true; }, 33}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowModelTest, RefusedEntryShowsTheMessageAndKeepsTheFlags) {
  f.fit_to_window = true;
  EXPECT_FALSE(enterPhotometry(m, f));
  EXPECT_FALSE(togglePick(m, f, 8));
  EXPECT_FALSE(m.photometry);
  EXPECT_FALSE(m.pick);
  f.fit_to_window = false;
  m.photometry = true;
  EXPECT_FALSE(enterRowPlot(m, f));
  EXPECT_FALSE(m.row_plot);
  EXPECT_EQ(platform.ui.messageTexts(),
            (std::vector<std::string>{std::string(messageText(36)), std::string(messageText(33)),
                                      std::string(messageText(35))}));
  m.photometry = false;
  EXPECT_TRUE(enterRowPlot(m, f));
  EXPECT_EQ(m.selected_row, 250);
}

TEST_F(WindowModelTest, PaintLayoutCentresOnlyWhenAskedAndRoomIsLeft) {
  PaintLayout p = paintLayout(f, 900, 700);
  EXPECT_FALSE(p.stretched);
  EXPECT_EQ(p.x, 0);
  f.centre_image = true;
  p = paintLayout(f, 900, 700);
  EXPECT_EQ(p.x, 120);
  EXPECT_EQ(p.y, 100);
  p = paintLayout(f, 600, 700);
  EXPECT_EQ(p.x, 0) << "narrower than the picture";
  f.centre_image = false;
  f.fit_to_window = true;
  EXPECT_TRUE(paintLayout(f, 600, 400).stretched);
  EXPECT_EQ(scrollRange(false, 660, 600), 60);
  EXPECT_EQ(scrollRange(false, 660, 700), 0);
  EXPECT_EQ(scrollRange(true, 660, 600), 0);
}

TEST(CommandTable, IdentifiersAreUniqueAndEveryMenuItemIsInTheTable) {
  std::set<int> ids;
  for (const CommandInfo& c : commandTable())
    EXPECT_TRUE(ids.insert(c.id).second) << c.id;
  std::set<int> in_menus;
  for (const MenuInfo& menu : menuBar()) {
    for (int id : menu.items) {
      if (id == kSeparator) continue;
      const CommandInfo* c = findCommand(id);
      ASSERT_NE(c, nullptr) << id;
      EXPECT_FALSE(c->text.empty()) << id;
      EXPECT_TRUE(in_menus.insert(id).second) << id << " appears twice";
    }
  }
  // Every command with a menu text stands in a menu.
  for (const CommandInfo& c : commandTable())
    EXPECT_EQ(!c.text.empty(), in_menus.count(c.id) == 1) << c.id;
  EXPECT_EQ(findCommand(12345), nullptr);
}

TEST(CommandTable, ShortcutsAreTheAcceleratorTable) {
  std::map<std::string, int> keys;
  for (const CommandInfo& c : commandTable()) {
    if (!c.key.empty()) {
      EXPECT_TRUE(keys.emplace(std::string(c.key), c.id).second) << c.key;
    }
  }
  const std::map<std::string, int> expected = {
      {"Ctrl+O", 24332}, {"Ctrl+S", 24333}, {"Ctrl+F", 24335}, {"Ctrl+Q", 24336}, {"Ctrl+I", 24337},
      {"Ctrl+W", 24339}, {"Ctrl+Z", 12},    {"Ctrl+G", 27},    {"Alt+X", 24310},  {"Ctrl+N", 1},
      {"Ctrl+B", 120},   {"Ctrl+L", 117},   {"Ctrl+U", 106},   {"Ctrl+D", 110},   {"Ctrl+M", 111},
      {"Ctrl+H", 6},     {"Ctrl+K", 21}};
  EXPECT_EQ(keys, expected);
  // The menu shows Ctrl+K, and it works; Shift+Ins is shown but not a working key.
  EXPECT_EQ(findCommand(cmd::kPickGuideStar)->text, "Pic&k Guide Star\tCTL+K");
  EXPECT_EQ(findCommand(cmd::kCopy)->text, "&Copy\tShift+Ins");
}

TEST(CommandTable, HintsComeFromTheStringTable) {
  EXPECT_EQ(commandHint(cmd::kNormalStretch), "Adjust the Contrast manually. setting max and min values");
  EXPECT_EQ(commandHint(cmd::kPhotometry), "Photometry of image - caution, use with unstretched images ");
  EXPECT_EQ(commandHint(1001), "AutoGuider Camera Control");
  EXPECT_EQ(commandHint(cmd::kLabel), "");
}

TEST(CommandTable, ToolBarOrderPaletteButtonAndTelescopeButton) {
  const auto bar = toolBarLayout(false, 'n');
  std::vector<int> commands;
  for (const ToolButton& b : bar)
    commands.push_back(b.command);
  EXPECT_EQ(commands, (std::vector<int>{24333, 24335, 24332, 0,   12, 27,  0,   1901, 123, 0,   121, 0,
                                        14,    0,     1,     117, 2,  120, 106, 3,    0,   110, 115, 111}));
  EXPECT_EQ(bar[1].bitmap, 24336);
  EXPECT_EQ(bar[4].bitmap, 1000);
  EXPECT_EQ(bar[7].bitmap, 1002);
  const auto on = toolBarLayout(true, 'l');
  EXPECT_EQ(on[7].command, 1902);
  EXPECT_EQ(on[7].bitmap, 1003);
  EXPECT_EQ(on.back().command, cmd::kTelescopeControl);
  EXPECT_EQ(on.size(), bar.size() + 1);
}

TEST(CommandTable, NotAvailableTextNamesTheCommand) {
  EXPECT_EQ(notAvailableText(cmd::kOpen), "Open... is not available yet");
  EXPECT_EQ(notAvailableText(cmd::kStartAutoGuiding), "Start Auto-Guiding is not available yet");
}

}  // namespace
}  // namespace qlm
