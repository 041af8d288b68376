#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>

#include "image/filter_model.h"
#include "image/median_unsharp.h"
#include "image/processing_frames.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using test::at;

// The conditional median exactly as described: gather the window column by column, the minimum
// starting from 65000, then take out the largest value h times.
Frame referenceMedian(const Frame& in, int r, int p) {
  Frame out = in;
  const int n = (2 * r + 1) * (2 * r + 1);
  const int h = n / 2 + 1;
  const auto f = static_cast<float>(0.1 * p);
  for (int i = (labelled(in.data()) ? 10 : 0) + r; i <= 499 - r; ++i) {
    for (int j = r; j <= 659 - r; ++j) {
      int buf[49];
      int k = 0;
      int m = 65000;
      for (int c = j - r; c <= j + r; ++c) {
        for (int row = i - r; row <= i + r; ++row) {
          buf[k] = in[at(row, c)];
          m = std::min(m, buf[k]);
          ++k;
        }
      }
      int extracted[49];
      for (int e = 0; e < h; ++e) {
        int best = 0;
        for (int q = 0; q < n; ++q) {
          if (buf[q] >= buf[best]) best = q;
        }
        extracted[e] = buf[best];
        buf[best] = 0;
      }
      const int big = extracted[0];
      const int med = extracted[h - 1];
      const int t = static_cast<int>(static_cast<float>(big - m) * f);
      if (std::abs(med - in[at(i, j)]) > t) out[at(i, j)] = static_cast<std::uint16_t>(med);
    }
  }
  return out;
}

// The unsharp mask with the box summed afresh for every element.
Frame referenceUnsharp(const Frame& in, int c, int k) {
  Frame out = in;
  const int w = (2 * c + 1) * (2 * c + 1);
  for (int i = (labelled(in.data()) ? 10 : 0) + c; i <= 499 - c; ++i) {
    for (int j = c; j <= 659 - c; ++j) {
      long sum = 0;
      for (int y = i - c; y <= i + c; ++y) {
        for (int x = j - c; x <= j + c; ++x)
          sum += in[at(y, x)];
      }
      const int v = in[at(i, j)];
      const int e = v + (v - static_cast<int>(sum / w)) * k;
      out[at(i, j)] = e > 65280 ? 65535 : (e < 0 ? 0 : static_cast<std::uint16_t>(e));
    }
  }
  return out;
}

void expectFramesEqual(const Frame& actual, const Frame& expected) {
  for (int i = 0; i < kFrameElements; ++i) {
    ASSERT_EQ(actual[static_cast<std::size_t>(i)], expected[static_cast<std::size_t>(i)])
        << "row " << i / kFrameWidth << " column " << i % kFrameWidth;
  }
}

class FilterTest : public ::testing::Test {
 protected:
  test::TestPlatform platform;
  ImageBuffers& b = imageBuffers();
  HistoryList& history = historyList();
};

// ---- Median ----

class MedianTest : public FilterTest, public ::testing::WithParamInterface<std::tuple<int, int>> {};
using MedianTiesTest = MedianTest;

