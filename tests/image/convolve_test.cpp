#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "image/convolve.h"
#include "image/processing_frames.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using test::at;

// The engine written the plain way: every element of the processed rectangle from the weighted sum
// of the input, everything else copied.
Frame referenceConvolution(const Frame& in, int kernel) {
  const KernelFilter& k = kernelFilter(kernel);
  const KernelWeights& w = kernelTable()[static_cast<std::size_t>(kernel)];
  const int d = k.radius;
  const int n = 2 * d + 1;
  Frame out = in;
  const int r0 = (labelled(in.data()) ? 10 : 0) + d;
  for (int i = r0; i <= 499 - d; ++i) {
    for (int j = d; j <= 659 - d; ++j) {
      int sum = 0;
      for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x)
          sum += in[at(i - d + y, j - d + x)] * w[static_cast<std::size_t>(y * n + x)];
      }
      const int q = sum / k.divisor;
      out[at(i, j)] = q > 65280 ? 65535 : (q < 0 ? 0 : static_cast<std::uint16_t>(q));
    }
  }
  return out;
}

class KernelTest : public ::testing::TestWithParam<int> {
 protected:
  void run() { kernelFilterCommand(GetParam()); }
  test::TestPlatform platform;
  ImageBuffers& b = imageBuffers();
  int radius() const { return kernelFilter(GetParam()).radius; }
};

TEST_P(KernelTest, WeightsSumToTheDivisor) {
  const int d = radius();
  const auto& w = kernelTable()[static_cast<std::size_t>(GetParam())];
  const int used = (2 * d + 1) * (2 * d + 1);
  EXPECT_EQ(std::accumulate(w.begin(), w.begin() + used, 0), kernelFilter(GetParam()).divisor);
  EXPECT_TRUE(std::all_of(w.begin() + used, w.end(), [](int v) { return v == 0; }));
}

TEST_P(KernelTest, MatchesThePlainConvolutionOnASky) {
  test::fillSky(b.CurrentFrame, 11 + static_cast<unsigned>(GetParam()));
  const Frame expected = referenceConvolution(b.CurrentFrame, GetParam());
  run();
  for (int i = 0; i < kFrameElements; ++i)
    ASSERT_EQ(b.CurrentFrame[static_cast<std::size_t>(i)], expected[static_cast<std::size_t>(i)]) << i;
  // The scratch frame ends up holding the result too.
  EXPECT_TRUE(
      std::equal(b.CurrentFrame.begin(), b.CurrentFrame.begin() + kFrameElements, b.SecondFrame.begin()));
}

TEST_P(KernelTest, MatchesThePlainConvolutionOnNoiseAndKeepsTheOuterBand) {
  test::fillRandom(b.CurrentFrame, 99 + static_cast<unsigned>(GetParam()));
  const Frame before = b.CurrentFrame;
  const Frame expected = referenceConvolution(before, GetParam());
  run();
  for (int i = 0; i < kFrameElements; ++i)
    ASSERT_EQ(b.CurrentFrame[static_cast<std::size_t>(i)], expected[static_cast<std::size_t>(i)]) << i;
  const int d = radius();
  for (int r = 0; r < kFrameHeight; ++r) {
    for (int c = 0; c < kFrameWidth; ++c) {
      const bool outer = r < d || r > 499 - d || c < d || c > 659 - d;
      if (outer) {
        ASSERT_EQ(b.CurrentFrame[at(r, c)], before[at(r, c)]) << r << "," << c;
      }
    }
  }
}

TEST_P(KernelTest, UniformFramesUpTo65280StayAndAboveItSaturate) {
  for (std::uint16_t v : {0, 1000, 65280}) {
    test::fillUniform(b.CurrentFrame, v);
    run();
    for (int i = 0; i < kFrameElements; ++i)
      ASSERT_EQ(b.CurrentFrame[static_cast<std::size_t>(i)], v) << v << " at " << i;
  }
  test::fillUniform(b.CurrentFrame, 65281);
  run();
  const int d = radius();
  EXPECT_EQ(b.CurrentFrame[at(d, d)], 65535);
  EXPECT_EQ(b.CurrentFrame[at(250, 330)], 65535);
  EXPECT_EQ(b.CurrentFrame[at(d - 1, d)], 65281);
  EXPECT_EQ(b.CurrentFrame[at(250, 659)], 65281);
}

