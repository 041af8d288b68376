#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "image/byte_remap.h"
#include "image/display.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class DisplayRenderTest : public ::testing::Test {
 protected:
  void fill(std::uint16_t v) { std::fill_n(b.CurrentFrame.begin(), kFrameElements, v); }
  void fillRows(int first, int last, std::uint16_t v) {
    std::fill(b.CurrentFrame.begin() + first * kFrameWidth, b.CurrentFrame.begin() + (last + 1) * kFrameWidth,
              v);
  }
  test::TestPlatform platform;
  ImageBuffers& b = imageBuffers();
};

TEST_F(DisplayRenderTest, DisplayByteIsTheHighByte) {
  b.CurrentFrame[0] = 0x12FF;
  b.CurrentFrame[1] = 0x00FF;
  b.CurrentFrame[kFrameElements - 1] = 0xFFFF;
  computeDisplayBytes(b.CurrentFrame, b.DisplayBytes.data(), kFrameElements);
  EXPECT_EQ(b.DisplayBytes[0], 0x12);
  EXPECT_EQ(b.DisplayBytes[1], 0);  // values below 256 show black
  EXPECT_EQ(b.DisplayBytes[kFrameElements - 1], 0xFF);
}

TEST_F(DisplayRenderTest, B1TakesTheLowestMostFrequentBinOfItsWindow) {
  fill(0x0500);
  // Elements 10,240-25,599 only: equal counts of bins 7 and 3, the lower one wins.
  std::fill(b.CurrentFrame.begin() + 10240, b.CurrentFrame.begin() + 17920, 0x07FF);
  std::fill(b.CurrentFrame.begin() + 17920, b.CurrentFrame.begin() + 25600, 0x0300);
  EXPECT_EQ(backgroundLevelB1(b.CurrentFrame, b), 3);
}

TEST_F(DisplayRenderTest, B2WithOneOccupiedBinIsThatBin) {
  fill(0x1234);
  EXPECT_EQ(backgroundLevelB2(b.CurrentFrame, b), 0x12);
}

TEST_F(DisplayRenderTest, B2WithTwoOccupiedBinsCountsTheSecondModeTwice) {
  fill(0x0900);                // bin 9: rows 6-399, the larger share
  fillRows(400, 499, 0x3000);  // bin 48: rows 400-489 inside the window
  EXPECT_EQ(backgroundLevelB2(b.CurrentFrame, b), (9 + 48 + 48) / 3);
}

TEST_F(DisplayRenderTest, B2AveragesTheThreeLargestBinsInsideItsWindow) {
  fill(0xFF00);                // outside rows 6-489 / columns 5-654 nothing counts
  fillRows(6, 199, 0x1000);    // 194 rows: bin 16
  fillRows(200, 349, 0x2000);  // 150 rows: bin 32
  fillRows(350, 489, 0x4000);  // 140 rows: bin 64
  EXPECT_EQ(backgroundLevelB2(b.CurrentFrame, b), (16 + 32 + 64) / 3);
}

TEST_F(DisplayRenderTest, B2FindsTheModesOfADarkSkyThatOverfillsASixteenBitBin) {
  // The 314,600 counted elements in order: 265,600 in bin 3 (more than a 16-bit counter holds), then
  // 30,000 in bin 4, 10,000 in bin 5 and 9,000 in bin 200.
  int n = 0;
  for (int y = 6; y <= 489; ++y) {
    for (int x = 5; x <= 654; ++x, ++n) {
      const std::uint16_t v = n < 265600 ? 0x0300 : n < 295600 ? 0x0400 : n < 305600 ? 0x0500 : 0xC800;
      b.CurrentFrame[static_cast<std::size_t>(y) * kFrameWidth + static_cast<std::size_t>(x)] = v;
    }
  }
  ASSERT_EQ(n, 314600);
  EXPECT_EQ(backgroundLevelB2(b.CurrentFrame, b), (3 + 4 + 5) / 3);
  EXPECT_EQ(b.HistogramCounters[3], 65535);  // the 16-bit counters saturate instead of wrapping
  EXPECT_EQ(b.HistogramCounters[200], 9000);
}

