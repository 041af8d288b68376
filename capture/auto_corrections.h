#pragma once
#include <string>

#include "capture/capture_state.h"
#include "image/frame.h"

namespace qlm {

// The automatic corrections of a frame just read, on explicit buffers and flags.

// Automatic dark subtraction with the dark cached in `cache` (the undo frame). The typed file name is
// read when the dark is not loaded yet or an undo snapshot has replaced the cached copy since; a file
// that cannot be read shows message 7 or 22 and leaves the frame as it is (the next frame tries
// again). True when the dark was subtracted.
bool autoDarkStep(Frame& current, Frame& cache, SequenceState& st, const std::string& file);

// Automatic flat fielding with the flat cached in `cache` (FlatCache), read once per program run;
// messages 25 and 26. True when the flat was applied.
bool autoFlatStep(Frame& current, Frame& cache, SequenceState& st, const std::string& file);

// The stacking step of a multi-exposure run: star tracking, or profile correlation with
// "Alternative Slew Method"; N = `count`, averaging with "Average Multiple Exposures". Answers 0, 1
// (star lost) or 2 (no suitable star), as the image layer's stacking does.
int stackStep(const CaptureSettings& s, int count, Frame& current, Frame& stack);

}  // namespace qlm
