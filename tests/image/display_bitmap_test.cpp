#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "image/display.h"
#include "platform/atomic_file.h"
#include "support/test_home.h"

namespace qlm {
namespace {

std::vector<std::uint8_t> readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t le32(const std::vector<std::uint8_t>& f, std::size_t at) {
  return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<std::uint32_t>(f[at + 3]) << 24;
}
std::uint16_t le16(const std::vector<std::uint8_t>& f, std::size_t at) {
  return static_cast<std::uint16_t>(f[at] | f[at + 1] << 8);
}

class DisplayBitmapTest : public ::testing::Test {
 protected:
  ~DisplayBitmapTest() override { AtomicFile::setFailAfterBytesForTesting(-1); }
  std::vector<std::uint8_t> displayFile() const { return readAll(platform.paths().displayBitmap()); }
  // The window's bitmap is the one the file at `path` holds, byte for byte.
  static void expectWindowShowsTheFile(const std::filesystem::path& path) {
    const auto read = readBitmapFile(path);
    ASSERT_TRUE(read && windowBitmap());
    EXPECT_EQ(windowBitmap()->file, read->file);
    EXPECT_EQ(windowBitmap()->pixels, read->pixels);
    EXPECT_EQ(windowBitmap()->palette, read->palette);
    EXPECT_EQ(windowBitmap()->width, read->width);
    EXPECT_EQ(windowBitmap()->height, read->height);
  }
  test::TestPlatform platform;
  ImageBuffers& b = imageBuffers();
  FrameState& f = frameState();
  DisplayState& d = displayState();
};

// Header fields of the three bitmaps the program writes.
struct HeaderCase {
  const char* name;
  int width;
  int height;
  std::uint32_t file_size;
};

class BitmapHeaderTest : public DisplayBitmapTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(BitmapHeaderTest, HeaderFieldsAreTheFixedOnes) {
  const HeaderCase& c = GetParam();
  BitmapPalette palette{};
  palette[7] = BitmapColour{1, 2, 3, 0};
  const auto h = bitmapHeader(c.width, c.height, palette);
  const std::vector<std::uint8_t> v(h.begin(), h.end());
  EXPECT_EQ(v[0], 0x42);
  EXPECT_EQ(v[1], 0x4D);
  EXPECT_EQ(le32(v, 2), c.file_size);
  EXPECT_EQ(le32(v, 6), 0u);
  EXPECT_EQ(le32(v, 10), 1078u);
  EXPECT_EQ(le32(v, 14), 40u);
  EXPECT_EQ(le32(v, 18), static_cast<std::uint32_t>(c.width));
  EXPECT_EQ(le32(v, 22), static_cast<std::uint32_t>(c.height));
  EXPECT_EQ(le16(v, 26), 1);
  EXPECT_EQ(le16(v, 28), 8);
  EXPECT_TRUE(std::all_of(v.begin() + 30, v.begin() + 54, [](std::uint8_t x) { return x == 0; }));
  // Colour table: blue, green, red, 0.
  EXPECT_EQ(v[54 + 4 * 7], 1);
  EXPECT_EQ(v[55 + 4 * 7], 2);
  EXPECT_EQ(v[56 + 4 * 7], 3);
  EXPECT_EQ(v[57 + 4 * 7], 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BitmapHeaderTest,
                         ::testing::Values(HeaderCase{"FullFrame", 660, 500, 331078},
                                           HeaderCase{"FocusWindow", 128, 128, 17462},
                                           HeaderCase{"Guider", 500, 290, 146078}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayBitmapTest, RefreshWritesGreyPaletteAndRowsBottomFirst) {
  for (int y = 0; y < kFrameHeight; ++y) {
    for (int x = 0; x < kFrameWidth; ++x)
      b.CurrentFrame[static_cast<std::size_t>(y * kFrameWidth + x)] =
          static_cast<std::uint16_t>(((x + y) & 0xFF) << 8);
  }
  refreshDisplay();
  const auto file = displayFile();
  ASSERT_EQ(file.size(), 331078u);
  for (int i : {0, 1, 200, 255}) {
    EXPECT_EQ(file[54 + 4 * i], i);
    EXPECT_EQ(file[55 + 4 * i], i);
    EXPECT_EQ(file[56 + 4 * i], i);
    EXPECT_EQ(file[57 + 4 * i], 0);
  }
  for (int y : {0, 1, 250, 499}) {
    for (int x : {0, 17, 659}) {
      EXPECT_EQ(file[1078 + static_cast<std::size_t>((499 - y) * 660 + x)], (x + y) & 0xFF) << x << "," << y;
    }
  }
  EXPECT_EQ(platform.ui.title(), "QLM_T4_USB - (Untitled)");
  EXPECT_EQ(platform.ui.callsOf("repaint").size(), 1u);
  ASSERT_TRUE(windowBitmap().has_value());
  EXPECT_EQ(windowBitmap()->at(17, 250), (17 + 250) & 0xFF);
  expectWindowShowsTheFile(platform.paths().displayBitmap());
}

TEST_F(DisplayBitmapTest, StartUpRampRendersAsAVerticalGradient) {
  refreshDisplay();
  ASSERT_TRUE(windowBitmap());
  EXPECT_EQ(windowBitmap()->width, 660);
  EXPECT_EQ(windowBitmap()->at(300, 0), 0);
  EXPECT_EQ(windowBitmap()->at(300, 499), (499 * 62) >> 8);
  EXPECT_EQ(f.bitmap_width, 660);
  EXPECT_EQ(f.bitmap_height, 500);
}

TEST_F(DisplayBitmapTest, AutoContrastTakesB1AndBlacksOutTheBackground) {
  std::fill_n(b.CurrentFrame.begin(), kFrameElements, 0x2000);  // background 32
  b.CurrentFrame[100000] = 0x9000;
  f.auto_contrast = true;
  d.background_level = 200;  // replaced by B1 of this refresh
  refreshDisplay();
  EXPECT_EQ(d.background_level, 32);
  const auto file = displayFile();
  for (int i : {0, 31, 32})
    EXPECT_EQ(file[56 + 4 * i], 0) << i;
  EXPECT_EQ(file[56 + 4 * 0x90], autoContrastTable(32)[0x90]);
}

TEST_F(DisplayBitmapTest, MaxPaletteStretchRemapsTheBytesAndUsesTheTablePalette) {
  std::fill_n(b.CurrentFrame.begin(), kFrameElements, 0x0A00);  // every byte 10: min 10
  b.CurrentFrame[0] = 0x1400;                                   // byte 20
  b.CurrentFrame[1] = 0xFE00;                                   // byte 254 stays
  f.max_palette_stretch = true;
  d.stretch_display_power = 25;
  d.background_level = -5;  // a negative level is clamped to 0
  refreshDisplay();
  EXPECT_EQ(d.background_level, 0);
  const auto table = maxPaletteTable(25);
  EXPECT_EQ(windowBitmap()->at(0, 0), table[10]);
  EXPECT_EQ(windowBitmap()->at(1, 0), 254);
  EXPECT_EQ(windowBitmap()->at(5, 5), table[0]);
  EXPECT_EQ(windowBitmap()->palette[100].red, autoContrastTable(0)[100]);
  // The frame itself is unchanged.
  EXPECT_EQ(b.CurrentFrame[0], 0x1400);
}

TEST_F(DisplayBitmapTest, FocusModeWritesTheSmallBitmapWithTheFocusPower) {
  for (int i = 0; i < 128 * 128; ++i)
    b.CurrentFrame[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>((i % 128 + 1) << 8);
  f.focus_mode = true;
  d.focus_stretch_power = 14;
  int hook_calls = 0;
  displayHooks().after_focus_stretch = [&] { ++hook_calls; };
  refreshDisplay();
  displayHooks().after_focus_stretch = nullptr;
  EXPECT_EQ(hook_calls, 1);
  const auto file = readAll(platform.paths().focusBitmap());
  ASSERT_EQ(file.size(), 17462u);
  ASSERT_TRUE(windowBitmap());
  EXPECT_EQ(windowBitmap()->width, 128);
  EXPECT_EQ(f.bitmap_width, 128);
  EXPECT_EQ(f.bitmap_height, 128);
  const auto table = maxPaletteTable(14);
  // Column c holds byte c + 1; the minimum is 1, so column c maps through entry c.
  EXPECT_EQ(windowBitmap()->at(0, 0), table[0]);
  EXPECT_EQ(windowBitmap()->at(100, 127), table[100]);
  EXPECT_EQ(file[1078 + 127 * 128 + 100], table[100]);  // top row last in the file
}

// Max palette refreshes of noise against the byte-by-byte rule: every pixel of the file and of the
// window, and the display bytes left behind. With the guide window shown outside focus mode the
// stretch covers all 330,000 display bytes, also those the small bitmap does not show.
struct MaxPaletteCase {
  const char* name;
  bool focus;
  bool guide_window;
  int lowest;
  int highest;
};

class MaxPaletteRefreshTest : public DisplayBitmapTest,
                              public ::testing::WithParamInterface<MaxPaletteCase> {};

TEST_P(MaxPaletteRefreshTest, FileAndWindowHoldTheRemappedBytesBottomRowFirst) {
  const MaxPaletteCase& c = GetParam();
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> byte(c.lowest, c.highest);
  for (int i = 0; i < kFrameElements; ++i)
    b.CurrentFrame[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(byte(gen) << 8 | (i & 0xFF));
  b.DisplayBytes[20000] = 3;  // left from an earlier refresh: only a full-frame count sees it
  f.focus_mode = c.focus;
  f.max_palette_stretch = true;
  d.guide_window_shown = c.guide_window;
  const bool small = c.focus || c.guide_window;
  const int side = small ? 128 : 0;
  const int width = small ? side : kFrameWidth;
  const int height = small ? side : kFrameHeight;
  std::vector<std::uint8_t> bytes(b.DisplayBytes.begin(), b.DisplayBytes.end());
  for (int i = 0; i < width * height; ++i)
    bytes[static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(b.CurrentFrame[static_cast<std::size_t>(i)] >> 8);
  const int count = c.focus ? 128 * 128 : kFrameElements;
  int min = 255;
  for (int i = 0; i < count; ++i)
    if (bytes[static_cast<std::size_t>(i)] != 0) min = std::min<int>(min, bytes[static_cast<std::size_t>(i)]);
  const auto table = maxPaletteTable(c.focus ? d.focus_stretch_power : d.stretch_display_power);
  for (int i = 0; i < count; ++i) {
    auto& v = bytes[static_cast<std::size_t>(i)];
    if (v < 253) v = static_cast<std::uint8_t>(table[static_cast<std::size_t>(std::max(0, v - min))] & 0xFF);
  }
  refreshDisplay();
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + count, b.DisplayBytes.begin()));
  const auto path = small ? platform.paths().focusBitmap() : platform.paths().displayBitmap();
  expectWindowShowsTheFile(path);
  const auto file = readAll(path);
  ASSERT_EQ(file.size(), 1078u + static_cast<std::size_t>(width * height));
  ASSERT_TRUE(windowBitmap());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const auto expected = bytes[static_cast<std::size_t>(y * width + x)];
      ASSERT_EQ(file[1078 + static_cast<std::size_t>((height - 1 - y) * width + x)], expected)
          << x << "," << y;
      ASSERT_EQ(windowBitmap()->at(x, y), expected) << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Pictures, MaxPaletteRefreshTest,
                         ::testing::Values(MaxPaletteCase{"FullRange", false, false, 0, 255},
                                           MaxPaletteCase{"NarrowRangeNoZeros", false, false, 30, 90},
                                           MaxPaletteCase{"Focus", true, false, 1, 255},
                                           MaxPaletteCase{"GuideWindow", false, true, 40, 200}),
                         [](const auto& info) { return std::string(info.param.name); });

// Each stage of the writer that fails gives its own code and message; the window then shows what the
// file held before.
struct FailureCase {
  const char* name;
  long long fail_after;
  int code;
  const char* message;
};

class BitmapFailureTest : public DisplayBitmapTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(BitmapFailureTest, ReportsTheStageAndKeepsTheOldPicture) {
  const FailureCase& c = GetParam();
  refreshDisplay();  // the start-up ramp reaches the file
  std::fill_n(b.CurrentFrame.begin(), kFrameElements, 0xFFFF);
  AtomicFile::setFailAfterBytesForTesting(c.fail_after);
  refreshDisplay();
  refreshDisplay();  // a disk that stays full is reported once, not at every refresh
  AtomicFile::setFailAfterBytesForTesting(-1);
  EXPECT_EQ(d.last_write_result, c.code);
  EXPECT_EQ(platform.ui.messageTexts(), std::vector<std::string>{std::string(c.message) + ": " +
                                                                 platform.paths().displayBitmap().string() +
                                                                 ": No space left on device"});
  ASSERT_TRUE(windowBitmap());
  EXPECT_EQ(windowBitmap()->at(0, 0), 0) << "still the ramp";
  EXPECT_EQ(displayFile().size(), 331078u);
}

INSTANTIATE_TEST_SUITE_P(
    Stages, BitmapFailureTest,
    ::testing::Values(FailureCase{"Header", 500, 2, "Unable to create temp bitmap file header"},
                      FailureCase{"Pixels", 1078 + 20625 * 3, 3, "Unable to create temp bitmap file"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayBitmapTest, UncreatableFileIsMessage8AndAMissingFileMessage32) {
  // A data folder that is not there: the temporary file cannot be created.
  ScopedPlatform missing(
      Platform{&platform.clock, &platform.ui, &platform.no_camera, Paths(platform.paths().root() / "gone")});
  refreshDisplay();
  EXPECT_EQ(d.last_write_result, 1);
  EXPECT_EQ(platform.ui.messageTexts(),
            (std::vector<std::string>{
                "Failed to create temp bitmap: " + (platform.paths().root() / "gone" / "qlmt4.bmp").string() +
                    ": No such file or directory",
                "Cannot open bitmap file"}));
  EXPECT_FALSE(windowBitmap().has_value());
}

TEST_F(DisplayBitmapTest, ReaderRejectsFilesOfOtherKinds) {
  const auto path = platform.paths().root() / "odd.bmp";
  std::ofstream(path, std::ios::binary) << "BM too short";
  EXPECT_FALSE(readBitmapFile(path));
  EXPECT_FALSE(readBitmapFile(platform.paths().root() / "missing.bmp"));
  EXPECT_FALSE(readBitmapFile(platform.paths().root()));  // a folder
  std::vector<std::uint8_t> pixels(4 * 4, 9), scratch(16);
  ASSERT_EQ(writeBitmapFile(path, pixels.data(), 4, 4, BitmapPalette{}, scratch.data(), 1), 0);
  auto bytes = readAll(path);
  bytes[28] = 24;  // 24 bits per pixel
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  EXPECT_FALSE(readBitmapFile(path));
}

// A rewrite takes the old file's place whole: a reader that has the old file open keeps reading the old
// bytes, no temporary file stays behind, and a folder in the file's place is never swapped away.
TEST_F(DisplayBitmapTest, RewriteReplacesTheOldFileWholeAndLeavesNothingBehind) {
  const auto folder = platform.paths().root() / "scratch";
  std::filesystem::create_directories(folder);
  const auto path = folder / "picture.bmp";
  std::vector<std::uint8_t> pixels(8 * 4, 5), scratch(pixels.size());
  ASSERT_EQ(writeBitmapFile(path, pixels.data(), 8, 4, BitmapPalette{}, scratch.data(), 2), kBitmapOk);
  std::ifstream old_reader(path, std::ios::binary);
  std::fill(pixels.begin(), pixels.end(), 6);
  ASSERT_EQ(writeBitmapFile(path, pixels.data(), 8, 4, BitmapPalette{}, scratch.data(), 2), kBitmapOk);
  EXPECT_EQ(readAll(path)[kBitmapHeaderBytes], 6);
  const std::vector<std::uint8_t> old{std::istreambuf_iterator<char>(old_reader), {}};
  ASSERT_EQ(old.size(), kBitmapHeaderBytes + pixels.size());
  EXPECT_EQ(old[kBitmapHeaderBytes], 5);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

  const auto taken = folder / "taken.bmp";
  std::filesystem::create_directories(taken / "inside");
  EXPECT_EQ(writeBitmapFile(taken, pixels.data(), 8, 4, BitmapPalette{}, scratch.data(), 2),
            kBitmapPixelsFailed);
  EXPECT_TRUE(std::filesystem::exists(taken / "inside"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
}

TEST_F(DisplayBitmapTest, GuiderBitmapHasItsSizeAndRowsBottomFirst) {
  GuiderFrame& g = b.GuiderFrames[0];  // start-up ramp: row r holds r x 200
  GuiderDisplaySettings s;
  s.apply_stretch = false;
  const auto path = platform.paths().guiderBitmap();
  ASSERT_EQ(writeGuiderBitmap(path, g, s, b), 0);
  const auto file = readAll(path);
  ASSERT_EQ(file.size(), 146078u);
  EXPECT_EQ(le32(file, 18), 500u);
  EXPECT_EQ(le32(file, 22), 290u);
  EXPECT_EQ(file[1078], (289 * 200) >> 8);     // bottom row first
  EXPECT_EQ(file[1078 + 289 * 500 + 499], 0);  // top row last
  EXPECT_EQ(file[56 + 4 * 9], 9);              // grey palette without the stretch
}

}  // namespace
}  // namespace qlm
