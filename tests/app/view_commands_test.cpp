#include <gtest/gtest.h>

#include "app/view_commands.h"
#include "app/window_model.h"
#include "image/display.h"
#include "image/label_model.h"
#include "image/max_model.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class ViewCommandsTest : public ::testing::Test {
 protected:
  test::TestPlatform platform;
  ImageBuffers& b = imageBuffers();
  FrameState& f = frameState();
};

TEST_F(ViewCommandsTest, LabelDialogOkDrawsTheLabelAndRemembersAutoDate) {
  platform.ui.onPanel(LabelModel::kPanelName, [](PanelModel& m) {
    auto& label = static_cast<LabelModel&>(m);
    EXPECT_FALSE(label.autoDate());
    label.setText("Moon");
    label.setAutoDate(true);
    return kPanelOk;
  });
  labelCommand();
  EXPECT_TRUE(labelled(b.CurrentFrame.data()));
  EXPECT_EQ(platform.ui.callsOf("repaint").size(), 1u);
  // The next use of the dialog starts with Auto Date ticked.
  platform.ui.onPanel(LabelModel::kPanelName, [](PanelModel& m) {
    EXPECT_TRUE(static_cast<LabelModel&>(m).autoDate());
    return kPanelCancel;
  });
  labelCommand();
  EXPECT_EQ(platform.ui.callsOf("panel").size(), 2u);
}

TEST_F(ViewCommandsTest, LabelDialogCancelLeavesTheFrame) {
  const Frame before = b.CurrentFrame;
  platform.ui.onPanel(LabelModel::kPanelName, [](PanelModel& m) {
    static_cast<LabelModel&>(m).setAutoDate(true);
    return kPanelCancel;
  });
  labelCommand();
  EXPECT_EQ(b.CurrentFrame, before);
  EXPECT_FALSE(LabelModel().autoDate()) << "a cancelled dialog keeps the old choice";
  EXPECT_TRUE(platform.ui.callsOf("repaint").empty());
}

TEST_F(ViewCommandsTest, LabelModelTakesAtMostThirtyCharacters) {
  LabelModel m;
  m.setText(std::string(31, 'z'));
  EXPECT_EQ(m.text(), std::string(30, 'z'));
}

TEST_F(ViewCommandsTest, StretchDisplayPowerScrollRules) {
  bool active = false;
  double power = 25;
  int refreshes = 0;
  MaxModel m(active, power, [&] { ++refreshes; });
  m.lineUp();
  EXPECT_EQ(power, 24);
  m.pageUp();
  EXPECT_EQ(power, 2);
  m.lineUp();
  EXPECT_EQ(power, 2) << "no lower than 2";
  m.lineDown();
  EXPECT_EQ(power, 3);
  m.pageDown();
  EXPECT_EQ(power, 50);
  m.lineDown();
  EXPECT_EQ(power, 50) << "no higher than 50";
  m.thumb(17);
  EXPECT_EQ(m.power(), 17);
  m.thumb(99);
  EXPECT_EQ(m.power(), 50);
  m.toggleActivate();
  EXPECT_TRUE(active);
  EXPECT_EQ(refreshes, 9) << "every change refreshes the window";
}

TEST_F(ViewCommandsTest, StretchDisplayDialogWorksOnTheLiveSettings) {
  platform.ui.onPanel(MaxModel::kPanelName, [](PanelModel& m) {
    auto& max = static_cast<MaxModel&>(m);
    EXPECT_EQ(max.power(), 25);  // start value
    max.toggleActivate();
    max.lineDown();
    return kPanelOk;
  });
  maxPaletteDialogCommand();
  EXPECT_TRUE(f.max_palette_stretch);
  EXPECT_EQ(displayState().stretch_display_power, 26);
  EXPECT_EQ(platform.ui.callsOf("repaint").size(), 2u);
}

TEST_F(ViewCommandsTest, UseAndDontUseMaxPaletteSetTheSameFlag) {
  setMaxPaletteCommand(true);
  EXPECT_TRUE(f.max_palette_stretch);
  setMaxPaletteCommand(false);
  EXPECT_FALSE(f.max_palette_stretch);
  EXPECT_EQ(platform.ui.callsOf("repaint").size(), 2u);
}

TEST_F(ViewCommandsTest, FitAndCentreExcludeEachOtherAndWaitForPhotometry) {
  fitToWindowCommand();
  EXPECT_TRUE(f.fit_to_window);
  centreImageCommand();
  EXPECT_TRUE(f.centre_image);
  EXPECT_FALSE(f.fit_to_window);
  mouseModes().photometry = true;
  centreImageCommand();
  fitToWindowCommand();
  EXPECT_TRUE(f.centre_image) << "ignored while photometry runs";
  EXPECT_FALSE(f.fit_to_window);
}

TEST_F(ViewCommandsTest, MirrorShowsTheWaitCursorWhileItWorks) {
  b.CurrentFrame[0] = 0;
  b.CurrentFrame[659] = 5000;
  mirrorCommand();
  EXPECT_EQ(b.CurrentFrame[0], 5000);
  const auto cursors = platform.ui.callsOf("cursor");
  ASSERT_EQ(cursors.size(), 2u);
  EXPECT_EQ(cursors[0].value, static_cast<int>(CursorShape::Wait));
  EXPECT_EQ(cursors[1].value, static_cast<int>(CursorShape::Arrow));
}

TEST_F(ViewCommandsTest, UndoRestoresTheSnapshotAndDropsTheNewestHistoryEntry) {
  historyList().append("Sine Stretch");
  historyList().append("Log Stretch");
  takeUndoSnapshot(b.CurrentFrame, b.UndoFrame);
  b.CurrentFrame.fill(7);
  undoCommand();
  EXPECT_EQ(b.CurrentFrame[330], 0);
  EXPECT_EQ(b.CurrentFrame[660 * 20], 20 * 62);
  EXPECT_EQ(historyList().count(), 1);
  EXPECT_EQ(platform.ui.callsOf("repaint").size(), 1u);
}

TEST_F(ViewCommandsTest, CtrlWHasNoUnexpandedBinnedImageToSave) {
  for (std::uint16_t indicator : {0, 2}) {
    f.binning_indicator = indicator;
    saveUnexpandedBinnedCommand();
  }
  EXPECT_EQ(platform.ui.messageTexts(),
            std::vector<std::string>(2, "Sorry, there is no 4x4 or 3x3 unexpanded binned image to save"));
}

}  // namespace
}  // namespace qlm
