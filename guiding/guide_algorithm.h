#pragma once
#include <filesystem>
#include <optional>
#include <string>

#include "guiding/guide_rules.h"
#include "guiding/guider.h"
#include "guiding/predictive_guide.h"

namespace qlm {

// The guide algorithm's choice and tuning, and the last guider training at full precision. Kept in a
// small text file of its own beside the settings file (one `name=value` a line): the settings record's
// layout is fixed and holds the trained rates as whole pixels per second only.
struct GuideAlgorithmSettings {
  GuideAlgorithm algorithm = GuideAlgorithm::Classic;
  AxisTuning ra;
  AxisTuning dec;
  bool periodic_model = true;
  // The last completed guider training: milliseconds of pulse per pixel, the directions of the East and
  // North motion on the sensor (degrees), the Dec play (pixels), and the whole values the settings
  // record took from it, by which a later run knows the defaults still come from this training.
  bool trained = false;
  double ra_ms_per_px = 0.0, dec_ms_per_px = 0.0;
  double ra_angle_deg = 0.0, dec_angle_deg = 0.0;
  double dec_backlash_px = 0.0;
  int ra_rate = 0, dec_rate = 0, dec_backlash = 0;
};
GuideAlgorithmSettings& guideAlgorithmSettings();

// R/autosave/QLM_T4_guiding.txt
std::filesystem::path guideAlgorithmFile();
// Reads the file into the program-wide record; a missing file leaves the start-up values, unknown or
// malformed lines are skipped (each value is checked against its range). False when nothing was read.
bool loadGuideAlgorithmSettings();
// Writes the record (through the atomic writer). False when it could not be written.
bool saveGuideAlgorithmSettings();
// The record as the file's text, and back: for the file and for tests.
std::string guideAlgorithmText(const GuideAlgorithmSettings& s);
GuideAlgorithmSettings parseGuideAlgorithmText(const std::string& text);

// "classic" / "predictive" (any case) to the algorithm; nothing for another word.
std::optional<GuideAlgorithm> guideAlgorithmFromWord(const std::string& word);

// Keeps a guider training's full-precision values (called when a training completes).
void rememberGuiderTraining(const GuiderTraining& t, GuideAlgorithmSettings& s);

// The predictive algorithm's parameters for the guider camera: the training of this run when it is in
// use, else the stored training while the settings' default column still holds its values, else the
// default column (rates, Dec backlash and, with "Ignore RA Angle" off, the RA angle).
PredictiveParams predictiveGuiderParams();
// The main camera's: its rates and Dec backlash along the sensor's axes.
PredictiveParams predictiveMainParams();

// The predictive algorithm over one guiding run: started with the loop's parameters, then asked for each
// measured frame's correction, its time counted from the run's first measured frame (so a guide log
// replays to the same pulses). The letters sent become the loop's last letters, so a later run with the
// classic rule knows which way each axis last moved.
void startPredictiveRun(const PredictiveParams& p);
GuideCorrection predictiveGuideCorrection(const GuideFrameRecord& rec, const CentroidResult& ref, bool send,
                                          LastLetters& last);
// The run's algorithm state, for the views and the tests.
const PredictiveGuider& predictiveRunGuider();

}  // namespace qlm
