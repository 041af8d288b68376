#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "guiding/dither.h"
#include "image/star_measure.h"

namespace qlm {

// The capture choices that the camera control panel edits. They live for the whole run (the settings
// file does not carry them); the panel only shows and changes them.
struct CaptureSettings {
  char unit = 's';      // 'q' thousandths, 'h' hundredths, 't' tenths, 's' seconds, 'm' minutes
  int count = 1;        // exposure length in multiples of the unit
  int count_max = 300;  // limits of the exposure arrows for the chosen unit
  int count_min = 1;
  int exposures = 1;              // number of exposures, 1 to 99; back to 1 at every take-photo command
  bool average_multiple = false;  // "Average Multiple Exposures"
  bool alternative_slew = false;  // "Alternative Slew Method"
  bool auto_save = false;         // "Auto Save Image"
  bool delay_before = false;      // "Delay before exposure": 10-second countdown
  bool continuous = false;        // "Continuous Mode"
  bool auto_dark = false;         // "Auto-Remove Dark Frame"
  bool auto_flat = false;         // "Auto-Apply Flatfield"
  bool auto_process = false;      // "Apply Auto-Processing"
  bool autochange = false;        // "Autochange Exposure" (focus mode)
  bool live_stack = false;        // "Live Stack": each finished frame of a series goes to the live stack
  int delay_between = 0;          // pause between exposures, 0 to 20
  bool delay_in_minutes = false;  // unit of that pause: seconds (false) or minutes (true)
  int readout_mode = 1;           // 1 "High Resolution", 2 "Binned 2x2" (the binned flag is in FrameState)
  bool dither = false;            // "Dither between frames" of a guided series
  DitherParams dither_params;     // its amount and the settling before the next exposure
  std::optional<std::uint32_t> dither_seed;  // repeatable offsets; none: a fresh seed for each command
  // Typed file names of the automatic dark and flat ("c:\dark.def", "c:\flat.def" when left empty).
  std::string dark_file;
  std::string flat_file;
};

// What a running take-photo command keeps between its steps. Flags that outlive one command say so.
struct SequenceState {
  std::uint32_t exposure_ms = 1000;  // E: the exposure in milliseconds (the readout reads it too)
  double accumulated_seconds = 0.0;  // summed exposure of a sequence, for EXPTIME
  std::time_t exposure_start = 0;    // UT seconds at the start of the pass (of the frame when each is kept)
  std::time_t exposure_end = 0;      // UT seconds when the last frame was read out; 0 before any
  bool series = false;               // more than one exposure was asked for
  bool loop_continuous = false;      // copy of "Continuous Mode" taken when the sequence starts
  bool readout_skip = false;         // the user aborted the exposure wait, or guiding could not start
  bool readout_failed = false;       // a camera read of this command failed: that frame was not read
  int autosave_status = 0;           // the last autosave's result (0 written and counted)
  bool autosave_lost = false;        // an autosave of this command failed (file or counter)
  bool dark_loaded = false;          // the automatic dark is cached in the undo frame
  std::uint32_t dark_snapshot = 0;   // undo snapshots counted when it was read (a later one replaced it)
  bool flat_loaded = false;          // the automatic flat is cached; set once per run, never cleared
  bool focus_running = false;        // focus mode ran while the panel was open
  bool focus_stop = false;           // "Stop" (or a closing button) asks focus mode to end
  bool guided_exposure = false;      // "Autoguide Photo" asked for guiding during the exposure
  bool guided_started = false;       // guiding was started for the exposure in this command
  bool goto_autoguider = false;      // "Go to Autoguider" asked for the autoguider panel
  bool started_by_guiding = false;   // the guiding loop runs this command (no panel is shown)
  bool guiding_training = false;     // ... and it is training, so the frame is not handed over
  std::uint32_t wait_deadline = 0;   // deadline of the running wait; an abort moves it to now
  std::optional<StarMeasure> focus_star;  // sharpness of the star in the last focus exposure, if any
};

CaptureSettings& captureSettings();
SequenceState& sequenceState();
void resetCaptureSettings(CaptureSettings& s);
// Start-up values; the flat-loaded flag goes back to 0 as at program start.
void resetSequenceState(SequenceState& s);

// Exposure milliseconds of the take-photo command: count x 10 ('h'), x 60,000 ('m'), x 100 ('t'),
// x 1 ('q'), x 1000 for any other letter.
std::uint32_t exposureMillis(char unit, int count);
// Gauge steps of the exposure wait: 6 for 's' x 5-12, 20 for 's' x 13 or more or 'm', else 2.
int progressSteps(char unit, int count);
// True when the exposure is waited without pumping (the camera or a busy loop times it).
bool shortUnitExposure(char unit, std::uint32_t exposure_ms);

}  // namespace qlm
