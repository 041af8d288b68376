// capture: the take-photo command without windows. The camera control panel is answered from the
// command line, and the sequence runs exactly as Ctrl+Z and "Take Photo" run it in the program.
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "capture/capture_front_end.h"
#include "capture/capture_state.h"
#include "capture/ql_model.h"
#include "capture/sequence.h"
#include "cli/guide_verb.h"
#include "cli/verb_camera.h"
#include "cli/verbs.h"
#include "files/autosave.h"
#include "files/fits_details.h"
#include "files/fits_image.h"
#include "files/settings.h"
#include "guiding/guide_algorithm.h"
#include "guiding/guider.h"
#include "image/frame.h"
#include "image/live_stack.h"
#include "platform/atomic_file.h"
#include "platform/platform.h"

namespace qlm {

namespace {

struct CaptureArgs {
  char unit = 's';
  int count = 1;
  int frames = 1;
  bool continuous = false;
  bool binned = false;
  bool autosave = false;
  int focus = 0;           // focus-mode exposures; 0 takes photos
  bool guided = false;     // "Autoguide Photo": guider-camera guiding during the exposures
  int max_frames = 0;      // stop as Ctrl+C does once this many frames are finished (0: no bound)
  std::string live_stack;  // the live stack of the series, saved here as a float FITS file
  double dither = 0.0;     // dither between the frames of a guided series by up to this many guider px
  DitherParams settle;     // its settling (the amount is `dither`)
  std::optional<std::uint32_t> seed;
  std::string algorithm;  // guide algorithm of a guided run; empty: the stored choice
  GuideLogFormat log_format = GuideLogFormat::Csv;  // of a guided run's guide log
};

// "--settle PX,SECONDS,TIMEOUT": a distance above 0 and times of 0 or more; empty when it is one.
std::string parseSettle(const std::string& text, DitherParams& p) {
  double px = 0.0, seconds = 0.0, timeout = 0.0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%lf,%lf,%lf%c", &px, &seconds, &timeout, &end) != 3 || !(px > 0.0) ||
      !(seconds >= 0.0) || !(timeout >= 0.0) || seconds > 86400.0 || timeout > 86400.0)
    return "--settle takes PX,SECONDS,TIMEOUT: a distance above 0 and two times in seconds, e.g. 1.5,10,60";
  p.settle_px = px;
  p.settle_s = seconds;
  p.timeout_s = timeout;
  return {};
}

// The installed Ui with the camera panel answered from the arguments; everything else is passed on.
class ScriptedPanelUi final : public Ui {
 public:
  ScriptedPanelUi(Ui& inner, const CaptureArgs& args) : inner_(inner), args_(args) {}

  int runPanel(const std::string& name, PanelModel& model) override {
    auto* panel = dynamic_cast<QlModel*>(&model);
    if (name != kCameraPanelName || panel == nullptr) return inner_.runPanel(name, model);
    panel->press(QlModel::unitButton(args_.unit));
    panel->setValueText(std::to_string(args_.count));
    while (captureSettings().exposures < args_.frames)
      panel->scroll(ql::kExposuresScroll, ScrollAction::LineDown);
    if (captureSettings().continuous != args_.continuous) panel->press(ql::kContinuous);
    if (captureSettings().auto_save != args_.autosave) panel->press(ql::kAutoSave);
    panel->press(args_.binned ? ql::kBinned : ql::kHighResolution);
    if (args_.focus > 0) {
      panel->press(ql::kFocusStart);
      return panel->press(ql::kCancel);
    }
    return panel->press(args_.guided ? ql::kAutoguidePhoto : ql::kTakePhoto);
  }

