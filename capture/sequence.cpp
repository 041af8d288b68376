#include "capture/sequence.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <random>
#include <string>

#include "camera/link.h"
#include "camera/readout.h"
#include "capture/auto_corrections.h"
#include "capture/capture_front_end.h"
#include "capture/capture_state.h"
#include "capture/ql_model.h"
#include "files/auto_model.h"
#include "files/autosave.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "guiding/ao_unit.h"
#include "guiding/dither.h"
#include "guiding/guide_star.h"
#include "guiding/guider.h"
#include "image/autoprocess.h"
#include "image/calibration.h"
#include "image/display.h"
#include "image/frame.h"
#include "image/stacking.h"
#include "image/star_measure.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr const char* kNoCameraText = "Sorry, No camera found on USB";
constexpr const char* kNoStackStarText =
    "Sorry, there is no star to stack on.\n\nPick one first: Guiding > Pick Guide Star (Ctrl+K), then "
    "click the star. Or tick \"Alternative Slew Method\", which aligns the frames without a star.";

bool ask(const std::function<bool()>& hook) {
  return hook ? hook() : false;
}

void call(const std::function<void()>& hook) {
  if (hook) hook();
}

// True once the wrapping millisecond clock has reached `at`.
bool reached(std::uint32_t now, std::uint32_t at) {
  return static_cast<std::int32_t>(now - at) >= 0;
}

std::string leftText(int n) {
  return " (Left - " + std::to_string(n) + ")";
}

// The history lines of the automatic corrections applied to this frame, on an emptied history.
void writeCorrectionHistory(bool dark, bool flat) {
  HistoryList& h = historyList();
  h.clear();
  if (dark) h.append(kDarkHistory);
  if (flat) h.append(kAutoFlatHistory);
}

// One take-photo command from the panel to the end of the last frame.
class PhotoRun {
 public:
  explicit PhotoRun(const CaptureFrontEnd& front)
      : front_(front),
        s_(captureSettings()),
        st_(sequenceState()),
        ui_(*platform().ui),
        clock_(*platform().clock) {}

  void run();

 private:
  bool findCamera();
  bool stackStarReady() const;
  bool showPanel();
  void countdown();
  void frame();
  bool ditherBeforeExposure();
  void startExposure();
  void waitShortUnit();
  void waitLongUnit();
  bool readout();
  void frameNotRead();
  void corrections();
  void betweenFrames();
  void pauseBetweenExposures();
  void finishFrame();
  void endCommand();
  // Pick mode, switched off for the command, comes back however the command ends.
  void restorePickMode() {
    if (restore_pick_ && front_.set_pick_mode) front_.set_pick_mode(true);
    restore_pick_ = false;
  }
  void closeGuidingWindow() {
    if (guiding_window_open_) endGuiderGuiding(front_.guiding);
    guiding_window_open_ = false;
  }

  const CaptureFrontEnd& front_;
  CaptureSettings& s_;
  SequenceState& st_;
  Ui& ui_;
  Clock& clock_;
  bool restore_pick_ = false;
  bool guiding_window_open_ = false;
  bool finished_ = false;      // the frame in hand has been displayed (and saved)
  bool dark_applied_ = false;  // this frame's automatic corrections that were applied
  bool flat_applied_ = false;
  bool started_ = false;        // the clears and the status request that start this exposure all went
  int stack_count_ = 1;         // N: the exposures asked for, which stacking divides by
  int steps_ = 2;               // gauge steps of the exposure wait
  std::uint32_t t0_ = 0;        // clock at the start of the exposure
  std::uint32_t flush_at_ = 0;  // F: when the next flags-8 clear is due
  int frames_started_ = 0;      // exposures started by this command
  bool dithered_ = false;       // a guided series that dithers between its frames
  std::optional<DitherRun> dither_run_;
  DitherOffset frame_offset_;  // the dither offset of the frame in hand
};

