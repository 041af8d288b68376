#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qlm {

// Options every verb shares.
struct CliOptions {
  std::optional<std::string> home;  // --home DIR
  bool simulate = false;            // --simulate
  bool virtual_clock =
      false;  // --virtual-clock: the program and the simulator share a clock that jumps waits
  std::vector<std::string> sim_settings;  // --sim KEY=VALUE, in the order given
};

// Runs the command-line front end on `args` (without the program name); returns the exit code.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace qlm
