#pragma once
#include <cstdint>

#include "image/frame.h"

namespace qlm {

// Sensor geometry of the readouts.
inline constexpr int kSensorWidth = 660;
inline constexpr int kSensorHeight = 494;
inline constexpr int kSensorTopRow = 6;  // sensor row y lands in frame row y + 6
inline constexpr int kFocusSize = 128;
inline constexpr int kFocusElements = kFocusSize * kFocusSize;
inline constexpr std::size_t kFullFrameBytes = 652080;
inline constexpr std::size_t kBinnedFrameBytes = 163020;
inline constexpr std::size_t kFocusFrameBytes = 32768;
inline constexpr std::size_t kGuiderFrameBytes = 145000;

// Focus window origins: the start-up value and the one "Default Focus Frame Centre" sets.
inline constexpr int kInitialFocusX = 266;
inline constexpr int kInitialFocusY = 182;
inline constexpr int kDefaultFocusX = kFrameWidth / 2 - 64;   // 266
inline constexpr int kDefaultFocusY = kFrameHeight / 2 - 64;  // 186

// Program-wide inputs and outputs of the readout routines that no other record holds.
struct ReadoutState {
  int focus_x = kInitialFocusX;  // focus window origin in frame coordinates
  int focus_y = kInitialFocusY;
  std::uint16_t filter_position = 1;  // 1-based; lasts for the run, not stored in the settings file
  std::uint16_t PeakValue = 0;        // peak of the last focus exposure ("Max Value")
  std::uint16_t guider_background_bin = 0;
  std::uint16_t guider_top_bin = 0;
};

ReadoutState& readoutState();
void resetReadoutState(ReadoutState& s);
// "Default Focus Frame Centre": the window in the middle of the frame.
void setDefaultFocusOrigin(ReadoutState& s);

// The hot-pixel filter's fixed work array.
GuiderFrame& hotPixelWorkArray();

// Every readout returns true when the frame arrived whole. A failed or short read (reported by the
// link) leaves the destination untouched and returns false: the frame was not read.

// Main-head readouts into the current image. `exposure_ms` chooses the readout command (the camera
// times up to 1000 ms itself). Both advance the filter wheel when auto-advance is on and set the
// frame's binning indicator.
bool ReadFullFrame(Frame& current, std::uint32_t exposure_ms);
bool ReadBinnedFrame(Frame& current, std::uint32_t exposure_ms);
// Spreads the binned rows (330 values at the start of frame rows 6, 8, ..., 498) over the whole
// 660 x 500 frame in place, interpolating the columns and rows between them.
void ExpandBinned(std::uint16_t* frame);

// Reads the 128 x 128 focus window at the focus origin (doubled while binned) into the first 16,384
// elements of `dest`, row stride 128.
bool ReadFocusWindow(std::uint16_t* dest, std::uint32_t exposure_ms);

// Reads the 500 x 290 guider head; each byte b becomes b x 256.
bool ReadGuiderFrame(GuiderFrame& dest);
// Reads and discards a guider frame, then clears the guider head twice: the exposure starts now.
// False when neither clear reached the camera.
bool StartGuiderExposure();

// Exposure tables: 'h' hundredths, 't' tenths, 'q' thousandths (focus only), anything else seconds.
std::uint32_t focusExposureMs(char unit, int count);
std::uint32_t guiderExposureMs(char unit, int count);

// Focus mode's exposure: clears, the wait (flushing during waits above 1000 ms), the focus window
// into `dest`, and the peak into the readout state. False (at the first failed transfer) when no
// frame was read.
bool FocusExposure(char unit, int count, std::uint16_t* dest);
// The guiding loop's focus-window exposure: no flushes during the wait and no peak.
bool GuidingFocusExposure(char unit, int count, std::uint16_t* dest);
// The peak of a 128 x 128 focus image: the brightest pixel whose upper neighbour is also above the
// level reached so far (rows 12-125, columns 5-125).
std::uint16_t focusPeak(const std::uint16_t* focus_image);

// How a guider exposure is processed after the readout (the autoguider panel's switches).
struct GuiderProcessing {
  bool dark_subtraction = false;
  bool dark_capture_in_progress = false;
  bool hot_pixel_filter = false;
  const GuiderFrame* dark = nullptr;  // the guider dark; no subtraction without one
};

struct GuiderBins {
  std::uint16_t background = 0;  // fullest bin among 1-255, lower index on a tie (1 when all are empty)
  std::uint16_t top = 0;         // highest bin among 1-255 holding more than 5 pixels, else 0
};

// A whole guider exposure: start, wait on the clock, read, histogram, dark, hot-pixel filter.
// False when no frame was read (the image, bins and processing are then untouched).
bool GuiderExposure(char unit, int count, GuiderFrame& image, const GuiderProcessing& processing);
GuiderBins guiderHistogramBins(const GuiderFrame& image);
// Subtracts the dark, clamping at 0.
void subtractGuiderDark(GuiderFrame& image, const GuiderFrame& dark);
// Replaces a pixel by its 3 x 3 median when they differ by more than 0.6 of the neighbourhood's range;
// border pixels keep their values. `work` receives the output before it is copied back.
void hotPixelFilter(GuiderFrame& image, GuiderFrame& work);

// After a main-head frame read: with "Auto-Advance when Imaging" on, the next filter (after the last,
// the first) and a wheel move.
void advanceFilterWheel();

}  // namespace qlm