void PhotoRun::run() {
  st_.goto_autoguider = false;
  if (ask(front_.pick_mode)) {
    if (front_.set_pick_mode) front_.set_pick_mode(false);
    restore_pick_ = true;
  }
  if (s_.dark_file.empty()) s_.dark_file = "c:\\dark.def";
  if (s_.flat_file.empty()) s_.flat_file = "c:\\flat.def";
  st_.dark_loaded = false;
  st_.readout_skip = false;
  st_.readout_failed = false;
  st_.autosave_status = 0;
  st_.autosave_lost = false;
  st_.guided_started = false;

  if (!findCamera()) {
    ShowMessage(kCallerTextMessage, kNoCameraText);
    restorePickMode();
    return;
  }
  resetStackState(stackState());
  s_.exposures = 1;
  if (!showPanel()) {
    restorePickMode();
    return;
  }

  if (!stackStarReady()) {
    ShowMessage(kCallerTextMessage, kNoStackStarText);
    restorePickMode();
    return;
  }

  st_.exposure_ms = exposureMillis(s_.unit, s_.count);
  st_.accumulated_seconds = 0.0;
  ui_.setCursor(CursorShape::Wait);
  displayState().image_title = kPhotoTitle;
  st_.series = s_.exposures > 1;
  stack_count_ = s_.exposures;
  dithered_ = s_.dither && st_.guided_exposure && (st_.series || s_.continuous);
  if (s_.delay_before) countdown();
  steps_ = progressSteps(s_.unit, s_.count);
  st_.loop_continuous = s_.continuous;

  do {
    st_.exposure_start = programUtNow();
    // A pass takes at least one frame: a continuous run of one exposure repeats pass after pass.
    do {
      frame();
    } while (s_.exposures > 0);
    if (!finished_ && !st_.readout_skip) finishFrame();
    // A run started by the guiding loop would hand its frame to guiding here; no loop of this program
    // does that (main-camera guiding takes its own guide-window frames), so nothing is handed over.
  } while (st_.loop_continuous);
  endCommand();
}

// A series that stacks by the star (not continuous, not guided, without the alternative method)
// starts its centroid passes at the main centroid result: without a picked star there the passes
// would fail frame after frame, so the run is refused once, before the first exposure.
bool PhotoRun::stackStarReady() const {
  if (!front_.refuse_stack_without_star) return true;
  if (s_.exposures <= 1 || s_.continuous || s_.alternative_slew || st_.guided_exposure) return true;
  const CentroidState& c = centroidState();
  const int r = c.working_radius;
  return c.main.x - r >= 0 && c.main.y - r >= 0 && c.main.x + r + 1 <= kFrameWidth &&
         c.main.y + r + 1 <= kFrameHeight && (c.main.x != 0 || c.main.y != 0);
}

bool PhotoRun::findCamera() {
  if (linkState().camera_present != 0) return true;
  if (loadSettings() != kSettingsOk) ShowMessage(1);
  FindCamera();
  return linkState().camera_present != 0;
}

bool PhotoRun::showPanel() {
  if (st_.started_by_guiding) return true;
  QlModel panel(s_, st_);
  panel.focus_runner = [this](QlModel& p) { runFocusMode(p, front_.focus_exposed); };
  const int result = ui_.runPanel(kCameraPanelName, panel);
  if (result != ql::kTakePhoto) {
    if (st_.focus_running) {
      ui_.setCursor(CursorShape::Wait);
      frameState().focus_mode = false;
      refreshDisplay();
      st_.focus_running = false;
      ui_.setCursor(CursorShape::Arrow);
    }
    if (st_.goto_autoguider) {
      st_.goto_autoguider = false;
      call(front_.open_autoguider);
    }
    return false;
  }
  st_.focus_stop = true;
  st_.focus_running = false;
  frameState().focus_mode = false;
  return true;
}

// Ten beeps, one a second; a press only shortens the second in hand.
void PhotoRun::countdown() {
  for (int i = 0; i < 10; ++i) {
    ui_.progressOpen("EXPOSURE DELAY" + leftText(10 - i));  // re-captions the open window
    ui_.progressSet(25 * i);
    InterruptibleWait(1);
    ui_.progressSet(25 * i + 25);
    ui_.beep();
  }
  ui_.progressClose();
}

