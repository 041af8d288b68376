#include "guiding/guider.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <tuple>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "guiding/ao_unit.h"
#include "guiding/guide_algorithm.h"
#include "guiding/guide_history.h"
#include "guiding/guide_log.h"
#include "guiding/telescope.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr const char* kPanelCaption = "Auto Guider Camera Control";
constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;

void call(const std::function<void()>& f) {
  if (f) f();
}
void caption(const GuidingView& view, const std::string& text) {
  if (view.caption) view.caption(text);
}

GuiderFrame& guiderImage() {
  return imageBuffers().GuiderFrames[0];
}
GuiderFrame& guiderDark() {
  return imageBuffers().GuiderFrames[2];
}

// One guider exposure with the panel's processing. False when the camera delivered no frame (the link
// has shown its message); the run then ends and is marked as a camera failure.
bool takeGuiderFrame() {
  const GuiderCameraState& g = guiderCameraState();
  GuiderProcessing p;
  p.dark_subtraction = g.dark_in_use && g.dark_available;
  p.dark_capture_in_progress = g.dark_capture;
  p.hot_pixel_filter = g.hot_pixel_filter;
  p.dark = &guiderDark();
  if (GuiderExposure(g.unit, g.count, guiderImage(), p)) return true;
  guidingState().camera_failed = true;
  return false;
}

// A pulse of `ms` towards `letter` on the road the caller's rules name.
void pulse(char letter, int ms, PulseRoad road) {
  TelescopeState& t = telescopeState();
  t.current_direction = letter;
  t.pulse_length_ms = ms;
  GuidePulse(road, t);
}

// Relays released, whatever the road: no pulse stays on after a training or a run.
void releaseRelays() {
  if (linkState().camera_present != 0) SetGuideRelays(0);
}

