#include "camera/readout.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "camera/link.h"
#include "files/settings.h"
#include "image/conditional_median.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr int kBinnedWidth = kSensorWidth / 2;    // 330
constexpr int kBinnedHeight = kSensorHeight / 2;  // 247
constexpr std::size_t kTopZeroElements = static_cast<std::size_t>(kSensorTopRow) * kFrameWidth;

std::uint16_t le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Sends one readout block and reads the whole frame into the receive buffer. True when the frame
// arrived whole; a block the camera never got asks for no frame, so nothing is read after it.
bool readWindow(const ReadoutWindow& window, std::uint32_t exposure_ms, bool immediate, std::size_t bytes) {
  if (!SendBlock(buildReadoutBlock(linkState(), window, exposure_ms, immediate))) return false;
  return ReadFrame(bytes);
}

ReadoutWindow mainSensorWindow(std::uint8_t binning) {
  ReadoutWindow w;
  w.width = kSensorWidth;
  w.height = kSensorHeight;
  w.hbin = binning;
  w.vbin = binning;
  return w;
}

ReadoutWindow guiderWindow() {
  ReadoutWindow w;
  w.head = kGuiderHead;
  w.width = kGuiderWidth;
  w.height = kGuiderHeight;
  return w;
}

// Busy-waits on `clock` until `ms` have passed since `t0` (unsigned, so the counter may wrap).
void waitUntil(Clock& clock, std::uint32_t t0, std::uint32_t ms) {
  while (clock.millis() - t0 < ms)
    clock.idle(1);
}

// Steps 1, 2 and 4 of a focus exposure with the wait between them; `flush` sends clears while
// waiting (focus mode), else the clock alone is watched (guiding).
bool focusWindowExposure(char unit, int count, std::uint16_t* dest, bool flush) {
  Clock& clock = *platform().clock;
  const std::uint32_t e = focusExposureMs(unit, count);
  // Both clears must reach the camera: without them the window would hold light from before.
  const bool cleared = ClearSensor(kClearFlush, kMainHead);
  if (!ClearSensor(kClearStart, kMainHead) || !cleared) return false;
  const std::uint32_t t0 = clock.millis();
  if (e > kCameraTimedMaxMs) {
    if (flush) {
      // Clears back to back until the deadline; idle only if the device took no time at all. A clear
      // that fails ends the exposure: every further one would fail (and be reported) too.
      while (clock.millis() - t0 < e) {
        const std::uint32_t before = clock.millis();
        if (!ClearSensor(kClearFlush, kMainHead)) return false;
        if (clock.millis() == before) clock.idle(0);
      }
    } else {
      waitUntil(clock, t0, e);
    }
  }
  return ReadFocusWindow(dest, e);
}

}  // namespace

ReadoutState& readoutState() {
  static ReadoutState s;
  return s;
}

void resetReadoutState(ReadoutState& s) {
  s = ReadoutState{};
}

void setDefaultFocusOrigin(ReadoutState& s) {
  s.focus_x = kDefaultFocusX;
  s.focus_y = kDefaultFocusY;
}

GuiderFrame& hotPixelWorkArray() {
  static GuiderFrame work{};
  return work;
}

void advanceFilterWheel() {
  const Settings& s = settings();
  if (!s.auto_advance_when_imaging) return;
  ReadoutState& r = readoutState();
  // A count from a damaged settings file is taken within the wheel's 1 to 8 positions.
  r.filter_position = r.filter_position < std::clamp(s.number_of_filters, 1, 8)
                          ? static_cast<std::uint16_t>(r.filter_position + 1)
                          : std::uint16_t{1};
  MoveFilterWheel(r.filter_position);
}

bool ReadFullFrame(Frame& current, std::uint32_t exposure_ms) {
  if (!readWindow(mainSensorWindow(1), exposure_ms, false, kFullFrameBytes)) return false;
  advanceFilterWheel();
  std::fill_n(current.begin(), kTopZeroElements, std::uint16_t{0});
  const std::uint8_t* src = receiveBuffer().bytes.data();
  std::uint16_t* dst = current.data() + kTopZeroElements;
  for (std::size_t i = 0; i < kFullFrameBytes / 2; ++i)
    dst[i] = le16(src + 2 * i);
  frameState().binning_indicator = 0;
  return true;
}

