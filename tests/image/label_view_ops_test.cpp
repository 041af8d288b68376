#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "image/label.h"
#include "image/view_ops.h"
#include "support/test_home.h"

namespace qlm {
namespace {

std::uint16_t at(const Frame& f, int x, int y) {
  return f[static_cast<std::size_t>(y) * kFrameWidth + static_cast<std::size_t>(x)];
}

class LabelViewOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 rng(42);
    for (int i = 0; i < kFrameElements; ++i)
      b.CurrentFrame[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(rng());
    b.CurrentFrame[4] = 1;  // not labelled
  }
  test::TestPlatform platform;
  ImageBuffers& b = imageBuffers();
};

TEST(LabelLine, ThirtyCharactersWithAutoDateGetFiveLeadingSpaces) {
  const std::string text(30, 'x');
  std::tm utc{};
  utc.tm_hour = 21;
  utc.tm_min = 5;
  utc.tm_sec = 9;
  utc.tm_mday = 3;
  utc.tm_mon = 10;  // November
  utc.tm_year = 2026 - 1900;
  EXPECT_EQ(labelLine(text, &utc), "     " + text + "  21:05:09 UT 03-11-2026 ");
}

TEST(LabelLine, EmptyTextWithoutAutoDateGetsThirtyTwoSpaces) {
  EXPECT_EQ(labelLine("", nullptr), std::string(32, ' '));
}

TEST(LabelLine, TakesAtMostThirtyCharacters) {
  const std::string line = labelLine(std::string(40, 'y'), nullptr);
  EXPECT_EQ(line, std::string(17, ' ') + std::string(30, 'y'));
}

TEST(Glyphs, EveryListedCharacterHasAGlyphAndOthersNone) {
  const std::string listed = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/ -:";
  for (char c : listed)
    EXPECT_TRUE(glyphFor(c).has_value()) << c;
  for (char c : std::string(".,!?_+#*"))
    EXPECT_FALSE(glyphFor(c).has_value()) << c;
  const auto a = glyphFor('A');
  EXPECT_EQ(*a, (std::array<std::uint8_t, 10>{0x00, 0x3c, 0x66, 0x66, 0x7e, 0x66, 0x66, 0x66, 0x66, 0x00}));
  const auto q = glyphFor('q');
  EXPECT_EQ((*q)[9], 0x07);  // descenders reach row 9
}

TEST_F(LabelViewOpsTest, LabelDrawsGlyphBitsMostSignificantLeftAndSetsTheMarker) {
  drawLabel(b.CurrentFrame, "A:");
  // 'A' row 1 is 0x3c = 00111100 in columns 0-7.
  for (int x = 0; x < 8; ++x)
    EXPECT_EQ(at(b.CurrentFrame, x, 1), (x >= 2 && x <= 5) ? 65535 : 0) << x;
  // 'A' row 4 is 0x7e; ':' row 3 is 0x38 in columns 8-15.
  EXPECT_EQ(at(b.CurrentFrame, 1, 4), 65535);
  EXPECT_EQ(at(b.CurrentFrame, 7, 4), 0);
  EXPECT_EQ(at(b.CurrentFrame, 10, 3), 65535);
  EXPECT_EQ(at(b.CurrentFrame, 13, 3), 0);
  // The rest of the band is cleared, and the marker is in elements 0-5.
  EXPECT_EQ(at(b.CurrentFrame, 300, 5), 0);
  EXPECT_EQ(at(b.CurrentFrame, 659, 9), 0);
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(b.CurrentFrame[static_cast<std::size_t>(i)], 17);
  EXPECT_TRUE(labelled(b.CurrentFrame.data()));
  EXPECT_NE(at(b.CurrentFrame, 300, 10), 0) << "row 10 belongs to the image";
}

TEST_F(LabelViewOpsTest, CharacterWithoutAGlyphLeavesItsCellBlack) {
  drawLabel(b.CurrentFrame, "?H");
  // Row 0 is skipped: it carries the marker.
  int lit_first = 0;
  int lit_second = 0;
  for (int y = 1; y < 10; ++y) {
    for (int x = 0; x < 8; ++x)
      lit_first += at(b.CurrentFrame, x, y) != 0;
    for (int x = 8; x < 16; ++x)
      lit_second += at(b.CurrentFrame, x, y) != 0;
  }
  EXPECT_EQ(lit_first, 0);
  EXPECT_GT(lit_second, 0);
}

// Mirror and flip: twice restores the frame; a label band stays where it is.
struct ViewOpCase {
  const char* name;
  void (*op)(Frame&, Frame&);
};

class ViewOpTest : public LabelViewOpsTest, public ::testing::WithParamInterface<ViewOpCase> {};

TEST_P(ViewOpTest, TwiceRestoresTheFrame) {
  const Frame before = b.CurrentFrame;
  GetParam().op(b.CurrentFrame, b.SecondFrame);
  EXPECT_NE(b.CurrentFrame, before);
  GetParam().op(b.CurrentFrame, b.SecondFrame);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + kFrameElements, b.CurrentFrame.begin()));
}

TEST_P(ViewOpTest, LeavesALabelBandUntouched) {
  drawLabel(b.CurrentFrame, "M42 Orion");
  const Frame before = b.CurrentFrame;
  GetParam().op(b.CurrentFrame, b.SecondFrame);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + kLabelElements, b.CurrentFrame.begin()));
  GetParam().op(b.CurrentFrame, b.SecondFrame);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + kFrameElements, b.CurrentFrame.begin()));
}

INSTANTIATE_TEST_SUITE_P(Ops, ViewOpTest,
                         ::testing::Values(ViewOpCase{"Mirror", mirrorImage}, ViewOpCase{"Flip", flipImage}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LabelViewOpsTest, MirrorSwapsColumnsAndFlipSwapsRowsBelowTheLabel) {
  const Frame before = b.CurrentFrame;
  mirrorImage(b.CurrentFrame, b.SecondFrame);
  EXPECT_EQ(at(b.CurrentFrame, 0, 0), at(before, 659, 0));
  EXPECT_EQ(at(b.CurrentFrame, 100, 321), at(before, 559, 321));
  b.CurrentFrame = before;
  flipImage(b.CurrentFrame, b.SecondFrame);
  EXPECT_EQ(at(b.CurrentFrame, 7, 0), at(before, 7, 499));
  EXPECT_EQ(at(b.CurrentFrame, 7, 123), at(before, 7, 376));
  // Labelled: rows 10-499 swap among themselves.
  drawLabel(b.CurrentFrame, "x");
  const Frame labelled_frame = b.CurrentFrame;
  flipImage(b.CurrentFrame, b.SecondFrame);
  EXPECT_EQ(at(b.CurrentFrame, 7, 10), at(labelled_frame, 7, 499));
  EXPECT_EQ(at(b.CurrentFrame, 7, 499), at(labelled_frame, 7, 10));
}

}  // namespace
}  // namespace qlm
