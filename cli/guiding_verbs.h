#pragma once
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli.h"

namespace qlm {

// centroid IN X Y [--radius R]: the main-window pick's three centroid passes on the loaded frame, from
// (X, Y) with radius R (default: the mask radius setting). Prints "x=X.T y=Y.T"; a window that does not
// fit prints the message and gives 1.
struct CentroidArgs {
  std::string in;
  int x = 0;
  int y = 0;
  std::optional<int> radius;
};
int runCentroidVerb(const CentroidArgs& args, std::ostream& out, std::ostream& err);

// telescope status: "ra: HH:MM:SS" and "dec: SDD:MM:SS" as the mount reports them (1 when it does not
// answer). telescope pulse n|s|e|w MS: one guiding correction pulse through the drive method in the
// settings (LX200 text commands, otherwise the relay socket); prints "pulse: D MS ms, sent as ..." with
// the move and quit commands or the relay bit that went out.
struct TelescopeArgs {
  std::string action;  // "status" or "pulse"
  char direction = 'n';
  int ms = 0;
};
int runTelescopeVerb(const TelescopeArgs& args, const CliOptions& options, std::ostream& out,
                     std::ostream& err);

// Runs one telescope action on the camera the options choose, after the Telescope Control command's
// first-use step (1 without a camera; 2 for a refused --sim setting).
int runTelescopeAction(const CliOptions& options, std::ostream& out, std::ostream& err,
                       const std::function<int(std::ostream& out, std::ostream& err)>& action);

}  // namespace qlm
