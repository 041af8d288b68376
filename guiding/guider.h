#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "guiding/guide_rules.h"
#include "guiding/phd2_log.h"
#include "image/centroid.h"
#include "image/display.h"
#include "image/frame.h"

namespace qlm {

// The trainings and the two guiding loops on the camera, the mount and the clock. The arithmetic lives
// in guiding/guide_rules.h; this file runs it frame by frame.

// The guide log's form: the CSV rows, or the log PHD2's viewers read.
enum class GuideLogFormat { Csv, Phd2 };

// The guider head's exposure and processing, as the autoguider camera panel sets them.
struct GuiderCameraState {
  char unit = 's';  // 'h' hundredths, 't' tenths, 's' seconds
  int count = 1;
  int count_max = 10;
  bool one_sec_pause = false;                       // "1 Sec Pause" between repeated exposures
  bool dark_available = false;                      // a guider dark has been taken
  bool dark_in_use = false;                         // "Apply DarkFrame"
  bool dark_capture = false;                        // a dark is being taken (no subtraction)
  std::string dark_label;                           // "%2d" count + " hundredth " / " tenth " / " second "
  bool hot_pixel_filter = false;                    // "Apply Median Filter to all Images"
  GuiderDisplaySettings display;                    // "Apply Stretch to Guider Images" and the stretch value
  int bitmap_write_result = 0;                      // the last guider bitmap write: 0 or its failure code
  GuideLogFormat log_format = GuideLogFormat::Csv;  // the panel's guide log choice, for both cameras
};
GuiderCameraState& guiderCameraState();

// Training results and whether guiding uses them.
struct CalibrationState {
  GuiderTraining trained;
  bool trained_available = false;
  bool use_trained = false;
  int training_step = 0;  // the last completed step, shown by the panel
  bool training_in_progress = false;
  bool main_training_active = false;
};
CalibrationState& calibrationState();

// The guiding loops' program-wide record.
struct GuidingState {
  CentroidResult reference;  // where the star is held
  int dx = 0;                // the last errors, thousandths of a pixel
  int dy = 0;
  LastLetters last;  // survive between runs
  int ra_pulse = 0;  // last pulse lengths of the correction without rotation (shown)
  int dec_pulse = 0;
  bool guider_guiding = false;  // guiding with the guider camera; "Stop Guiding" clears it
  bool stop = false;
  bool reference_mark = false;
  bool start_request = false;      // "Start Guiding" pressed in the panel
  bool goto_main_request = false;  // "Go to Main Camera" pressed in the panel
  bool main_running = false;       // main-camera loop
  bool main_active = false;        // main-camera guiding active (the centroid's geometry)
  bool main_first_frame = true;
  bool main_stop = false;
  bool cycle_run = false;          // a guiding cycle has run in this program run
  bool main_training_run = false;  // a main-camera training has run in this program run
  bool camera_failed = false;      // the last training or run ended on a frame the camera did not deliver
  int frames = 0;                  // guide frames measured in this run
  int corrections = 0;             // frames after which at least one pulse went out
  int lost_frames = 0;             // guide frames of this run with no star at the reference
  bool star_lost = false;          // the last frame found no star
};
GuidingState& guidingState();
void resetGuidingState();  // all three records above back to start-up values
// True when the guide log of the last run lost rows (its writer has shown why).
bool guideLogFailed();

// Draws the guider image as the panel and the guiding window show it: the temporary guider bitmap is
// written, message 8, 9 or 10 when it cannot be. True when written.
bool drawGuiderImage();

// The guide star picked on the guider image, when one is.
struct GuiderStar {
  int x = 0;
  int y = 0;
};

// The star picked on the guider image (nothing until a guider pick has completed; it stays for the run).
std::optional<GuiderStar>& guiderGuideStar();

// One guide frame, as the log and the graph see it.
struct GuideFrameRecord {
  std::uint32_t time_ms = 0;  // clock at the measurement
  int frame = 0;              // 1, 2, ... within the run
  CentroidResult position;    // the measured star
  int dx = 0;                 // errors, thousandths of a pixel
  int dy = 0;
  GuideCorrection correction;
  bool pulses_sent = true;
  bool lost = false;  // no star at the reference: nothing measured, nothing sent
};

// Something that happens in a run between its frames: a dither of the reference and the settling
// after it. The guide logs write it and the graph marks it.
struct GuideRunNote {
  enum class Kind { Dither, Settling, Settled, SettleTimedOut };
  Kind kind = Kind::Dither;
  std::uint32_t time_ms = 0;         // clock at the event
  double dx_px = 0.0, dy_px = 0.0;   // Dither: the reference's move on the sensor, pixels
  double ra_px = 0.0, dec_px = 0.0;  // Dither: the same move along the RA and Dec axes
  double distance_px = 0.0;          // Settling, Settled, SettleTimedOut: the error at that frame
};

// The caption of the guiding window while the star is lost.
inline constexpr const char* kStarLostCaption = "Guiding Info - star lost, waiting for it to return";

// What a front end shows of a training or a guiding run. Every member may be left empty.
struct GuidingView {
  std::function<void()> open_window;  // the guiding window ("AutoGuider Camera Guiding" / "Guiding Info")
  std::function<void()> close_window;
  std::function<void(const std::string&)> caption;  // window or panel caption
  std::function<void()> refresh;                    // fields and image after a frame
  std::function<void(const GuideFrameRecord&)> frame_done;
  // Where the star truly was (main-sensor pixels), when the camera is the simulator.
  std::function<std::optional<std::pair<double, double>>()> truth;
  // The guide log; empty: R/guidelogs/guide-YYYYMMDD-HHMMSS.csv by the start time. "-": no log.
  std::string log_path;
  GuideLogFormat log_format = GuideLogFormat::Csv;
  std::function<void(const GuideRunNote&)> run_note;  // dithers and settling, as they happen
  bool send_pulses = true;                            // false measures and logs only (the unguided baseline)
};

// The parameters of the guider camera's correction from the settings and the training state.
GuideParams guiderParams();
// The main camera's.
GuideParams mainParams();
// The parameters whose axes the running loop corrects along, for its log and graph: the main camera's,
// the predictive algorithm's trained axes when it guides the guider camera, else guiderParams().
GuideParams runAxesParams();

// Guider-camera training ("Train"): the eight steps from `star`, the results box, and the trained
// values in use. Without a star nothing happens. A failed second centroid of a step, a frame the camera did
// not deliver (the link's message only) or a star that did not move ends it and leaves the earlier values.
// Relays are released at the end. True when trained.
bool TrainGuider(const std::optional<GuiderStar>& star, const GuidingView& view = {});

// The box of a training (or a guiding start) that finds no star where it measures. Guiding itself
// shows no box: it waits at the reference for the star to return and counts the lost frames.
inline constexpr const char* kStarLostText =
    "Sorry. Guide star lost.\n\nNo star stands above the sky where it was measured (clouds, or it left "
    "the window). The previous values are kept.";

// The value buttons of the guider panel.
// "Use Default": with trained values, toggles their use; returns the button's new label ("Use Trained"
// after switching them off, "Use Defaults" after switching them on; "Use Default" without values).
std::string toggleUseDefault();
// "Using Trained Vals" when guiding will correct with the trained values (available, in use and
// "Ignore RA Angle" off), else "Using Default Vals".
std::string valuesStatusText();
// What a training's results box leaves unsaid: doubts about its values and, when the trained RA angle
// is more than 10 degrees and "Ignore RA Angle" is on, that guiding will ignore the angle. Empty when
// there is nothing to say; one line each.
std::string guiderTrainingNotes(const GuiderTraining& r);
// "Change Defaults": the five default fields from the panel, then the settings file is saved.
void changeDefaults(int ra_rate, int dec_rate, int ra_backlash, int dec_backlash, double ra_angle);
// "Save Latest": the trained rates, backlash and Theta become the defaults; the settings file is saved.
void saveLatest();

// The guider-camera correction on the frame in `image` against the reference. False after a centroid
// window outside the image (guiding stops); a frame with no star at the reference (clouds) sends
// nothing, counts a lost frame and guiding goes on.
bool guiderCorrectionStep(const GuiderFrame& image, const GuidingView& view);

// A guide frame handled: the view told, and the row written to the guide log when one is open.
void finishGuideFrame(const GuideFrameRecord& rec, const GuidingView& view);
// A dither or settling event: the view told, and the event written to a guide log whose form records it.
void noteGuideRun(const GuideRunNote& note, const GuidingView& view);
// Opens the view's guide log (none for "-") in the view's form; false when it cannot be created. A PHD2
// log opens with the last training of the camera that guides (of this program run) as its calibration.
bool openGuideLog(const GuidingView& view);
void closeGuideLog();

// Guider-camera guiding start (steps up to "stabilising"): message 55 without a drive method or camera,
// message 53 without a guide star. True when guiding runs.
bool startGuiderGuiding(const std::optional<GuiderStar>& star, const GuidingView& view = {});
// One guiding cycle: exposure, correction, refresh. True when guiding is to stop: a failed centroid,
// or a frame the camera did not deliver (camera_failed is then set; the link has shown its message).
bool guiderGuidingCycle(const GuidingView& view = {});
// End of guiding: flags cleared, relays released, window closed, log closed.
void endGuiderGuiding(const GuidingView& view = {});
// The whole run: start, cycles with the window events delivered between them until "Stop Guiding" (or
// the view clears the flag), end. True when it started.
bool runGuiderGuiding(const std::optional<GuiderStar>& star, const GuidingView& view = {});
bool guiderGuidingRunning();

// The brightest star of a width x height image whose centroid window of radius r fits (brightest 3 x 3
// sum, so a lone hot pixel does not win), preferring one at least `edge_margin` pixels inside every
// edge, where a training's moves cannot take it out of the image; nothing on an empty image.
inline constexpr int kPickEdgeMargin = 30;
std::optional<std::pair<int, int>> brightestPickableStar(const std::uint16_t* image, int width, int height,
                                                         int r, int edge_margin = kPickEdgeMargin);
// On the main image the guide window should hold the star in its middle, not against a frame edge.
inline constexpr int kMainPickEdgeMargin = 72;
// The same on a guider image.
std::optional<GuiderStar> brightestGuiderStar(const GuiderFrame& image, int r);

// The guide log's default name for a start time (UT seconds), under the data root:
// guidelogs/guide-YYYYMMDD-HHMMSS.csv, or guidelogs/PHD2_GuideLog_YYYY-MM-DD_HHMMSS.txt for a PHD2 log.
std::string defaultGuideLogPath(std::int64_t start_seconds, GuideLogFormat format = GuideLogFormat::Csv);

// The last training of the guider head (main: of the main camera) in this program run, as a PHD2 log
// writes it; nothing before one has completed.
std::optional<Phd2Calibration>& lastTrainingForLog(bool main);

// Arc-seconds per pixel from the focal length and the pixel size the settings hold; nothing when
// either is not set.
std::optional<double> guidePixelScale();

}  // namespace qlm
