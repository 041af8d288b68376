// The guiding cycle's own cost: guider-camera guiding on the simulator for 600 s of virtual clock (the
// exposure, pulse and settling waits take no time), as `qlm_t4_cli --simulate --virtual-clock guide
// guider` runs it, in two runs.
//
// The live run (a child process, so that the replay starts from a program that has done nothing yet)
// guides on the simulator and takes the processor time of every call into the simulated camera, so that
// its rendering of the guider frames can be told from the program's work; it prints the program's share
// of the run's time, and records every call into the camera with its answer up to the first
// kRecordedFrames frames (a temporary file).
//
// The replay guides again with a camera that gives back the recorded answers, checking that the
// program asks exactly what it asked the simulator, so that every frame is one the simulator rendered
// and the program's work is the same. Per frame, from one frame's correction to the next, the cost is
// the processor time outside the camera calls: readout into the frame, histogram, dark, hot-pixel
// filter, display bitmap, centroid passes, correction, pulse commands, log line. Prints the median,
// 95th percentile and largest, and the goal line "guide_cycle_ms ... goal 1" from the median. Exit
// status 1 when the goal fails or the replay did not hold.

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
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

constexpr std::uint32_t kRunMs = 600000;
constexpr int kRecordedFrames = 120;

// One call into the camera and its answer.
struct Call {
  char kind = 0;                    // 'L' list, 'O' open, 'W' write, 'R' read, 'C' close, 'D' drain
  std::vector<std::uint8_t> bytes;  // the bytes written ('W') or read ('R')
  std::uint64_t asked = 0;          // bytes asked for ('R')
  qlm::IoResult result;
  qlm::DeviceList devices;    // 'L'
  std::optional<int> handle;  // 'O'
  static Call of(char kind) {
    Call c;
    c.kind = kind;
    return c;
  }
};

// The processor time spent inside a camera's calls, added up.
class Stopwatch {
 public:
  template <typename F>
  auto timed(F f) {
    const double t0 = qlm::bench::threadCpuSeconds();
    auto r = f();
    seconds_ += qlm::bench::threadCpuSeconds() - t0;
    return r;
  }
  double seconds() const { return seconds_; }

 private:
  double seconds_ = 0.0;
};

// Forwards to the simulated camera, times it, and records the calls while `recording`.
class RecordingTransport final : public qlm::Transport {
 public:
  explicit RecordingTransport(qlm::Transport& inner) : inner_(inner) {}
  bool recording = true;
  std::vector<Call> calls;
  Stopwatch watch;

  qlm::DeviceList listDevices() override {
    Call c = Call::of('L');
    c.devices = watch.timed([&] { return inner_.listDevices(); });
    return keep(std::move(c)).devices;
  }
  std::optional<int> open(const std::string& path) override {
    Call c = Call::of('O');
    c.handle = watch.timed([&] { return inner_.open(path); });
    return keep(std::move(c)).handle;
  }
  qlm::IoResult write(const std::uint8_t* data, std::size_t n) override {
    Call c = Call::of('W');
    c.bytes.assign(data, data + n);
    c.result = watch.timed([&] { return inner_.write(data, n); });
    return keep(std::move(c)).result;
  }
  qlm::IoResult read(std::uint8_t* data, std::size_t n) override {
    Call c = Call::of('R');
    c.asked = n;
    c.result = watch.timed([&] { return inner_.read(data, n); });
    if (recording) c.bytes.assign(data, data + std::min(n, c.result.count));
    return keep(std::move(c)).result;
  }
  void close() override {
    watch.timed([&] {
      inner_.close();
      return 0;
    });
    keep(Call::of('C'));
  }
  void drain() override {
    watch.timed([&] {
      inner_.drain();
      return 0;
    });
    keep(Call::of('D'));
  }

 private:
  const Call& keep(Call&& c) {
    if (!recording) {
      last_ = std::move(c);
      return last_;
    }
    calls.push_back(std::move(c));
    return calls.back();
  }
  qlm::Transport& inner_;
  Call last_;
};

// Gives back the recorded answers in order; a call that differs from the recorded one (kind, bytes
// written, bytes asked) ends the replay: from there on every transfer fails.
class ReplayTransport final : public qlm::Transport {
 public:
  explicit ReplayTransport(std::vector<Call> calls) : calls_(std::move(calls)) {}
  Stopwatch watch;
  bool diverged() const { return diverged_; }
  std::size_t used() const { return next_; }