TEST_P(MedianTest, MatchesTheDescribedSelectionOnASky) {
  const auto [r, p] = GetParam();
  test::fillSky(b.CurrentFrame, static_cast<unsigned>(r * 100 + p));
  const Frame expected = referenceMedian(b.CurrentFrame, r, p);
  medianFilterFrame(r, p, false, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  expectFramesEqual(b.CurrentFrame, expected);
}

TEST_P(MedianTiesTest, MatchesTheDescribedSelectionOnNoiseWithFewLevels) {
  // Few distinct values: many ties inside every window.
  const auto [r, p] = GetParam();
  test::fillRandom(b.CurrentFrame, static_cast<unsigned>(r * 7 + p), 0, 3);
  for (int i = 0; i < kFrameElements; ++i)
    b.CurrentFrame[static_cast<std::size_t>(i)] =
        static_cast<std::uint16_t>(b.CurrentFrame[static_cast<std::size_t>(i)] * 21845);
  test::markLabelled(b.CurrentFrame);
  const Frame expected = referenceMedian(b.CurrentFrame, r, p);
  medianFilterFrame(r, p, false, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  expectFramesEqual(b.CurrentFrame, expected);
}

TEST_P(MedianTest, MatchesTheDescribedSelectionOnFullRangeNoise) {
  const auto [r, p] = GetParam();
  test::fillRandom(b.CurrentFrame, static_cast<unsigned>(r * 31 + p));
  const Frame expected = referenceMedian(b.CurrentFrame, r, p);
  medianFilterFrame(r, p, false, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  expectFramesEqual(b.CurrentFrame, expected);
  // The scratch frame ends up holding the result too.
  EXPECT_TRUE(
      std::equal(b.CurrentFrame.begin(), b.CurrentFrame.begin() + kFrameElements, b.SecondFrame.begin()));
}

INSTANTIATE_TEST_SUITE_P(RadiusAndPower, MedianTest,
                         ::testing::Combine(::testing::Values(1, 2, 3), ::testing::Values(1, 6, 7, 9)));
INSTANTIATE_TEST_SUITE_P(Radius, MedianTiesTest,
                         ::testing::Combine(::testing::Values(1, 2, 3), ::testing::Values(6)));

TEST_F(FilterTest, MedianWithFullPowerChangesNothing) {
  test::fillRandom(b.CurrentFrame, 42);
  const Frame before = b.CurrentFrame;
  for (int r = 1; r <= 3; ++r) {
    medianFilterFrame(r, 10, false, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
    ASSERT_EQ(b.CurrentFrame, before) << r;
  }
}

TEST_F(FilterTest, MedianRemovesAHotPixelAndKeepsItsNeighbours) {
  for (int p = 1; p <= 9; ++p) {
    test::fillUniform(b.CurrentFrame, 1200);
    b.CurrentFrame[at(100, 200)] = 65535;
    medianFilterFrame(1 + p % 3, p, false, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
    EXPECT_EQ(b.CurrentFrame[at(100, 200)], 1200) << p;
    EXPECT_TRUE(std::all_of(b.CurrentFrame.begin(), b.CurrentFrame.begin() + kFrameElements,
                            [](std::uint16_t v) { return v == 1200; }));
  }
}

TEST_F(FilterTest, MedianLeavesTheOuterBandAndTheRowsUnderTheLabel) {
  test::fillRandom(b.CurrentFrame, 8);
  test::markLabelled(b.CurrentFrame);
  const Frame before = b.CurrentFrame;
  medianFilterFrame(3, 2, false, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 13 * kFrameWidth, b.CurrentFrame.begin()));
  for (int r = 13; r < kFrameHeight; ++r) {
    for (int c : {0, 1, 2, 657, 658, 659})
      ASSERT_EQ(b.CurrentFrame[at(r, c)], before[at(r, c)]);
  }
  for (int r = 497; r < kFrameHeight; ++r) {
    for (int c = 0; c < kFrameWidth; ++c)
      ASSERT_EQ(b.CurrentFrame[at(r, c)], before[at(r, c)]);
  }
}

TEST_F(FilterTest, MedianProgressMovesFasterForABinnedFrame) {
  medianFilterFrame(1, 6, false, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  auto steps = platform.ui.callsOf("progress");
  ASSERT_EQ(steps.size(), 498u);
  EXPECT_EQ(steps.front().value, 0);
  EXPECT_EQ(steps.back().value, 498 / 4);
  EXPECT_EQ(platform.ui.callsOf("progress-open").at(0).caption, "MEDIAN FILTER PROGRESS");
  platform.ui.clearCalls();
  medianFilterFrame(1, 6, true, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  steps = platform.ui.callsOf("progress");
  EXPECT_EQ(steps.back().value, 498 / 2);
}

TEST_F(FilterTest, MedianCommandAppendsItsTextAndIsUndoable) {
  test::fillSky(b.CurrentFrame, 1);
  const Frame before = b.CurrentFrame;
  frameState().binned = true;
  medianFilter(2, 6);
  EXPECT_EQ(history.entry(0), "Median Filter : rad 2 ,power 0.6");
  EXPECT_EQ(platform.ui.callsOf("progress").back().value, 497 / 2);
  EXPECT_NE(b.CurrentFrame, before);
  undoLastFilter(b.CurrentFrame, b.UndoFrame, history);
  EXPECT_EQ(b.CurrentFrame, before);
  medianFilter(1, 10);
  EXPECT_EQ(history.entry(0), "Median Filter : rad 1 ,power 1.0");
}

// ---- Unsharp mask ----

class UnsharpTest : public FilterTest, public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(UnsharpTest, MatchesTheBoxMeanDefinition) {
  const auto [c, k] = GetParam();
  test::fillSky(b.CurrentFrame, static_cast<unsigned>(c * 10 + k));
  const Frame expected = referenceUnsharp(b.CurrentFrame, c, k);
  unsharpMaskFrame(c, k, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  expectFramesEqual(b.CurrentFrame, expected);
}

TEST_P(UnsharpTest, MatchesTheBoxMeanDefinitionOnALabelledNoiseFrame) {
  const auto [c, k] = GetParam();
  test::fillRandom(b.CurrentFrame, static_cast<unsigned>(c + 31 * k));
  test::markLabelled(b.CurrentFrame);
  const Frame expected = referenceUnsharp(b.CurrentFrame, c, k);
  unsharpMaskFrame(c, k, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  expectFramesEqual(b.CurrentFrame, expected);
}

INSTANTIATE_TEST_SUITE_P(RadiusAndPower, UnsharpTest,
                         ::testing::Values(std::tuple{1, 1}, std::tuple{2, 3}, std::tuple{3, 1},
                                           std::tuple{4, 7}, std::tuple{5, 2}, std::tuple{6, 6},
                                           std::tuple{7, 7}));

TEST_F(FilterTest, UnsharpLeavesAUniformFrameAlone) {
  for (std::uint16_t v : {0, 777, 65280}) {
    test::fillUniform(b.CurrentFrame, v);
    unsharpMaskFrame(7, 7, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
    ASSERT_TRUE(std::all_of(b.CurrentFrame.begin(), b.CurrentFrame.begin() + kFrameElements,
                            [v](std::uint16_t e) { return e == v; }))
        << v;
  }
}

TEST_F(FilterTest, UnsharpOvershootOnAStepEdgeSaturatesBothWays) {
  for (int r = 0; r < kFrameHeight; ++r) {
    for (int c = 0; c < kFrameWidth; ++c)
      b.CurrentFrame[at(r, c)] = c < 330 ? 10000 : 50000;
  }
  unsharpMaskFrame(3, 7, b.CurrentFrame, b.SecondFrame, b.UndoFrame);
  // Next to the edge the box mean is pulled towards the other side far enough to pass either end.
  EXPECT_EQ(b.CurrentFrame[at(250, 329)], 0);
  EXPECT_EQ(b.CurrentFrame[at(250, 330)], 65535);
  EXPECT_EQ(b.CurrentFrame[at(250, 320)], 10000);
  EXPECT_EQ(b.CurrentFrame[at(250, 340)], 50000);
}

TEST_F(FilterTest, UnsharpCommandRefreshesOnlyWhenInteractive) {
  unsharpMask(3, 1, false);
  EXPECT_EQ(history.entry(0), "Unsharp Mask : rad 3 ,power 1");
  EXPECT_EQ(platform.ui.callsOf("progress-open").at(0).caption, "UNSHARP MASK PROGRESS");
  const auto steps = platform.ui.callsOf("progress");
  ASSERT_EQ(steps.size(), 494u);
  EXPECT_EQ(steps.front().value, 1);
  const std::size_t repaints = platform.ui.callsOf("repaint").size();
  unsharpMask(6, 2, true);
  EXPECT_EQ(history.entry(1), "Unsharp Mask : rad 6 ,power 2");
  EXPECT_EQ(platform.ui.callsOf("repaint").size(), repaints);
}

// ---- Dialog commands and rules ----

TEST_F(FilterTest, CancelledFilterDialogsDoNothing) {
  const Frame before = b.CurrentFrame;
  medianFilterCommand();
  unsharpMaskCommand();
  EXPECT_EQ(b.CurrentFrame, before);
  EXPECT_EQ(history.count(), 0);
  const auto panels = platform.ui.callsOf("panel");
  ASSERT_EQ(panels.size(), 2u);
  EXPECT_EQ(panels[0].caption, "Median Filter");
  EXPECT_EQ(panels[1].caption, "Unsharp Mask Filter");
}

TEST_F(FilterTest, FilterDialogsStartFromTheirStartValues) {
  platform.ui.onPanel("Median Filter", [](PanelModel& m) {
    auto& d = dynamic_cast<MedianModel&>(m);
    EXPECT_EQ(d.radiusText(), "1");
    EXPECT_EQ(d.powerText(), "0.6");
    d.scrollRadius(BarAction::LineDown);
    d.scrollPower(BarAction::LineUp);
    return kPanelOk;
  });
  platform.ui.onPanel("Unsharp Mask Filter", [](PanelModel& m) {
    auto& d = dynamic_cast<UnsharpModel&>(m);
    EXPECT_EQ(d.radiusText(), "3");
    EXPECT_EQ(d.powerText(), "1");
    d.scrollPower(BarAction::Thumb, 5);
    return kPanelOk;
  });
  medianFilterCommand();
  unsharpMaskCommand();
  EXPECT_EQ(history.entry(0), "Median Filter : rad 2 ,power 0.5");
  EXPECT_EQ(history.entry(1), "Unsharp Mask : rad 3 ,power 5");
}

TEST(FilterModels, StayInsideTheirRanges) {
  test::TestPlatform platform;
  MedianModel median;
  UnsharpModel unsharp;
  for (int i = 0; i < 20; ++i) {
    median.scrollRadius(BarAction::PageDown);
    median.scrollPower(BarAction::LineDown);
    unsharp.scrollRadius(BarAction::LineDown);
    unsharp.scrollPower(BarAction::PageDown);
  }
  EXPECT_EQ(median.radius(), 3);
  EXPECT_EQ(median.powerText(), "1.0");
  EXPECT_EQ(unsharp.radius(), 7);
  EXPECT_EQ(unsharp.power(), 7);
  median.scrollPower(BarAction::Thumb, 0);
  unsharp.scrollRadius(BarAction::Thumb, 99);
  EXPECT_EQ(median.powerText(), "0.1");
  EXPECT_EQ(unsharp.radius(), 7);
  median.help();
  unsharp.help();
  const auto boxes = platform.ui.callsOf("message");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "QLM_T4_USB - Median Filter");
  EXPECT_EQ(boxes[0].text, "Use controls to vary the radius from 1 to 3, and the power from 0.1 to 1.");
  EXPECT_EQ(boxes[1].caption, "Unsharp Mask Filter");
  EXPECT_EQ(boxes[1].text, "Use controls to vary the radius from 1 to 7, and the power from 1 to 7.");
}

// ---- The threshold behind the median filters ----

// The filters compare 10 x |med - v| with (M - m) x p instead of truncating a product: that holds only
// if the truncated product is (M - m) x p / 10 for every range and power.
TEST(MedianThreshold, TruncatedProductsAreWholeTenths) {
  for (int p = 1; p <= 10; ++p) {
    const auto f = static_cast<float>(0.1 * p);
    for (int d = 0; d <= 65535; ++d)
      ASSERT_EQ(static_cast<int>(static_cast<float>(d) * f), d * p / 10) << "p " << p << " d " << d;
  }
  for (int d = 0; d <= 65535; ++d)
    ASSERT_EQ(static_cast<int>(d * 0.6), d * 6 / 10) << d;  // the guider's hot-pixel filter
}

}  // namespace
}  // namespace qlm
