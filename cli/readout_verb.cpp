#include <charconv>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "cli/verb_camera.h"
#include "cli/verbs.h"
#include "image/frame.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {

struct ReadoutArgs {
  std::string mode;
  std::uint32_t exposure_ms = 0;
  std::string out;
};

// Starts a main-head exposure as a capture does and, beyond the camera's own 1000 ms, waits for it on
// the clock, flushing the sensor at the usual moments. False when the exposure was not started as
// asked (a clear or the status request was lost): its frame would not be the exposure asked for.
bool exposeMainHead(std::uint32_t e) {
  Clock& clock = *platform().clock;
  const std::uint64_t faults = linkState().faults;
  ClearSensor(kClearFlush, kMainHead);
  ClearSensor(kClearStart, kMainHead);
  StatusPoll();
  if (linkState().faults != faults) return false;
  const std::uint32_t t0 = clock.millis();
  if (e <= kCameraTimedMaxMs) return true;
  std::uint32_t flush = e <= 5000 ? e + 5 : e - 2000;  // milliseconds after t0
  while (clock.millis() - t0 < e) {
    if (clock.millis() - t0 >= flush) {
      ClearSensor(kClearFlush, kMainHead);
      flush += 2005;
    }
    clock.idle(1);
  }
  return true;
}

// Writes `count` values as 16-bit little-endian.
bool saveValues(const std::filesystem::path& path, const std::uint16_t* values, std::size_t count,
                std::ostream& err) {
  std::vector<std::uint8_t> bytes(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(values[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(values[i] >> 8);
  }
  AtomicFile file(path);
  if (!file.open() || !file.write(bytes.data(), bytes.size()) || !file.commit()) {
    err << "Cannot write " << describeWriteFailure(AtomicFile::lastFailure()) << '\n';
    return false;
  }
  return true;
}

// A focus exposure's unit and count for a time in milliseconds.
std::pair<char, int> focusUnitFor(std::uint32_t ms) {
  if (ms <= 32767) return {'q', static_cast<int>(ms)};
  return {'s', static_cast<int>(ms / 1000)};
}

// A readout that failed writes no file and exits 1; the link's message has already said why.
constexpr int kReadoutFailed = 1;

int runReadout(const ReadoutArgs& a, std::ostream& out, std::ostream& err) {
  if (linkState().camera_present == 0) FindCamera();
  if (linkState().camera_present == 0) {
    ShowMessage(kCallerTextMessage, "Sorry, No camera found on USB");
    return 1;
  }
  ImageBuffers& b = imageBuffers();
  const std::filesystem::path path = a.out;
  if (a.mode == "full" || a.mode == "binned") {
    const bool binned = a.mode == "binned";
    frameState().binned = binned;
    if (!exposeMainHead(a.exposure_ms)) return kReadoutFailed;
    const bool read = binned ? ReadBinnedFrame(b.CurrentFrame, a.exposure_ms)
                             : ReadFullFrame(b.CurrentFrame, a.exposure_ms);
    if (!read) return kReadoutFailed;
    if (!saveValues(path, b.CurrentFrame.data(), kFrameElements, err)) return 1;
    out << a.mode << " frame, " << a.exposure_ms << " ms: 660 x 500 written to " << path.string() << '\n';
  } else if (a.mode == "focus") {
    const auto [unit, count] = focusUnitFor(a.exposure_ms);
    if (!FocusExposure(unit, count, b.CurrentFrame.data())) return kReadoutFailed;
    if (!saveValues(path, b.CurrentFrame.data(), kFocusElements, err)) return 1;
    out << "focus window, " << focusExposureMs(unit, count) << " ms: 128 x 128 written to " << path.string()
        << ", peak " << readoutState().PeakValue << '\n';
  } else {
    // The guider counts in hundredths of a second.
    const int count = static_cast<int>(std::max<std::uint32_t>(1, (a.exposure_ms + 5) / 10));
    if (!GuiderExposure('h', count, b.GuiderFrames[0], GuiderProcessing{})) return kReadoutFailed;
    if (!saveValues(path, b.GuiderFrames[0].data(), kGuiderElements, err)) return 1;
    out << "guider frame, " << guiderExposureMs('h', count) << " ms: 500 x 290 written to " << path.string()
        << ", background bin " << readoutState().guider_background_bin << ", top bin "
        << readoutState().guider_top_bin << '\n';
  }
  return 0;
}

// One camera readout saved raw: the camera of the shared options (the simulator set by --sim, its
// exposures on a virtual clock).
int runReadoutVerb(const ReadoutArgs& args, const CliOptions& options, std::ostream& out, std::ostream& err) {
  const auto camera = VerbCamera::install(options, err, VerbCamera::SimClock::AlwaysVirtual);
  if (!camera) return 2;
  return runReadout(args, out, err);
}
}  // namespace

void addReadoutVerb(CLI::App& app, CliRun& run) {
  auto args = std::make_shared<ReadoutArgs>();
  CLI::App* sub = addVerb(app, "readout", "expose and read the camera once, save the array raw");
  sub->add_option("--mode", args->mode, "readout shape")
      ->required()
      ->check(CLI::IsMember({"full", "binned", "focus", "guider"}));
  sub->add_option("--exposure-ms", args->exposure_ms, "exposure in milliseconds")->required();
  sub->add_option("OUT", args->out, "raw file: 16-bit little-endian, no header")->required();
  sub->callback(
      [&run, args] { run.start([&] { return runReadoutVerb(*args, run.options, run.out, run.err); }); });
}

}  // namespace qlm
