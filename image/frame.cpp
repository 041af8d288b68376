#include "image/frame.h"

#include <algorithm>
#include <cstring>

namespace qlm {

namespace {

// The buffers live in static storage, which starts out all zero: at start-up only the buffers that
// start non-zero are written, and the pages of the others are first touched when they are used.
ImageBuffers& bufferStorage() {
  static ImageBuffers buffers;
  return buffers;
}

bool& buffersHandedOut() {
  static bool handed_out = false;
  return handed_out;
}

// The start-up contents that are not zero: the frame and guider ramps and the grey palette.
void writeStartContents(ImageBuffers& b) {
  for (int y = 0; y < kFrameHeight; ++y) {
    const auto v = static_cast<std::uint16_t>(y * 62);
    auto first = static_cast<std::size_t>(y) * kFrameWidth;
    std::fill_n(b.CurrentFrame.begin() + first, kFrameWidth, v);
    std::fill_n(b.SecondFrame.begin() + first, kFrameWidth, v);
    std::fill_n(b.UndoFrame.begin() + first, kFrameWidth, v);
  }
  for (int r = 0; r < kGuiderHeight; ++r) {
    std::fill_n(b.GuiderFrames[0].begin() + static_cast<std::size_t>(r) * kGuiderWidth, kGuiderWidth,
                static_cast<std::uint16_t>(r * 200));
  }
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    b.Palette[static_cast<std::size_t>(i)] = PaletteEntry{v, v, v, 1};
  }
}

}  // namespace

ImageBuffers& imageBuffers() {
  static const bool started = (writeStartContents(bufferStorage()), true);
  (void)started;
  buffersHandedOut() = true;
  return bufferStorage();
}

void resetImageBuffers() {
  // Until the buffers were first handed out they hold exactly their start-up contents.
  if (buffersHandedOut()) initialiseImageBuffers(bufferStorage());
  imageBuffers();
}

HistoryList& historyList() {
  static HistoryList list;
  return list;
}

FrameState& frameState() {
  static FrameState state;
  return state;
}

void initialiseImageBuffers(ImageBuffers& b) {
  // The spare elements carry no data; keep them zero.
  std::fill(b.CurrentFrame.begin() + kFrameElements, b.CurrentFrame.end(), 0);
  std::fill(b.SecondFrame.begin() + kFrameElements, b.SecondFrame.end(), 0);
  std::fill(b.UndoFrame.begin() + kFrameElements, b.UndoFrame.end(), 0);
  b.FlatCache.fill(0);
  b.FileStaging.fill(0);
  std::fill(b.GuiderFrames[0].begin() + kGuiderElements, b.GuiderFrames[0].end(), 0);
  b.GuiderFrames[1].fill(0);
  b.GuiderFrames[2].fill(0);
  b.DisplayBytes.fill(0);
  b.BitmapRows.fill(0);
  b.BinnedStore.fill(0);
  for (auto& g : b.GuiderDisplayBytes)
    g.fill(0);
  b.StretchTable.fill(0);
  b.HistogramCounters.fill(0);
  writeStartContents(b);
}

void resetFrameState(FrameState& s) {
  s = FrameState{};
}

bool labelled(const std::uint16_t* frame) {
  return frame[4] + frame[5] == 34;
}

int firstImageRow(const std::uint16_t* frame) {
  return labelled(frame) ? kLabelRows : 0;
}

namespace {
std::uint32_t& snapshotCounter() {
  static std::uint32_t count = 0;
  return count;
}
}  // namespace

void takeUndoSnapshot(const Frame& current, Frame& undo) {
  std::copy_n(current.begin(), kFrameElements, undo.begin());
  ++snapshotCounter();
}

void countUndoSnapshot() {
  ++snapshotCounter();
}

std::uint32_t undoSnapshotCount() {
  return snapshotCounter();
}

void undoLastFilter(Frame& current, const Frame& undo, HistoryList& history) {
  std::copy_n(undo.begin(), kFrameElements, current.begin());
  history.removeNewest();
}

void HistoryList::append(std::string_view text) {
  for (auto& e : entries_) {
    if (e[0] == 0) {
      const std::size_t n = std::min<std::size_t>(text.size(), kEntryChars - 1);
      std::fill(e.begin(), e.end(), '\0');
      std::memcpy(e.data(), text.data(), n);
      return;
    }
  }
}

void HistoryList::clear() {
  for (auto& e : entries_)
    e.fill('\0');
}

void HistoryList::removeNewest() {
  for (int i = 0; i < kEntries; ++i) {
    if (entries_[static_cast<std::size_t>(i)][0] == 0) {
      if (i >= 1) entries_[static_cast<std::size_t>(i - 1)].fill('\0');
      return;
    }
  }
}

std::string HistoryList::entry(int i) const {
  const auto& e = entries_[static_cast<std::size_t>(i)];
  return std::string(e.data(), strnlen(e.data(), kEntryChars));
}

int HistoryList::count() const {
  int n = 0;
  while (n < kEntries && entries_[static_cast<std::size_t>(n)][0] != 0)
    ++n;
  return n;
}

std::string HistoryList::boxText() const {
  std::string text = entry(0) + " \n";
  for (int i = 1; i < kEntries; ++i) {
    const std::string e = entry(i);
    if (e.size() <= 1) break;
    text += e + " \n";
  }
  return text;
}

void toggleFitToWindow(FrameState& s, bool photometry_running) {
  if (photometry_running) return;
  s.fit_to_window = !s.fit_to_window;
  if (s.fit_to_window) s.centre_image = false;
}

void toggleCentreImage(FrameState& s, bool photometry_running) {
  if (photometry_running) return;
  s.centre_image = !s.centre_image;
  if (s.centre_image) s.fit_to_window = false;
}

bool standardGeometry(const FrameState& s) {
  return !s.fit_to_window && !s.centre_image;
}

void copyAroundRectangle(const Frame& from, Frame& to, int r0, int r1, int c0, int c1, bool inside) {
  const auto at = [](int row, int col) {
    return static_cast<std::ptrdiff_t>(row) * kFrameWidth + static_cast<std::ptrdiff_t>(col);
  };
  if (inside) {
    for (int r = r0; r <= r1; ++r)
      std::copy_n(from.begin() + at(r, c0), c1 - c0 + 1, to.begin() + at(r, c0));
    return;
  }
  std::copy_n(from.begin(), at(r0, 0), to.begin());
  for (int r = r0; r <= r1; ++r) {
    std::copy_n(from.begin() + at(r, 0), c0, to.begin() + at(r, 0));
    std::copy_n(from.begin() + at(r, c1 + 1), kFrameWidth - 1 - c1, to.begin() + at(r, c1 + 1));
  }
  std::copy(from.begin() + at(r1 + 1, 0), from.begin() + kFrameElements, to.begin() + at(r1 + 1, 0));
}

}  // namespace qlm