// A window of radius r around (x, y) that holds no star: its values span less than four steps of the
// guider head's 8-bit output (the sky behind clouds). The window is known to fit.
bool starLost(const GuiderFrame& image, int x, int y, int r) {
  std::uint16_t lo = 65535, hi = 0;
  for (int j = y - r; j <= y + r; ++j) {
    for (int i = x - r; i <= x + r; ++i) {
      const std::uint16_t v = image[static_cast<std::size_t>(j * kGuiderWidth + i)];
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  return hi - lo < 4 * 256;
}

// The guider centroid at (x, y): measured, a window outside the image (its box shown), or no star in
// the window (clouds, or the star left it).
enum class Measure { Ok, Outside, Lost };
Measure measureGuiderAt(int x, int y, CentroidState& c) {
  if (FindGuiderCentre(x, y, guiderImage().data(), c.working_radius, c) != 0) return Measure::Outside;
  return starLost(guiderImage(), x, y, c.working_radius) ? Measure::Lost : Measure::Ok;
}

// As above for a training or the start of guiding, where only a measured star will do: false after the
// box of a window outside the image, or after the star-lost box when `say_lost`.
bool measureGuider(int x, int y, CentroidState& c, bool say_lost) {
  const Measure m = measureGuiderAt(x, y, c);
  if (m == Measure::Lost && say_lost) ShowMessage(kCallerTextMessage, kStarLostText);
  return m == Measure::Ok;
}

// The AO unit's correction (steps sent unless `send` is off), held as the guide record's axes: the
// letters and step counts stand where the telescope's letters and pulse lengths would.
GuideCorrection aoGuideCorrection(int dx, int dy, bool send) {
  const AOCorrection a = AOCorrect(dx, dy, send);
  GuideCorrection k;
  k.too_far = a.too_far;
  k.ra.considered = a.ra.considered;
  k.ra.letter = a.ra.letter;
  k.ra.ms = a.ra.count;
  k.dec.considered = a.dec.considered;
  k.dec.letter = a.dec.letter;
  k.dec.ms = a.dec.count;
  return k;
}

GuideLogWriter& guideLog() {
  static GuideLogWriter log;
  return log;
}

// The open PHD2 log's run: what its header, rows and summary need beyond the frame records.
struct Phd2Run {
  bool active = false;
  bool header_written = false;
  bool main = false;
  bool ao = false;
  bool guiding = true;
  std::uint32_t start_ms = 0;
  std::time_t start_seconds = 0;
  std::optional<double> scale;
  GuideParams params;
  double lock_x = 0.0, lock_y = 0.0;
  GuideAxes axes;  // the errors are split along these
  int frames = 0;
  int dropped = 0;
  int corrections = 0;
  AxisScatter ra, dec;
};
Phd2Run& phd2Run() {
  static Phd2Run run;
  return run;
}

double pixelsOf(const CentroidResult& r, bool y) {
  return y ? r.y + r.ty / 10.0 : r.x + r.tx / 10.0;
}

// The milliseconds of one guide exposure as the guider panel sets it.
int guideExposureMs() {
  const GuiderCameraState& g = guiderCameraState();
  const int unit = g.unit == 'h' ? 10 : g.unit == 't' ? 100 : 1000;
  return unit * g.count;
}

const char* mountName() {
  switch (settings().drive_method) {
    case 'l':
      return "LX200 guide commands";
    case 'a':
      return "Autostar guide commands";
    case 'b':
      return "Camera guide socket (relays)";
    default:
      return "None";
  }
}

void writePhd2Header() {
  Phd2Run& run = phd2Run();
  if (!run.active || run.header_written) return;
  run.header_written = true;
  const GuidingState& g = guidingState();
  const CentroidResult& star = run.main ? centroidState().main : centroidState().guider;
  run.lock_x = pixelsOf(g.reference, false);
  run.lock_y = pixelsOf(g.reference, true);
  Phd2GuidingHeader h;
  h.start_seconds = run.start_seconds;
  h.pixel_scale = run.scale;
  h.focal_length_mm = fitsDetails().focalLength * 25.4;
  h.camera = run.main ? "Main head, guide window" : "Guider head";
  h.exposure_ms = guideExposureMs();
  h.mount = mountName();
  h.ao = run.ao;
  h.guiding = run.guiding;
  const GuideAxes& a = run.axes;
  h.x_angle_deg = phd2AngleDegrees(a.wx, a.wy);
  h.x_rate = a.west_rate;
  h.y_angle_deg = phd2AngleDegrees(a.nx, a.ny);
  h.y_rate = a.north_rate;
  const Settings& s = settings();
  const GuideAlgorithmSettings& algorithm = guideAlgorithmSettings();
  char x_text[160], y_text[160];
  if (!run.ao && algorithm.algorithm == GuideAlgorithm::Predictive) {
    const auto tuning = [&](char* text, const AxisTuning& t, const char* extra) {
      std::snprintf(text, 160, "Predictive, Hysteresis = %.3f, Aggression = %.3f, Minimum move = %.3f%s",
                    t.hysteresis, t.aggressiveness, t.min_move_px, extra);
    };
    tuning(x_text, algorithm.ra, algorithm.periodic_model ? ", Periodic error model = on" : "");
    tuning(y_text, algorithm.dec, "");
  } else {
    // An axis is corrected above 0.3 px with "Ignore drift < 1 pixel" (1 px on the main camera).
    const double min_move = s.ignore_drift ? (run.main ? 1.0 : 0.3) : (run.main ? 0.05 : 0.03);
    std::snprintf(x_text, sizeof x_text, "Classic, Hysteresis = %d ms, Minimum move = %.3f",
                  run.params.ra_hysteresis * 100, min_move);
    std::snprintf(y_text, sizeof y_text, "Classic, Hysteresis = %d ms, Minimum move = %.3f",
                  run.params.dec_hysteresis * 100, min_move);
  }
  h.x_algorithm = x_text;
  h.y_algorithm = y_text;
  h.ra_backlash_px = run.params.ra_backlash;
  h.dec_backlash_px = run.params.dec_backlash;
  const double limit_px = run.main ? 5.0 : 8.0;
  h.max_ra_ms = a.west_rate > 0 ? static_cast<int>(std::lround(1000.0 * limit_px / a.west_rate)) : 0;
  h.max_dec_ms = a.north_rate > 0 ? static_cast<int>(std::lround(1000.0 * limit_px / a.north_rate)) : 0;
  h.lock_x = run.lock_x;
  h.lock_y = run.lock_y;
  h.star_x = pixelsOf(star, false);
  h.star_y = pixelsOf(star, true);
  guideLog().writeText(phd2GuidingHeaderText(h));
}

void writePhd2Frame(const GuideFrameRecord& rec) {
  Phd2Run& run = phd2Run();
  writePhd2Header();
  Phd2Frame f;
  f.frame = rec.frame;
  f.time_s = static_cast<std::int32_t>(rec.time_ms - run.start_ms) / 1000.0;
  f.ao = run.ao;
  ++run.frames;
  if (rec.lost) {
    ++run.dropped;
    f.dropped = true;
    f.error_code = 2;
    f.status = "Star lost: no star above the sky at the lock position";
    guideLog().writeText(phd2FrameLine(f));
    return;
  }
  f.dx = -rec.dx / 1000.0;
  f.dy = -rec.dy / 1000.0;
  std::tie(f.ra_raw, f.dec_raw) = raDecOffset(run.axes, f.dx, f.dy);
  const GuideGraphPoint pulses = guideGraphPoint(rec, run.params);
  const GuideCorrection& k = rec.correction;
  const bool sent = rec.pulses_sent && !k.too_far;
  if (run.ao) {
    // The AO unit's steps, signed as the error they correct; the whole error is the guide distance.
    if (sent && k.ra.sent()) {
      f.ra_ms = f.ra_raw >= 0 ? k.ra.ms : -k.ra.ms;
      f.ra_guide = f.ra_raw;
    }
    if (sent && k.dec.sent()) {
      f.dec_ms = f.dec_raw >= 0 ? k.dec.ms : -k.dec.ms;
      f.dec_guide = f.dec_raw;
    }
  } else {
    f.ra_ms = std::abs(pulses.ra_ms);
    f.ra_dir = pulses.ra_ms > 0 ? 'E' : 'W';
    f.ra_guide = pulses.ra_ms * run.axes.west_rate / 1000.0;
    f.dec_ms = std::abs(pulses.dec_ms);
    f.dec_dir = pulses.dec_ms > 0 ? 'N' : 'S';
    f.dec_guide = pulses.dec_ms * run.axes.north_rate / 1000.0;
  }
  if (f.ra_ms != 0 || f.dec_ms != 0) ++run.corrections;
  run.ra.add(f.ra_raw);
  run.dec.add(f.dec_raw);
  guideLog().writeText(phd2FrameLine(f));
}

void writePhd2Note(const GuideRunNote& note) {
  Phd2Run& run = phd2Run();
  writePhd2Header();
  switch (note.kind) {
    case GuideRunNote::Kind::Dither:
      // The dither has moved the reference already: it is the new lock position.
      run.lock_x = pixelsOf(guidingState().reference, false);
      run.lock_y = pixelsOf(guidingState().reference, true);
      guideLog().writeText(phd2DitherLine(note.dx_px, note.dy_px, run.lock_x, run.lock_y));
      break;
    case GuideRunNote::Kind::Settling:
      guideLog().writeText(phd2SettlingLine(Phd2Settling::Started, note.distance_px));
      break;
    case GuideRunNote::Kind::Settled:
      guideLog().writeText(phd2SettlingLine(Phd2Settling::Complete, note.distance_px));
      break;
    case GuideRunNote::Kind::SettleTimedOut:
      guideLog().writeText(phd2SettlingLine(Phd2Settling::TimedOut, note.distance_px));
      break;
  }
}

// The end of the guiding section and the log's last line; the log closes after it.
void endPhd2Log() {
  Phd2Run& run = phd2Run();
  if (!run.active) return;
  writePhd2Header();
  Phd2Summary s;
  s.end_seconds = platform().clock->calendarSeconds();
  s.frames = run.frames;
  s.dropped = run.dropped;
  s.corrections = run.corrections;
  s.rms_ra_px = run.ra.rms();
  s.rms_dec_px = run.dec.rms();
  s.pixel_scale = run.scale;
  guideLog().writeText(phd2EndText(s));
  guideLog().writeText(phd2ClosingLine(s.end_seconds));
  run = Phd2Run{};
}

}  // namespace

std::optional<Phd2Calibration>& lastTrainingForLog(bool main) {
  static std::optional<Phd2Calibration> guider, main_camera;
  return main ? main_camera : guider;
}

std::optional<double> guidePixelScale() {
  const FitsDetails& f = fitsDetails();
  if (!(f.focalLength > 0) || !(f.pixelWidth > 0)) return std::nullopt;
  // 206265 arc-seconds per radian; pixel size in mm, focal length in inches.
  return 206264.806 * f.pixelWidth / (f.focalLength * 25.4);
}

GuiderCameraState& guiderCameraState() {
  static GuiderCameraState s;
  return s;
}
CalibrationState& calibrationState() {
  static CalibrationState s;
  return s;
}
std::optional<GuiderStar>& guiderGuideStar() {
  static std::optional<GuiderStar> star;
  return star;
}

GuidingState& guidingState() {
  static GuidingState s;
  return s;
}
void resetGuidingState() {
  guiderCameraState() = GuiderCameraState{};
  calibrationState() = CalibrationState{};
  guidingState() = GuidingState{};
  guiderGuideStar().reset();
  phd2Run() = Phd2Run{};
  guideLog().close();
  guideAlgorithmSettings() = GuideAlgorithmSettings{};
  lastTrainingForLog(false).reset();
  lastTrainingForLog(true).reset();
}

bool guideLogFailed() {
  return guideLog().failed();
}

bool drawGuiderImage() {
  ImageBuffers& b = imageBuffers();
  const int result =
      writeGuiderBitmap(platform().paths.guiderBitmap(), guiderImage(), guiderCameraState().display, b);
  // A disk that stays full fails every guide frame: the user hears of it once, until a write succeeds.
  int& last = guiderCameraState().bitmap_write_result;
  if (result != 0 && last == 0) ShowWriteFailure(7 + result);
  last = result;
  return result == 0;
}

GuideParams guiderParams() {
  const Settings& s = settings();
  const CalibrationState& c = calibrationState();
  GuideParams p;
  p.letters = s.direction_letters;
  p.ignore_drift = s.ignore_drift;
  p.ra_hysteresis = s.guider_ra_hysteresis;
  p.dec_hysteresis = s.guider_dec_hysteresis;
  // "Ignore RA Angle" off turns the corrections through the RA angle: the trained vectors when they are
  // in use, else the default column's rates and RA angle (what "Save Latest" stored from a training).
  p.rotate = !s.ignore_ra_angle;
  if (p.rotate && c.trained_available && c.use_trained) {
    p.ra_rate = c.trained.ra_rate;
    p.dec_rate = c.trained.dec_rate;
    p.ra_backlash = c.trained.ra_backlash;
    p.dec_backlash = c.trained.dec_backlash;
    p.theta = c.trained.theta;
    p.quadrant = c.trained.quadrant;
    p.vectors = true;
    p.west_x = c.trained.west_x;
    p.west_y = c.trained.west_y;
    p.north_x = c.trained.north_x;
    p.north_y = c.trained.north_y;
  } else {
    p.ra_rate = s.guider_ra_rate;
    p.dec_rate = s.guider_dec_rate;
    p.ra_backlash = s.guider_ra_backlash;
    p.dec_backlash = s.guider_dec_backlash;
    p.theta = static_cast<float>(s.default_ra_angle * kRadiansPerDegree);
  }
  return p;
}

GuideParams mainParams() {
  const Settings& s = settings();
  GuideParams p;
  p.letters = s.direction_letters;
  p.ignore_drift = s.ignore_drift;
  p.ra_rate = s.main_ra_rate;
  p.dec_rate = s.main_dec_rate;
  p.ra_backlash = s.main_ra_backlash;
  p.dec_backlash = s.main_dec_backlash;
  p.ra_hysteresis = s.main_ra_hysteresis;
  p.dec_hysteresis = s.main_dec_hysteresis;
  return p;
}

GuideParams runAxesParams() {
  if (guidingState().main_active) return mainParams();
  GuideParams p = guiderParams();
  if (guideAlgorithmSettings().algorithm != GuideAlgorithm::Predictive || settings().guide_device == 'A')
    return p;
  // East moves the star along (cos a, -sin a), North along (sin b, cos b).
  const PredictiveParams q = predictiveGuiderParams();
  const double a = q.ra_angle_deg * kRadiansPerDegree, b = q.dec_angle_deg * kRadiansPerDegree;
  const double ra_rate = q.ra_ms_per_px > 0 ? 1000.0 / q.ra_ms_per_px : 0.0;
  const double dec_rate = q.dec_ms_per_px > 0 ? 1000.0 / q.dec_ms_per_px : 0.0;
  p.rotate = p.vectors = true;
  p.west_x = -std::cos(a) * ra_rate;
  p.west_y = std::sin(a) * ra_rate;
  p.north_x = std::sin(b) * dec_rate;
  p.north_y = std::cos(b) * dec_rate;
  return p;
}

// --- Guider-camera training ---

namespace {

struct TrainingStep {
  const char* caption;
  Direction direction;
  int ms_per_second;  // pulse = this x T
};

constexpr std::array<TrainingStep, 8> kSteps = {{
    {"Auto Guider Camera Control - Training / slewing West", Direction::West, 100},
    {"Auto Guider Camera Control - Training / slewing West again", Direction::West, 1000},
    {"Auto Guider Camera Control - Training / slewing West third time", Direction::West, 1000},
    {"Auto Guider Camera Control - Training / slewing East", Direction::East, 1000},
    {"Auto Guider Camera Control - Training / slewing West to stabilise", Direction::West, 1000},
    {"Auto Guider Camera Control - Training / slewing North", Direction::North, 200},
    {"Auto Guider Camera Control - Training / slewing North again", Direction::North, 1000},
    {"Auto Guider Camera Control - Training / slewing South", Direction::South, 1000},
}};

// The position just measured by the guider centroid, with its tenths.
std::pair<double, double> guiderPosition(const CentroidResult& r) {
  return {r.x + r.tx / 10.0, r.y + r.ty / 10.0};
}

// Where the star is before the first pulse, to a tenth, on a frame of its own: the pick may be minutes
// old, and the short first move, ten times over, predicts where the long pulses take the star.
bool measureStart(GuiderTrainingPositions& p, const GuidingView& view) {
  CentroidState& c = centroidState();
  if (!takeGuiderFrame()) return false;
  drawGuiderImage();
  call(view.refresh);
  const int x = static_cast<int>(p.x[0]), y = static_cast<int>(p.y[0]);
  FindGuiderCentre(x, y, guiderImage().data(), c.working_radius, c);
  if (!measureGuider(c.guider.x, c.guider.y, c, true)) return false;
  std::tie(p.x[0], p.y[0]) = guiderPosition(c.guider);
  return true;
}

// The eight steps; false at the first failed centroid.
bool runTrainingSteps(GuiderTrainingPositions& p, int t, const GuidingView& view) {
  CalibrationState& cal = calibrationState();
  CentroidState& c = centroidState();
  Clock& clock = *platform().clock;
  const PulseRoad road = trainingPulseRoad(settings().drive_method);
  for (int i = 1; i <= 8; ++i) {
    const TrainingStep& step = kSteps[static_cast<std::size_t>(i - 1)];
    if (i == 6) {
      caption(view, "Auto Guider Camera Control - Training / pausing for 1/2 second");
      waitMs(clock, 500);
    }
    caption(view, step.caption);
    pulse(directionLetter(step.direction), step.ms_per_second * t, road);
    waitMs(clock, 200);
    if (!takeGuiderFrame()) return false;
    drawGuiderImage();
    call(view.refresh);
    // The first pass looks where the measured moves so far say the star has gone. Only the second pass
    // decides: after a first pass that does not fit (its box shown) the second starts from the result
    // the centroid already held.
    const auto [sx, sy] = guiderTrainingSearchPoint(i, p);
    FindGuiderCentre(sx, sy, guiderImage().data(), c.working_radius, c);
    if (!measureGuider(c.guider.x, c.guider.y, c, true)) return false;
    const auto [px, py] = guiderPosition(c.guider);
    p.x[static_cast<std::size_t>(i)] = px;
    p.y[static_cast<std::size_t>(i)] = py;
    cal.training_step = i;
    call(view.refresh);
  }
  return true;
}

}  // namespace

bool TrainGuider(const std::optional<GuiderStar>& star, const GuidingView& view) {
  if (!star) return false;
  CalibrationState& cal = calibrationState();
  cal.training_in_progress = true;
  cal.training_step = 0;
  int t = settings().guider_training_seconds;
  if (t < 1) t = 1;
  GuiderTrainingPositions p;
  p.x[0] = star->x;
  p.y[0] = star->y;
  bool trained = false;
  const std::time_t started = platform().clock->calendarSeconds();
  guidingState().camera_failed = false;
  // A pulse or frame lost on the way would make the measured rates wrong: a training that met any
  // camera fault (the link has said which) keeps no results.
  const std::uint64_t faults = linkState().faults;
  const bool stepped = measureStart(p, view) && runTrainingSteps(p, t, view);
  releaseRelays();  // part of the training: relays left closed would move the mount on
  if (stepped && linkState().faults == faults) {
    const GuiderTraining r = guiderTrainingResults(p, t);
    ShowMessage(kCallerTextMessage, guiderTrainingText(r));
    if (r.nonsense) {
      ShowMessage(kCallerTextMessage, kTrainingNoMovementText);
    } else {
      if (const std::string notes = guiderTrainingNotes(r); !notes.empty())
        ShowMessage(kCallerTextMessage, notes);
      cal.trained = r;
      rememberGuiderTraining(r, guideAlgorithmSettings());
      saveGuideAlgorithmSettings();  // as the settings file, a failed save is not shown here
      lastTrainingForLog(false) = phd2GuiderCalibration(p, r, t, started);
      cal.trained_available = true;
      cal.use_trained = true;
      trained = true;
      saveSettings();  // a failed save is not shown here
    }
  }
  cal.training_in_progress = false;
  caption(view, kPanelCaption);
  call(view.refresh);
  return trained;
}

std::string toggleUseDefault() {
  CalibrationState& c = calibrationState();
  if (!c.trained_available) return "Use Default";
  c.use_trained = !c.use_trained;
  return c.use_trained ? "Use Defaults" : "Use Trained";
}

std::string valuesStatusText() {
  const CalibrationState& c = calibrationState();
  // With "Ignore RA Angle" on, guiding corrects with the default column whatever the button says.
  return c.trained_available && c.use_trained && !settings().ignore_ra_angle ? "Using Trained Vals"
                                                                             : "Using Default Vals";
}

std::string guiderTrainingNotes(const GuiderTraining& r) {
  std::string notes = r.doubts;
  const double degrees = r.theta / kRadiansPerDegree;
  if (settings().ignore_ra_angle && std::abs(degrees) > 10.0) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "The trained RA angle is %.0f degrees, but \"Ignore RA Angle\" is on: guiding will "
                  "ignore it. Switch it off to guide along the trained axes.",
                  degrees);
    if (!notes.empty()) notes += '\n';
    notes += text;
  }
  return notes;
}

