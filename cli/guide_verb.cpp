// train and guide: guide calibration and guider-camera guiding without windows, on the camera or the
// simulator, as the autoguider panel's "Train" and "Start Guiding" run them.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "camera/link.h"
#include "camera/readout.h"
#include "cli/guide_verb.h"
#include "cli/verb_camera.h"
#include "cli/verbs.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "guiding/ao_unit.h"
#include "guiding/autoguider_model.h"
#include "guiding/guide_algorithm.h"
#include "guiding/guide_log.h"
#include "guiding/guide_star.h"
#include "guiding/guider.h"
#include "guiding/main_guider.h"
#include "guiding/telescope.h"
#include "image/frame.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {

struct GuideArgs {
  std::string camera;  // "guider" or "main"
  std::string device;  // "telescope", "ao", or empty: the guide device in the settings
  std::optional<std::pair<int, int>> star;
  int seconds = 0;
  bool train = false;
  std::string log;
  bool no_corrections = false;
  GuideLogFormat log_format = GuideLogFormat::Csv;
  int time = 0;           // training time T (Tm for main) in seconds; 0: the program's default
  std::string algorithm;  // "classic" or "predictive" for this run; empty: the stored choice
};

// --device holds for this run only: afterwards the guide device is the settings' again, and a settings
// file that a training saved during the run gets it back.
class DeviceForRun {
 public:
  explicit DeviceForRun(const std::string& device) : kept_(settings().guide_device) {
    if (!device.empty()) settings().guide_device = device == "ao" ? 'A' : 'T';
  }
  ~DeviceForRun() {
    if (settings().guide_device == kept_) return;
    settings().guide_device = kept_;
    Settings stored;
    FitsDetails fits;
    if (loadSettings(platform().paths.settingsFile(), stored, fits) == kSettingsOk &&
        stored.guide_device != kept_)
      saveSettings();
  }
  DeviceForRun(const DeviceForRun&) = delete;
  DeviceForRun& operator=(const DeviceForRun&) = delete;

 private:
  char kept_;
};

// The training time of the run (it is not kept in the settings file).
void applyTrainingTime(const GuideArgs& a) {
  if (a.time == 0) return;
  (a.camera == "main" ? settings().main_training_seconds : settings().guider_training_seconds) = a.time;
}

// Refusals shared by both verbs; empty when the arguments can run.
std::string refusal(const GuideArgs& a) {
  if (a.device == "ao" && a.camera == "main") return "the AO unit guides with the guider camera only";
  return {};
}

}  // namespace

bool pickGuiderStarForVerb(const std::optional<std::pair<int, int>>& star, std::ostream& err) {
  if (linkState().camera_present == 0) FindCamera();
  if (linkState().camera_present == 0) {
    ShowMessage(kCallerTextMessage, "Sorry, No camera found on USB");
    return false;
  }
  SelectTelescopePort();
  const int r = settings().mask_radius;
  centroidState().working_radius = r;
  GuiderFrame& image = imageBuffers().GuiderFrames[0];
  const GuiderCameraState& g = guiderCameraState();
  // A frame the camera did not deliver whole shows no star to pick (the link has said why).
  const std::uint64_t faults = linkState().faults;
  if (!GuiderExposure(g.unit, g.count, image, GuiderProcessing{}) || linkState().faults != faults)
    return false;
  std::optional<GuiderStar> at;
  if (star) {
    at = GuiderStar{star->first, star->second};
  } else {
    at = brightestGuiderStar(image, r);
  }
  if (!at) {
    err << "no star on the guider image\n";
    return false;
  }
  armGuiderPick();
  if (!guiderPickRelease(at->x + kGuiderImageLeft, at->y + kGuiderImageTop, image.data(), r, PickHooks{}))
    return false;
  return true;
}

