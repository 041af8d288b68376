#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"

namespace qlm {

// stack OUT IN... [--method star|profile] [--average] [--star X,Y]
struct StackArgs {
  std::string out;
  std::vector<std::string> inputs;
  bool profile = false;                     // profile correlation instead of star tracking
  bool average = false;                     // each frame divided by the number of inputs
  std::optional<std::pair<int, int>> star;  // where the star method's centroid passes start
};

// Loads the inputs in order and stacks them as a multi-exposure capture does, with N = the number of
// inputs; the saved EXPTIME is the inputs' exposures in the stack. A lost star (message 4) or no
// suitable star (message 5) saves the stack so far and answers 3; an input that cannot be loaded, 1.
int runStackVerb(const StackArgs& args, std::ostream& out, std::ostream& err);

}  // namespace qlm