void changeDefaults(int ra_rate, int dec_rate, int ra_backlash, int dec_backlash, double ra_angle) {
  Settings& s = settings();
  s.guider_ra_rate = ra_rate;
  s.guider_dec_rate = dec_rate;
  s.guider_ra_backlash = ra_backlash;
  s.guider_dec_backlash = dec_backlash;
  s.default_ra_angle = ra_angle;
  saveSettings();  // a failed save of a panel button is not shown
}

void saveLatest() {
  const GuiderTraining& t = calibrationState().trained;
  // The default column holds the angle in degrees (whole degrees in the settings file).
  changeDefaults(t.ra_rate, t.dec_rate, t.ra_backlash, t.dec_backlash, t.theta / kRadiansPerDegree);
}

// --- Guider-camera guiding ---

bool guiderCorrectionStep(const GuiderFrame& image, const GuidingView& view) {
  GuidingState& g = guidingState();
  CentroidState& c = centroidState();
  Clock& clock = *platform().clock;
  if (&image != &guiderImage()) std::copy_n(image.begin(), kGuiderElements, guiderImage().begin());
  g.cycle_run = true;  // whatever it finds or sends, and with either guide device
  const Measure m = measureGuiderAt(g.reference.x, g.reference.y, c);
  if (m == Measure::Outside) return false;
  GuideFrameRecord rec;
  rec.time_ms = clock.millis();
  rec.frame = ++g.frames;
  rec.position = c.guider;
  rec.pulses_sent = view.send_pulses;
  rec.lost = m == Measure::Lost;
  if (rec.lost) {
    // No star where it is held (clouds): nothing is sent, the next frames look at the same place.
    ++g.lost_frames;
    if (!g.star_lost) caption(view, kStarLostCaption);
    g.star_lost = true;
    finishGuideFrame(rec, view);
    return true;
  }
  if (g.star_lost) caption(view, "Guiding Info");
  g.star_lost = false;
  g.dx = guideError(g.reference.x, g.reference.tx, c.guider.x, c.guider.tx);
  g.dy = guideError(g.reference.y, g.reference.ty, c.guider.y, c.guider.ty);
  const GuideParams params = guiderParams();
  rec.dx = g.dx;
  rec.dy = g.dy;
  const bool ao = settings().guide_device == 'A';
  const bool predictive = guideAlgorithmSettings().algorithm == GuideAlgorithm::Predictive;
  if (ao) {
    rec.correction = aoGuideCorrection(g.dx, g.dy, view.send_pulses);
  } else if (predictive) {
    rec.correction = predictiveGuideCorrection(rec, g.reference, view.send_pulses, g.last);
  } else {
    rec.correction = guiderCorrection(g.dx, g.dy, params, g.last);
  }
  const GuideCorrection& k = rec.correction;
  if (ao) {
    if (k.ra.considered) g.ra_pulse = k.ra.ms;
    if (k.dec.considered) g.dec_pulse = k.dec.ms;
    if (view.send_pulses && (k.ra.sent() || k.dec.sent())) ++g.corrections;
  } else if (!params.rotate || predictive) {
    if (k.ra.considered) g.ra_pulse = k.ra.ms;
    if (k.dec.considered) g.dec_pulse = k.dec.ms;
  }
  if (!k.too_far && !ao) {
    Ui& ui = *platform().ui;
    const PulseRoad road = guidingPulseRoad(settings().drive_method);
    const bool send = view.send_pulses;
    if (send && k.ra.sent()) {
      ui.beep();
      pulse(k.ra.letter, k.ra.ms, road);
      ui.beep();
    }
    waitMs(clock, 70);
    if (send && k.dec.sent()) {
      ui.beep();
      pulse(k.dec.letter, k.dec.ms, road);
      ui.beep();
    }
    if (send && (k.ra.sent() || k.dec.sent())) ++g.corrections;
  }
  finishGuideFrame(rec, view);
  return true;
}

