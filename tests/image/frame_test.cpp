#include <gtest/gtest.h>

#include <string>

#include "image/frame.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class FrameModelTest : public ::testing::Test {
 protected:
  test::TestPlatform platform;
  ImageBuffers& b = imageBuffers();
  HistoryList& history = historyList();
};

TEST_F(FrameModelTest, StartUpBuffersHoldTheRampsAndZeros) {
  for (int y : {0, 1, 250, 499}) {
    for (int x : {0, 331, 659}) {
      const std::size_t i = static_cast<std::size_t>(y) * kFrameWidth + static_cast<std::size_t>(x);
      EXPECT_EQ(b.CurrentFrame[i], y * 62);
      EXPECT_EQ(b.SecondFrame[i], y * 62);
      EXPECT_EQ(b.UndoFrame[i], y * 62);
      EXPECT_EQ(b.FlatCache[i], 0);
    }
  }
  EXPECT_EQ(b.CurrentFrame[kFrameElements - 1], 30938);
  for (int r : {0, 1, 289}) {
    EXPECT_EQ(b.GuiderFrames[0][static_cast<std::size_t>(r) * kGuiderWidth + 499], r * 200);
    EXPECT_EQ(b.GuiderFrames[2][static_cast<std::size_t>(r) * kGuiderWidth], 0);
  }
  for (auto c : b.HistogramCounters)
    EXPECT_EQ(c, 0);
  for (int i = 0; i < 256; ++i) {
    const PaletteEntry& p = b.Palette[static_cast<std::size_t>(i)];
    EXPECT_EQ(p.red, i);
    EXPECT_EQ(p.green, i);
    EXPECT_EQ(p.blue, i);
    EXPECT_EQ(p.flags, 1);
  }
}

TEST_F(FrameModelTest, LabelTestReadsOnlyElementsFourAndFive) {
  Frame& f = b.CurrentFrame;
  EXPECT_FALSE(labelled(f.data()));  // the ramp's row 0 is 0 + 0
  f[4] = 17;
  f[5] = 17;
  EXPECT_TRUE(labelled(f.data()));
  EXPECT_EQ(firstImageRow(f.data()), 10);
  // Any pair summing to 34 counts, without a label ever being drawn.
  f[4] = 30;
  f[5] = 4;
  EXPECT_TRUE(labelled(f.data()));
  f[0] = 17;
  f[4] = 33;
  EXPECT_FALSE(labelled(f.data()));
  EXPECT_EQ(firstImageRow(f.data()), 0);
}

TEST_F(FrameModelTest, UndoRightAfterStartUpRestoresTheRamp) {
  b.CurrentFrame.fill(5);
  undoLastFilter(b.CurrentFrame, b.UndoFrame, history);
  EXPECT_EQ(b.CurrentFrame[0], 0);
  EXPECT_EQ(b.CurrentFrame[660 * 100 + 7], 6200);
  EXPECT_EQ(b.CurrentFrame[kFrameElements - 1], 30938);
}

TEST_F(FrameModelTest, SnapshotThenUndoRestoresAndRemovesTheNewestEntry) {
  b.CurrentFrame[1234] = 999;
  takeUndoSnapshot(b.CurrentFrame, b.UndoFrame);
  history.append("Sine Stretch");
  history.append("Log Stretch");
  b.CurrentFrame[1234] = 1;
  undoLastFilter(b.CurrentFrame, b.UndoFrame, history);
  EXPECT_EQ(b.CurrentFrame[1234], 999);
  EXPECT_EQ(history.count(), 1);
  EXPECT_EQ(history.entry(0), "Sine Stretch");
  // A second undo restores the same snapshot and removes one more entry.
  b.CurrentFrame[1234] = 2;
  undoLastFilter(b.CurrentFrame, b.UndoFrame, history);
  EXPECT_EQ(b.CurrentFrame[1234], 999);
  EXPECT_EQ(history.count(), 0);
}

