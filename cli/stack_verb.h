#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"

namespace qlm {

// stack OUT IN... [--method star|profile] [--average] [--star X,Y] [--float] [--op NAME[:ARG...]]...
struct StackArgs {
  std::string out;
  std::vector<std::string> inputs;
  bool profile = false;                     // profile correlation instead of star tracking
  bool average = false;                     // each frame divided by the number of inputs
  std::optional<std::pair<int, int>> star;  // where the star method's centroid passes start
  bool float_out = false;                   // a BITPIX -32 mean (with --average) or sum
  std::vector<std::string> ops;             // applied to each input as it is loaded (dark, flat...)
};

// Loads the inputs in order (the program's own files, or 660 x 500 FITS images of any sample type) and
// stacks them as a multi-exposure capture does, with N = the number of inputs (each input first goes
// through the `ops` chain as `process` applies it, so frames are calibrated and stacked in one run
// without calibrated copies on disk); the saved EXPTIME is the
// inputs' exposures in the stack. Without `star` the star method starts on the brightest star of the
// first input whose centroid window fits with room to drift, printed as "star: X,Y"; with none, message
// 5 and answer 3. A lost star (message 4), no suitable star (message 5) or a centroid window that does
// not fit saves the stack so far and answers 3; an input that cannot be loaded, 1.
int runStackVerb(const StackArgs& args, std::ostream& out, std::ostream& err);

}  // namespace qlm