void PhotoRun::frame() {
  // A press during the settling ends the series before this exposure; the frame in hand stays.
  if (frames_started_ > 0 && !ditherBeforeExposure()) return;
  ++frames_started_;
  finished_ = false;
  dark_applied_ = flat_applied_ = false;
  st_.accumulated_seconds = 0.001 * st_.exposure_ms + (s_.continuous ? 0.0 : st_.accumulated_seconds);
  ui_.progressOpen("EXPOSURE UNDERWAY" + (s_.exposures > 1 ? leftText(s_.exposures) : std::string()));
  ui_.progressSet(0);
  startExposure();
  if (shortUnitExposure(s_.unit, st_.exposure_ms)) {
    waitShortUnit();
  } else {
    waitLongUnit();
  }
  // An exposure the camera was not told to start as asked (a lost or short clear) would be saved under
  // a wrong EXPTIME: it is treated as a frame that did not arrive (the link has said why).
  if (!st_.readout_skip && !started_) {
    frameNotRead();
  } else if (!st_.readout_skip && readout()) {
    corrections();
  }
  ui_.progressClose();
  ui_.repaint();
  if (s_.exposures > 0) --s_.exposures;
  if (st_.series && st_.loop_continuous && s_.exposures == 0) st_.loop_continuous = false;
  if (s_.auto_process && !st_.readout_skip) {
    writeCorrectionHistory(dark_applied_, flat_applied_);
    runAutoProcessing(autoProcessChoice(settings()));
  }
  if (st_.loop_continuous) betweenFrames();
}

// Between two frames of a dithered guided series: the reference moves to a new offset, and guiding runs
// until the star has settled there or the timeout has passed. False when a press ended the series.
bool PhotoRun::ditherBeforeExposure() {
  if (!dithered_ || !guiding_window_open_ || !guiderGuidingRunning()) return true;
  const GuidingView& view = front_.guiding;
  if (!dither_run_) dither_run_.emplace(s_.dither_seed ? *s_.dither_seed : std::random_device{}());
  const GuideRunNote moved = ditherReference(*dither_run_, s_.dither_params.amount_px, view);
  frame_offset_ = dither_run_->offset;
  SettleRule rule(s_.dither_params, moved.time_ms);
  const GuidingState& g = guidingState();
  int seen = g.frames;
  bool first = true;
  if (view.caption) view.caption("Guiding Info - settling after dither");
  // The gauge runs towards the timeout.
  ui_.progressOpen("Settling after dither");
  ui_.progressSet(0);
  bool pressed = false;
  // A guiding run that stops (its star's window left the image) has nothing left to settle.
  while (guiderGuidingRunning() && !guiderGuidingCycle(view)) {
    if (g.frames != seen) {
      seen = g.frames;
      GuideRunNote n;
      n.time_ms = clock_.millis();
      std::optional<double> distance;
      if (!g.star_lost) distance = std::hypot(g.dx, g.dy) / 1000.0;
      n.distance_px = distance.value_or(0.0);
      if (first) {
        n.kind = GuideRunNote::Kind::Settling;
        noteGuideRun(n, view);
        first = false;
      }
      const SettleState state = rule.frame(n.time_ms, distance);
      const double timeout = std::max(s_.dither_params.timeout_s, 1.0);
      ui_.progressSet(static_cast<int>(std::min(256.0, 256.0 * rule.elapsedSeconds(n.time_ms) / timeout)));
      if (state != SettleState::Settling) {
        n.kind =
            state == SettleState::Settled ? GuideRunNote::Kind::Settled : GuideRunNote::Kind::SettleTimedOut;
        noteGuideRun(n, view);
        break;
      }
    }
    if (AbortPump(0)) {
      pressed = true;
      break;
    }
  }
  ui_.progressClose();
  if (view.caption) view.caption("Guiding Info");
  return !pressed;
}

