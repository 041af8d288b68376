#include <memory>
#include <string>
#include <vector>

#include "cli/image_io.h"
#include "cli/operations.h"
#include "cli/verbs.h"

namespace qlm {

namespace {

struct ProcessArgs {
  std::string in;
  std::string out;
  std::vector<std::string> ops;
};

// Loads IN, applies each operation in order, saves OUT.
int runProcess(const ProcessArgs& a, std::ostream& err) {
  const std::vector<std::string>& ops = a.ops;
  // Check every operation before touching any file.
  const auto& table = cliOperations();
  std::vector<std::vector<std::string>> parsed;
  for (const auto& op : ops) {
    auto parts = splitOperation(op);
    auto it = table.find(parts[0]);
    if (it == table.end()) {
      err << "Unknown operation '" << parts[0] << "'\n";
      return 2;
    }
    const int nargs = static_cast<int>(parts.size()) - 1;
    if (nargs < it->second.min_args || nargs > it->second.max_args) {
      err << "Operation '" << parts[0] << "' takes " << it->second.min_args;
      if (it->second.max_args != it->second.min_args) err << " to " << it->second.max_args;
      err << " arguments\n";
      return 2;
    }
    parsed.push_back(std::move(parts));
  }
  if (!cliLoadImage(a.in)) return 1;
  for (const auto& parts : parsed) {
    const std::vector<std::string> args(parts.begin() + 1, parts.end());
    if (!table.at(parts[0]).run(args, err)) return 1;
  }
  return cliSaveImage(a.out, err) ? 0 : 1;
}

}  // namespace

void addProcessVerb(CLI::App& app, CliRun& run) {
  auto args = std::make_shared<ProcessArgs>();
  CLI::App* sub = addVerb(app, "process", "load IN, apply operations in order, save OUT");
  sub->add_option("IN", args->in, "image file to load (PK or FITS)")->required();
  sub->add_option("OUT", args->out, "file to save: .fit/.fits FITS, .tif/.tiff TIFF, else PK raw")
      ->required();
  sub->add_option("--op", args->ops, "an operation NAME[:ARG...], repeated for a chain (see the README)")
      ->allow_extra_args(false);
  sub->callback([&run, args] { run.start([&] { return runProcess(*args, run.err); }); });
}

}  // namespace qlm
