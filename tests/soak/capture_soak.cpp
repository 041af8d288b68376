// Soak: continuous capture with autosave on the simulated camera and a virtual clock, for a number of
// simulated hours (default 24). Prints the resident memory after every simulated hour and fails when,
// after the first hour, it grows by more than 5 % over what it was then. The autosaved files are
// removed as they are written, so the disk stays as it was; the counter and names run as usual.
// Usage: capture_soak [HOURS] [EXPOSURE_SECONDS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/program_state.h"
#include "camera/link.h"
#include "capture/capture_state.h"
#include "capture/ql_model.h"
#include "capture/sequence.h"
#include "files/settings.h"
#include "platform/clock.h"
#include "platform/platform.h"
#include "sim/sim_transport.h"

#include <unistd.h>

namespace qlm {
namespace {

long residentKb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * 4;
}

// A Ui that keeps nothing: the camera panel starts continuous imaging with autosave, a key press
// arrives when the soak's time is up, and message boxes are counted.
class SoakUi final : public WindowlessUi {
 public:
  SoakUi(Clock& clock, std::uint64_t end_ms, int exposure_s)
      : clock_(clock), end_ms_(end_ms), exposure_s_(exposure_s) {}
  int messages = 0;

  MessageAnswer messageBox(const std::string&, const std::string& text, MessageButtons,
                           MessageIcon) override {
    ++messages;
    std::fprintf(stderr, "message: %s\n", text.c_str());
    return MessageAnswer::Ok;
  }
  InputEvents pumpEvents() override {
    InputEvents e;
    e.key = elapsed() >= end_ms_;
    return e;
  }
  int runPanel(const std::string& name, PanelModel& model) override {
    auto* panel = dynamic_cast<QlModel*>(&model);
    if (name != kCameraPanelName || panel == nullptr) return kPanelCancel;
    panel->press(QlModel::unitButton('s'));
    panel->setValueText(std::to_string(exposure_s_));
    if (!captureSettings().continuous) panel->press(ql::kContinuous);
    if (!captureSettings().auto_save) panel->press(ql::kAutoSave);
    return panel->press(ql::kTakePhoto);
  }

  // Milliseconds since the soak started (the 32-bit clock wraps after 49 days; 24 hours fit).
  std::uint64_t elapsed() const { return clock_.millis(); }

 private:
  Clock& clock_;
  std::uint64_t end_ms_;
  int exposure_s_;
};

int soak(int hours, int exposure_s) {
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("qlm_t4_soak_" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  VirtualClock clock;
  // The key press comes a little after the last hour, so that hour's figure is taken.
  const std::uint64_t end_ms = static_cast<std::uint64_t>(hours) * 3600000u + 600000u;
  SoakUi ui(clock, end_ms, exposure_s);
  sim::SimTransport camera;
  ScopedPlatform scoped(Platform{&clock, &ui, &camera, Paths(home)});
  resetProgramState();
  settings().show_interface_details = false;

  std::vector<long> rss_by_hour;
  long frames = 0;
  const auto wall_start = std::chrono::steady_clock::now();
  CaptureFrontEnd front;
  front.frame_finished = [&] {
    ++frames;
    std::error_code ec;
    std::filesystem::remove(autosaveFileName(settings(), settings().autosave_counter), ec);
    camera.clearReceived();  // the simulator's own log of received blocks is not the program's memory
    while (clock.millis() >= (rss_by_hour.size() + 1) * 3600000u) {
      rss_by_hour.push_back(residentKb());
      std::printf("hour %zu: %ld frames, resident %ld kB\n", rss_by_hour.size(), frames, rss_by_hour.back());
      std::fflush(stdout);
    }
  };
  takePhotoCommand(front);
  const double wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  std::filesystem::remove_all(home);

  long worst = 0;
  for (std::size_t h = 1; h < rss_by_hour.size(); ++h)
    worst = std::max(worst, rss_by_hour[h]);
  const long first = rss_by_hour.empty() ? 0 : rss_by_hour.front();
  const double growth = first > 0 && worst > 0 ? 100.0 * static_cast<double>(worst - first) / first : 0.0;
  std::printf(
      "%d simulated hours: %ld frames in %.0f s wall time, %d messages; resident after hour 1 %ld kB, "
      "largest after %ld kB (%+.1f %%)\n",
      hours, frames, wall_s, ui.messages, first, worst, growth);
  const bool ok = ui.messages == 0 && static_cast<int>(rss_by_hour.size()) >= hours && growth <= 5.0;
  std::printf("%s\n", ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace qlm

int main(int argc, char** argv) {
  const int hours = argc > 1 ? std::atoi(argv[1]) : 24;
  const int exposure_s = argc > 2 ? std::atoi(argv[2]) : 30;
  if (hours < 2 || exposure_s < 2) {
    std::fprintf(stderr, "usage: capture_soak [HOURS >= 2] [EXPOSURE_SECONDS >= 2]\n");
    return 2;
  }
  return qlm::soak(hours, exposure_s);
}