TEST_F(DisplayRenderTest, AutoContrastTableIsBlackUpToTheBackgroundThenAGammaCurve) {
  const auto t = autoContrastTable(10);
  for (int i = 0; i <= 10; ++i)
    EXPECT_EQ(t[static_cast<std::size_t>(i)], 0) << i;
  // trunc((i - b)^0.3 x 255^0.7) with single-precision exponents.
  EXPECT_EQ(t[11], 48);
  EXPECT_EQ(t[12], 59);
  EXPECT_EQ(t[42], 136);
  EXPECT_EQ(t[110], 192);
  EXPECT_EQ(t[210], 237);
  const auto full = autoContrastTable(0);
  EXPECT_EQ(full[254], 254);
  EXPECT_EQ(full[255], 255);  // i - b = 255 reaches white exactly
}

TEST_F(DisplayRenderTest, AutoContrastTableIsOneCurveShiftedToEachLevel) {
  // Levels below 0 reach steps past 255, which saturate at white.
  for (const int level : {-40, -1, 0, 1, 77, 254, 255, 256}) {
    const auto t = autoContrastTable(level);
    for (int i = 0; i < 256; ++i) {
      const double factor = 1.0 / std::pow(255.0, static_cast<double>(-0.7f));
      const double v = std::pow(i - level, static_cast<double>(0.3f)) * factor;
      const int expected = i <= level ? 0 : std::min(255, static_cast<int>(v + 1e-9));
      ASSERT_EQ(t[static_cast<std::size_t>(i)], expected) << "level " << level << " entry " << i;
    }
  }
}

TEST_F(DisplayRenderTest, MaxPaletteTableFollowsThePowerCurve) {
  const auto t = maxPaletteTable(25.0);
  EXPECT_EQ(t[0], 0);
  // 25 x 255 x e / (24 e + 1) with e = i / 255
  EXPECT_EQ(t[1], 22);
  EXPECT_EQ(t[10], 128);
  EXPECT_EQ(t[254], 254);
  const auto linear = maxPaletteTable(1.0);
  for (int i = 0; i < 255; ++i)
    EXPECT_EQ(linear[static_cast<std::size_t>(i)], i);
}

TEST_F(DisplayRenderTest, MaxPaletteStretchShiftsByTheSmallestNonZeroByte) {
  std::vector<std::uint8_t> bytes = {0, 40, 30, 100, 252, 253, 254, 255};
  const auto t = maxPaletteTable(10.0);
  EXPECT_EQ(maxPaletteStretch(bytes.data(), static_cast<int>(bytes.size()), 10.0), 30);
  EXPECT_EQ(bytes[0], t[0]);
  EXPECT_EQ(bytes[1], t[10]);
  EXPECT_EQ(bytes[2], t[0]);
  EXPECT_EQ(bytes[3], t[70]);
  EXPECT_EQ(bytes[4], t[222]);
  EXPECT_EQ(bytes[5], 253);  // the three brightest values are left alone
  EXPECT_EQ(bytes[6], 254);
  EXPECT_EQ(bytes[7], 255);
}

TEST_F(DisplayRenderTest, MaxPaletteStretchOfAnAllZeroPictureKeepsMinimum255) {
  std::vector<std::uint8_t> bytes(1000, 0);
  bytes[3] = 255;  // 255 is never a minimum
  EXPECT_EQ(maxPaletteStretch(bytes.data(), static_cast<int>(bytes.size()), 25.0), 255);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), 999);  // every 0 went through entry 0
  EXPECT_EQ(bytes[3], 255);
}

