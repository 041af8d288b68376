#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "image/bitmap_writer.h"
#include "image/frame.h"

namespace qlm {

// Display state kept between refreshes.
struct DisplayState {
  int background_level = 0;  // 0-256: from B1 with auto contrast on, else from B2 of the last paint
  double stretch_display_power = 25.0;  // max palette stretch power outside focus mode, 2-50
  int focus_stretch_power = 14;         // max palette stretch power in focus mode, 1-50 (camera panel)
  bool guide_window_shown = false;      // the 128 x 128 focus-centre or guide window is on show
  std::string image_title =
      "(Untitled)";  // shown after "QLM_T4_USB - ": last opened file or "PK Camera Image"
  std::array<int, 256> auto_contrast_table{};  // as built by the last refresh that needed it
  int last_write_result = 0;                   // the last refresh's bitmap write: 0 or failure code 1-3
};

DisplayState& displayState();
void resetDisplayState(DisplayState& s);

// Work that other parts attach to the refresh. Focus mode's "Autochange Exposure" runs after the max
// palette remapping of each focus-mode refresh (the capture part sets it; empty means nothing to do).
struct DisplayHooks {
  std::function<void()> after_focus_stretch;
};
DisplayHooks& displayHooks();

// Background level for auto contrast (B1): the lowest most frequent high byte of elements
// 10,240-25,599.
int backgroundLevelB1(const Frame& frame, ImageBuffers& b);
// Background level after a paint (B2): mean of the three most frequent high bytes of rows 6-489,
// columns 5-654. With fewer than three occupied bins the missing modes repeat the last one found.
int backgroundLevelB2(const Frame& frame, ImageBuffers& b);

// The high byte of each of the first `count` elements.
void computeDisplayBytes(const Frame& frame, std::uint8_t* bytes, int count);

// Auto contrast table for background level b: 0 up to b, above it (i - b)^0.3 x 255^0.7, at most 255.
std::array<int, 256> autoContrastTable(int background);

// Max palette stretch transfer table for power P, entries 0-254: trunc(P x 255 e / (e (P - 1) + 1)),
// e = i / 255.
std::array<std::uint16_t, 255> maxPaletteTable(double power);
// Remaps display bytes below 253 through the transfer table, shifted down by the smallest non-zero byte
// (255 when none lies in 1-254). Returns that minimum.
int maxPaletteStretch(std::uint8_t* bytes, int count, double power);

// The 256 colour-table entries for the display flags and the auto contrast table.
BitmapPalette displayPalette(const FrameState& flags, const std::array<int, 256>& auto_contrast);

// True when the display shows the 128 x 128 window: focus mode, or the focus-centre / guide window.
bool smallWindowShown(const FrameState& f, const DisplayState& d);

// Writes the temporary display bitmap from the display bytes (steps: background clamp, max palette
// stretch, auto contrast table, palette, bottom-up rows). Returns 0 or the failure code 1-3.
int writeDisplayBitmap(const std::filesystem::path& path, ImageBuffers& b, const FrameState& f,
                       DisplayState& d);

// The window title for an image name: "QLM_T4_USB - " and the name.
std::string windowTitleFor(const std::string& image_title);

// The bitmap the window shows, as last loaded back from the temporary file; empty before the first
// refresh or after a file that could not be read.
std::optional<LoadedBitmap>& windowBitmap();

// Refreshes the display of the program-wide CurrentFrame: display bytes, title, background level (B1
// with auto contrast), temporary bitmap (failures shown as messages 8-10), then makes what that file
// holds the window's bitmap (after a complete write the bytes just written, else the file read back;
// "Cannot open bitmap file" when it cannot be read) and asks the window to repaint.
void refreshDisplay();

// While one lives, refreshes skip the temporary bitmap and the window's copy of it (everything else
// is done as before): for batch commands that load and change many frames with no window to show them.
class NoDisplayBitmaps {
 public:
  NoDisplayBitmaps();
  ~NoDisplayBitmaps();
  NoDisplayBitmaps(const NoDisplayBitmaps&) = delete;
  NoDisplayBitmaps& operator=(const NoDisplayBitmaps&) = delete;
};

// What a paint leaves behind: the background level re-estimated by B2 on CurrentFrame.
void afterPaint();

// Focus mode's autochange of the exposure (milliseconds) from the peak element value of the last
// readout: doubled below 32,000, halved above 64,000.
int autochangeExposure(int exposure_ms, int peak);

// An exposure shown in its largest fitting unit.
enum class ExposureUnit { Thousandths, Hundredths, Tenths, Seconds, Minutes };
struct ShownExposure {
  int value;
  ExposureUnit unit;
};
ShownExposure exposureInUnits(int exposure_ms);

// Autoguider image bitmap: palette, black level and display bytes of a 500 x 290 guider frame.
struct GuiderDisplaySettings {
  bool apply_stretch = true;  // "Apply Stretch to Guider Images"
  int stretch = 30;           // guider stretch value P
  int min_display = 0;        // guider dialog's minimum display value
  int max_display = 255;  // guider dialog's maximum display value; 255 when it falls below the black level
};
BitmapPalette guiderPalette(const GuiderDisplaySettings& s);
// Fills `out` (145,000 bytes) with the guider display bytes; returns the black level used.
int guiderDisplayBytes(const GuiderFrame& frame, GuiderDisplaySettings& s, std::uint8_t* out);
// Writes the guider bitmap to `path` (0 or failure code 1-3) using the program's guider display bytes.
int writeGuiderBitmap(const std::filesystem::path& path, const GuiderFrame& frame, GuiderDisplaySettings& s,
                      ImageBuffers& b);

}  // namespace qlm