void finishGuideFrame(const GuideFrameRecord& rec, const GuidingView& view) {
  if (view.frame_done) view.frame_done(rec);
  if (!guideLog().isOpen()) return;
  const GuideCorrection& k = rec.correction;
  const bool ao = settings().guide_device == 'A' && !guidingState().main_active;
  GuideLogRow row;
  row.time_ms = rec.time_ms;
  row.frame = rec.frame;
  row.x = rec.position.x + rec.position.tx / 10.0;
  row.y = rec.position.y + rec.position.ty / 10.0;
  row.dx = rec.dx;
  row.dy = rec.dy;
  if (rec.pulses_sent && !k.too_far && k.ra.sent()) {
    row.ra_dir = k.ra.letter;
    row.ra_ms = k.ra.ms;
  }
  if (rec.pulses_sent && !k.too_far && k.dec.sent()) {
    row.dec_dir = k.dec.letter;
    row.dec_ms = k.dec.ms;
  }
  if (ao) row.ao = std::make_pair(static_cast<int>(aoState().tilt_x), static_cast<int>(aoState().tilt_y));
  if (view.truth) row.truth = view.truth();
  if (phd2Run().active) {
    writePhd2Frame(rec);
  } else {
    guideLog().write(row);
  }
}

void noteGuideRun(const GuideRunNote& note, const GuidingView& view) {
  if (view.run_note) view.run_note(note);
  if (guideLog().isOpen() && phd2Run().active) writePhd2Note(note);
}