// Random display bytes (an odd count, so the last byte stands alone) with and without zeros, with and
// without bytes in 1-254, against the byte-by-byte rule.
class MaxPaletteNoiseTest : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(MaxPaletteNoiseTest, MatchesTheByteByByteRule) {
  const auto [lowest, power] = GetParam();
  std::mt19937 gen(static_cast<unsigned>(lowest * 100 + power));
  std::uniform_int_distribution<int> byte(lowest, 255);
  std::vector<std::uint8_t> bytes(100001);
  for (auto& v : bytes)
    v = static_cast<std::uint8_t>(byte(gen));
  bytes[17] = 0;
  int min = 255;
  for (const std::uint8_t v : bytes)
    if (v != 0 && v < min) min = v;
  const auto table = maxPaletteTable(power);
  std::vector<std::uint8_t> expected = bytes;
  for (auto& v : expected)
    if (v < 253) v = static_cast<std::uint8_t>(table[static_cast<std::size_t>(std::max(0, v - min))] & 0xFF);
  EXPECT_EQ(maxPaletteStretch(bytes.data(), static_cast<int>(bytes.size()), power), min);
  EXPECT_EQ(bytes, expected);
}

INSTANTIATE_TEST_SUITE_P(LowestByteAndPower, MaxPaletteNoiseTest,
                         ::testing::Combine(::testing::Values(0, 1, 37, 253), ::testing::Values(2, 25, 50)));

// Every remapping code the processor has gives the bytes of the plain loop, in place and bottom row
// first, on picture widths that are and are not whole vectors, over narrow and full byte ranges.
class RemapCodeTest : public ::testing::TestWithParam<RemapCode> {
 protected:
  void TearDown() override { selectRemapCode(RemapCode::Best); }
};

