#pragma once
#include <ctime>

#include "image/frame.h"

namespace qlm {

// Numbers of the autosaved files: IMG1.FIT ... IMG65530.FIT, then IMG1.FIT again.
inline constexpr unsigned kLastAutosaveNumber = 65530;

// Outcome of one autosave: 0 written and the counter saved, 1 the FITS file could not be written
// (the counter has advanced all the same), else the settings save's result. `midpoint` is the
// exposure midpoint the file is stamped with.
struct AutosaveResult {
  int status = 0;
  std::time_t midpoint = 0;
};

// Writes `frame` as the next autosave file of the program-wide settings' autosave folder (created
// when missing), with the program-wide FITS details stamped at the midpoint of `start`..`end` (UT
// seconds), and saves the settings so the counter lasts. Touches no capture state: the caller decides
// what to do with the midpoint.
AutosaveResult autosaveFrame(const Frame& frame, std::time_t start, std::time_t end);

}  // namespace qlm
