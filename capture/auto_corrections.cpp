#include "capture/auto_corrections.h"

#include "files/pk.h"
#include "image/calibration.h"
#include "image/centroid.h"
#include "image/stacking.h"
#include "platform/platform.h"

namespace qlm {

namespace {
// Reads a typed calibration file name into `cache`; a name on a drive the machine lacks cannot open.
int loadTyped(const std::string& file, Frame& cache) {
  const auto path = platform().paths.mapTyped(file);
  if (!path) return kCalibrationNotPk;
  return loadCalibrationFrame(*path, cache);
}

// The automatic flat made ready when it is read, for every frame of the run.
PreparedFlat& preparedFlat() {
  static auto* prepared = new PreparedFlat;
  return *prepared;
}
}  // namespace

bool autoDarkStep(Frame& current, Frame& cache, SequenceState& st, const std::string& file) {
  if (st.dark_loaded && st.dark_snapshot != undoSnapshotCount()) st.dark_loaded = false;
  if (!st.dark_loaded) {
    const int answer = loadTyped(file, cache);
    if (answer != kCalibrationRead) {
      reportCalibrationLoad(CalibrationKind::Dark, answer);
      return false;
    }
    st.dark_loaded = true;
    st.dark_snapshot = undoSnapshotCount();
  }
  subtractDark(current, cache);
  return true;
}

bool autoFlatStep(Frame& current, Frame& cache, SequenceState& st, const std::string& file) {
  if (!st.flat_loaded) {
    const int answer = loadTyped(file, cache);
    if (answer != kCalibrationRead) {
      reportCalibrationLoad(CalibrationKind::Flat, answer);
      return false;
    }
    prepareFlat(cache, preparedFlat());
    st.flat_loaded = true;
  }
  autoFlatField(current, cache, preparedFlat());
  return true;
}

int stackStep(const CaptureSettings& s, int count, Frame& current, Frame& stack) {
  if (s.alternative_slew) return stackByProfile(stackState(), current, stack, count, s.average_multiple);
  return stackByStar(stackState(), current, stack, count, s.average_multiple, centroidState().working_radius);
}

}  // namespace qlm
