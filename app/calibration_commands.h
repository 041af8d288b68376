#pragma once
#include <filesystem>
#include <functional>

#include "image/merge_model.h"

namespace qlm {

// The Merging menu on the program-wide buffers.

// "&Subtract Image (Dark Frame)" and "Apply &Flat Field": the file dialog, then the file step below.
void subtractDarkCommand();
void applyFlatFieldCommand();

// The steps on a chosen file: load it into SecondFrame (a file that is not a 660,000-byte PK file
// shows "Sorry, you didn't choose a PK File" and changes nothing), undo snapshot, the arithmetic, the
// history text ("Dark Frame Subtracted" / "Flat Field Applied") and a refresh. False when not loaded.
bool subtractDarkFile(const std::filesystem::path& file);
bool applyFlatFieldFile(const std::filesystem::path& file);

// While one lives (a batch command applying the same dark and flat to many frames), the last two
// files those steps read are kept and each is read once, unless it is written again meanwhile (another
// size or time). Its end forgets them.
class KeptCalibrationFiles {
 public:
  KeptCalibrationFiles();
  ~KeptCalibrationFiles();
  KeptCalibrationFiles(const KeptCalibrationFiles&) = delete;
  KeptCalibrationFiles& operator=(const KeptCalibrationFiles&) = delete;
};

// The merging mode's dialog state, one for the program.
MergeModel& mergeModel();

// How the front end shows the modeless "MERGE IMAGES" dialog: open it, show the model again, close it.
// Empty hooks do nothing (the command-line tool and tests have no dialog).
struct MergeView {
  std::function<void()> open;
  std::function<void()> refresh;
  std::function<void()> close;
};
MergeView& mergeView();

// "Merge two Images &together": refused with message 35, 30 or 31 (as the main window's mode rules
// say); otherwise merging mode starts (MergeModel::start) and the dialog opens.
void mergeCommand();
// After a dialog control changed the model: the "Centre" box decides whether clicks are refined onto
// a star's centroid.
void mergeChoicesChanged();
// "Merge": nothing while base marking is on; otherwise merging mode ends, the dialog closes, the base
// image in SecondFrame and the merge image in CurrentFrame are combined (no undo snapshot, no
// history) and the result is shown.
void mergeButtonCommand();
// "Cancel", or the dialog closed: merging mode ends without combining.
void mergeCancelCommand();

// Combines the base image in SecondFrame with the merge image in CurrentFrame and copies the result
// into CurrentFrame.
void combineMergeImages(const MergeModel::Combine& c);

// Connects the merge marks to the main window's clicks and File/Open to the merge.
void connectMergeLinks();

}  // namespace qlm
