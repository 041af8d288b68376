#include "image/display.h"

#include <algorithm>
#include <cmath>

#include "image/byte_remap.h"
#include "platform/messages.h"
#include "platform/platform.h"

// The byte scans are also compiled for AVX-512 and AVX2 and picked at run time.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define QLM_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define QLM_VECTOR_CLONES
#endif

namespace qlm {

namespace {
constexpr int kSmallSide = 128;
constexpr int kSmallElements = kSmallSide * kSmallSide;  // 16,384
constexpr int kFrameWriteChunks = 16;                    // 16 writes of 20,625 bytes

// The first bin 0-255 with the largest count among those not excluded and above `min_count`.
template <typename Count>
int modeBin(const std::array<Count, kHistogramBins>& h, int exclude1, int exclude2, long long min_count) {
  int best = -1;
  long long best_count = min_count;
  for (int i = 0; i < 256; ++i) {
    if (i == exclude1 || i == exclude2) continue;
    if (h[static_cast<std::size_t>(i)] > best_count) {
      best = i;
      best_count = h[static_cast<std::size_t>(i)];
    }
  }
  return best;
}

std::uint8_t grey(BitmapColour& c, int v) {
  const auto g = static_cast<std::uint8_t>(v);
  c = BitmapColour{g, g, g, 0};
  return g;
}
}  // namespace

DisplayState& displayState() {
  static DisplayState state;
  return state;
}

void resetDisplayState(DisplayState& s) {
  s = DisplayState{};
  windowBitmap().reset();
}

DisplayHooks& displayHooks() {
  static DisplayHooks hooks;
  return hooks;
}

int backgroundLevelB1(const Frame& frame, ImageBuffers& b) {
  b.HistogramCounters.fill(0);
  for (int i = 10240; i < 25600; ++i)
    ++b.HistogramCounters[frame[static_cast<std::size_t>(i)] >> 8];
  return std::max(0, modeBin(b.HistogramCounters, -1, -1, -1));
}

int backgroundLevelB2(const Frame& frame, ImageBuffers& b) {
  // 314,600 elements can overflow a 16-bit bin (a dark sky fills one bin), which would pick the wrong
  // modes: count in 32 bits, and keep the program's 16-bit counters saturated for the histogram views.
  std::array<std::uint32_t, kHistogramBins> counts{};
  for (int y = 6; y <= 489; ++y) {
    const std::uint16_t* row = frame.data() + static_cast<std::size_t>(y) * kFrameWidth;
    for (int x = 5; x <= 654; ++x)
      ++counts[row[x] >> 8];
  }
  for (std::size_t i = 0; i < counts.size(); ++i)
    b.HistogramCounters[i] = static_cast<std::uint16_t>(std::min<std::uint32_t>(counts[i], 65535));
  const int m1 = std::max(0, modeBin(counts, -1, -1, -1));
  int m2 = modeBin(counts, m1, -1, 0);
  if (m2 < 0) m2 = m1;  // one occupied bin: the level is that bin
  int m3 = modeBin(counts, m1, m2, 0);
  if (m3 < 0) m3 = m2;  // two occupied bins: the second mode counts twice
  return (m1 + m2 + m3) / 3;
}

void computeDisplayBytes(const Frame& frame, std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i)
    bytes[i] = static_cast<std::uint8_t>(frame[static_cast<std::size_t>(i)] >> 8);
}

namespace {
// One entry of the auto contrast curve, d = i - b steps above the background level b.
int autoContrastStep(int d) {
  // The exponents are the single-precision values of 0.3 and -0.7, as the original computes them.
  const double gamma = static_cast<double>(0.3f);
  const double factor = 1.0 / std::pow(255.0, static_cast<double>(-0.7f));
  const double v = std::pow(static_cast<double>(d), gamma) * factor;
  // Rounding in pow may leave d = 255 a hair below 255; the curve is meant to reach it.
  return std::min(255, static_cast<int>(v + 1e-9));
}
}  // namespace

std::array<int, 256> autoContrastTable(int background) {
  // An entry depends on i - b only: steps 1-255 are computed once and shifted into place.
  static const std::array<int, 256> steps = [] {
    std::array<int, 256> s{};
    for (int d = 1; d < 256; ++d)
      s[static_cast<std::size_t>(d)] = autoContrastStep(d);
    return s;
  }();
  std::array<int, 256> t{};
  for (int i = 0; i < 256; ++i) {
    if (i <= background) continue;
    const int d = i - background;
    t[static_cast<std::size_t>(i)] = d < 256 ? steps[static_cast<std::size_t>(d)] : autoContrastStep(d);
  }
  return t;
}

std::array<std::uint16_t, 255> maxPaletteTable(double power) {
  std::array<std::uint16_t, 255> t{};
  for (int i = 0; i < 255; ++i) {
    const double e = i / 255.0;
    t[static_cast<std::size_t>(i)] =
        static_cast<std::uint16_t>(power * 255.0 * e / (e * (power - 1.0) + 1.0));
  }
  return t;
}

