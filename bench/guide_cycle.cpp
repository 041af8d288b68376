// The guiding cycle's own cost: guider-camera guiding on the simulator for 600 s of virtual clock (the
// exposure, pulse and settling waits take no time), as `qlm_t4_cli --simulate --virtual-clock guide
// guider` runs it. The processor time of every call into the simulated camera is taken, so that its
// rendering of the guider frames can be told from the program's work: per frame, from one frame's
// correction to the next, the program's part is the processor time outside those calls (readout into the
// frame, histogram, dark, hot-pixel filter, display bitmap, centroid passes, correction, pulse commands, log
// line). Prints the median, 95th percentile and largest per-frame cost, the goal line "guide_cycle_ms ...
// goal 1", and the program's share of the run's time. Exit status 1 when the goal fails.

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/startup.h"
#include "bench/paired.h"
#include "bench/processing_bench_support.h"
#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "guiding/guider.h"
#include "platform/platform.h"
#include "sim/sim_setup.h"

namespace {

// Forwards to the simulated camera and adds up the processor time spent inside it.
class TimedTransport final : public qlm::Transport {
 public:
  explicit TimedTransport(qlm::Transport& inner) : inner_(inner) {}
  template <typename F>
  auto timed(F f) {
    const double t0 = qlm::bench::threadCpuSeconds();
    auto r = f();
    seconds_ += qlm::bench::threadCpuSeconds() - t0;
    return r;
  }
  qlm::DeviceList listDevices() override {
    return timed([&] { return inner_.listDevices(); });
  }
  std::optional<int> open(const std::string& path) override {
    return timed([&] { return inner_.open(path); });
  }
  qlm::IoResult write(const std::uint8_t* data, std::size_t n) override {
    return timed([&] { return inner_.write(data, n); });
  }
  qlm::IoResult read(std::uint8_t* data, std::size_t n) override {
    return timed([&] { return inner_.read(data, n); });
  }
  void close() override {
    timed([&] {
      inner_.close();
      return 0;
    });
  }
  double seconds() const { return seconds_; }

 private:
  qlm::Transport& inner_;
  double seconds_ = 0.0;
};

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main() {
  const std::filesystem::path root = std::filesystem::temp_directory_path() / "qlm_guide_cycle";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  int status = 1;
  {
    qlm::VirtualClock clock;
    qlm::bench::NullUi ui;
    qlm::sim::SimSystem sim(qlm::sim::defaultSimOptions(), clock.millis(), clock.calendarSeconds());
    TimedTransport camera(sim.transport());
    qlm::ScopedPlatform scoped(qlm::Platform{&clock, &ui, &camera, qlm::Paths(root)});
    qlm::startProgram();
    qlm::settings().drive_method = 'b';  // pulses on the relay socket
    qlm::resetLinkState(qlm::linkState());
    qlm::FindCamera();
    qlm::GuiderFrame first{};
    const qlm::GuiderCameraState& g = qlm::guiderCameraState();
    if (qlm::linkState().camera_present == 0 || !qlm::GuiderExposure(g.unit, g.count, first, {})) {
      std::fprintf(stderr, "no simulated camera\n");
      return 1;
    }
    qlm::guiderGuideStar() = qlm::brightestGuiderStar(first, qlm::settings().mask_radius);

    constexpr std::uint32_t kRunMs = 600000;
    const std::uint32_t stop_at = clock.millis() + kRunMs;
    std::vector<double> costs;  // processor seconds per frame outside the simulated camera
    double last_cpu = 0.0;
    double last_camera = 0.0;
    qlm::GuidingView view;
    view.log_path = (root / "guide.csv").string();
    view.frame_done = [&](const qlm::GuideFrameRecord&) {
      const double now = qlm::bench::threadCpuSeconds();
      if (last_cpu > 0.0) costs.push_back((now - last_cpu) - (camera.seconds() - last_camera));
      last_cpu = now;
      last_camera = camera.seconds();
      if (static_cast<std::int32_t>(clock.millis() - stop_at) >= 0)
        qlm::guidingState().guider_guiding = false;
    };
    const double camera0 = camera.seconds();
    const double wall0 = qlm::bench::nowSeconds();
    const double cpu0 = qlm::bench::threadCpuSeconds();
    const bool ran = qlm::runGuiderGuiding(qlm::guiderGuideStar(), view);
    const double cpu = qlm::bench::threadCpuSeconds() - cpu0;
    const double wall = qlm::bench::nowSeconds() - wall0;
    const double in_camera = camera.seconds() - camera0;
    if (!ran || costs.size() < 10) {
      std::fprintf(stderr, "guiding did not run (%zu frames)\n", costs.size());
      return 1;
    }
    const double median_ms = qlm::bench::median(costs) * 1e3;
    std::printf("frames %zu in %u s of virtual clock, %.2f s wall, %.2f s processor\n", costs.size() + 1,
                kRunMs / 1000, wall, cpu);
    std::printf("per frame outside the simulated camera: median %.3f ms, 95%% %.3f ms, largest %.3f ms\n",
                median_ms, percentile(costs, 0.95) * 1e3,
                *std::max_element(costs.begin(), costs.end()) * 1e3);
    std::printf("program's share of the run's processor time: %.1f %% (the simulated camera's %.1f %%)\n",
                100.0 * (cpu - in_camera) / cpu, 100.0 * in_camera / cpu);
    const bool ok = median_ms <= 1.0;
    std::printf("guide_cycle_ms ratio %.3f goal 1 %s\n", median_ms, ok ? "ok" : "FAIL");
    status = ok ? 0 : 1;
  }
  std::filesystem::remove_all(root);
  return status;
}