// Flush, start, status; the deadline and the first flush time F follow from the clock now.
void PhotoRun::startExposure() {
  // Frames that are each kept (continuous and series imaging) carry their own start time.
  if (s_.continuous) st_.exposure_start = programUtNow();
  const std::uint64_t faults = linkState().faults;
  ClearSensor(kClearFlush, kMainHead);
  ClearSensor(kClearStart, kMainHead);
  StatusPoll();
  started_ = linkState().faults == faults;
  const std::uint32_t e = st_.exposure_ms;
  t0_ = clock_.millis();
  st_.wait_deadline = t0_ + e;
  flush_at_ = e <= 5000 ? t0_ + e + 5 : t0_ + e - 2000;
}

// Short units: up to 1000 ms the camera times the exposure; beyond, a busy wait that cannot be
// aborted and keeps flushing the sensor every 2005 ms from F.
void PhotoRun::waitShortUnit() {
  if (st_.exposure_ms <= kCameraTimedMaxMs) return;
  for (std::uint32_t now = clock_.millis(); !reached(now, st_.wait_deadline); now = clock_.millis()) {
    if (reached(now, flush_at_)) {
      ClearSensor(kClearFlush, kMainHead);
      flush_at_ += 2005;
    }
    clock_.idle(1);
  }
}

// Seconds and minutes: the gauge, the flushes, guiding steps and the abort pump until the deadline.
void PhotoRun::waitLongUnit() {
  const std::uint64_t faults = linkState().faults;
  if (st_.guided_exposure && !st_.guided_started) {
    st_.guided_started = true;
    guiding_window_open_ = startGuiderGuiding(guiderGuideStar(), front_.guiding);
    if (!guiding_window_open_) {
      s_.continuous = false;
      st_.loop_continuous = false;
      st_.readout_skip = true;
    }
  }
  const std::uint32_t gauge_every = st_.exposure_ms / static_cast<std::uint32_t>(steps_);
  std::uint32_t next_gauge = t0_ + gauge_every;
  int gauge = 0;
  for (std::uint32_t now = clock_.millis(); !reached(now, st_.wait_deadline); now = clock_.millis()) {
    if (guiderGuidingRunning() && guiderGuidingCycle(front_.guiding)) {
      st_.wait_deadline = clock_.millis();
      // Guiding that ended on a camera fault (a guide frame not delivered, or one spoilt by a failed
      // transfer) cut the exposure short: that frame is not the one asked for, so it is neither read
      // nor kept (the link has said why).
      if (guidingState().camera_failed || linkState().faults != faults) frameNotRead();
    }
    if (reached(now, flush_at_)) {
      ClearSensor(kClearFlush, kMainHead);
      flush_at_ += 2005;
    }
    if (reached(now, next_gauge)) {
      gauge += 256 / steps_;
      ui_.progressSet(gauge);
      next_gauge += gauge_every;
    }
    AbortPump(1);
    clock_.idle(1);
  }
  if (!st_.series && !s_.continuous) {
    closeGuidingWindow();
    if (settings().guide_device == 'A') RecentreAO();
  }
}

// Reads the frame; false when it was not read.
bool PhotoRun::readout() {
  const bool binned = frameState().binned;
  std::string caption = "READING PK CAMERA";
  if (st_.series) {
    caption += leftText(s_.exposures);
  } else if (!binned) {
    caption += " - takes 5-6 seconds";
  } else {
    caption += s_.readout_mode == 2 ? " - takes 2-3 seconds" : " - takes 1-2 seconds";
  }
  ui_.progressOpen(caption);
  ui_.progressSet(20);
  // Masking interrupts during the read has no counterpart here; the read is one blocking transfer.
  Frame& current = imageBuffers().CurrentFrame;
  // A binned flag from a loaded file with the high-resolution mode reads by the mode alone.
  const bool read = binned && s_.readout_mode == 2 ? ReadBinnedFrame(current, st_.exposure_ms)
                                                   : ReadFullFrame(current, st_.exposure_ms);
  if (!read) {
    frameNotRead();
    return false;
  }
  st_.exposure_end = programUtNow();
  AbortPump(0);
  return true;
}

