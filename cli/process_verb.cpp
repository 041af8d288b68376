#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/calibration_commands.h"
#include "app/startup.h"
#include "cli/image_io.h"
#include "cli/operations.h"
#include "cli/verbs.h"
#include "image/display.h"
#include "platform/atomic_file.h"

namespace qlm {

namespace {

struct ProcessArgs {
  std::string in;
  std::vector<std::string> files;  // OUT, or with --out-dir the other inputs
  std::string out_dir;
  std::vector<std::string> ops;
};

// Loads IN, applies each operation in order, saves OUT.
bool processOne(const std::string& in, const std::filesystem::path& out, const ParsedOperations& parsed,
                std::ostream& err) {
  return cliLoadImage(in) && applyOperations(parsed, err) && cliSaveImage(out, err);
}

int runProcess(const ProcessArgs& a, std::ostream& err) {
  ParsedOperations parsed;
  if (!parseOperations(a.ops, parsed, err)) return 2;
  if (a.out_dir.empty()) {
    if (a.files.size() != 1) {
      err << "process takes IN OUT, or IN... --out-dir DIR\n";
      return 2;
    }
    return processOne(a.in, a.files[0], parsed, err) ? 0 : 1;
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(a.out_dir, ec)) {
    err << "No folder " << a.out_dir << '\n';
    return 1;
  }
  // Each input as a run of its own would see it: the program's start-up state, then the chain. The
  // outputs reach the disk together when the batch ends.
  const DeferredSync one_sync;
  const NoDisplayBitmaps no_window;
  const KeptCalibrationFiles read_once;
  int failed = 0;
  bool first = true;
  std::vector<std::string> inputs{a.in};
  inputs.insert(inputs.end(), a.files.begin(), a.files.end());
  for (const std::string& in : inputs) {
    if (!first) startProgram();
    first = false;
    const std::filesystem::path out = std::filesystem::path(a.out_dir) / std::filesystem::path(in).filename();
    if (!processOne(in, out, parsed, err)) {
      err << "Skipped " << in << '\n';
      ++failed;
    }
  }
  if (failed > 0) err << failed << " of " << inputs.size() << " inputs failed\n";
  return failed > 0 ? 1 : 0;
}

}  // namespace

void addProcessVerb(CLI::App& app, CliRun& run) {
  auto args = std::make_shared<ProcessArgs>();
  CLI::App* sub =
      addVerb(app, "process", "load IN, apply operations in order, save OUT (or each IN into --out-dir)");
  // IN OUT, or IN... with --out-dir: the first file is always an input.
  sub->add_option("IN", args->in, "image file to load (PK or FITS)")->required();
  sub->add_option("OUT", args->files,
                  "file to save (.fit/.fits FITS, .tif/.tiff TIFF, else PK raw); with --out-dir, more inputs")
      ->expected(-1);
  sub->add_option("--out-dir", args->out_dir, "save each input under its own name in DIR")->type_name("DIR");
  sub->add_option("--op", args->ops, "an operation NAME[:ARG...], repeated for a chain (see the README)")
      ->allow_extra_args(false);
  sub->callback([&run, args] { run.start([&] { return runProcess(*args, run.err); }); });
}

}  // namespace qlm