namespace {

// The max palette remapping of display bytes with smallest non-zero byte `min`: one look-up per byte
// value, the brightest three values keeping their byte.
std::array<std::uint8_t, 256> maxPaletteRemap(int min, double power) {
  const auto table = maxPaletteTable(power);
  std::array<std::uint8_t, 256> remap{};
  for (int v = 0; v < 256; ++v)
    remap[static_cast<std::size_t>(v)] =
        v >= 253 ? static_cast<std::uint8_t>(v)
                 : static_cast<std::uint8_t>(table[static_cast<std::size_t>(std::max(0, v - min))] & 0xFF);
  return remap;
}

// The bytes' range and the smallest non-zero byte (255 when none lies in 1-254): the smallest of
// byte - 1 (0 wrapping to 255), plus one unless every byte was 0.
struct ByteRange {
  std::uint8_t lowest;
  std::uint8_t highest;
  int min_non_zero;
};
QLM_VECTOR_CLONES
ByteRange byteRange(const std::uint8_t* bytes, int count) {
  std::uint8_t below = 255;
  std::uint8_t lowest = 255;
  std::uint8_t highest = 0;
  for (int i = 0; i < count; ++i) {
    below = std::min(below, static_cast<std::uint8_t>(bytes[i] - 1));
    lowest = std::min(lowest, bytes[i]);
    highest = std::max(highest, bytes[i]);
  }
  return {lowest, highest, below == 255 ? 255 : below + 1};
}

// The max palette stretch of a width x height picture in place; unless `bottom_up` is null the
// remapped rows also go there, bottom row first, in the same pass. Returns the minimum.
int maxPaletteStretchRows(std::uint8_t* bytes, int width, int height, double power, std::uint8_t* bottom_up) {
  const ByteRange range = byteRange(bytes, width * height);
  remapRows(maxPaletteRemap(range.min_non_zero, power), range.lowest, range.highest, bytes, bytes, bottom_up,
            width, height);
  return range.min_non_zero;
}

}  // namespace

int maxPaletteStretch(std::uint8_t* bytes, int count, double power) {
  return count > 0 ? maxPaletteStretchRows(bytes, count, 1, power, nullptr) : 255;
}

BitmapPalette displayPalette(const FrameState& flags, const std::array<int, 256>& auto_contrast) {
  BitmapPalette p{};
  for (int i = 0; i < 256; ++i) {
    BitmapColour& c = p[static_cast<std::size_t>(i)];
    const int table = auto_contrast[static_cast<std::size_t>(i)];
    if (flags.false_colour) {
      const int d = flags.auto_contrast ? table : i;
      if (d > 240) {
        grey(c, d);  // the brightest entries stay grey
        continue;
      }
      const int inv = 255 - d;
      c.red = static_cast<std::uint8_t>(d);
      c.green = static_cast<std::uint8_t>((d * d) >> 8);
      c.blue = static_cast<std::uint8_t>(inv - ((inv * inv) >> 8));
    } else {
      grey(c, flags.auto_contrast || flags.max_palette_stretch ? table : i);
    }
  }
  return p;
}

bool smallWindowShown(const FrameState& f, const DisplayState& d) {
  return f.focus_mode || d.guide_window_shown;
}

namespace {
// writeDisplayBitmap, leaving in `palette` the colour table written. The rows go to the file from
// b.BitmapRows, bottom row first, whichever way they got there.
int writeDisplayBitmapWith(const std::filesystem::path& path, ImageBuffers& b, const FrameState& f,
                           DisplayState& d, BitmapPalette& palette) {
  const bool small = smallWindowShown(f, d);
  const int width = small ? kSmallSide : kFrameWidth;
  const int height = small ? kSmallSide : kFrameHeight;
  bool rows_ready = false;  // BitmapRows already holds the rows bottom row first
  if (f.auto_contrast || f.max_palette_stretch || f.focus_mode) {
    if (d.background_level < 0) d.background_level = 0;
    if (f.max_palette_stretch || f.focus_mode) {
      const double power = f.focus_mode ? d.focus_stretch_power : d.stretch_display_power;
      // Outside focus mode the stretch covers all 330,000 display bytes, also when the small window
      // is shown; where it covers exactly the bytes written, it leaves their rows ready for the file.
      const int count = f.focus_mode ? kSmallElements : kFrameElements;
      if (count == width * height) {
        maxPaletteStretchRows(b.DisplayBytes.data(), width, height, power, b.BitmapRows.data());
        rows_ready = true;
      } else {
        maxPaletteStretch(b.DisplayBytes.data(), count, power);
      }
      if (f.focus_mode && displayHooks().after_focus_stretch) displayHooks().after_focus_stretch();
    }
    d.auto_contrast_table = autoContrastTable(d.background_level);
  }
  palette = displayPalette(f, d.auto_contrast_table);
  const int chunks = small ? 1 : kFrameWriteChunks;
  if (rows_ready) return writeBottomUpBitmapFile(path, b.BitmapRows.data(), width, height, palette, chunks);
  return writeBitmapFile(path, b.DisplayBytes.data(), width, height, palette, b.BitmapRows.data(), chunks);
}
}  // namespace