  MessageAnswer messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override {
    return inner_.messageBox(caption, text, buttons, icon);
  }
  void beep() override { inner_.beep(); }
  void setCursor(CursorShape shape) override { inner_.setCursor(shape); }
  // A bound on the frames reached is reported as the key press that Ctrl+C would give.
  InputEvents pumpEvents() override {
    InputEvents e = inner_.pumpEvents();
    if (stop_now && stop_now()) e.key = true;
    return e;
  }
  std::function<bool()> stop_now;
  void progressOpen(const std::string& caption) override { inner_.progressOpen(caption); }
  void progressSet(int position) override { inner_.progressSet(position); }
  void progressClose() override { inner_.progressClose(); }
  std::optional<std::string> chooseOpenFile(const std::string& title, const std::vector<FileFilter>& filters,
                                            const std::string& directory) override {
    return inner_.chooseOpenFile(title, filters, directory);
  }
  std::optional<std::string> chooseSaveFile(const std::string& title, const std::vector<FileFilter>& filters,
                                            const std::string& directory) override {
    return inner_.chooseSaveFile(title, filters, directory);
  }
  void setStatusText(const std::string& text) override { inner_.setStatusText(text); }
  void setTitle(const std::string& title) override { inner_.setTitle(title); }
  void repaint() override { inner_.repaint(); }

 private:
  Ui& inner_;
  const CaptureArgs& args_;
};

// Prints one line per finished frame and per focus exposure; with a live stack, what became of each
// frame.
class CaptureReport {
 public:
  CaptureReport(const CaptureArgs& args, std::ostream& out)
      : max_frames_(args.focus > 0 ? 0 : args.max_frames) {
    front_.frame_finished = [this, &out, live = !args.live_stack.empty()] {
      ++frames_;
      if (live) {
        const LiveStack::Verdict v = live_.add(imageBuffers().CurrentFrame.data());
        char text[96];
        if (v.added) {
          std::snprintf(text, sizeof text, "frame %d: added, hfr %.2f\n", frames_, v.hfr);
          stacked_seconds_ += 0.001 * sequenceState().exposure_ms;
        } else {
          std::snprintf(text, sizeof text, "frame %d: rejected: %s\n", frames_, v.reason.c_str());
        }
        out << text;
        return;
      }
      out << "frame " << frames_ << ": " << sequenceState().exposure_ms << " ms";
      // Only a file that was written is named; a failed save has shown its message.
      if (captureSettings().auto_save && sequenceState().autosave_status != kAutosaveFileFailed) {
        out << ", saved " << autosaveFileName(settings(), settings().autosave_counter).string();
      }
      out << '\n';
    };
    front_.focus_exposed = [this, &out, focus = args.focus] {
      ++frames_;
      out << "focus " << frames_ << ": peak " << readoutState().PeakValue << '\n';
      if (frames_ >= focus) sequenceState().focus_stop = true;
    };
  }
  CaptureReport(const CaptureReport&) = delete;
  CaptureReport& operator=(const CaptureReport&) = delete;

  int frames() const { return frames_; }
  bool boundReached() const { return max_frames_ > 0 && frames_ >= max_frames_; }
  const CaptureFrontEnd& frontEnd() const { return front_; }
  const LiveStack& liveStack() const { return live_; }
  double stackedSeconds() const { return stacked_seconds_; }