bool ReadBinnedFrame(Frame& current, std::uint32_t exposure_ms) {
  if (!readWindow(mainSensorWindow(2), exposure_ms, false, kBinnedFrameBytes)) return false;
  advanceFilterWheel();
  std::fill_n(current.begin(), kTopZeroElements, std::uint16_t{0});
  const std::uint8_t* src = receiveBuffer().bytes.data();
  for (int r = 0; r < kBinnedHeight; ++r) {
    std::uint16_t* row = current.data() + static_cast<std::size_t>(kSensorTopRow + 2 * r) * kFrameWidth;
    const std::uint8_t* in = src + static_cast<std::size_t>(r) * kBinnedWidth * 2;
    for (int c = 0; c < kBinnedWidth; ++c)
      row[c] = le16(in + 2 * c);
  }
  ExpandBinned(current.data());
  frameState().binning_indicator = 2;
  return true;
}

void ExpandBinned(std::uint16_t* frame) {
  // Columns of the even rows, from the right end down so each source is read before it is written.
  for (int e = 0; e < kFrameHeight; e += 2) {
    std::uint16_t* v = frame + static_cast<std::size_t>(e) * kFrameWidth;
    v[kFrameWidth - 1] = v[kBinnedWidth - 1];
    for (int j = kFrameWidth - 2; j >= 0; j -= 2) {
      const int k = j / 2;
      const std::uint16_t vk = v[k];
      if (j > 0) v[j - 1] = static_cast<std::uint16_t>(vk / 2 + v[k - 1] / 2);
      v[j] = vk;
    }
  }
  // Odd rows: the mean of the rows above and below, each halved first.
  for (int o = 1; o < kFrameHeight - 1; o += 2) {
    const std::uint16_t* above = frame + static_cast<std::size_t>(o - 1) * kFrameWidth;
    const std::uint16_t* below = above + 2 * kFrameWidth;
    std::uint16_t* row = frame + static_cast<std::size_t>(o) * kFrameWidth;
    for (int x = 0; x < kFrameWidth; ++x)
      row[x] = static_cast<std::uint16_t>(above[x] / 2 + below[x] / 2);
  }
  std::memcpy(frame + static_cast<std::size_t>(kLastRow) * kFrameWidth,
              frame + static_cast<std::size_t>(kLastRow - 1) * kFrameWidth,
              kFrameWidth * sizeof(std::uint16_t));
}

bool ReadFocusWindow(std::uint16_t* dest, std::uint32_t exposure_ms) {
  const ReadoutState& r = readoutState();
  const int k = frameState().binned ? 2 : 1;
  ReadoutWindow w;
  w.x = static_cast<std::uint16_t>(r.focus_x * k);
  w.y = static_cast<std::uint16_t>(r.focus_y * k);
  w.width = kFocusSize;
  w.height = kFocusSize;
  if (!readWindow(w, exposure_ms, false, kFocusFrameBytes)) return false;
  const std::uint8_t* src = receiveBuffer().bytes.data();
  for (int i = 0; i < kFocusElements; ++i)
    dest[i] = le16(src + 2 * i);
  return true;
}

