#pragma once
#include <ctime>

#include "image/frame.h"

namespace qlm {

// Numbers of the autosaved files: IMG1.FIT ... IMG65530.FIT, then IMG1.FIT again.
inline constexpr unsigned kLastAutosaveNumber = 65530;

// autosaveFrame's status when the FITS file could not be written.
inline constexpr int kAutosaveFileFailed = 1;

// Outcome of one autosave: 0 written and the counter saved, 1 the FITS file could not be written
// (the counter has advanced all the same), else the settings save's result. `midpoint` is the
// exposure midpoint the file is stamped with.
struct AutosaveResult {
  int status = 0;
  std::time_t midpoint = 0;
};

// Writes `frame` as the next autosave file of the program-wide settings' autosave folder (created
// when missing), with the program-wide FITS details stamped at the midpoint of `start`..`end` (UT
// seconds), and saves the settings so the counter lasts. An existing file is never replaced: the
// counter moves on (wrapping after 65530) to the first number whose file does not exist, and when
// every number is taken the save fails. Touches no capture state.
AutosaveResult autosaveFrame(const Frame& frame, std::time_t start, std::time_t end);

// Tells the user about a failed autosave: "Unable to create file, check disk space" when the file
// was not written, "Unable to save INI file, please check disk space" when the counter was not saved.
void reportAutosave(int status);

}  // namespace qlm
