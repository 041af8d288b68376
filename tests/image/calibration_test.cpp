#include <gtest/gtest.h>

#include <memory>

#include "image/calibration.h"
#include "image/merge_model.h"
#include "image/processing_frames.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using test::at;

class CalibrationTest : public ::testing::Test {
 protected:
  std::unique_ptr<Frame> image = std::make_unique<Frame>();
  std::unique_ptr<Frame> second = std::make_unique<Frame>();
};

TEST_F(CalibrationTest, DarkOfItselfIsZeroEverywhereAndABrighterDarkNeverWraps) {
  test::fillRandom(*image, 1);
  test::markLabelled(*image);
  *second = *image;
  subtractDark(*image, *second);
  EXPECT_TRUE(std::all_of(image->begin(), image->begin() + kFrameElements, [](auto v) { return v == 0; }));

  test::fillUniform(*image, 1000);
  (*second)[5] = 1001;
  (*second)[6] = 999;
  (*second)[kFrameElements - 1] = 1000;
  subtractDark(*image, *second);
  EXPECT_EQ((*image)[5], 0);
  EXPECT_EQ((*image)[6], 1);
  EXPECT_EQ((*image)[kFrameElements - 1], 0);
}

TEST_F(CalibrationTest, FlatMeanIsThePatchSumTimesTwoTenThousandths) {
  test::fillUniform(*second, 7);
  (*second)[at(10, 5)] = 5007;    // inside the patch: adds 1.0 to the mean
  (*second)[at(19, 504)] = 2507;  // inside: adds 0.5
  (*second)[at(9, 5)] = 60000;    // outside
  (*second)[at(10, 505)] = 60000;
  EXPECT_DOUBLE_EQ(flatMean(*second), (5000 * 7 + 5000 + 2500) * 0.0002);
}

TEST_F(CalibrationTest, FlatEqualToTheImageGivesTheMeanAndZeroFlatsFollowTheirRules) {
  test::fillRandom(*image, 2, 1, 60000);
  *second = *image;
  (*second)[at(100, 50)] = 0;  // flat 0 under image 0 gives F; under a non-zero image leaves it
  (*image)[at(100, 50)] = 0;
  (*second)[at(100, 51)] = 0;
  (*image)[at(100, 51)] = 1234;
  const Frame before = *image;
  const double f = flatMean(*second);
  autoFlatField(*image, *second);
  const auto truncF = static_cast<std::uint16_t>(f);
  for (int row : {0, 1, 2, 250, 498, 499}) {
    for (int col : {0, 2, 3, 400, 659}) {
      const bool processed = row >= 2 && row <= 498 && col >= 3;
      EXPECT_EQ((*image)[at(row, col)], processed ? truncF : before[at(row, col)]) << row << "," << col;
    }
  }
  EXPECT_EQ((*image)[at(100, 50)], truncF);
  EXPECT_EQ((*image)[at(100, 51)], 1234);
}

// Every row code gives the double-precision rule's result, element for element: random frames, a
// flat of small whole numbers (many results land on whole numbers), zeros, and results near 65535.
class FlatCodeTest : public CalibrationTest, public ::testing::WithParamInterface<FlatCode> {
 protected:
  ~FlatCodeTest() override { selectFlatCode(FlatCode::Best); }
};