TEST_P(KernelTest, LabelledFrameKeepsTheBandAndTheRowsUnderIt) {
  test::fillRandom(b.CurrentFrame, 5);
  test::markLabelled(b.CurrentFrame);
  const Frame before = b.CurrentFrame;
  const Frame expected = referenceConvolution(before, GetParam());
  run();
  const int d = radius();
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + (10 + d) * kFrameWidth, b.CurrentFrame.begin()));
  for (int c = d; c <= 659 - d; ++c)
    ASSERT_EQ(b.CurrentFrame[at(10 + d, c)], expected[at(10 + d, c)]);
  EXPECT_NE(b.CurrentFrame[at(10 + d, 300)], before[at(10 + d, 300)]);
}

TEST_P(KernelTest, IsOneUndoableStepWithItsHistoryText) {
  test::fillSky(b.CurrentFrame, 3);
  const Frame before = b.CurrentFrame;
  run();
  EXPECT_EQ(historyList().entry(0), kernelFilter(GetParam()).history);
  undoLastFilter(b.CurrentFrame, b.UndoFrame, historyList());
  EXPECT_EQ(b.CurrentFrame, before);
  EXPECT_EQ(historyList().count(), 0);
}

TEST_P(KernelTest, ReportsEachRowOnTheProgressBar) {
  run();
  const auto opens = platform.ui.callsOf("progress-open");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].caption, "FILTER PROGRESS");
  const auto steps = platform.ui.callsOf("progress");
  const int d = radius();
  ASSERT_EQ(steps.size(), static_cast<std::size_t>(500 - 2 * d));
  EXPECT_EQ(steps.front().value, d / 2);
  EXPECT_EQ(steps.back().value, (499 - d) / 2);
  EXPECT_EQ(platform.ui.callsOf("progress-close").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Kernels, KernelTest, ::testing::Range(0, kKernelCount));

TEST(KernelTable, MenuTextsAndShapes) {
  EXPECT_EQ(std::string(kernelFilter(0).history), "Lowpass Smoother Filter");
  EXPECT_EQ(std::string(kernelFilter(1).history), "Gaussian Filter");
  EXPECT_EQ(std::string(kernelFilter(2).history), "High Pass Low Power Filter");
  EXPECT_EQ(std::string(kernelFilter(3).history), "High Pass High Power Filter");
  EXPECT_EQ(std::string(kernelFilter(4).history), "Smoother/Sharper Filter");
  EXPECT_EQ(std::string(kernelFilter(5).history), "Bas Relief Filter");
  EXPECT_EQ(kernelFilter(0).divisor, 16);
  EXPECT_EQ(kernelFilter(1).divisor, 80);
  EXPECT_EQ(kernelTable()[3][12], 25);
}

class ConvolveTest : public ::testing::Test {
 protected:
  test::TestPlatform platform;
  ImageBuffers& b = imageBuffers();
};

TEST_F(ConvolveTest, HighPassOnOneBrightElementSaturatesItAndClearsItsNeighbours) {
  test::fillUniform(b.CurrentFrame, 0);
  b.CurrentFrame[at(100, 100)] = 65535;
  kernelFilterCommand(2);
  EXPECT_EQ(b.CurrentFrame[at(100, 100)], 65535);
  EXPECT_EQ(b.CurrentFrame[at(99, 100)], 0);
  EXPECT_EQ(b.CurrentFrame[at(101, 100)], 0);
  EXPECT_EQ(b.CurrentFrame[at(100, 99)], 0);
  EXPECT_EQ(b.CurrentFrame[at(100, 101)], 0);
}

TEST_F(ConvolveTest, ResultOf65280StaysAnd65281Saturates) {
  test::fillUniform(b.CurrentFrame, 0);
  b.CurrentFrame[at(50, 50)] = 13056;  // 5 x 13056 = 65280
  b.CurrentFrame[at(50, 60)] = 13057;  // 5 x 13057 - 4 = 65281
  b.CurrentFrame[at(49, 60)] = 4;
  convolve(1, 2, 1, false);
  EXPECT_EQ(b.CurrentFrame[at(50, 50)], 65280);
  EXPECT_EQ(b.CurrentFrame[at(50, 60)], 65535);
  EXPECT_EQ(historyList().count(), 0);  // the engine itself writes no history
}

// ---- Gradient filter ----

