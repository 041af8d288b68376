#include "app/calibration_commands.h"

#include <algorithm>
#include <array>
#include <memory>

#include "app/file_commands.h"
#include "app/window_model.h"
#include "files/pk.h"
#include "image/calibration.h"
#include "image/centroid.h"
#include "image/display.h"
#include "image/frame.h"
#include "platform/platform.h"

namespace qlm {

namespace {

// A calibration file as last read, known by its name, size and time of writing.
struct ReadCalibration {
  std::filesystem::path path;
  std::uintmax_t size = 0;
  std::filesystem::file_time_type written{};
  std::unique_ptr<Frame> frame;
};

std::array<ReadCalibration, 2> kept_files;
std::size_t next_kept = 0;
int keeping = 0;  // KeptCalibrationFiles objects alive

// loadSecondImage, from the files kept while a KeptCalibrationFiles lives.
bool loadSecondImageKept(const std::filesystem::path& file, Frame& second) {
  if (keeping == 0) return loadSecondImage(file, second);
  std::array<ReadCalibration, 2>& kept = kept_files;
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  const auto written = ec ? std::filesystem::file_time_type{} : std::filesystem::last_write_time(file, ec);
  if (!ec) {
    for (const ReadCalibration& k : kept) {
      if (k.frame && k.path == file && k.size == size && k.written == written) {
        second = *k.frame;
        return true;
      }
    }
  }
  if (!loadSecondImage(file, second)) return false;
  if (!ec) {
    ReadCalibration& k = kept[next_kept];
    next_kept = (next_kept + 1) % kept.size();
    if (!k.frame) k.frame = std::make_unique<Frame>();
    *k.frame = second;
    k.path = file;
    k.size = size;
    k.written = written;
  }
  return true;
}

// Load into SecondFrame, snapshot, then `apply` on CurrentFrame; history and refresh.
bool correctWithFile(const std::filesystem::path& file, const char* history,
                     const std::function<void(Frame& current, const Frame& second)>& apply) {
  ImageBuffers& b = imageBuffers();
  if (!loadSecondImageKept(file, b.SecondFrame)) return false;
  Ui& ui = *platform().ui;
  ui.setCursor(CursorShape::Wait);
  takeUndoSnapshot(b.CurrentFrame, b.UndoFrame);
  apply(b.CurrentFrame, b.SecondFrame);
  historyList().append(history);
  refreshDisplay();
  ui.setCursor(CursorShape::Arrow);
  return true;
}

void endMerging() {
  mouseModes().merge_marking = false;
  mouseModes().merge_refine = false;
  if (mergeView().close) mergeView().close();
}

}  // namespace

KeptCalibrationFiles::KeptCalibrationFiles() {
  ++keeping;
}

KeptCalibrationFiles::~KeptCalibrationFiles() {
  if (--keeping > 0) return;
  for (ReadCalibration& k : kept_files)
    k = ReadCalibration{};
}

bool subtractDarkFile(const std::filesystem::path& file) {
  return correctWithFile(file, kDarkHistory,
                         [](Frame& current, const Frame& dark) { subtractDark(current, dark); });
}

bool applyFlatFieldFile(const std::filesystem::path& file) {
  return correctWithFile(file, kFlatHistory, [](Frame& current, const Frame& flat) {
    interactiveFlatField(current, flat, *platform().ui);
  });
}

void subtractDarkCommand() {
  if (const auto file = chooseCalibrationFile("Subtract Image (Dark Frame)")) subtractDarkFile(*file);
}

void applyFlatFieldCommand() {
  if (const auto file = chooseCalibrationFile("Apply Flat Field")) applyFlatFieldFile(*file);
}

MergeModel& mergeModel() {
  static MergeModel model;
  return model;
}

MergeView& mergeView() {
  static MergeView view;
  return view;
}

void mergeCommand() {
  if (!enterMerge(mouseModes(), frameState())) return;
  mergeModel().start();
  mergeChoicesChanged();
  if (mergeView().open) mergeView().open();
}

void mergeChoicesChanged() {
  mouseModes().merge_refine = mergeModel().active() && mergeModel().centre();
}

void mergeButtonCommand() {
  const auto combine = mergeModel().merge();
  if (!combine) return;
  endMerging();
  combineMergeImages(*combine);
  refreshDisplay();
}

void mergeCancelCommand() {
  if (!mergeModel().active()) return;
  mergeModel().cancel();
  endMerging();
}

void combineMergeImages(const MergeModel::Combine& c) {
  ImageBuffers& b = imageBuffers();
  mergeImages(b.SecondFrame, b.CurrentFrame, c.dx, c.dy, c.average);
  std::copy_n(b.SecondFrame.begin(), kFrameElements, b.CurrentFrame.begin());
}

void connectMergeLinks() {
  // Refinement onto a star, unless the guide-star pick has put its own pass in: one centroid pass on
  // the frame shown, the position moving to the main result.
  if (!clickHooks().find_centre) {
    clickHooks().find_centre = [](int& x, int& y, int r) {
      CentroidState& c = centroidState();
      if (FindCentre(x, y, imageBuffers().CurrentFrame.data(), r, CentreConditions{}, c) != 0) return false;
      x = c.main.x;
      y = c.main.y;
      return true;
    };
  }
  clickHooks().merge_mark = [](int x, int y) {
    mergeModel().mark(x, y);
    if (mergeView().refresh) mergeView().refresh();
  };
  FileCommandHooks& files = fileCommandHooks();
  files.merge_open = [] { return mergeModel().active(); };
  files.merge_refresh = [] {
    mergeModel().fileOpened();
    if (mergeView().refresh) mergeView().refresh();
  };
}

}  // namespace qlm