  qlm::DeviceList listDevices() override {
    return watch.timed([&] {
      const Call* c = take('L');
      return c != nullptr ? c->devices : qlm::DeviceList{false, {}};
    });
  }
  std::optional<int> open(const std::string&) override {
    return watch.timed([&] {
      const Call* c = take('O');
      return c != nullptr ? c->handle : std::nullopt;
    });
  }
  qlm::IoResult write(const std::uint8_t* data, std::size_t n) override {
    return watch.timed([&] {
      const Call* c = take('W', [&](const Call& r) {
        return r.bytes.size() == n && std::equal(r.bytes.begin(), r.bytes.end(), data);
      });
      return c != nullptr ? c->result : qlm::IoResult{false, 0, qlm::kIoErrorNoDevice};
    });
  }
  qlm::IoResult read(std::uint8_t* data, std::size_t n) override {
    return watch.timed([&] {
      const Call* c = take('R', [&](const Call& r) { return r.asked == n; });
      if (c == nullptr) return qlm::IoResult{false, 0, qlm::kIoErrorNoDevice};
      std::memcpy(data, c->bytes.data(), c->bytes.size());
      return c->result;
    });
  }
  void close() override { take('C'); }
  void drain() override { take('D'); }

 private:
  const Call* take(
      char kind, const std::function<bool(const Call&)>& same = [](const Call&) { return true; }) {
    if (diverged_ || next_ >= calls_.size() || calls_[next_].kind != kind || !same(calls_[next_])) {
      diverged_ = true;
      return nullptr;
    }
    return &calls_[next_++];
  }
  std::vector<Call> calls_;
  std::size_t next_ = 0;
  bool diverged_ = false;
};

// The recording's file: per call its kind, the sizes, the answer and the bytes.
template <typename T>
void put(std::ofstream& out, const T& v) {
  out.write(reinterpret_cast<const char*>(&v), sizeof v);
}
template <typename T>
bool get(std::ifstream& in, T& v) {
  return static_cast<bool>(in.read(reinterpret_cast<char*>(&v), sizeof v));
}
void putString(std::ofstream& out, const std::string& s) {
  put(out, static_cast<std::uint64_t>(s.size()));
  out.write(s.data(), static_cast<std::streamsize>(s.size()));
}
bool getString(std::ifstream& in, std::string& s) {
  std::uint64_t n = 0;
  if (!get(in, n) || n > (1u << 20)) return false;
  s.resize(n);
  return static_cast<bool>(in.read(s.data(), static_cast<std::streamsize>(n)));
}

bool save(const std::vector<Call>& calls, const std::filesystem::path& path) {
  std::ofstream out(path, std::ios::binary);
  put(out, static_cast<std::uint64_t>(calls.size()));
  for (const Call& c : calls) {
    put(out, c.kind);
    put(out, c.asked);
    put(out, c.result.ok);
    put(out, static_cast<std::uint64_t>(c.result.count));
    put(out, c.result.error);
    put(out, c.devices.ok);
    put(out, static_cast<std::uint64_t>(c.devices.paths.size()));
    for (const auto& p : c.devices.paths) {
      put(out, p.has_value());
      putString(out, p.value_or(""));
    }
    put(out, c.handle.has_value());
    put(out, c.handle.value_or(0));
    putString(out, std::string(c.bytes.begin(), c.bytes.end()));
  }
  return static_cast<bool>(out.flush());
}