namespace {

// The main guide star as Pick Guide Star picks it: three centroid passes (mask radius) from --star or
// from the brightest pixel of a first full frame.
bool pickMainStar(const GuideArgs& a, std::ostream& err) {
  if (linkState().camera_present == 0) FindCamera();
  if (linkState().camera_present == 0) {
    ShowMessage(kCallerTextMessage, "Sorry, No camera found on USB");
    return false;
  }
  Frame& f = imageBuffers().CurrentFrame;
  const std::uint64_t faults = linkState().faults;
  if (!ReadFullFrame(f, 1000) || linkState().faults != faults) return false;  // the link has said why
  const int r = settings().mask_radius;
  int x = 0, y = 0;
  if (a.star) {
    x = a.star->first;
    y = a.star->second;
  } else {
    const auto at =
        brightestPickableStar(f.data(), kFrameWidth, kFrameHeight, std::max(r, 0), kMainPickEdgeMargin);
    if (!at) {
      err << "no star on the main image\n";
      return false;
    }
    x = at->first;
    y = at->second;
  }
  for (int pass = 0; pass < 3; ++pass)
    if (!mainPickCentre(x, y, r, f.data())) {
      err << "the star's window does not fit the image\n";
      return false;
    }
  setMainGuideStar(x, y);
  centroidState().working_radius = r;  // arming the pick copies the mask radius
  return true;
}

bool pickGuiderStar(const GuideArgs& a, std::ostream& err) {
  if (a.camera == "main") return pickMainStar(a, err);
  return pickGuiderStarForVerb(a.star, err);
}

// The panel's buttons save the settings without a word; a training whose values did not reach the
// settings file is lost, so the verb says so (path and reason) and fails.
bool savedTrainedValues() {
  if (saveSettings() == kSettingsOk) return true;
  ShowWriteFailure(24);
  return false;
}

// The AO group's "Train", its gains printed, then its "Save Latest" (the training leaves its values in
// use).
bool trainAOAndPrint(std::ostream& out) {
  AutoguiderModel panel;
  if (!panel.trainAO()) return false;
  const AOTrainingVectors v = aoTrainingVectors(aoState().trained_positions);
  out << "lr x px: " << v.lx << "\nlr y px: " << v.ly << "\nud x px: " << v.ux << "\nud y px: " << v.uy
      << "\nlr gain steps/px: " << settings().ao_latest_lr_gain
      << "\nud gain steps/px: " << settings().ao_latest_ud_gain << '\n';
  panel.press(GuiderControl::AOSaveLatest);
  return savedTrainedValues();
}

// Training, its values printed, then "Save Latest" and the trained values in use.
bool trainAndPrint(const GuideArgs& a, std::ostream& out, std::ostream& err) {
  if (a.device == "ao") return trainAOAndPrint(out);
  if (a.camera == "main") {
    if (settings().drive_method == 'n') {
      err << "train main: the drive method is None, so there is no telescope to move (settings set "
             "drive_method l, a or b)\n";
      return false;
    }
    if (!TrainMain()) return false;
    const Settings& s = settings();
    out << "ra rate px/s: " << s.main_ra_rate << "\ndec rate px/s: " << s.main_dec_rate
        << "\nra backlash px: " << s.main_ra_backlash << "\ndec backlash px: " << s.main_dec_backlash << '\n';
    return savedTrainedValues();
  }
  if (!TrainGuider(guiderGuideStar())) return false;
  const GuiderTraining& t = calibrationState().trained;
  out << "ra x px/s: " << t.rx << "\nra y px/s: " << t.ry << "\nra rate px/s: " << t.ra_rate
      << "\ndec x px/s: " << t.dx << "\ndec y px/s: " << t.dy << "\ndec rate px/s: " << t.dec_rate
      << "\nra backlash px: " << t.ra_backlash << "\ndec backlash px: " << t.dec_backlash
      << "\ntheta rad: " << t.theta << "\nquadrant: " << t.quadrant << '\n';
  char precise[200];
  std::snprintf(precise, sizeof precise,
                "ra rate measured px/s: %.2f\ndec rate measured px/s: %.2f\nra backlash measured px: %.2f\n"
                "dec backlash measured px: %.2f\nra angle deg: %.1f\n",
                std::hypot(t.west_x, t.west_y), std::hypot(t.north_x, t.north_y), t.ra_backlash_px,
                t.dec_backlash_px, t.theta * 180.0 / 3.14159265358979323846);
  out << precise;
  const std::string notes = guiderTrainingNotes(t);
  for (std::size_t at = 0; at < notes.size();) {
    const std::size_t end = std::min(notes.find('\n', at), notes.size());
    out << "note: " << notes.substr(at, end - at) << '\n';
    at = end + 1;
  }
  saveLatest();
  calibrationState().use_trained = true;
  return savedTrainedValues();
}

int runTrain(const GuideArgs& a, const CliOptions& options, std::ostream& out, std::ostream& err) {
  if (const std::string why = refusal(a); !why.empty()) {
    err << why << '\n';
    return 2;
  }
  const auto camera = VerbCamera::install(options, err);
  if (!camera) return 2;
  applyTrainingTime(a);
  const std::uint64_t pick_faults = linkState().faults;
  if (!pickGuiderStar(a, err)) return 1;
  // A star picked while the camera failed is not trained or guided on (the link has said why).
  if (linkState().faults != pick_faults) return 1;
  return trainAndPrint(a, out, err) ? 0 : 1;
}

// Sums of the measured errors and of the simulator's true positions over the run.
struct RunSums {
  double n = 0, ex = 0, ey = 0;
  PositionScatter truth;
};

// True when the log file (and its folder) can be created; the run writes it from the start.
bool canWriteLog(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  return std::ofstream(path, std::ios::app).good();
}

int runGuide(const GuideArgs& a, const CliOptions& options, std::ostream& out, std::ostream& err) {
  if (const std::string why = refusal(a); !why.empty()) {
    err << why << '\n';
    return 2;
  }
  // A log asked for by name would otherwise be lost without a word: refuse before guiding.
  if (!a.log.empty() && a.log != "-" && !canWriteLog(a.log)) {
    err << "Cannot write the guide log " << a.log << '\n';
    return 1;
  }
  const auto camera = VerbCamera::install(options, err);
  if (!camera) return 2;
  const DeviceForRun device(a.device);
  applyTrainingTime(a);
  if (const auto algorithm = guideAlgorithmFromWord(a.algorithm))
    guideAlgorithmSettings().algorithm = *algorithm;
  const bool ao = settings().guide_device == 'A' && a.camera == "guider";
  const std::uint64_t pick_faults = linkState().faults;
  if (!pickGuiderStar(a, err)) return 1;
  // A star picked while the camera failed is not trained or guided on (the link has said why).
  if (linkState().faults != pick_faults) return 1;
  GuideArgs training = a;
  training.device = ao ? "ao" : "telescope";
  if (a.train && !trainAndPrint(training, out, err)) return 1;
  // The training's pulses leave the star several pixels from where it was picked: pick it again where
  // it was last measured, as a user selects the guide star again before "Start Guiding".
  if (a.train && a.camera == "guider") {
    const CentroidResult& last = centroidState().guider;
    if (!pickGuiderStarForVerb(std::make_pair(last.x, last.y), err)) return 1;
  }
  const int bumps_before = aoState().bumps;
  const std::uint64_t faults_before = linkState().faults;

  sim::SimSystem* sim = camera->simulator();
  Clock& clock = *platform().clock;
  RunSums sums;
  std::uint32_t stop_at = 0;
  GuidingView view;
  view.send_pulses = !a.no_corrections;
  view.log_path = a.log;
  view.log_format = a.log_format;
  if (sim != nullptr) {
    // Where the telescope truly pointed during the guide frame just read (main-sensor pixels).
    const int head = a.camera == "main" ? kMainHead : kGuiderHead;
    view.truth = [sim, head]() -> std::optional<std::pair<double, double>> {
      const sim::ExposureRecord& e = sim->transport().lastExposure(head);
      return std::make_pair(e.pointing_x_px, e.pointing_y_px);
    };
  }
  view.frame_done = [&](const GuideFrameRecord& r) {
    if (!r.lost) {  // a lost frame measured nothing
      sums.n += 1;
      sums.ex += (r.dx / 1000.0) * (r.dx / 1000.0);
      sums.ey += (r.dy / 1000.0) * (r.dy / 1000.0);
    }
    if (view.truth) {
      const auto t = view.truth();
      sums.truth.add(t->first, t->second);
    }
    // "Stop Guiding" (a key press for the main camera) once the time is up.
    if (static_cast<std::int32_t>(clock.millis() - stop_at) >= 0) {
      guidingState().guider_guiding = false;
      guidingState().main_running = false;
    }
  };
  stop_at = clock.millis() + static_cast<std::uint32_t>(a.seconds) * 1000u;
  if (a.camera == "main") {
    if (!runMainGuiding(view)) return 1;
  } else if (!runGuiderGuiding(guiderGuideStar(), view)) {
    return 1;
  }
  const GuidingState& g = guidingState();
  const double n = sums.n > 0 ? sums.n : 1;
  // The measured errors are in pixels of the camera that guided; the true ones in main pixels.
  const char* unit = a.camera == "main" ? " (main)" : " (guider)";
  out << "frames: " << g.frames << "\ncorrections: " << g.corrections
      << "\nrms x px: " << std::sqrt(sums.ex / n) << unit << "\nrms y px: " << std::sqrt(sums.ey / n) << unit
      << '\n';
  if (sums.truth.n > 0) out << "true rms px: " << sums.truth.rms() << " (main)\n";
  out << "lost frames: " << g.lost_frames << '\n';
  if (ao) out << "bumps: " << aoState().bumps - bumps_before << '\n';
  // A lost star or a failed camera ends the run early; a log that lost rows has said so once. A camera
  // fault the run rode out (a lost pulse or a thrown-away read) has shown its message: the run's
  // corrections were not all made, so it is not reported as a success either.
  return g.stop || g.camera_failed || guideLogFailed() || linkState().faults != faults_before ? 1 : 0;
}

void addCommon(CLI::App* sub, const std::shared_ptr<GuideArgs>& args) {
  sub->add_option("camera", args->camera, "guider or main")
      ->required()
      ->check(CLI::IsMember({"guider", "main"}));
  sub->add_option("--device", args->device,
                  "telescope or ao (guide: default the guide device in the settings; train: telescope)")
      ->check(CLI::IsMember({"telescope", "ao"}));
  sub->add_option_function<std::string>(
         "--star",
         [args](const std::string& text) {
           const std::size_t comma = text.find(',');
           args->star = std::make_pair(std::stoi(text.substr(0, comma)), std::stoi(text.substr(comma + 1)));
         },
         "guide star X,Y on the image of the camera named (guider or main; default: the brightest star "
         "whose window fits)")
      ->type_name("X,Y")
      ->check([](const std::string& t) {
        int x = 0, y = 0;
        char c = 0;
        return std::sscanf(t.c_str(), "%d,%d%c", &x, &y, &c) == 2 ? std::string() : "expected X,Y";
      });
  sub->add_option("--time", args->time,
                  "training time T in seconds (Tm for main): 1, 2, 4 or 8 (default: the program's, 2 and 1)")
      ->check(CLI::IsMember({1, 2, 4, 8}));
}

}  // namespace