// A frame the camera did not deliver is neither corrected, stacked, shown nor saved (the link has
// reported the failure), and the sequence ends as a key press would end it.
void PhotoRun::frameNotRead() {
  st_.readout_failed = true;
  st_.readout_skip = true;
  s_.exposures = 0;
  st_.loop_continuous = false;
  if (st_.started_by_guiding) s_.continuous = false;
  st_.guided_exposure = false;
}

// Automatic dark and flat, then stacking of a non-continuous, unguided series. The exposure time
// then describes the frame kept: the exposures in the stack, or this one alone when a guided series
// does not stack.
void PhotoRun::corrections() {
  ImageBuffers& b = imageBuffers();
  if (s_.auto_dark) dark_applied_ = autoDarkStep(b.CurrentFrame, b.UndoFrame, st_, s_.dark_file);
  if (s_.auto_flat) flat_applied_ = autoFlatStep(b.CurrentFrame, b.FlatCache, st_, s_.flat_file);
  if (!st_.series || s_.continuous) return;
  if (guiderGuidingRunning()) {
    st_.accumulated_seconds = 0.001 * st_.exposure_ms;
    return;
  }
  const int result = stackStep(s_, stack_count_, b.CurrentFrame, b.SecondFrame);
  st_.accumulated_seconds = 0.001 * st_.exposure_ms * std::max(1, stackState().exposures);
  if (result == kStackStarLost || result == kStackNoStar) {
    s_.exposures = 1;
    ShowMessage(result == kStackStarLost ? 4 : 5);
  }
}

void PhotoRun::betweenFrames() {
  finishFrame();
  if (InterruptibleWait(2) != 0) {
    s_.exposures = 0;
    st_.loop_continuous = false;
  }
  if (s_.delay_between > 0) pauseBetweenExposures();
}

void PhotoRun::pauseBetweenExposures() {
  const std::uint32_t total =
      static_cast<std::uint32_t>(s_.delay_between) * (s_.delay_in_minutes ? 60000u : 1000u);
  ui_.progressOpen("Pause between exposures");
  const std::uint32_t start = clock_.millis();
  st_.wait_deadline = start + total;
  std::uint32_t next_gauge = start + total / 16;
  int gauge = 0;
  for (std::uint32_t now = start; !reached(now, st_.wait_deadline); now = clock_.millis()) {
    if (reached(now, next_gauge) && gauge < 256) {
      gauge += 16;
      ui_.progressSet(gauge);
      next_gauge += total / 16;
    }
    AbortPump(0);
    clock_.idle(1);
  }
  ui_.progressClose();
}

void PhotoRun::finishFrame() {
  if (!s_.auto_process) writeCorrectionHistory(dark_applied_, flat_applied_);
  if (dithered_) historyList().append(ditherHistoryText(frame_offset_));
  ui_.setCursor(CursorShape::Arrow);
  fitsDetails().exposureSeconds = st_.accumulated_seconds;
  refreshDisplay();
  if (s_.auto_save) {
    const int saved = autosaveFrame(imageBuffers().CurrentFrame, st_.exposure_start, st_.exposure_end).status;
    reportAutosave(saved);
    st_.autosave_status = saved;
    if (saved != 0) st_.autosave_lost = true;
    if (saved == kAutosaveFileFailed) {  // a full disk: the frames to come could not be kept either
      s_.exposures = 0;
      st_.loop_continuous = false;
    }
  }
  finished_ = true;
  call(front_.frame_finished);
}