 private:
  CaptureFrontEnd front_;
  int max_frames_;
  int frames_ = 0;
  LiveStack live_;
  double stacked_seconds_ = 0.0;
};

// Continuous mode repeats until it is stopped: say so before the first frame, so that a run meant to
// take one frame is not left saving frames unseen.
void warnContinuous(const CaptureArgs& args, std::ostream& err) {
  if (!args.continuous || args.frames > 1 || args.focus > 0) return;  // a series ends by itself
  err << "capture: --continuous repeats the exposures until Ctrl+C";
  if (args.max_frames > 0)
    err << " or " << args.max_frames << " frames";
  else
    err << " (--max-frames N stops after N frames)";
  err << '\n';
}

// The end of a live-stacked series: "stacked: A of N" and the float mean saved. 0 when a frame was
// stacked and saved.
int finishLiveStack(const CaptureArgs& args, const CaptureReport& report, std::ostream& out,
                    std::ostream& err) {
  const LiveStack& live = report.liveStack();
  out << "stacked: " << live.added() << " of " << report.frames() << '\n';
  if (live.added() == 0) return 1;
  FitsDetails details = fitsDetails();
  details.exposureSeconds = report.stackedSeconds();
  if (!writeFloatFits(args.live_stack, live.mean().data(), kFrameWidth, kFrameHeight, details,
                      historyList())) {
    err << "Cannot save " << describeWriteFailure(AtomicFile::lastFailure()) << '\n';
    return 1;
  }
  return 0;
}

// The take-photo sequence with the panel set from `args`, one line per frame.
int runGuidedCapture(const CaptureArgs& args, const CliOptions& options, std::ostream& out,
                     std::ostream& err);

int runCapture(const CaptureArgs& args, const CliOptions& options, std::ostream& out, std::ostream& err) {
  if (args.guided) return runGuidedCapture(args, options, out, err);
  // The camera of the shared options: the simulator set by --sim, its exposures on a virtual clock.
  const auto camera = VerbCamera::install(options, err, VerbCamera::SimClock::AlwaysVirtual);
  if (!camera) return 2;
  Platform p = platform();
  ScriptedPanelUi panel_ui(*p.ui, args);
  p.ui = &panel_ui;
  ScopedPlatform scoped(p);

  CaptureReport report(args, out);
  panel_ui.stop_now = [&report] { return report.boundReached(); };
  warnContinuous(args, err);
  takePhotoCommand(report.frontEnd());
  // A camera that went away during the run was found at its start.
  const bool found = linkState().camera_present != 0 || linkState().device_gone;
  CloseCamera();
  if (!found) return 1;
  // A failed readout keeps no frame, and a failed autosave lost one; their messages have said why.
  if (sequenceState().readout_failed || sequenceState().autosave_lost) return 1;
  if (report.frames() == 0) {
    err << "capture: no frame was taken\n";
    return 1;
  }
  if (!args.live_stack.empty()) return finishLiveStack(args, report, out, err);
  return 0;
}

// The guided photo: the camera (and the simulator's mount) of the shared options, the guider star picked
// as the guide verb picks it, then the sequence with guiding during each exposure.
int runGuidedCapture(const CaptureArgs& args, const CliOptions& options, std::ostream& out,
                     std::ostream& err) {
  const auto camera = VerbCamera::install(options, err);
  if (!camera) return 2;
  const std::uint64_t faults = linkState().faults;
  if (!pickGuiderStarForVerb(std::nullopt, err)) return 1;
  if (const auto algorithm = guideAlgorithmFromWord(args.algorithm))
    guideAlgorithmSettings().algorithm = *algorithm;
  Platform p = platform();
  ScriptedPanelUi panel_ui(*p.ui, args);
  p.ui = &panel_ui;
  ScopedPlatform scoped(p);
  CaptureReport report(args, out);
  panel_ui.stop_now = [&report] { return report.boundReached(); };
  warnContinuous(args, err);
  CaptureFrontEnd front = report.frontEnd();
  // The log's true columns, as the guide verb writes them: where the simulated mount truly pointed.
  if (sim::SimSystem* sim = camera->simulator()) {
    front.guiding.truth = [sim]() -> std::optional<std::pair<double, double>> {
      const sim::ExposureRecord& e = sim->transport().lastExposure(kGuiderHead);
      return std::make_pair(e.pointing_x_px, e.pointing_y_px);
    };
  }
  front.guiding.log_format = args.log_format;
  int guide_frames = 0;
  front.guiding.frame_done = [&guide_frames](const GuideFrameRecord&) { ++guide_frames; };
  CaptureSettings& cs = captureSettings();
  cs.dither = args.dither > 0.0;
  cs.dither_params = args.settle;
  cs.dither_params.amount_px = args.dither;
  cs.dither_seed = args.seed;
  // After each frame but the last: the dither's move and how the settling ended.
  GuideRunNote dither;
  front.guiding.run_note = [&dither, &report, &out](const GuideRunNote& n) {
    if (n.kind == GuideRunNote::Kind::Dither) dither = n;
    if (n.kind != GuideRunNote::Kind::Settled && n.kind != GuideRunNote::Kind::SettleTimedOut) return;
    char text[128];
    if (n.kind == GuideRunNote::Kind::Settled) {
      std::snprintf(text, sizeof text, "dither %d: dx %.1f dy %.1f, settled in %.1f s\n", report.frames(),
                    dither.dx_px, dither.dy_px, (n.time_ms - dither.time_ms) / 1000.0);
    } else {
      std::snprintf(text, sizeof text, "dither %d: dx %.1f dy %.1f, settle timed out\n", report.frames(),
                    dither.dx_px, dither.dy_px);
    }
    out << text;
  };
  takePhotoCommand(front);
  out << "guide frames: " << guide_frames << '\n';
  // The link's, the save's or the guide log's message has said why. A camera fault that guiding rode
  // out (a lost pulse or guide frame) leaves a photo guided only in part: not a success either.
  if (sequenceState().readout_failed || sequenceState().autosave_lost || guideLogFailed()) return 1;
  if (linkState().faults != faults) return 1;
  if (report.frames() == 0) {
    err << "capture: no frame was taken\n";
    return 1;
  }
  if (!args.live_stack.empty()) return finishLiveStack(args, report, out, err);
  return 0;
}

}  // namespace