int writeDisplayBitmap(const std::filesystem::path& path, ImageBuffers& b, const FrameState& f,
                       DisplayState& d) {
  BitmapPalette palette;
  return writeDisplayBitmapWith(path, b, f, d, palette);
}

std::string windowTitleFor(const std::string& image_title) {
  return std::string(kProgramCaption) + " - " + image_title;
}

std::optional<LoadedBitmap>& windowBitmap() {
  static std::optional<LoadedBitmap> bitmap;
  return bitmap;
}

namespace {
int no_display_bitmaps = 0;  // NoDisplayBitmaps objects alive
}  // namespace

NoDisplayBitmaps::NoDisplayBitmaps() {
  ++no_display_bitmaps;
}

NoDisplayBitmaps::~NoDisplayBitmaps() {
  --no_display_bitmaps;
}

void refreshDisplay() {
  ImageBuffers& b = imageBuffers();
  FrameState& f = frameState();
  DisplayState& d = displayState();
  const bool small = smallWindowShown(f, d);
  platform().ui->setTitle(windowTitleFor(d.image_title));
  if (f.auto_contrast) d.background_level = backgroundLevelB1(b.CurrentFrame, b);
  if (no_display_bitmaps > 0) {
    platform().ui->repaint();
    return;
  }
  computeDisplayBytes(b.CurrentFrame, b.DisplayBytes.data(), small ? kSmallElements : kFrameElements);
  const auto path = small ? platform().paths.focusBitmap() : platform().paths.displayBitmap();
  BitmapPalette palette;
  const int result = writeDisplayBitmapWith(path, b, f, d, palette);
  // A disk that stays full fails every refresh: the user hears of it once, until a write succeeds.
  if (result != kBitmapOk && d.last_write_result == kBitmapOk) ShowWriteFailure(7 + result);
  d.last_write_result = result;
  // The window shows what the file holds, whether or not this write succeeded; its buffers are reused.
  // After a complete write that is exactly the header and rows just written, taken from memory;
  // after a failed one the file is read back.
  std::optional<LoadedBitmap>& shown = windowBitmap();
  if (!shown) shown.emplace();
  const bool loaded = result == kBitmapOk
                          ? loadWrittenBitmap(b.BitmapRows.data(), small ? kSmallSide : kFrameWidth,
                                              small ? kSmallSide : kFrameHeight, palette, *shown)
                          : readBitmapFile(path, *shown);
  if (!loaded) shown.reset();
  if (shown) {
    f.bitmap_width = windowBitmap()->width;
    f.bitmap_height = windowBitmap()->height;
  } else {
    ShowMessage(32);
  }
  platform().ui->repaint();
}

void afterPaint() {
  displayState().background_level = backgroundLevelB2(imageBuffers().CurrentFrame, imageBuffers());
}

int autochangeExposure(int exposure_ms, int peak) {
  if (peak < 32000) return exposure_ms * 2;
  if (peak > 64000) return exposure_ms / 2;
  return exposure_ms;
}

ShownExposure exposureInUnits(int t) {
  if (t >= 120001) return {t / 60000, ExposureUnit::Minutes};
  if (t >= 1001) return {t / 1000, ExposureUnit::Seconds};
  if (t >= 101) return {t / 100, ExposureUnit::Tenths};
  if (t >= 11) return {t / 10, ExposureUnit::Hundredths};
  return {t, ExposureUnit::Thousandths};
}

BitmapPalette guiderPalette(const GuiderDisplaySettings& s) {
  BitmapPalette p{};
  for (int i = 0; i < 256; ++i) {
    int v = i;
    if (s.apply_stretch) {
      const double e = i / 255.0;
      v = static_cast<int>(s.stretch * 255.0 * e / (e * (s.stretch - 1.0) + 1.0));
      v = std::clamp(v, 0, 255);
    }
    grey(p[static_cast<std::size_t>(i)], v);
  }
  return p;
}

int guiderDisplayBytes(const GuiderFrame& frame, GuiderDisplaySettings& s, std::uint8_t* out) {
  const int k = std::clamp(s.min_display - 1, 0, 254);
  if (s.max_display < k) s.max_display = 255;
  for (int i = 0; i < kGuiderElements; ++i) {
    const int h = frame[static_cast<std::size_t>(i)] >> 8;
    out[i] = static_cast<std::uint8_t>(h >= 253 ? h : (h > k ? h - k : 0));
  }
  return k;
}

int writeGuiderBitmap(const std::filesystem::path& path, const GuiderFrame& frame, GuiderDisplaySettings& s,
                      ImageBuffers& b) {
  guiderDisplayBytes(frame, s, b.GuiderDisplayBytes[0].data());
  return writeBitmapFile(path, b.GuiderDisplayBytes[0].data(), kGuiderWidth, kGuiderHeight, guiderPalette(s),
                         b.GuiderDisplayBytes[1].data(), 1);
}

}  // namespace qlm