TEST_F(ConvolveTest, PatchModeTakesTheLowestMostFrequentBin) {
  Frame& f = b.CurrentFrame;
  test::fillUniform(f, 0);
  for (int r = 10; r < 50; ++r) {
    for (int c = 20; c < 60; ++c)
      f[at(r, c)] = static_cast<std::uint16_t>(c < 40 ? 160 : 175);  // both in bin 10
  }
  EXPECT_EQ(patchMode(f, 10, 20, false), 10);
  for (int c = 40; c < 60; ++c)
    f[at(30, c)] = 320;  // 20 elements in bin 20 do not outweigh the rest
  EXPECT_EQ(patchMode(f, 10, 20, false), 10);
  // Equal counts: the lower bin.
  for (int r = 10; r < 50; ++r) {
    for (int c = 20; c < 60; ++c)
      f[at(r, c)] = static_cast<std::uint16_t>(c < 40 ? 800 : 400);
  }
  EXPECT_EQ(patchMode(f, 10, 20, false), 25);
}

TEST_F(ConvolveTest, BottomPatchModeLeavesBinZeroOut) {
  Frame& f = b.CurrentFrame;
  test::fillUniform(f, 0);
  EXPECT_EQ(patchMode(f, 450, 20, true), 1);  // all zero: 1
  EXPECT_EQ(patchMode(f, 450, 20, false), 0);
  f[at(460, 30)] = 16 * 77;
  f[at(460, 31)] = 16 * 77 + 15;
  f[at(461, 31)] = 16 * 90;
  EXPECT_EQ(patchMode(f, 450, 20, true), 77);
}

TEST_F(ConvolveTest, GradientWithEqualCornersChangesNothing) {
  test::fillSky(b.CurrentFrame, 21, 2000);
  // Flatten the patches so that all four modes are certainly equal.
  for (const auto& [r0, c0] : {std::pair{10, 20}, {10, 600}, {450, 20}, {450, 600}}) {
    for (int r = r0; r < r0 + 40; ++r) {
      for (int c = c0; c < c0 + 40; ++c)
        b.CurrentFrame[at(r, c)] = 2008;
    }
  }
  const Frame before = b.CurrentFrame;
  gradientFilterCommand();
  EXPECT_EQ(b.CurrentFrame, before);
  EXPECT_EQ(historyList().entry(0), "Gradient Filter");
  undoLastFilter(b.CurrentFrame, b.UndoFrame, historyList());
  EXPECT_EQ(b.CurrentFrame, before);
}

TEST_F(ConvolveTest, GradientRemovesThePlaneAboveTheDarkestCorner) {
  Frame& f = b.CurrentFrame;
  test::fillUniform(f, 5000);
  // Top right 100 bins above the rest: TR = 1600, the other corners 0.
  for (int r = 10; r < 50; ++r) {
    for (int c = 600; c < 640; ++c)
      f[at(r, c)] = 5000 + 1600;
  }
  removeBackgroundPlane(f, b.UndoFrame);
  // plane = (500 - i) j 1600 / 330000.
  const auto plane = [](int i, int j) { return (500.0 - i) * j * 1600.0 / 330000.0; };
  EXPECT_EQ(f[at(0, 0)], 5000);
  EXPECT_EQ(f[at(499, 659)], 5000 - static_cast<int>(plane(499, 659)));
  EXPECT_EQ(f[at(100, 400)], 5000 - static_cast<int>(plane(100, 400)));
  EXPECT_EQ(f[at(0, 659)], 5000 - 1597);  // 500 x 659 x 1600 / 330000 = 1597.6
}

TEST_F(ConvolveTest, GradientSetsElementsAtOrBelowThePlaneToZeroAndKeepsTheLabel) {
  Frame& f = b.CurrentFrame;
  test::fillUniform(f, 3000);
  for (int r = 450; r < 490; ++r) {
    for (int c = 20; c < 60; ++c)
      f[at(r, c)] = 0;  // bottom left all zero: its mode comes from bins 1-4095, here 1
  }
  test::markLabelled(f);
  f[at(5, 5)] = 123;
  f[at(480, 10)] = 100;  // below the plane there (162)
  removeBackgroundPlane(f, b.UndoFrame);
  // Modes: TL = TR = BR = 187 (3000 >> 4), BL = 1, so m = 1 and the other corners are 186 x 16.
  const double level = 186 * 16.0;
  const auto plane = [&](int i, int j) {
    return ((500.0 - i) * (660.0 - j) * level + (500.0 - i) * j * level + i * j * level) / 330000.0;
  };
  EXPECT_EQ(f[at(5, 5)], 123);
  EXPECT_EQ(f[at(480, 10)], 0);
  EXPECT_EQ(f[at(470, 30)], 0);
  EXPECT_EQ(f[at(200, 300)], 3000 - static_cast<int>(plane(200, 300)));
  EXPECT_EQ(f[at(10, 0)], 3000 - static_cast<int>(plane(10, 0)));
}

}  // namespace
}  // namespace qlm
