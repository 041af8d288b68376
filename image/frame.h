#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qlm {

// Frame geometry: fixed for the life of the program.
inline constexpr int kFrameWidth = 660;
inline constexpr int kFrameHeight = 500;
inline constexpr int kLastRow = kFrameHeight - 1;
inline constexpr int kFrameElements = kFrameWidth * kFrameHeight;  // 330,000
inline constexpr int kFrameAllocated = kFrameElements + 80;        // 80 spare elements
inline constexpr int kLabelRows = 10;
inline constexpr int kLabelElements = kLabelRows * kFrameWidth;  // 6,600
inline constexpr double kFrameWidthF = 660.0;
inline constexpr double kFrameHeightF = 500.0;
inline constexpr double kLastRowF = 499.0;

inline constexpr int kGuiderWidth = 500;
inline constexpr int kGuiderHeight = 290;
inline constexpr int kGuiderElements = kGuiderWidth * kGuiderHeight;  // 145,000
inline constexpr int kGuiderAllocated = kGuiderElements + 80;

inline constexpr int kStretchTableSize = 32768;
inline constexpr int kBinnedStoreSize = 464 * 346;  // 160,544
inline constexpr int kHistogramBins = 257;

// Label marker: elements 0-5 are set to 17 after drawing a label.
inline constexpr std::uint16_t kLabelMarkerValue = 17;

using Frame = std::array<std::uint16_t, kFrameAllocated>;
using GuiderFrame = std::array<std::uint16_t, kGuiderAllocated>;

struct PaletteEntry {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::uint8_t flags = 0;
};

// The program's static image buffers. Element (x, y) of a frame is at y * 660 + x, row 0 at the top.
struct ImageBuffers {
  Frame CurrentFrame;  // the image being shown and processed
  Frame SecondFrame;   // dark / flat / merge image, mirror scratch, capture stack
  Frame UndoFrame;     // undo snapshot; during capture the automatic dark frame
  Frame FlatCache;     // flat field for automatic flat fielding
  Frame FileStaging;   // FITS reader and writer staging
  std::array<GuiderFrame, 3> GuiderFrames;
  std::array<std::uint8_t, kFrameElements> DisplayBytes;  // high byte of each element
  std::array<std::uint8_t, kFrameElements> BitmapRows;    // display bytes, bottom row first
  std::array<std::uint16_t, kBinnedStoreSize> BinnedStore;
  std::array<std::array<std::uint8_t, kGuiderAllocated>, 2> GuiderDisplayBytes;
  std::array<std::uint16_t, kStretchTableSize> StretchTable;  // index = value / 2
  std::array<PaletteEntry, 256> Palette;
  std::array<std::uint16_t, kHistogramBins> HistogramCounters;
};

// Processing history: 15 entries of 40 characters; an entry is empty when its first character is 0.
class HistoryList {
 public:
  static constexpr int kEntries = 15;
  static constexpr int kEntryChars = 40;

  // Copies `text` into the first empty entry (at most 39 characters and the terminator); dropped
  // silently when all 15 are in use.
  void append(std::string_view text);
  void clear();
  // Undo's rule: empties the entry before the first empty one, if that is entry 1 or later. With an
  // empty or a full history nothing changes.
  void removeNewest();
  // The text of entry i (up to its terminator).
  std::string entry(int i) const;
  // Number of leading entries in use.
  int count() const;
  // The "Processing History" box text: entry 0 and " \n", then each further entry and " \n" while the
  // next entry holds more than one character.
  std::string boxText() const;
  // Raw access for the file formats, which store and restore the 40-byte entries.
  std::array<char, kEntryChars>& raw(int i) { return entries_[static_cast<std::size_t>(i)]; }
  const std::array<char, kEntryChars>& raw(int i) const { return entries_[static_cast<std::size_t>(i)]; }

 private:
  std::array<std::array<char, kEntryChars>, kEntries> entries_{};
};

// How the frame was filled and how it is shown; never its layout in memory.
struct FrameState {
  bool binned = false;                  // binned readout selected or binned FITS loaded
  std::uint16_t binning_indicator = 0;  // 0 full resolution, 2 after a 2x2 binned readout
  int bitmap_width = kFrameWidth;       // size of the bitmap the window last loaded
  int bitmap_height = kFrameHeight;
  bool fit_to_window = false;
  bool centre_image = false;
  bool false_colour = false;
  bool auto_contrast = false;
  bool max_palette_stretch = false;
  bool focus_mode = false;
};

// Program-wide instances.
ImageBuffers& imageBuffers();
HistoryList& historyList();
FrameState& frameState();

// Fills the buffers with their start-up contents: the vertical ramp (row y holds y * 62) in the
// current, second and undo frames; zeros in the flat cache; the guider ramp (row r holds r * 200) in
// the first guider buffer and zeros in the third; zero histogram counters; the grey palette.
void initialiseImageBuffers(ImageBuffers& b);
// Puts the program-wide buffers back to their start-up contents. Before the first imageBuffers() call
// they already hold them, and nothing is written (so start-up touches no page it does not need).
void resetImageBuffers();
void resetFrameState(FrameState& s);

// True when the frame carries the label marker (element 4 + element 5 == 34).
bool labelled(const std::uint16_t* frame);
// First image row: 10 for a labelled frame, else 0.
int firstImageRow(const std::uint16_t* frame);

// Copies the elements of `from` outside the rectangle rows r0-r1, columns c0-c1 (inside == false), or
// those inside it (inside == true), into `to`; only the 330,000 used elements are touched.
void copyAroundRectangle(const Frame& from, Frame& to, int r0, int r1, int c0, int c1, bool inside);
// Copies the 330,000 used elements of `current` into `undo` and counts the snapshot.
void takeUndoSnapshot(const Frame& current, Frame& undo);
// Counts a snapshot that the caller takes itself, copying the frame into the undo buffer in the same
// pass as its own work.
void countUndoSnapshot();
// Snapshots taken since start-up (wrapping). Capture caches its automatic dark in the undo frame and
// reads the file again once this number has moved.
std::uint32_t undoSnapshotCount();
// Restores the snapshot into `current` and removes the newest history entry (the display refresh is
// the caller's).
void undoLastFilter(Frame& current, const Frame& undo, HistoryList& history);

// View toggles: turning fit on clears centre and vice versa; ignored while photometry runs.
void toggleFitToWindow(FrameState& s, bool photometry_running);
void toggleCentreImage(FrameState& s, bool photometry_running);
// Standard geometry: neither fit to window nor centre image.
bool standardGeometry(const FrameState& s);

}  // namespace qlm
