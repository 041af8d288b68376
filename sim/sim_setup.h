#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/ao_unit.h"
#include "sim/filter_wheel.h"
#include "sim/mount.h"
#include "sim/sim_transport.h"

namespace qlm::sim {

// Everything a front end can set about the simulator, each one a `--sim KEY=VALUE` key.
struct SimOptions {
  SimCameraConfig camera;
  MountConfig mount;
  double guider_arcsec_per_px = 3.8;
  double mount_reply_delay_ms = -1.0;  // negative: as the mount model answers
  int mount_port = 0;                  // camera serial port of the mount (the program's "Com 1")
  int wheel_port = 1;                  // camera serial port of the filter wheel
  AOConfig ao;
  int ao_port = 0;    // camera serial port of the AO unit (the program's "Com 2", its start-up choice)
  int ao_relays = 0;  // 1: the AO unit is wired to the relay socket instead of the mount's guide port
  // Camera faults (the unplug time is camera.unplug_ms): the first `write_fails` writes and
  // `read_fails` reads fail; the transfer numbered `fault_transfer` (writes and reads counted together
  // from 0; negative: none) meets `fault_transfer_kind`.
  int write_fails = 0;
  int read_fails = 0;
  int fault_transfer = -1;
  SimTransport::TransferFault fault_transfer_kind = SimTransport::TransferFault::Fail;
};

// One settable key: its name, unit, default value as text and what it sets.
struct SimKey {
  std::string name;
  std::string unit;
  std::string default_value;
  std::string meaning;
};

// The default options: the camera and sky of SimCameraConfig, the guider head at its own plate scale,
// a drifting mount with periodic error.
SimOptions defaultSimOptions();
// Every key, in the order --sim-help lists them.
std::vector<SimKey> simKeys();
// The --sim-help text: one line per key with its unit and default.
std::string simHelpText();
// Applies one "KEY=VALUE"; returns an error text (unknown key, bad value), or empty on success.
std::string applySimSetting(SimOptions& options, std::string_view key_value);

// The simulated camera with its mount (on a serial port and the relay socket), filter wheel and AO unit
// (on a serial port, or on the relay socket in the mount's place), wired together: the sky image follows
// the mount's pointing plus the AO unit's tilt, and the focus the mount's focuser.
class SimSystem {
 public:
  // `start_ms` is the clock reading at switch-on (the periodic error's phase starts there) and
  // `start_calendar` the calendar time then (the mount's planets stand where they are on that date).
  explicit SimSystem(const SimOptions& options = defaultSimOptions(), std::uint32_t start_ms = 0,
                     std::time_t start_calendar = kDefaultStartCalendar);
  SimSystem(const SimSystem&) = delete;
  SimSystem& operator=(const SimSystem&) = delete;

  SimTransport& transport() { return transport_; }
  Mount& mount() { return mount_; }
  FilterWheel& wheel() { return wheel_; }
  AOUnit& ao() { return ao_; }
  const SimOptions& options() const { return options_; }

 private:
  SimOptions options_;
  SimTransport transport_;
  Mount mount_;
  FilterWheel wheel_;
  AOUnit ao_;
};

}  // namespace qlm::sim