TEST_P(RemapCodeTest, MatchesThePlainLoop) {
  if (!selectRemapCode(GetParam())) GTEST_SKIP() << "not on this processor";
  std::mt19937 gen(11);
  std::uniform_int_distribution<int> byte(0, 255);
  for (const auto& [width, height, lowest, highest] :
       {std::tuple{660, 500, 0, 255}, std::tuple{128, 128, 40, 90}, std::tuple{20, 7, 250, 255},
        std::tuple{97, 3, 0, 15}}) {
    std::array<std::uint8_t, 256> table{};
    for (auto& t : table)
      t = static_cast<std::uint8_t>(byte(gen));
    std::vector<std::uint8_t> in(static_cast<std::size_t>(width * height));
    for (auto& v : in)
      v = static_cast<std::uint8_t>(lowest + byte(gen) % (highest - lowest + 1));
    std::vector<std::uint8_t> expected(in.size());
    std::vector<std::uint8_t> expected_rows(in.size());
    for (int r = 0; r < height; ++r) {
      for (int c = 0; c < width; ++c) {
        const std::uint8_t m = table[in[static_cast<std::size_t>(r * width + c)]];
        expected[static_cast<std::size_t>(r * width + c)] = m;
        expected_rows[static_cast<std::size_t>((height - 1 - r) * width + c)] = m;
      }
    }
    std::vector<std::uint8_t> rows(in.size());
    remapRows(table, static_cast<std::uint8_t>(lowest), static_cast<std::uint8_t>(highest), in.data(),
              in.data(), rows.data(), width, height);
    EXPECT_EQ(in, expected) << width;
    EXPECT_EQ(rows, expected_rows) << width;
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, RemapCodeTest,
                         ::testing::Values(RemapCode::Vbmi, RemapCode::Avx2, RemapCode::Plain));

TEST_F(DisplayRenderTest, GreyPaletteUnlessAStretchAsksForTheTable) {
  FrameState f;
  const auto table = autoContrastTable(20);
  for (int i : {0, 1, 128, 255}) {
    const BitmapColour c = displayPalette(f, table)[static_cast<std::size_t>(i)];
    EXPECT_EQ(c, (BitmapColour{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                               static_cast<std::uint8_t>(i), 0}));
  }
  for (bool auto_contrast : {true, false}) {
    f.auto_contrast = auto_contrast;
    f.max_palette_stretch = !auto_contrast;
    const auto p = displayPalette(f, table);
    for (int i = 0; i <= 20; ++i)
      EXPECT_EQ(p[static_cast<std::size_t>(i)].red, 0) << "at or below the background shows black";
    EXPECT_EQ(p[100].green, table[100]);
  }
}

TEST_F(DisplayRenderTest, FalseColourPaletteKeepsTheBrightestFifteenGrey) {
  FrameState f;
  f.false_colour = true;
  const auto p = displayPalette(f, autoContrastTable(0));
  for (int i = 241; i <= 255; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    EXPECT_EQ(p[static_cast<std::size_t>(i)], (BitmapColour{v, v, v, 0})) << i;
  }
  // red = d, green = d^2 / 256, blue = (255 - d) - (255 - d)^2 / 256
  EXPECT_EQ(p[100], (BitmapColour{62, 39, 100, 0}));
  EXPECT_EQ(p[240], (BitmapColour{15, 225, 240, 0}));
  EXPECT_EQ(p[0], (BitmapColour{1, 0, 0, 0}));
}

TEST_F(DisplayRenderTest, FalseColourWithAutoContrastColoursTheTableValue) {
  FrameState f;
  f.false_colour = true;
  f.auto_contrast = true;
  const auto table = autoContrastTable(50);
  const auto p = displayPalette(f, table);
  EXPECT_EQ(p[40], (BitmapColour{1, 0, 0, 0}));  // below the background: d = 0
  const int d = table[150];
  EXPECT_EQ(p[150].red, d);
  EXPECT_EQ(p[150].green, (d * d) >> 8);
}

TEST_F(DisplayRenderTest, FocusExposureDoublesWhenFaintAndHalvesWhenSaturated) {
  EXPECT_EQ(autochangeExposure(100, 31999), 200);
  EXPECT_EQ(autochangeExposure(100, 32000), 100);
  EXPECT_EQ(autochangeExposure(100, 64000), 100);
  EXPECT_EQ(autochangeExposure(101, 64001), 50);
}

TEST_F(DisplayRenderTest, ExposureIsShownInItsLargestFittingUnit) {
  struct Case {
    int t;
    int value;
    ExposureUnit unit;
  };
  for (const Case& c : {Case{10, 10, ExposureUnit::Thousandths}, Case{11, 1, ExposureUnit::Hundredths},
                        Case{100, 10, ExposureUnit::Hundredths}, Case{101, 1, ExposureUnit::Tenths},
                        Case{1000, 10, ExposureUnit::Tenths}, Case{1001, 1, ExposureUnit::Seconds},
                        Case{120000, 120, ExposureUnit::Seconds}, Case{120001, 2, ExposureUnit::Minutes}}) {
    const ShownExposure s = exposureInUnits(c.t);
    EXPECT_EQ(s.value, c.value) << c.t;
    EXPECT_EQ(s.unit, c.unit) << c.t;
  }
}

TEST_F(DisplayRenderTest, GuiderBytesDropTheBlackLevelAndKeepTheBrightest) {
  GuiderFrame& g = b.GuiderFrames[1];
  g.fill(0);
  g[0] = 0x0A00;  // h = 10
  g[1] = 0x1500;  // h = 21
  g[2] = 0xFD00;  // h = 253
  g[3] = 0x0B00;  // h = 11
  GuiderDisplaySettings s;
  s.min_display = 12;  // k = 11
  s.max_display = 5;   // below k: becomes 255
  std::vector<std::uint8_t> out(kGuiderElements);
  EXPECT_EQ(guiderDisplayBytes(g, s, out.data()), 11);
  EXPECT_EQ(s.max_display, 255);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 10);
  EXPECT_EQ(out[2], 253);
  EXPECT_EQ(out[3], 0);
  s.min_display = 400;  // k held at 254
  EXPECT_EQ(guiderDisplayBytes(g, s, out.data()), 254);
}

TEST_F(DisplayRenderTest, GuiderPaletteIsStretchedOnlyWhenAsked) {
  GuiderDisplaySettings s;  // stretch on, P = 30
  const auto stretched = guiderPalette(s);
  EXPECT_EQ(stretched[0].red, 0);
  EXPECT_EQ(stretched[1].red, 26);  // trunc(30 x 255 e / (29 e + 1)), e = 1/255
  EXPECT_EQ(stretched[255].red, 255);
  s.apply_stretch = false;
  EXPECT_EQ(guiderPalette(s)[1].red, 1);
}

}  // namespace
}  // namespace qlm