TEST_P(FlatCodeTest, GivesExactlyTheRuleResult) {
  if (!selectFlatCode(GetParam())) GTEST_SKIP() << "not on this processor";
  auto reference = std::make_unique<Frame>();
  for (unsigned seed = 1; seed <= 4; ++seed) {
    test::fillRandom(*image, seed, 0, seed == 4 ? 65535 : 6000);
    test::fillRandom(*second, seed + 10, seed == 1 ? 0 : 1, seed == 2 ? 8 : 4000);
    if (seed == 3) std::fill_n(&(*second)[at(10, 5)], 500, 1);  // F near 1: results near v
    for (int i = 0; i < kFrameElements; i += 97)
      (*second)[static_cast<std::size_t>(i)] = 0;
    *reference = *image;
    const double f = flatMean(*second);
    for (int i = 2 * kFrameWidth; i < 499 * kFrameWidth; ++i) {
      const std::size_t k = static_cast<std::size_t>(i);
      if (i % kFrameWidth < 3) continue;
      const std::uint16_t v = (*image)[k];
      const std::uint16_t d = (*second)[k];
      const double x = d != 0 ? static_cast<double>(v) / d * f : (v == 0 ? f : v);
      (*reference)[k] = x >= 65535.0 ? 65535 : static_cast<std::uint16_t>(x);
    }
    autoFlatField(*image, *second);
    EXPECT_TRUE(std::equal(image->begin(), image->begin() + kFrameElements, reference->begin())) << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, FlatCodeTest,
                         ::testing::Values(FlatCode::Avx512, FlatCode::Avx2, FlatCode::Plain));

TEST_F(CalibrationTest, InteractiveFlatStartsBelowTheLabelAndCountsTheBarFromTen) {
  test::TestPlatform p;
  test::fillUniform(*second, 50);  // F = 200 from the patch, so a processed 100 becomes 400 outside it
  for (int row = 10; row <= 19; ++row)
    std::fill_n(&(*second)[at(row, 5)], 500, 200);
  for (bool label : {false, true}) {
    p.ui.clearCalls();
    test::fillUniform(*image, 100);
    if (label) test::markLabelled(*image);
    interactiveFlatField(*image, *second, p.ui);
    const int first = label ? 11 : 7;
    EXPECT_EQ((*image)[at(first - 1, 600)], 100);
    EXPECT_EQ((*image)[at(first, 600)], 400);
    EXPECT_EQ((*image)[at(499, 659)], 400);
    EXPECT_EQ((*image)[at(499, 2)], 100);
    const auto opened = p.ui.callsOf("progress-open");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].caption, "FLAT FIELD PROGRESS");
    const auto bar = p.ui.callsOf("progress");
    ASSERT_EQ(bar.size(), static_cast<std::size_t>(500 - first + 1));
    EXPECT_EQ(bar.front().value, 10);
    EXPECT_EQ(bar.back().value, 10 + 500 - first);
  }
}

TEST_F(CalibrationTest, MergeWithItselfSuperimposedAndAveragedReproducesTheImage) {
  test::fillRandom(*image, 3);
  *second = *image;
  const Frame before = *image;
  mergeImages(*second, *image, 0, 0, true);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + kFrameElements, second->begin()));
}

TEST_F(CalibrationTest, MergeAddsTheShiftedPartnerSaturatesAndKeepsElementsWithoutOne) {
  test::fillUniform(*second, 40000);  // base
  test::fillUniform(*image, 30000);   // merge image
  (*image)[at(53, 27)] = 1;
  mergeImages(*second, *image, 7, 3, false);  // partner of (i, j) is (i + 3, j + 7)
  EXPECT_EQ((*second)[at(50, 20)], 40001);
  EXPECT_EQ((*second)[at(100, 100)], 65535);
  EXPECT_EQ((*second)[at(0, 100)], 65535);    // partner row 3
  EXPECT_EQ((*second)[at(497, 100)], 40000);  // partner row 500 is outside
  EXPECT_EQ((*second)[at(100, 652)], 65535);  // partner column 659
  EXPECT_EQ((*second)[at(100, 653)], 40000);  // partner column 660
  // A labelled image keeps its band and its partner rows must lie below row 10.
  test::fillUniform(*second, 100);
  test::markLabelled(*second);
  test::fillUniform(*image, 100);
  mergeImages(*second, *image, 0, -1, true);
  EXPECT_EQ((*second)[at(5, 100)], 100);
  EXPECT_EQ((*second)[at(10, 100)], 100);  // partner row 9
  EXPECT_EQ((*second)[at(11, 100)], 100);  // (100 + 100) >> 1
  EXPECT_EQ((*second)[at(11, 0)], 100);
}

TEST(MergeModelTest, TypedMarksSuperimposeAndCentreFollowTheDialogRules) {
  MergeModel m;
  m.start();
  m.chooseMerge();
  m.mark(110, 195);
  m.setText(MergeModel::Field::MergeX, "112");
  m.setText(MergeModel::Field::MergeY, "x12");  // not a number: kept
  m.setText(MergeModel::Field::BaseY, "500");   // outside the frame: kept
  EXPECT_EQ(m.text(MergeModel::Field::MergeY), "195");
  m.setCentre(true);
  m.setSuperimpose(true);
  EXPECT_FALSE(m.centre());
  m.setAverage(true);
  const auto c = m.merge();
  ASSERT_TRUE(c);
  EXPECT_EQ(c->dx, 0);  // superimposed: no shift
  EXPECT_TRUE(c->average);
  EXPECT_FALSE(m.active() || m.superimpose() || m.average());
}

}  // namespace
}  // namespace qlm
