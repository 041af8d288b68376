// capture: the take-photo command without windows. The camera control panel is answered from the
// command line, and the sequence runs exactly as Ctrl+Z and "Take Photo" run it in the program.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "capture/capture_links.h"
#include "capture/capture_state.h"
#include "capture/ql_model.h"
#include "capture/sequence.h"
#include "cli/verbs.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "platform/platform.h"
#include "platform/usb_libusb.h"
#include "sim/sim_transport.h"

namespace qlm {

namespace {

struct CaptureArgs {
  char unit = 's';
  int count = 1;
  int frames = 1;
  bool continuous = false;
  bool binned = false;
  bool autosave = false;
  int focus = 0;  // focus-mode exposures; 0 takes photos
};

bool positive(const std::string& text, int max, int& value) {
  value = QlModel::parseValue(text);
  return value >= 1 && value <= max;
}

bool parseArgs(const std::vector<std::string>& words, CaptureArgs& a, std::ostream& err) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    const bool has_value = i + 1 < words.size();
    if (w == "--unit" && has_value) {
      const std::string& u = words[++i];
      if (u.size() != 1 || std::string("qhtsm").find(u[0]) == std::string::npos) {
        err << "--unit takes q, h, t, s or m\n";
        return false;
      }
      a.unit = u[0];
    } else if (w == "--count" && has_value) {
      if (!positive(words[++i], 65535, a.count)) {
        err << "--count takes a whole number from 1 to 65535\n";
        return false;
      }
    } else if (w == "--frames" && has_value) {
      if (!positive(words[++i], 99, a.frames)) {
        err << "--frames takes a number of exposures from 1 to 99\n";
        return false;
      }
    } else if (w == "--focus" && has_value) {
      if (!positive(words[++i], 65535, a.focus)) {
        err << "--focus takes a number of focus exposures\n";
        return false;
      }
    } else if (w == "--continuous") {
      a.continuous = true;
    } else if (w == "--binned") {
      a.binned = true;
    } else if (w == "--autosave") {
      a.autosave = true;
    } else {
      err << "capture: unknown argument '" << w << "'\n";
      return false;
    }
  }
  return true;
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
    return panel->press(ql::kTakePhoto);
  }

  MessageAnswer messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override {
    return inner_.messageBox(caption, text, buttons, icon);
  }
  void beep() override { inner_.beep(); }
  void setCursor(CursorShape shape) override { inner_.setCursor(shape); }
  InputEvents pumpEvents() override { return inner_.pumpEvents(); }
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

// Prints one line per finished frame and per focus exposure; restores the hooks it replaced.
class CaptureReport {
 public:
  CaptureReport(const CaptureArgs& args, std::ostream& out) : saved_(captureLinks()) {
    CaptureLinks& links = captureLinks();
    links.frame_finished = [this, &out, previous = saved_.frame_finished] {
      if (previous) previous();
      ++frames_;
      out << "frame " << frames_ << ": " << sequenceState().exposure_ms << " ms";
      if (captureSettings().auto_save) {
        out << ", saved " << autosaveFileName(settings(), settings().autosave_counter).string();
      }
      out << '\n';
    };
    links.focus_exposed = [this, &out, focus = args.focus] {
      ++frames_;
      out << "focus " << frames_ << ": peak " << readoutState().PeakValue << '\n';
      if (frames_ >= focus) sequenceState().focus_stop = true;
    };
  }
  ~CaptureReport() { captureLinks() = saved_; }
  CaptureReport(const CaptureReport&) = delete;
  CaptureReport& operator=(const CaptureReport&) = delete;

  int frames() const { return frames_; }

 private:
  CaptureLinks saved_;
  int frames_ = 0;
};

}  // namespace

// capture [--unit q|h|t|s|m] [--count N] [--frames N] [--continuous] [--binned] [--autosave]
//         [--focus N]: the take-photo sequence, one line per frame.
int runCaptureVerb(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
                   std::ostream& err) {
  CaptureArgs args;
  if (!parseArgs(words, args, err)) return 2;
  // The simulated camera runs on a virtual clock, so its exposures take no real time.
  VirtualClock virtual_clock(0, platform().clock->calendarSeconds());
  std::unique_ptr<Transport> transport;
  Platform p = platform();
  if (options.simulate) {
    transport = std::make_unique<sim::SimTransport>();
    p.clock = &virtual_clock;
  } else {
    transport = std::make_unique<LibusbTransport>();
  }
  ScriptedPanelUi panel_ui(*p.ui, args);
  p.transport = transport.get();
  p.ui = &panel_ui;
  ScopedPlatform scoped(p);

  CaptureReport report(args, out);
  takePhotoCommand();
  const bool found = linkState().camera_present != 0;
  CloseCamera();
  if (!found) return 1;
  if (report.frames() == 0) {
    err << "capture: no frame was taken\n";
    return 1;
  }
  return 0;
}

}  // namespace qlm
