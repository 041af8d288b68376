#pragma once
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "guiding/guide_rules.h"

namespace qlm {

// The guide log in the text form PHD2 writes (log version 2.5), which PHD2 Log Viewer and the scripts
// made for those logs read: an opening line, a calibration section per training, a guiding section
// with its header lines, one row per guide frame ("DROP" rows for frames without a star), INFO lines
// for dithers and settling, and the end of guiding with a summary. Pure text: the guiding loops
// gather the values, these functions only format them. Every text returned ends with a line end.

// Where the star went after one pulse of a training, as a calibration row.
struct Phd2CalibrationStep {
  const char* direction = "West";  // West, East, Backlash, North, South
  int step = 0;
  double dx = 0.0, dy = 0.0;  // from the start of the leg, pixels
  double x = 0.0, y = 0.0;    // the measured position
};

// One training, ready to be written.
struct Phd2Calibration {
  std::time_t start_seconds = 0;  // UT
  std::string camera;             // the head that measured
  int pulse_ms = 0;               // the long pulses
  double lock_x = 0.0, lock_y = 0.0;
  std::vector<Phd2CalibrationStep> steps;
  // The trained axes on the sensor: angle in degrees, rate in pixels per second of pulse.
  double west_angle_deg = 0.0, west_rate = 0.0;
  double north_angle_deg = 0.0, north_rate = 0.0;
};

// The guider training as calibration rows: West 0-3 from the start, East from the third West, the
// stabilising West and the short North as the Dec backlash clearing, then North and South.
Phd2Calibration phd2GuiderCalibration(const GuiderTrainingPositions& p, const GuiderTraining& r,
                                      int t_seconds, std::time_t start_seconds);
// The main-camera training: North, South, East and West legs of two pulses each. The training measures
// only the axis it moves; the other coordinate is the one measured nearest in time.
Phd2Calibration phd2MainCalibration(const MainTrainingPositions& p, const MainTraining& r, int tm_seconds,
                                    std::time_t start_seconds);

// The angle of a vector on the sensor, degrees in (-180, 180].
double phd2AngleDegrees(double x, double y);

// The guiding section's header values.
struct Phd2GuidingHeader {
  std::time_t start_seconds = 0;
  std::optional<double> pixel_scale;  // arc-seconds per pixel; nothing: unknown
  double focal_length_mm = 0.0;       // 0: unknown
  std::string camera;
  int exposure_ms = 0;
  std::string mount;                        // how the pulses reach the mount
  bool ao = false;                          // the AO unit corrects (its steps stand where the pulses would)
  bool guiding = true;                      // pulses are sent ("guiding enabled")
  double x_angle_deg = 0.0, x_rate = 0.0;   // West on the sensor, pixels per second
  double y_angle_deg = 90.0, y_rate = 0.0;  // North
  // What follows "X guide algorithm = " and "Y guide algorithm = ": the name and its parameters.
  std::string x_algorithm = "Classic";
  std::string y_algorithm = "Classic";
  int ra_backlash_px = 0, dec_backlash_px = 0;
  int max_ra_ms = 0, max_dec_ms = 0;  // the longest pulse the correction limit allows
  double lock_x = 0.0, lock_y = 0.0;
  double star_x = 0.0, star_y = 0.0;
};

// One guide frame.
struct Phd2Frame {
  int frame = 0;
  double time_s = 0.0;  // since guiding began
  bool ao = false;
  bool dropped = false;                    // no star: a "DROP" row with its status
  std::string status;                      // of a dropped frame
  double dx = 0.0, dy = 0.0;               // star minus lock position on the sensor, pixels
  double ra_raw = 0.0, dec_raw = 0.0;      // the same along the RA and Dec axes (East and North positive)
  double ra_guide = 0.0, dec_guide = 0.0;  // the part the correction moves
  int ra_ms = 0, dec_ms = 0;               // pulses, or AO steps (signed) when `ao`
  char ra_dir = 0, dec_dir = 0;            // 'E' / 'W', 'N' / 'S'; 0: none
  double star_mass = 0.0;
  double snr = 0.0;
  int error_code = 0;  // 0: the star was measured
};

// The closing summary.
struct Phd2Summary {
  std::time_t end_seconds = 0;
  int frames = 0;
  int dropped = 0;
  int corrections = 0;
  double rms_ra_px = 0.0, rms_dec_px = 0.0;  // about the mean, as the viewer computes it
  std::optional<double> pixel_scale;
};

// "PHD2 version ..., Log version 2.5. Log enabled at ..." naming this program.
std::string phd2OpeningLine(std::time_t seconds);
std::string phd2CalibrationText(const Phd2Calibration& c);
std::string phd2GuidingHeaderText(const Phd2GuidingHeader& h);
std::string phd2FrameLine(const Phd2Frame& f);
// "INFO: DITHER by dx, dy, new lock pos = x, y".
std::string phd2DitherLine(double dx, double dy, double lock_x, double lock_y);
// "INFO: SETTLING STATE CHANGE, ..." for the start, the end and a timed-out settling.
enum class Phd2Settling { Started, Complete, TimedOut };
std::string phd2SettlingLine(Phd2Settling state, double distance_px);
// "Guiding Ends at ..." and the summary lines after it.
std::string phd2EndText(const Phd2Summary& s);
// "Log closed at ...".
std::string phd2ClosingLine(std::time_t seconds);

// "YYYY-MM-DD HH:MM:SS" in UT.
std::string phd2Time(std::time_t seconds);

}  // namespace qlm