void PhotoRun::endCommand() {
  setDefaultFocusOrigin(readoutState());
  restorePickMode();
  resetStackState(stackState());
  // The main centroid goes back to the position the guide-window placement kept, and so does the
  // guiding reference unless guider-camera guiding holds it.
  centroidState().main = guideStarState().kept_main_result;
  if (!guidingState().guider_guiding) guidingState().reference = guideStarState().kept_main_result;
  closeGuidingWindow();
  st_.guided_started = false;
  ui_.setCursor(CursorShape::Arrow);
}

}  // namespace

void takePhotoCommand(const CaptureFrontEnd& front) {
  PhotoRun(front).run();
}

int InterruptibleWait(int seconds) {
  Ui& ui = *platform().ui;
  Clock& clock = *platform().clock;
  const std::uint32_t start = clock.millis();
  const auto span = static_cast<std::uint32_t>(seconds) * 1000u;
  while (clock.millis() - start < span) {
    if (ui.pumpEvents().any()) {
      ui.beep();
      return 1;
    }
    clock.idle(1);
  }
  return 0;
}

bool AbortPump(int mode) {
  if (!platform().ui->pumpEvents().any()) return false;
  CaptureSettings& s = captureSettings();
  SequenceState& st = sequenceState();
  platform().ui->beep();
  if (mode == 1) {
    s.exposures = 1;
    st.readout_skip = true;
  } else {
    s.exposures = 0;
  }
  st.loop_continuous = false;
  if (st.started_by_guiding) s.continuous = false;
  st.guided_exposure = false;
  st.wait_deadline = platform().clock->millis();
  setDefaultFocusOrigin(readoutState());
  return true;
}

void applyAutochange(std::uint16_t peak) {
  CaptureSettings& s = captureSettings();
  int e = autochangeExposure(static_cast<int>(focusExposureMs(s.unit, s.count)), peak);
  if (e < 1) e = 1;  // a zero-length exposure could never grow again
  const ShownExposure shown = exposureInUnits(e);
  switch (shown.unit) {
    case ExposureUnit::Minutes:
      s.unit = 'm';
      break;
    case ExposureUnit::Seconds:
      s.unit = 's';
      break;
    case ExposureUnit::Tenths:
      s.unit = 't';
      break;
    case ExposureUnit::Hundredths:
      s.unit = 'h';
      break;
    case ExposureUnit::Thousandths:
      s.unit = 'q';
      break;
  }
  s.count = shown.value;
  sequenceState().exposure_ms = static_cast<std::uint32_t>(e);
}

void runFocusMode(QlModel& panel, const std::function<void()>& on_exposure) {
  CaptureSettings& s = captureSettings();
  SequenceState& st = sequenceState();
  Ui& ui = *platform().ui;
  st.focus_stop = false;
  if (s.unit == 'm' || s.count >= 100) return;
  st.focus_running = true;
  frameState().focus_mode = true;
  displayHooks().after_focus_stretch = [] {
    if (captureSettings().autochange) applyAutochange(readoutState().PeakValue);
  };
  Frame& current = imageBuffers().CurrentFrame;
  ui.pumpEvents();  // the click on "Start" itself is not a request to stop
  while (!st.focus_stop) {
    if (ui.pumpEvents().left_button) st.focus_stop = true;
    if (st.focus_stop) break;
    ui.setCursor(CursorShape::Wait);
    if (!FocusExposure(s.unit, s.count, current.data())) {
      // The camera failed (and said so once): focus mode ends rather than repeat the failure.
      st.readout_failed = true;
      st.focus_stop = true;
      ui.setCursor(CursorShape::Arrow);
      break;
    }
    st.focus_star =
        measureStar(current.data(), kFocusSize, kFocusSize, kFocusSize / 2, kFocusSize / 2, kFocusSize / 2);
    ui.setCursor(CursorShape::Arrow);
    refreshDisplay();  // the 128 x 128 image; autochange runs inside
    panel.keepCount();
    panel.refresh();  // "Max Value" and a changed exposure
    ui.repaint();
    call(on_exposure);
    if (st.focus_stop) break;
    ui.beep();
    if (settings().one_sec_delay_when_focussing) waitMs(*platform().clock, 1000);
  }
}

}  // namespace qlm