bool load(const std::filesystem::path& path, std::vector<Call>& calls) {
  std::ifstream in(path, std::ios::binary);
  std::uint64_t count = 0;
  if (!get(in, count)) return false;
  calls.resize(count);
  for (Call& c : calls) {
    std::uint64_t n = 0;
    bool has = false;
    int handle = 0;
    std::string bytes;
    if (!get(in, c.kind) || !get(in, c.asked) || !get(in, c.result.ok) || !get(in, n) ||
        !get(in, c.result.error) || !get(in, c.devices.ok) || !get(in, count))
      return false;
    c.result.count = n;
    c.devices.paths.resize(count);
    for (auto& p : c.devices.paths) {
      std::string s;
      if (!get(in, has) || !getString(in, s)) return false;
      if (has) p = s;
    }
    if (!get(in, has) || !get(in, handle) || !getString(in, bytes)) return false;
    if (has) c.handle = handle;
    c.bytes.assign(bytes.begin(), bytes.end());
  }
  return true;
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// Guides from switch-on on `camera` (timed by `watch`) under `root` until the clock has run `run_ms` or
// `frames` frames were done; `after_frame` sees the number of frames done. Returns the processor
// seconds per frame outside the camera (from the second frame on), empty when guiding did not run.
struct GuideRun {
  std::vector<double> costs;
  double cpu = 0.0;        // the whole run's processor seconds
  double in_camera = 0.0;  // of which inside the camera's calls
  double wall = 0.0;
};
GuideRun guide(qlm::VirtualClock& clock, qlm::Transport& camera, const Stopwatch& watch,
               const std::filesystem::path& root, std::uint32_t run_ms, int frames,
               const std::function<void(int)>& after_frame) {
  GuideRun run;
  qlm::bench::NullUi ui;
  qlm::ScopedPlatform scoped(qlm::Platform{&clock, &ui, &camera, qlm::Paths(root)});
  qlm::startProgram();
  qlm::settings().drive_method = 'b';  // pulses on the relay socket
  qlm::resetLinkState(qlm::linkState());
  qlm::FindCamera();
  qlm::GuiderFrame first{};
  const qlm::GuiderCameraState& g = qlm::guiderCameraState();
  if (qlm::linkState().camera_present == 0 || !qlm::GuiderExposure(g.unit, g.count, first, {})) {
    std::fprintf(stderr, "no camera\n");
    return run;
  }
  qlm::guiderGuideStar() = qlm::brightestGuiderStar(first, qlm::settings().mask_radius);

  const std::uint32_t stop_at = clock.millis() + run_ms;
  double last_cpu = 0.0;
  double last_camera = 0.0;
  int done = 0;
  qlm::GuidingView view;
  view.log_path = (root / "guide.csv").string();
  view.frame_done = [&](const qlm::GuideFrameRecord&) {
    const double now = qlm::bench::threadCpuSeconds();
    if (last_cpu > 0.0) run.costs.push_back((now - last_cpu) - (watch.seconds() - last_camera));
    last_cpu = now;
    last_camera = watch.seconds();
    ++done;
    if (after_frame) after_frame(done);
    if (static_cast<std::int32_t>(clock.millis() - stop_at) >= 0 || done >= frames)
      qlm::guidingState().guider_guiding = false;
  };
  const double camera0 = watch.seconds();
  const double wall0 = qlm::bench::nowSeconds();
  const double cpu0 = qlm::bench::threadCpuSeconds();
  if (!qlm::runGuiderGuiding(qlm::guiderGuideStar(), view)) run.costs.clear();
  run.cpu = qlm::bench::threadCpuSeconds() - cpu0;
  run.wall = qlm::bench::nowSeconds() - wall0;
  run.in_camera = watch.seconds() - camera0;
  return run;
}

// The live run on the simulator: prints the share, saves the recording. Exit status 0 when it guided.
int liveRun(const std::filesystem::path& root, const std::filesystem::path& recording) {
  qlm::VirtualClock clock;
  qlm::sim::SimSystem sim(qlm::sim::defaultSimOptions(), clock.millis(), clock.calendarSeconds());
  RecordingTransport camera(sim.transport());
  // A few frames beyond the replayed ones, so the replay can end its last frame as the live run did.
  const GuideRun run = guide(clock, camera, camera.watch, root, kRunMs, 1 << 30,
                             [&](int done) { camera.recording = done < kRecordedFrames + 2; });
  if (run.costs.size() < 10) {
    std::fprintf(stderr, "guiding did not run (%zu frames)\n", run.costs.size());
    return 1;
  }
  std::printf("live: frames %zu in %u s of virtual clock, %.2f s wall, %.2f s processor\n",
              run.costs.size() + 1, kRunMs / 1000, run.wall, run.cpu);
  std::printf("live: per frame outside the simulated camera: median %.3f ms\n",
              qlm::bench::median(run.costs) * 1e3);
  std::printf("program's share of the run's processor time: %.1f %% (the simulated camera's %.1f %%)\n",
              100.0 * (run.cpu - run.in_camera) / run.cpu, 100.0 * run.in_camera / run.cpu);
  std::fflush(stdout);
  return save(camera.calls, recording) ? 0 : 1;
}

// The replay of the recording. Exit status 0 when it held and the goal is met.
int replayRun(const std::filesystem::path& root, const std::filesystem::path& recording) {
  std::vector<Call> calls;
  if (!load(recording, calls)) {
    std::fprintf(stderr, "no recording\n");
    return 1;
  }
  qlm::VirtualClock clock;
  ReplayTransport camera(std::move(calls));
  bool held = true;
  const GuideRun run = guide(clock, camera, camera.watch, root, kRunMs, kRecordedFrames,
                             [&](int) { held = held && !camera.diverged(); });
  if (!held || run.costs.size() + 1 < static_cast<std::size_t>(kRecordedFrames)) {
    std::fprintf(stderr, "the replay left the recording after %zu calls (%zu frames)\n", camera.used(),
                 run.costs.size());
    return 1;
  }
  const double median_ms = qlm::bench::median(run.costs) * 1e3;
  std::printf(
      "replay of %d recorded frames, per frame outside the camera: median %.3f ms, 95%% %.3f ms, "
      "largest %.3f ms\n",
      kRecordedFrames, median_ms, percentile(run.costs, 0.95) * 1e3,
      *std::max_element(run.costs.begin(), run.costs.end()) * 1e3);
  const bool ok = median_ms <= 1.0;
  std::printf("guide_cycle_ms ratio %.3f goal 1 %s\n", median_ms, ok ? "ok" : "FAIL");
  return ok ? 0 : 1;
}

}  // namespace

int main() {
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("qlm_guide_cycle_" + std::to_string(::getpid()));
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root / "live");
  std::filesystem::create_directories(root / "replay");
  const auto recording = root / "calls.bin";
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) ::_exit(liveRun(root / "live", recording));
  int live = 1;
  if (child > 0 && ::waitpid(child, &live, 0) == child && WIFEXITED(live) && WEXITSTATUS(live) == 0)
    live = replayRun(root / "replay", recording);
  else
    live = 1;
  std::filesystem::remove_all(root);
  return live;
}
