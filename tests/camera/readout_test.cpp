#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "camera/fake_transport.h"
#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using test::Bytes;
using test::bytesOf;
using test::pixelBytes;

std::size_t at(int row, int col) {
  return static_cast<std::size_t>(row) * kFrameWidth + static_cast<std::size_t>(col);
}

class ReadoutTest : public ::testing::Test {
 protected:
  test::ScriptedTransport usb;
  test::TestPlatform platform{&usb};
  ImageBuffers& b = imageBuffers();
  Frame& frame = b.CurrentFrame;
  ReadoutState& state = readoutState();

  // A header of `n` bytes of write i.
  Bytes header(std::size_t i, std::size_t n = 8) const {
    return Bytes(usb.writes[i].begin(), usb.writes[i].begin() + static_cast<long>(n));
  }
};

// --- full and binned frames -----------------------------------------------------------------------

TEST_F(ReadoutTest, FullFrameLandsBelowSixZeroRows) {
  std::vector<std::uint16_t> sensor(kFullFrameBytes / 2);
  for (std::size_t i = 0; i < sensor.size(); ++i)
    sensor[i] = static_cast<std::uint16_t>(i * 7);
  sensor[0] = 1000;
  usb.answer(pixelBytes(sensor));
  ReadFullFrame(frame, 200);

  EXPECT_EQ(usb.reads, std::vector<std::size_t>{kFullFrameBytes});
  EXPECT_EQ(usb.writes[0], bytesOf({0x40, 0x02, 0x03, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x00,
                                    0x00, 0x94, 0x02, 0xEE, 0x01, 0x01, 0x01, 0xC8, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(std::all_of(frame.begin(), frame.begin() + 3960, [](std::uint16_t v) { return v == 0; }));
  EXPECT_EQ(frame[at(6, 0)], 1000);
  EXPECT_EQ(frame[at(6, 1)], 7);
  EXPECT_EQ(frame[at(499, 659)], sensor.back());
  EXPECT_EQ(frameState().binning_indicator, 0);
}

TEST_F(ReadoutTest, BinnedConstantFrameExpandsToTheSameValue) {
  frameState().binning_indicator = 0;
  usb.answer(pixelBytes(std::vector<std::uint16_t>(kBinnedFrameBytes / 2, 400)));
  ReadBinnedFrame(frame, 5000);

  EXPECT_EQ(usb.reads, std::vector<std::size_t>{kBinnedFrameBytes});
  ASSERT_EQ(usb.writes[0].size(), 18u);  // command 3: the program timed the exposure
  EXPECT_EQ(usb.writes[0][1], 3);
  EXPECT_EQ(usb.writes[0][16], 2);
  EXPECT_EQ(usb.writes[0][17], 2);
  for (int row = 0; row <= 4; ++row)
    for (int col : {0, 329, 659})
      EXPECT_EQ(frame[at(row, col)], 0) << row;
  for (int col : {0, 1, 330, 658, 659})
    EXPECT_EQ(frame[at(5, col)], 200);
  for (int row : {6, 7, 250, 497, 498, 499})
    for (int col : {0, 1, 2, 329, 330, 657, 658, 659})
      EXPECT_EQ(frame[at(row, col)], 400) << row << "," << col;
  EXPECT_EQ(frameState().binning_indicator, 2);
}

TEST_F(ReadoutTest, BinnedRampInterpolatesColumnsAndRepeatsTheLastValue) {
  std::vector<std::uint16_t> binned(kBinnedFrameBytes / 2, 0);
  for (int c = 0; c < 330; ++c)
    binned[static_cast<std::size_t>(c)] = static_cast<std::uint16_t>(c * 100);  // binned row 0
  usb.answer(pixelBytes(binned));
  ReadBinnedFrame(frame, 100);
  const std::vector<std::uint16_t> expected_start = {0, 50, 100, 150, 200, 250, 300};
  for (std::size_t c = 0; c < expected_start.size(); ++c)
    EXPECT_EQ(frame[at(6, static_cast<int>(c))], expected_start[c]);
  EXPECT_EQ(frame[at(6, 658)], 32900);
  EXPECT_EQ(frame[at(6, 659)], 32900);  // the last column repeats binned value 329
  EXPECT_EQ(frame[at(6, 657)], 16400 + 16450);
  EXPECT_EQ(frame[at(7, 2)], 50);  // halfway to the zero row below
  EXPECT_EQ(frame[at(5, 2)], 50);
}

TEST(ExpandBinnedTest, HalvesEachOperandBeforeAdding) {
  std::vector<std::uint16_t> f(kFrameElements, 0);
  f[at(0, 0)] = 3;
  f[at(0, 1)] = 5;
  f[at(2, 0)] = 1;
  f[at(2, 1)] = 1;
  ExpandBinned(f.data());
  EXPECT_EQ(f[at(0, 0)], 3);
  EXPECT_EQ(f[at(0, 1)], 1 + 2);  // the mean of 3 and 5 is 3
  EXPECT_EQ(f[at(0, 2)], 5);
  EXPECT_EQ(f[at(2, 1)], 0);  // the mean of 1 and 1 is 0
  EXPECT_EQ(f[at(1, 0)], 1 + 0);
  EXPECT_EQ(f[at(1, 2)], 2 + 0);
}

TEST(ExpandBinnedTest, LastRowCopiesRow498AndMaxValuesDoNotOverflow) {
  std::vector<std::uint16_t> f(kFrameElements, 0);
  for (int row = 0; row < kFrameHeight; row += 2)
    for (int c = 0; c < 330; ++c)
      f[at(row, c)] = 65535;
  ExpandBinned(f.data());
  EXPECT_EQ(f[at(499, 0)], f[at(498, 0)]);
  EXPECT_EQ(f[at(498, 659)], 65535);
  EXPECT_EQ(f[at(497, 3)], 65534);  // 32767 + 32767
}

// --- filter advance -------------------------------------------------------------------------------

struct AdvanceCase {
  bool on;
  int filters;
  int position;
  int expected_position;
  bool wheel_message;
};

class FilterAdvanceTest : public ReadoutTest, public ::testing::WithParamInterface<AdvanceCase> {};

TEST_P(FilterAdvanceTest, AdvancesAfterTheReadAndBeforeTheCopy) {
  const AdvanceCase& c = GetParam();
  settings().auto_advance_when_imaging = c.on;
  settings().number_of_filters = c.filters;
  state.filter_position = static_cast<std::uint16_t>(c.position);
  ReadFullFrame(frame, 2000);
  EXPECT_EQ(state.filter_position, c.expected_position);
  ASSERT_EQ(usb.writes.size(), c.wheel_message ? 2u : 1u);
  if (c.wheel_message) {
    const int p = c.expected_position;
    EXPECT_EQ(usb.writes[1],
              bytesOf({0x40, 0x0A, 0x00, 0x00, 0x01, 0x00, 0x04, 0x00, 0xA5, 0x01, p, 0xA6 + p}));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, FilterAdvanceTest,
                         ::testing::Values(AdvanceCase{true, 7, 7, 1, true}, AdvanceCase{true, 7, 3, 4, true},
                                           AdvanceCase{false, 7, 3, 3, false},
                                           AdvanceCase{true, 8, 7, 8, false},  // position 8 has no message
                                           AdvanceCase{true, 8, 8, 1, true}));

TEST_F(ReadoutTest, BinnedReadAdvancesTheWheelToo) {
  settings().auto_advance_when_imaging = true;
  ReadBinnedFrame(frame, 100);
  EXPECT_EQ(state.filter_position, 2);
}

// --- focus window ---------------------------------------------------------------------------------

TEST_F(ReadoutTest, FocusWindowOffsetsAreDoubledWhileBinned) {
  setDefaultFocusOrigin(state);
  frameState().binned = true;
  ReadFocusWindow(frame.data(), 300);
  frameState().binned = false;
  ReadFocusWindow(frame.data(), 300);
  ASSERT_EQ(usb.writes.size(), 2u);
  EXPECT_EQ(usb.writes[0], bytesOf({0x40, 0x02, 0x03, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x14, 0x02, 0x74,
                                    0x01, 0x80, 0x00, 0x80, 0x00, 0x01, 0x01, 0x2C, 0x01, 0x00, 0x00}));
  EXPECT_EQ(usb.writes[1][8], 266 & 0xFF);
  EXPECT_EQ(usb.writes[1][10], 186);
  EXPECT_EQ(usb.reads, (std::vector<std::size_t>{kFocusFrameBytes, kFocusFrameBytes}));
}

TEST_F(ReadoutTest, FocusWindowFillsOnlyTheFirst16384Elements) {
  EXPECT_EQ(state.focus_x, 266);
  EXPECT_EQ(state.focus_y, 182);
  usb.answer(pixelBytes(std::vector<std::uint16_t>(kFocusElements, 1234)));
  const std::uint16_t after = frame[kFocusElements];
  ReadFocusWindow(frame.data(), 10);
  EXPECT_EQ(frame[0], 1234);
  EXPECT_EQ(frame[kFocusElements - 1], 1234);
  EXPECT_EQ(frame[kFocusElements], after);
}

std::vector<std::uint16_t> focusImage() {
  return std::vector<std::uint16_t>(kFocusElements, 100);
}
void put(std::vector<std::uint16_t>& img, int row, int col, std::uint16_t v) {
  img[static_cast<std::size_t>(row * kFocusSize + col)] = v;
}

TEST(FocusPeakTest, NeedsABrightUpperNeighbour) {
  auto img = focusImage();
  put(img, 50, 50, 9000);  // alone: its upper neighbour is dark
  put(img, 70, 30, 5000);
  put(img, 69, 30, 4000);
  EXPECT_EQ(focusPeak(img.data()), 5000);
}

TEST(FocusPeakTest, UpperNeighbourOnlyHasToBeatTheRunningPeak) {
  auto img = focusImage();
  put(img, 20, 20, 300);
  put(img, 19, 20, 300);
  put(img, 21, 20, 800);  // above it is 300, which is not above the running peak of 300
  EXPECT_EQ(focusPeak(img.data()), 300);
}

TEST(FocusPeakTest, ScansRows12To125AndColumns5To125Only) {
  auto img = std::vector<std::uint16_t>(kFocusElements, 0);
  for (int row : {10, 11, 126, 127})
    for (int col = 0; col < kFocusSize; ++col)
      put(img, row, col, 60000);
  for (int row = 0; row < kFocusSize; ++row)
    for (int col : {0, 4, 126, 127})
      put(img, row, col, 60000);
  EXPECT_EQ(focusPeak(img.data()), 0);
  put(img, 12, 5, 700);  // row 11 above it is bright
  EXPECT_EQ(focusPeak(img.data()), 700);
}

TEST(ExposureTableTest, UnitsOfFocusAndGuider) {
  EXPECT_EQ(focusExposureMs('q', 7), 7u);
  EXPECT_EQ(focusExposureMs('h', 7), 70u);
  EXPECT_EQ(focusExposureMs('t', 7), 700u);
  EXPECT_EQ(focusExposureMs('s', 7), 7000u);
  EXPECT_EQ(focusExposureMs('x', 2), 2000u);
  EXPECT_EQ(guiderExposureMs('h', 5), 50u);
  EXPECT_EQ(guiderExposureMs('t', 5), 500u);
  EXPECT_EQ(guiderExposureMs('q', 5), 5000u);  // no thousandths for the guider
}

TEST_F(ReadoutTest, ShortFocusExposureIsTimedByTheCamera) {
  auto img = focusImage();
  put(img, 40, 40, 5000);
  put(img, 39, 40, 4800);
  usb.answer(pixelBytes(img));
  const std::uint32_t t0 = platform.clock.millis();
  FocusExposure('t', 5, frame.data());
  ASSERT_EQ(usb.writes.size(), 3u);
  EXPECT_EQ(usb.writes[0], bytesOf({0x40, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(usb.writes[1], bytesOf({0x40, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(usb.writes[2][1], 2);
  EXPECT_EQ(usb.writes[2][18], 500 & 0xFF);
  EXPECT_EQ(usb.writes[2][19], 500 >> 8);
  EXPECT_EQ(platform.clock.millis(), t0);  // no wait of the program's own
  EXPECT_EQ(state.PeakValue, 5000);
}

TEST_F(ReadoutTest, LongFocusExposureFlushesUntilTheDeadline) {
  const std::uint32_t t0 = platform.clock.millis();
  FocusExposure('s', 2, frame.data());
  EXPECT_GE(platform.clock.millis() - t0, 2000u);
  EXPECT_LT(platform.clock.millis() - t0, 2010u);
  ASSERT_GT(usb.writes.size(), 100u);  // clears back to back
  for (std::size_t i = 2; i + 1 < usb.writes.size(); ++i)
    EXPECT_EQ(usb.writes[i], bytesOf({0x40, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(usb.writes.back().size(), 18u);  // command 3
}

TEST_F(ReadoutTest, GuidingFocusExposureWaitsWithoutClearsOrPeak) {
  state.PeakValue = 77;
  const std::uint32_t t0 = platform.clock.millis();
  GuidingFocusExposure('s', 2, frame.data());
  EXPECT_GE(platform.clock.millis() - t0, 2000u);
  ASSERT_EQ(usb.writes.size(), 3u);
  EXPECT_EQ(usb.writes[2][1], 3);
  EXPECT_EQ(state.PeakValue, 77);
}

// --- guider head ----------------------------------------------------------------------------------

TEST_F(ReadoutTest, GuiderBytesBecomeHighBytes) {
  Bytes bytes(kGuiderFrameBytes, 0x10);
  bytes[0] = 0xFF;
  bytes[1] = 0x00;
  usb.answer(bytes);
  GuiderFrame& g = b.GuiderFrames[0];
  ReadGuiderFrame(g);
  EXPECT_EQ(usb.writes[0], bytesOf({0x40, 0x03, 0x03, 0x00, 0x01, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0xF4, 0x01, 0x22, 0x01, 0x01, 0x01}));
  EXPECT_EQ(usb.reads, std::vector<std::size_t>{kGuiderFrameBytes});
  EXPECT_EQ(g[0], 65280);
  EXPECT_EQ(g[1], 0);
  EXPECT_EQ(g[kGuiderElements - 1], 0x1000);
}

TEST_F(ReadoutTest, StartGuiderExposureReadsThenClearsTheGuiderTwice) {
  const GuiderFrame before = b.GuiderFrames[0];
  usb.answer(Bytes(kGuiderFrameBytes, 0x55));
  StartGuiderExposure();
  ASSERT_EQ(usb.writes.size(), 3u);
  EXPECT_EQ(usb.writes[0][1], 3);
  EXPECT_EQ(usb.writes[1], bytesOf({0x40, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(usb.writes[2], usb.writes[1]);
  EXPECT_EQ(b.GuiderFrames[0], before);  // the frame is discarded
}

TEST_F(ReadoutTest, GuiderExposureWaitsFromTheSecondClear) {
  Bytes bytes(kGuiderFrameBytes, 20);
  bytes[5] = 200;
  usb.answer({});  // the discarded frame
  usb.answer(bytes);
  const std::uint32_t t0 = platform.clock.millis();
  GuiderExposure('t', 15, b.GuiderFrames[1], GuiderProcessing{});
  EXPECT_EQ(platform.clock.millis() - t0, 1500u);
  EXPECT_EQ(usb.reads, (std::vector<std::size_t>{kGuiderFrameBytes, kGuiderFrameBytes}));
  EXPECT_EQ(b.GuiderFrames[1][5], 200 * 256);
  EXPECT_EQ(state.guider_background_bin, 20);
  EXPECT_EQ(state.guider_top_bin, 20);  // bin 200 holds a single pixel
}

GuiderFrame filledGuider(std::uint16_t v) {
  GuiderFrame g{};
  std::fill_n(g.begin(), kGuiderElements, v);
  return g;
}

TEST(GuiderBinsTest, FullestBinIgnoresBinZeroAndPrefersTheLowerIndexOnTies) {
  GuiderFrame g = filledGuider(0);  // everything in bin 0
  std::fill_n(g.begin(), 100, 3 * 256);
  std::fill_n(g.begin() + 100, 100, 9 * 256 + 255);
  std::fill_n(g.begin() + 200, 6, 40 * 256);
  std::fill_n(g.begin() + 300, 5, 41 * 256);  // only five: not a top bin
  const GuiderBins bins = guiderHistogramBins(g);
  EXPECT_EQ(bins.background, 3);
  EXPECT_EQ(bins.top, 40);
}

// With bins 1-255 all empty they tie, and the lowest of them is the background; only the top bin
// falls back to 0.
TEST(GuiderBinsTest, EmptyUpperBinsGiveBackgroundOneAndTopZero) {
  const GuiderBins bins = guiderHistogramBins(filledGuider(255));
  EXPECT_EQ(bins.background, 1);
  EXPECT_EQ(bins.top, 0);
}

TEST(GuiderDarkTest, SubtractionNeverWraps) {
  GuiderFrame image = filledGuider(5000);
  GuiderFrame dark = filledGuider(1000);
  dark[0] = 6000;
  dark[1] = 5000;
  subtractGuiderDark(image, dark);
  EXPECT_EQ(image[0], 0);
  EXPECT_EQ(image[1], 0);
  EXPECT_EQ(image[2], 4000);
}

TEST_F(ReadoutTest, GuiderDarkIsSkippedWhileADarkIsBeingCaptured) {
  const GuiderFrame dark = filledGuider(10 * 256);
  GuiderProcessing p;
  p.dark_subtraction = true;
  p.dark = &dark;
  usb.answer({});
  usb.answer(Bytes(kGuiderFrameBytes, 30));
  GuiderExposure('h', 1, b.GuiderFrames[0], p);
  EXPECT_EQ(b.GuiderFrames[0][7], 20 * 256);
  EXPECT_EQ(state.guider_background_bin, 30);  // the histogram is taken before the dark

  p.dark_capture_in_progress = true;
  usb.answer({});
  usb.answer(Bytes(kGuiderFrameBytes, 30));
  GuiderExposure('h', 1, b.GuiderFrames[0], p);
  EXPECT_EQ(b.GuiderFrames[0][7], 30 * 256);
}

class HotPixelTest : public ::testing::Test {
 protected:
  GuiderFrame image = filledGuider(1000);
  GuiderFrame work = filledGuider(7);
  std::uint16_t& px(int row, int col) { return image[static_cast<std::size_t>(row * kGuiderWidth + col)]; }
};

TEST_F(HotPixelTest, LoneHotPixelTakesTheMedian) {
  px(100, 200) = 60000;
  hotPixelFilter(image, work);
  EXPECT_EQ(px(100, 200), 1000);
}

TEST_F(HotPixelTest, StarCoreAndSidesSurvive) {
  // A star: core 24000, sides 22000, corners 20000. The core's median (22000) is within 0.6 of its
  // neighbourhood's range (4000) of it; so is a side's.
  for (int r = 99; r <= 101; ++r)
    for (int c = 199; c <= 201; ++c)
      px(r, c) = (r == 100) != (c == 200) ? 22000 : 20000;
  px(100, 200) = 24000;
  hotPixelFilter(image, work);
  EXPECT_EQ(px(100, 200), 24000);
  EXPECT_EQ(px(99, 200), 22000);
  EXPECT_EQ(px(100, 201), 22000);
}

TEST_F(HotPixelTest, ThresholdIsSixTenthsOfTheRangeTruncated) {
  // Neighbourhood of 8 x 1000 and the pixel p: range p - 1000, median 1000, difference p - 1000 > 0.6
  // x (p - 1000) whenever p > 1000, so any lone peak goes. A lone dip goes as well.
  px(10, 10) = 1001;
  px(20, 20) = 999;
  hotPixelFilter(image, work);
  EXPECT_EQ(px(10, 10), 1000);
  EXPECT_EQ(px(20, 20), 1000);
}

TEST_F(HotPixelTest, BorderKeepsItsValues) {
  px(0, 50) = 60000;
  px(289, 3) = 60000;
  px(40, 0) = 60000;
  px(40, 499) = 60000;
  hotPixelFilter(image, work);
  EXPECT_EQ(px(0, 50), 60000);
  EXPECT_EQ(px(289, 3), 60000);
  EXPECT_EQ(px(40, 0), 60000);
  EXPECT_EQ(px(40, 499), 60000);
  EXPECT_EQ(px(1, 50), 1000);  // its neighbour below the hot border pixel is not disturbed
}

// The hot-pixel rule straight from its description: sort the 3 x 3 neighbourhood, threshold
// trunc((largest - smallest) x 0.6) in double precision; the border keeps its values.
GuiderFrame referenceHotPixel(const GuiderFrame& in) {
  GuiderFrame out = in;
  for (int y = 1; y < kGuiderHeight - 1; ++y) {
    for (int x = 1; x < kGuiderWidth - 1; ++x) {
      std::vector<int> v;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          v.push_back(in[static_cast<std::size_t>((y + dy) * kGuiderWidth + x + dx)]);
      std::sort(v.begin(), v.end());
      const int pixel = in[static_cast<std::size_t>(y * kGuiderWidth + x)];
      const int threshold = static_cast<int>((v[8] - v[0]) * 0.6);
      if (std::abs(v[4] - pixel) > threshold)
        out[static_cast<std::size_t>(y * kGuiderWidth + x)] = static_cast<std::uint16_t>(v[4]);
    }
  }
  return out;
}

// Guider frames as read (multiples of 256), after a dark (any value), and with few levels (ties, 0 and
// 65535 side by side).
class HotPixelNoiseTest : public ::testing::TestWithParam<int> {};

TEST_P(HotPixelNoiseTest, MatchesTheNeighbourhoodRule) {
  std::mt19937 gen(static_cast<unsigned>(GetParam()));
  std::uniform_int_distribution<int> any(0, 65535);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> level(0, 2);
  GuiderFrame image{};
  for (int i = 0; i < kGuiderElements; ++i) {
    const int v = GetParam() == 0   ? byte(gen) * 256
                  : GetParam() == 1 ? any(gen)
                                    : level(gen) * 32767 + level(gen) / 2;
    image[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(std::min(v, 65535));
  }
  const GuiderFrame expected = referenceHotPixel(image);
  GuiderFrame work{};
  hotPixelFilter(image, work);
  for (int i = 0; i < kGuiderElements; ++i)
    ASSERT_EQ(image[static_cast<std::size_t>(i)], expected[static_cast<std::size_t>(i)]) << i;
}

INSTANTIATE_TEST_SUITE_P(Frames, HotPixelNoiseTest, ::testing::Values(0, 1, 2));

TEST_F(ReadoutTest, GuiderExposureAppliesTheHotPixelFilterWhenOn) {
  Bytes bytes(kGuiderFrameBytes, 12);
  bytes[static_cast<std::size_t>(50 * kGuiderWidth + 60)] = 250;
  GuiderProcessing p;
  for (bool filter : {false, true}) {
    p.hot_pixel_filter = filter;
    usb.answer({});
    usb.answer(bytes);
    GuiderExposure('h', 2, b.GuiderFrames[0], p);
    EXPECT_EQ(b.GuiderFrames[0][static_cast<std::size_t>(50 * kGuiderWidth + 60)],
              filter ? 12 * 256 : 250 * 256);
  }
}

// --- stale data after failures --------------------------------------------------------------------

// A failed or short read leaves the frame as it was (the frame was not read), says so once, and has
// the transport drop what the device still holds.
struct BadReadCase {
  const char* name;
  bool fails;  // the read fails; else one row of the frame arrives
  const char* message;
};

class BadReadTest : public ReadoutTest, public ::testing::WithParamInterface<BadReadCase> {};

TEST_P(BadReadTest, LeavesTheFrameUntouchedAndReportsOnce) {
  settings().auto_advance_when_imaging = true;
  frame.fill(9);
  if (GetParam().fails) {
    usb.failRead(-1);
  } else {
    usb.answer(pixelBytes(std::vector<std::uint16_t>(660, 5)));
  }
  EXPECT_FALSE(ReadFullFrame(frame, 100));
  EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](std::uint16_t v) { return v == 9; }));
  EXPECT_EQ(platform.ui.messageTexts(), std::vector<std::string>{GetParam().message});
  EXPECT_EQ(state.filter_position, 1) << "a frame not read does not turn the wheel";
  EXPECT_EQ(usb.drains, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadReadTest,
    ::testing::Values(BadReadCase{"Failed", true, "Error -1 trying to read ZADUZ data from USB\n"},
                      BadReadCase{"Short", false,
                                  "Short read from ZADUZ USB device: 1320 of 652080 bytes\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qlm
