#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/headless_ui.h"

namespace qlm {
namespace {

struct CountingModel : PanelModel {
  int value = 0;
};

class HeadlessUiTest : public ::testing::Test {
 protected:
  VirtualClock clock{100};
  HeadlessUi ui{clock};
};

TEST_F(HeadlessUiTest, RecordsMessageBoxesWithCaptionButtonsAndIcon) {
  EXPECT_EQ(ui.messageBox("Error", "Could not open HID device", MessageButtons::Ok, MessageIcon::Stop),
            MessageAnswer::Ok);
  ASSERT_EQ(ui.calls().size(), 1u);
  const UiCall& c = ui.calls()[0];
  EXPECT_EQ(c.kind, "message");
  EXPECT_EQ(c.caption, "Error");
  EXPECT_EQ(c.text, "Could not open HID device");
  EXPECT_EQ(c.buttons, MessageButtons::Ok);
  EXPECT_EQ(c.icon, MessageIcon::Stop);
  EXPECT_EQ(c.at_ms, 100u);
}

TEST_F(HeadlessUiTest, PlaysBackScriptedAnswersThenDefaultsToTheFirstButton) {
  ui.queueMessageAnswer(MessageAnswer::No);
  EXPECT_EQ(ui.messageBox("c", "t", MessageButtons::YesNo, MessageIcon::Question), MessageAnswer::No);
  EXPECT_EQ(ui.messageBox("c", "t", MessageButtons::YesNo, MessageIcon::Question), MessageAnswer::Yes);
  EXPECT_EQ(ui.messageBox("c", "t", MessageButtons::OkCancel, MessageIcon::None), MessageAnswer::Ok);
}

TEST_F(HeadlessUiTest, FileChoosersAnswerInOrderAndCancelWhenUnscripted) {
  ui.queueOpenFile("/data/a.fit");
  ui.queueSaveFile(std::nullopt);
  ui.queueSaveFile("/data/b.raw");
  EXPECT_EQ(ui.chooseOpenFile("Open", {{"FITS files", "*.FIT"}}, "/data"), "/data/a.fit");
  EXPECT_EQ(ui.chooseOpenFile("Open", {}, ""), std::nullopt);
  EXPECT_EQ(ui.chooseSaveFile("Save", {}, ""), std::nullopt);
  EXPECT_EQ(ui.chooseSaveFile("Save", {}, ""), "/data/b.raw");
  ASSERT_EQ(ui.callsOf("open-file").size(), 2u);
  EXPECT_EQ(ui.callsOf("open-file")[0].value, 1);  // number of filters offered
}

TEST_F(HeadlessUiTest, PanelsRunTheirScriptsOnTheModelOnce) {
  ui.onPanel("QLM_T4 Control Interface", [](PanelModel& m) {
    static_cast<CountingModel&>(m).value = 7;
    return 1001;
  });
  CountingModel model;
  EXPECT_EQ(ui.runPanel("QLM_T4 Control Interface", model), 1001);
  EXPECT_EQ(model.value, 7);
  EXPECT_EQ(ui.runPanel("QLM_T4 Control Interface", model), kPanelCancel);  // script used up
  EXPECT_EQ(ui.runPanel("Other", model), kPanelCancel);
  const auto panels = ui.callsOf("panel");
  ASSERT_EQ(panels.size(), 3u);
  EXPECT_EQ(panels[0].value, 1001);
}

TEST_F(HeadlessUiTest, PressesAreDeliveredByTheFirstPumpAtOrAfterTheirTime) {
  ui.scheduleKeyPress(150);
  ui.scheduleMousePress(120, /*right_button=*/true);
  EXPECT_FALSE(ui.pumpEvents().any());
  clock.advance(19);  // 119
  EXPECT_FALSE(ui.pumpEvents().any());
  clock.advance(1);  // 120
  InputEvents e = ui.pumpEvents();
  EXPECT_TRUE(e.right_button);
  EXPECT_FALSE(e.key);
  EXPECT_FALSE(ui.pumpEvents().any());  // delivered once
  clock.advance(100);
  e = ui.pumpEvents();
  EXPECT_TRUE(e.key);
  EXPECT_FALSE(e.left_button);
  EXPECT_EQ(ui.pumpCount(), 5u);
}

TEST_F(HeadlessUiTest, ActionsRunInTimeOrderAndMayScheduleMore) {
  std::vector<int> order;
  ui.scheduleAction(130, [&] { order.push_back(2); });
  ui.scheduleAction(110, [&] {
    order.push_back(1);
    ui.scheduleKeyPress(140);
  });
  clock.advance(50);
  EXPECT_FALSE(ui.pumpEvents().any());
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_TRUE(ui.pumpEvents().key);
}

TEST_F(HeadlessUiTest, SchedulesSurviveTheMillisecondWrap) {
  VirtualClock wrapping(0xFFFFFFF0u);
  HeadlessUi w(wrapping);
  w.scheduleKeyPress(0x10);  // 32 ms later, after the wrap
  wrapping.advance(0x1F);
  EXPECT_FALSE(w.pumpEvents().any());
  wrapping.advance(1);
  EXPECT_TRUE(w.pumpEvents().key);
}

TEST_F(HeadlessUiTest, KeepsStatusTitleAndCountsBeeps) {
  ui.setStatusText("Series Imaging");
  ui.setTitle("QLM_T4_USB - PK Camera Image");
  ui.beep();
  ui.beep();
  EXPECT_EQ(ui.statusText(), "Series Imaging");
  EXPECT_EQ(ui.title(), "QLM_T4_USB - PK Camera Image");
  EXPECT_EQ(ui.beepCount(), 2u);
}

}  // namespace
}  // namespace qlm