// capture [--unit q|h|t|s|m] [--count N] [--frames N] [--continuous] [--max-frames N] [--binned]
//         [--autosave] [--focus N]: the take-photo sequence, one line per frame.
void addCaptureVerb(CLI::App& app, CliRun& run) {
  auto args = std::make_shared<CaptureArgs>();
  CLI::App* sub = addVerb(app, "capture", "take photos as the camera control panel's \"Take Photo\" does");
  sub->add_option_function<std::string>(
         "--unit", [args](const std::string& u) { args->unit = u[0]; },
         "exposure unit: q thousandths, h hundredths, t tenths, s seconds, m minutes (default s)")
      ->check(CLI::IsMember({"q", "h", "t", "s", "m"}));
  sub->add_option("--count", args->count, "exposure length in units")->check(CLI::Range(1, 65535));
  sub->add_option("--frames", args->frames, "number of exposures")->check(CLI::Range(1, 99));
  sub->add_flag("--continuous", args->continuous,
                "\"Continuous Mode\": repeat the exposures until Ctrl+C (or --max-frames)");
  sub->add_option("--max-frames", args->max_frames, "stop after N finished frames, as Ctrl+C does")
      ->check(CLI::Range(1, 1000000));
  sub->add_flag("--binned", args->binned, "\"Binned 2x2\" readout");
  sub->add_flag("--autosave", args->autosave, "\"Auto Save Image\" as IMG<n>.FIT in the autosave folder");
  CLI::Option* focus =
      sub->add_option("--focus", args->focus,
                      "focus mode for N exposures of the 128 x 128 window, printing each peak")
          ->check(CLI::Range(1, 65535));
  // Focus mode takes no photo, so there is nothing to guide.
  CLI::Option* guided = sub->add_flag(
      "--guided", args->guided,
      "\"Autoguide Photo\": guider-camera guiding during the exposures, the star picked as guide does");
  guided->excludes(focus);
  addAlgorithmOption(sub, args->algorithm)->needs(guided);
  addLogFormatOption(sub, args->log_format)->needs(guided);
  sub->add_option("--live-stack", args->live_stack,
                  "stack the series as it is taken (aligned on the brightest star, blurred or lost frames "
                  "rejected) and save the float mean as OUT.fit")
      ->type_name("OUT.fit")
      ->excludes(focus);
  CLI::Option* dither =
      sub->add_option("--dither", args->dither,
                      "dither between the frames of a guided series: move the guide star by a random offset "
                      "of up to PX guider pixels along RA and Dec, and settle before the next exposure")
          ->type_name("PX")
          ->check(CLI::Range(0.1, 20.0))
          ->needs(guided);
  sub->add_option_function<std::string>(
         "--settle",
         [args](const std::string& text) {
           if (const std::string bad = parseSettle(text, args->settle); !bad.empty())
             throw CLI::ValidationError(bad);
         },
         "settled when the error stayed under PX for SECONDS; the exposure starts anyway after "
         "TIMEOUT seconds (default 1.5,10,60)")
      ->type_name("PX,SECONDS,TIMEOUT")
      ->needs(dither);
  sub->add_option_function<std::uint32_t>(
         "--seed", [args](std::uint32_t n) { args->seed = n; }, "the same dither offsets on every run")
      ->type_name("N")
      ->needs(dither);
  sub->callback([&run, args] {
    // Each frame of the series is finished (shown, and given to the live stack) on its own.
    if (!args->live_stack.empty() && args->frames > 1) args->continuous = true;
    // A dithered series keeps every frame, each with its own offset.
    if (args->dither > 0.0 && args->frames > 1) args->continuous = true;
    run.start([&] { return runCapture(*args, run.options, run.out, run.err); });
  });
}

}  // namespace qlm