TEST_F(FrameModelTest, UndoWithEmptyHistoryChangesOnlyTheImage) {
  b.CurrentFrame.fill(1);
  undoLastFilter(b.CurrentFrame, b.UndoFrame, history);
  EXPECT_EQ(history.count(), 0);
  EXPECT_EQ(b.CurrentFrame[660 * 2], 124);
}

TEST_F(FrameModelTest, UndoWithAFullHistoryKeepsAllFifteen) {
  for (int i = 0; i < 15; ++i)
    history.append("Entry " + std::to_string(i));
  b.CurrentFrame.fill(1);
  undoLastFilter(b.CurrentFrame, b.UndoFrame, history);
  EXPECT_EQ(b.CurrentFrame[660 * 2], 124);
  EXPECT_EQ(history.count(), 15);
  EXPECT_EQ(history.entry(14), "Entry 14");
}

TEST_F(FrameModelTest, SnapshotCopiesOnlyTheUsedElements) {
  b.UndoFrame[kFrameElements] = 77;
  b.CurrentFrame[kFrameElements] = 11;
  takeUndoSnapshot(b.CurrentFrame, b.UndoFrame);
  EXPECT_EQ(b.UndoFrame[kFrameElements], 77);
}

TEST(HistoryList, SixteenthTextIsDroppedSilently) {
  HistoryList h;
  for (int i = 0; i < 16; ++i)
    h.append("Op " + std::to_string(i));
  EXPECT_EQ(h.count(), 15);
  EXPECT_EQ(h.entry(0), "Op 0");
  EXPECT_EQ(h.entry(14), "Op 14");
}

TEST(HistoryList, AppendFillsTheFirstEmptyEntryEvenAfterAGap) {
  HistoryList h;
  h.append("A");
  h.append("B");
  h.append("C");
  h.raw(1)[0] = 0;  // entry 1 emptied
  h.append("D");
  EXPECT_EQ(h.entry(1), "D");
  EXPECT_EQ(h.entry(2), "C");
}

TEST(HistoryList, LongTextsAreCutToTheEntryWithItsTerminator) {
  HistoryList h;
  h.append(std::string(60, 'x'));
  h.append("next");
  EXPECT_EQ(h.entry(0), std::string(39, 'x'));
  EXPECT_EQ(h.entry(1), "next");
}

TEST(HistoryList, BoxTextStopsAtTheFirstEntryOfOneCharacterOrLess) {
  HistoryList h;
  EXPECT_EQ(h.boxText(), " \n");  // an unprocessed image
  h.append("Normal Stretch : max 200 , min : 20");
  h.append("Gaussian Filter");
  EXPECT_EQ(h.boxText(), "Normal Stretch : max 200 , min : 20 \nGaussian Filter \n");
  h.append("X");
  h.append("Sine Stretch");
  EXPECT_EQ(h.boxText(), "Normal Stretch : max 200 , min : 20 \nGaussian Filter \n");
}

TEST(HistoryList, ClearEmptiesEveryEntry) {
  HistoryList h;
  for (int i = 0; i < 15; ++i)
    h.append("E");
  h.clear();
  EXPECT_EQ(h.count(), 0);
  for (int i = 0; i < 15; ++i)
    EXPECT_EQ(h.raw(i)[0], 0);
}

TEST(FrameState, FitAndCentreExcludeEachOtherAndWaitForPhotometry) {
  FrameState s;
  EXPECT_TRUE(standardGeometry(s));
  toggleCentreImage(s, false);
  EXPECT_TRUE(s.centre_image);
  toggleFitToWindow(s, false);
  EXPECT_TRUE(s.fit_to_window);
  EXPECT_FALSE(s.centre_image);
  toggleFitToWindow(s, true);  // ignored while photometry runs
  EXPECT_TRUE(s.fit_to_window);
  toggleFitToWindow(s, false);
  EXPECT_TRUE(standardGeometry(s));
  toggleCentreImage(s, false);
  toggleCentreImage(s, false);  // turning centre off does not turn fit on
  EXPECT_TRUE(standardGeometry(s));
}

}  // namespace
}  // namespace qlm