CLI::Option* addAlgorithmOption(CLI::App* sub, std::string& algorithm) {
  return sub
      ->add_option("--algorithm", algorithm,
                   "guide algorithm: classic (the panel's rule) or predictive (hysteresis per axis, Dec "
                   "backlash taken up, the periodic error learnt and corrected ahead); default: the "
                   "autoguider panel's choice")
      ->check(CLI::IsMember({"classic", "predictive"}));
}

CLI::Option* addLogFormatOption(CLI::App* sub, GuideLogFormat& format) {
  return sub
      ->add_option_function<std::string>(
          "--log-format",
          [&format](const std::string& word) {
            format = word == "phd2" ? GuideLogFormat::Phd2 : GuideLogFormat::Csv;
          },
          "guide log form: csv (one row per frame, the default) or phd2 (the text log PHD2 Log Viewer reads)")
      ->type_name("csv|phd2")
      ->check(CLI::IsMember({"csv", "phd2"}));
}

void addGuideVerbs(CLI::App& app, CliRun& run) {
  auto train = std::make_shared<GuideArgs>();
  CLI::App* t = addVerb(app, "train", "guide calibration as the autoguider panel's \"Train\" runs it");
  addCommon(t, train);
  t->callback([&run, train] { run.start([&] { return runTrain(*train, run.options, run.out, run.err); }); });

  auto guide = std::make_shared<GuideArgs>();
  CLI::App* g = addVerb(app, "guide", "guide for a number of seconds, as \"Start Guiding\" does");
  addCommon(g, guide);
  g->add_option("--seconds", guide->seconds, "how long to guide (clock time)")
      ->required()
      ->check(CLI::Range(1, 86400));
  g->add_flag("--train", guide->train, "train first, as the train verb does");
  g->add_option("--log", guide->log,
                "guide log (default: guidelogs/guide-<start time>.csv, or PHD2_GuideLog_<start time>.txt for "
                "--log-format phd2; - for none)")
      ->type_name("FILE");
  addLogFormatOption(g, guide->log_format);
  g->add_flag("--no-corrections", guide->no_corrections, "measure and log without sending pulses");
  addAlgorithmOption(g, guide->algorithm);
  g->callback([&run, guide] { run.start([&] { return runGuide(*guide, run.options, run.out, run.err); }); });
}

}  // namespace qlm