bool openGuideLog(const GuidingView& view) {
  phd2Run() = Phd2Run{};
  if (view.log_path == "-") return true;
  Clock& clock = *platform().clock;
  const std::time_t now = clock.calendarSeconds();
  const bool phd2 = view.log_format == GuideLogFormat::Phd2;
  const std::string path = view.log_path.empty() ? defaultGuideLogPath(now, view.log_format) : view.log_path;
  if (!guideLog().open(path, !phd2)) return false;
  if (!phd2) return true;
  Phd2Run& run = phd2Run();
  run.active = true;
  run.main = guidingState().main_active;
  run.ao = !run.main && settings().guide_device == 'A';
  run.guiding = view.send_pulses;
  run.start_ms = clock.millis();
  run.start_seconds = now;
  run.scale = guidePixelScale();
  run.params = runAxesParams();
  run.axes = guideAxes(run.params);
  guideLog().writeText(phd2OpeningLine(now));
  if (const auto& training = lastTrainingForLog(run.main))
    guideLog().writeText(phd2CalibrationText(*training));
  return true;
}

void closeGuideLog() {
  if (guideLog().isOpen()) endPhd2Log();
  phd2Run() = Phd2Run{};
  guideLog().close();
}

std::string defaultGuideLogPath(std::int64_t start_seconds, GuideLogFormat format) {
  const std::time_t t = static_cast<std::time_t>(start_seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char name[64];
  // PHD2's own name for its logs, which its viewers and scripts look for.
  const bool phd2 = format == GuideLogFormat::Phd2;
  std::strftime(name, sizeof name, phd2 ? "PHD2_GuideLog_%Y-%m-%d_%H%M%S" : "guide-%Y%m%d-%H%M%S", &tm);
  const std::filesystem::path folder = platform().paths.root() / "guidelogs";
  // Two runs started in the same second keep both logs.
  const std::string ext = phd2 ? ".txt" : ".csv";
  std::filesystem::path path = folder / (std::string(name) + ext);
  std::error_code ec;
  for (int n = 2; std::filesystem::exists(path, ec); ++n)
    path = folder / (std::string(name) + "-" + std::to_string(n) + ext);
  return path.string();
}

bool startGuiderGuiding(const std::optional<GuiderStar>& star, const GuidingView& view) {
  if (settings().drive_method == 'n' || linkState().camera_present == 0) {
    // A camera that went away during the run has been reported by the link already.
    if (!linkState().device_gone) ShowMessage(55);
    return false;
  }
  if (!star) {
    ShowMessage(53);
    return false;
  }
  GuidingState& g = guidingState();
  CentroidState& c = centroidState();
  Ui& ui = *platform().ui;
  call(view.open_window);
  g.guider_guiding = true;
  g.stop = false;
  g.camera_failed = false;
  g.frames = 0;
  g.corrections = 0;
  c.working_radius = settings().mask_radius;
  g.lost_frames = 0;
  g.star_lost = false;
  startPredictiveRun(predictiveGuiderParams());
  openGuideLog(view);
  caption(view, "Guiding Info - Creating Guiding Frame");
  StartGuiderExposure();
  const bool framed = takeGuiderFrame();
  if (framed) {
    drawGuiderImage();
    call(view.refresh);
  }
  if (!framed || !measureGuider(star->x, star->y, c, true)) {
    endGuiderGuiding(view);
    return false;
  }
  g.reference = c.guider;
  caption(view, "Guiding Info - stabilising");
  call(view.refresh);
  ui.pumpEvents();
  g.reference_mark = true;
  // Three corrections even after a failed one (each failure shows its box); only a camera that
  // delivered no frame cuts them short.
  for (int i = 0; i < 3 && !g.camera_failed; ++i) {
    if (!guiderCorrectionStep(guiderImage(), view)) g.stop = true;
    call(view.refresh);
    ui.pumpEvents();
    StartGuiderExposure();
    if (takeGuiderFrame())
      drawGuiderImage();
    else
      g.stop = true;
    call(view.refresh);
  }
  caption(view, "Guiding Info");
  call(view.refresh);
  return true;
}

bool guiderGuidingCycle(const GuidingView& view) {
  GuidingState& g = guidingState();
  if (!g.guider_guiding || g.stop) return true;
  if (!takeGuiderFrame()) {
    g.stop = true;
    return true;
  }
  drawGuiderImage();
  call(view.refresh);
  if (!guiderCorrectionStep(guiderImage(), view)) g.stop = true;
  call(view.refresh);
  return !g.guider_guiding || g.stop;
}

void endGuiderGuiding(const GuidingView& view) {
  GuidingState& g = guidingState();
  releaseRelays();
  g.start_request = false;
  g.guider_guiding = false;
  g.reference_mark = false;
  closeGuideLog();
  call(view.close_window);
}

bool runGuiderGuiding(const std::optional<GuiderStar>& star, const GuidingView& view) {
  if (!startGuiderGuiding(star, view)) return false;
  GuidingState& g = guidingState();
  Ui& ui = *platform().ui;
  while (g.guider_guiding && !g.stop) {
    ui.pumpEvents();
    if (!g.guider_guiding) break;
    guiderGuidingCycle(view);
  }
  endGuiderGuiding(view);
  return true;
}

namespace {

// The brightest 3 x 3 sum of a width x height image among the points at least `margin` pixels inside
// every edge (and never on the outermost pixels).
std::optional<std::pair<int, int>> brightestSum(const std::uint16_t* image, int width, int height,
                                                int margin) {
  std::optional<std::pair<int, int>> best;
  long best_sum = 0;
  const int lo = std::max(margin, 1);
  for (int y = lo; y + margin + 1 <= height && y + 1 < height; ++y) {
    for (int x = lo; x + margin + 1 <= width && x + 1 < width; ++x) {
      long sum = 0;
      for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i)
          sum += image[static_cast<std::size_t>((y + j) * width + x + i)];
      if (sum > best_sum) {
        best_sum = sum;
        best = std::make_pair(x, y);
      }
    }
  }
  return best;
}

// A star found on the image: its brightest pixel, that pixel's height above the sky and its 3 x 3 sum.
struct StarPeak {
  int x = 0, y = 0;
  int height = 0;
  long sum = 0;
};

// The stars of an image: pixels that are the highest of their 5 x 5 neighbourhood, stand more than
// eight noise sigmas (and 100 counts) above the sky (the image's median) and have a second pixel of
// their 3 x 3 above half that level, so a lone hot pixel is not a star.
std::vector<StarPeak> starPeaks(const std::uint16_t* image, int width, int height) {
  std::vector<int> sample;
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  for (std::size_t i = 0; i < n; i += 7)
    sample.push_back(image[i]);
  if (sample.empty()) return {};
  const auto mid = sample.begin() + static_cast<std::ptrdiff_t>(sample.size() / 2);
  std::nth_element(sample.begin(), mid, sample.end());
  const int sky = *mid;
  for (int& v : sample)
    v = std::abs(v - sky);
  std::nth_element(sample.begin(), mid, sample.end());
  const double level = std::max(8.0 * 1.4826 * *mid, 100.0);
  std::vector<StarPeak> peaks;
  for (int y = 2; y + 2 < height; ++y) {
    for (int x = 2; x + 2 < width; ++x) {
      const int v = image[static_cast<std::size_t>(y * width + x)];
      if (v - sky <= level) continue;
      bool top = true;
      int second = 0;
      long sum = 0;
      for (int j = -2; j <= 2 && top; ++j) {
        for (int i = -2; i <= 2; ++i) {
          if (i == 0 && j == 0) continue;
          const int w = image[static_cast<std::size_t>((y + j) * width + x + i)];
          // Ties go to the first pixel in reading order, so a flat (saturated) top counts once.
          if (w > v || (w == v && (j < 0 || (j == 0 && i < 0)))) {
            top = false;
            break;
          }
          if (std::abs(i) <= 1 && std::abs(j) <= 1) {
            second = std::max(second, w);
            sum += w;
          }
        }
      }
      if (!top || second - sky <= level / 2) continue;
      peaks.push_back({x, y, v - sky, sum + v});
    }
  }
  return peaks;
}

// The brightest star at least `margin` pixels inside every edge with no other star of a twentieth of its
// height or more within `clear` pixels (a neighbour there would enter its centroid window as it moves).
std::optional<std::pair<int, int>> brightestLoneStar(const std::vector<StarPeak>& peaks, int width,
                                                     int height, int margin, int clear) {
  const StarPeak* best = nullptr;
  for (const StarPeak& p : peaks) {
    if (p.x < margin || p.y < margin || p.x + margin + 1 > width || p.y + margin + 1 > height) continue;
    if (best && p.sum <= best->sum) continue;
    const bool crowded = std::any_of(peaks.begin(), peaks.end(), [&](const StarPeak& q) {
      return &q != &p && std::abs(q.x - p.x) <= clear && std::abs(q.y - p.y) <= clear &&
             20 * q.height >= p.height;
    });
    if (!crowded) best = &p;
  }
  if (!best) return std::nullopt;
  return std::make_pair(best->x, best->y);
}

}  // namespace

std::optional<std::pair<int, int>> brightestPickableStar(const std::uint16_t* image, int width, int height,
                                                         int r, int edge_margin) {
  r = std::max(r, 0);
  // A star near an edge leaves the image during a training's moves, and a neighbour within reach of the
  // centroid window drags the measure when either enters it: a lone star well inside comes first.
  const int margin = std::max(r, edge_margin);
  if (auto lone = brightestLoneStar(starPeaks(image, width, height), width, height, margin, 2 * r + 3))
    return lone;
  if (auto inside = brightestSum(image, width, height, margin)) return inside;
  return brightestSum(image, width, height, r);
}

std::optional<GuiderStar> brightestGuiderStar(const GuiderFrame& image, int r) {
  const auto at = brightestPickableStar(image.data(), kGuiderWidth, kGuiderHeight, r);
  if (!at) return std::nullopt;
  return GuiderStar{at->first, at->second};
}

bool guiderGuidingRunning() {
  return guidingState().guider_guiding;
}

}  // namespace qlm