bool ReadGuiderFrame(GuiderFrame& dest) {
  if (!readWindow(guiderWindow(), 0, true, kGuiderFrameBytes)) return false;
  const std::uint8_t* src = receiveBuffer().bytes.data();
  for (int i = 0; i < kGuiderElements; ++i)
    dest[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(src[i] << 8);
  return true;
}

bool StartGuiderExposure() {
  // The frame read here is thrown away; only a camera that is gone stops the exposure.
  readWindow(guiderWindow(), 0, true, kGuiderFrameBytes);
  const bool cleared = ClearSensor(kClearStart, kGuiderHead);
  return ClearSensor(kClearStart, kGuiderHead) || cleared;
}

std::uint32_t focusExposureMs(char unit, int count) {
  const std::uint32_t n = static_cast<std::uint32_t>(std::max(count, 0));
  switch (unit) {
    case 'h':
      return n * 10;
    case 't':
      return n * 100;
    case 'q':
      return n;
    default:
      return n * 1000;
  }
}

std::uint32_t guiderExposureMs(char unit, int count) {
  const std::uint32_t n = static_cast<std::uint32_t>(std::max(count, 0));
  switch (unit) {
    case 'h':
      return n * 10;
    case 't':
      return n * 100;
    default:
      return n * 1000;
  }
}

bool FocusExposure(char unit, int count, std::uint16_t* dest) {
  if (!focusWindowExposure(unit, count, dest, true)) return false;
  readoutState().PeakValue = focusPeak(dest);
  return true;
}

bool GuidingFocusExposure(char unit, int count, std::uint16_t* dest) {
  return focusWindowExposure(unit, count, dest, false);
}

std::uint16_t focusPeak(const std::uint16_t* img) {
  std::uint16_t peak = 0;
  for (int r = 12; r <= 125; ++r) {
    for (int c = 5; c <= 125; ++c) {
      const std::uint16_t v = img[r * kFocusSize + c];
      if (v > peak && img[(r - 1) * kFocusSize + c] > peak) peak = v;
    }
  }
  return peak;
}

GuiderBins guiderHistogramBins(const GuiderFrame& image) {
  std::array<std::uint32_t, 256> counts{};
  for (int i = 0; i < kGuiderElements; ++i)
    ++counts[image[static_cast<std::size_t>(i)] >> 8];
  // The fullest of bins 1-255, the lower index on equal counts: bin 1 when all of them are empty.
  GuiderBins bins;
  bins.background = 1;
  std::uint32_t fullest = counts[1];
  for (int b = 1; b < 256; ++b) {
    if (counts[static_cast<std::size_t>(b)] > fullest) {
      fullest = counts[static_cast<std::size_t>(b)];
      bins.background = static_cast<std::uint16_t>(b);
    }
    if (counts[static_cast<std::size_t>(b)] > 5) bins.top = static_cast<std::uint16_t>(b);
  }
  return bins;
}

void subtractGuiderDark(GuiderFrame& image, const GuiderFrame& dark) {
  for (int i = 0; i < kGuiderElements; ++i) {
    const auto k = static_cast<std::size_t>(i);
    image[k] = image[k] > dark[k] ? static_cast<std::uint16_t>(image[k] - dark[k]) : std::uint16_t{0};
  }
}

void hotPixelFilter(GuiderFrame& image, GuiderFrame& work) {
  constexpr int w = kGuiderWidth;
  // The border keeps its values: copy it into the work array first.
  std::copy_n(image.begin(), w, work.begin());
  std::copy_n(image.begin() + (kGuiderHeight - 1) * w, w, work.begin() + (kGuiderHeight - 1) * w);
  for (int y = 1; y < kGuiderHeight - 1; ++y) {
    work[static_cast<std::size_t>(y * w)] = image[static_cast<std::size_t>(y * w)];
    work[static_cast<std::size_t>(y * w + w - 1)] = image[static_cast<std::size_t>(y * w + w - 1)];
  }
  // The median of the 3 x 3 neighbourhood replaces the pixel when it differs from it by more than
  // trunc((largest - smallest) x 0.6), that is when 10 x difference > 6 x (largest - smallest).
  conditionalMedian(image.data(), work.data(), w, 1, 6, 65535, 1, kGuiderHeight - 2);
  std::copy_n(work.begin(), kGuiderElements, image.begin());
}

bool GuiderExposure(char unit, int count, GuiderFrame& image, const GuiderProcessing& processing) {
  Clock& clock = *platform().clock;
  const std::uint32_t g = guiderExposureMs(unit, count);
  if (!StartGuiderExposure()) return false;
  const std::uint32_t t0 = clock.millis();
  waitUntil(clock, t0, g);
  if (!ReadGuiderFrame(image)) return false;
  const GuiderBins bins = guiderHistogramBins(image);
  readoutState().guider_background_bin = bins.background;
  readoutState().guider_top_bin = bins.top;
  if (processing.dark_subtraction && !processing.dark_capture_in_progress && processing.dark != nullptr)
    subtractGuiderDark(image, *processing.dark);
  if (processing.hot_pixel_filter) hotPixelFilter(image, hotPixelWorkArray());
  return true;
}

}  // namespace qlm
