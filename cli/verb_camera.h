#pragma once
#include <memory>
#include <ostream>

#include "cli/cli.h"
#include "platform/platform.h"
#include "sim/sim_setup.h"

namespace qlm {

// The camera a verb talks to, installed over the current platform for the verb's lifetime: the USB
// camera, or with --simulate the simulated camera, mount and filter wheel set up by the --sim settings;
// with --virtual-clock the program and the simulator share a clock that jumps over every wait. The link
// state starts afresh (the camera is looked for again).
class VerbCamera {
 public:
  // How the simulator's clock is chosen: by --virtual-clock, or always virtual (verbs whose simulated
  // exposures should take no real time; the calendar then starts at the current clock's date).
  enum class SimClock { AsOptions, AlwaysVirtual };
  // Nothing (after a line on `err`) when a --sim setting is refused or --virtual-clock lacks --simulate.
  static std::unique_ptr<VerbCamera> install(const CliOptions& options, std::ostream& err,
                                             SimClock sim_clock = SimClock::AsOptions);
  ~VerbCamera();
  VerbCamera(const VerbCamera&) = delete;
  VerbCamera& operator=(const VerbCamera&) = delete;

  // The simulator, when the verb runs on it.
  sim::SimSystem* simulator() { return sim_.get(); }

 private:
  VerbCamera() = default;
  std::unique_ptr<VirtualClock> virtual_clock_;
  std::unique_ptr<sim::SimSystem> sim_;
  std::unique_ptr<Transport> usb_;
  std::unique_ptr<ScopedPlatform> scoped_;
};

// The mount the drive method in the settings names, which the simulated mount answers as (unless
// --sim mount=... fixes it): an Autostar with drive method 'a', an LX200 otherwise.
sim::MountModel simulatedMountModel();

// Parses the --sim settings into simulator options; false (after a line on `err`) on the first bad one.
bool simOptionsFrom(const CliOptions& options, sim::SimOptions& out, std::ostream& err);

}  // namespace qlm
