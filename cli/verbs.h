#pragma once
#include <functional>
#include <ostream>

#include <CLI/CLI.hpp>

#include "cli/cli.h"

namespace qlm {

// One run of the command-line tool: the shared options, the output streams, and the exit status the
// verb leaves.
class CliRun {
 public:
  CliRun(std::ostream& out, std::ostream& err) : out(out), err(err) {}

  // Installs the platform (the real clock, the console Ui, no camera, the data root of the options),
  // starts the program as the desktop program does and runs `verb`; its result is the exit status.
  void start(const std::function<int()>& verb);

  CliOptions options;
  std::ostream& out;
  std::ostream& err;
  int status = 0;
};

// Adds a verb's sub-command to `app`: `summary` is its line in the verb list. Options given before
// the verb may also follow it.
CLI::App* addVerb(CLI::App& app, const char* name, const char* summary);

// Each verb adds its sub-command, with options bound to its own argument record; when the command line
// names it, its callback runs the verb through `run`.
void addProcessVerb(CLI::App& app, CliRun& run);
void addRenderVerb(CLI::App& app, CliRun& run);
void addInfoVerb(CLI::App& app, CliRun& run);
void addSettingsVerb(CLI::App& app, CliRun& run);
void addReadoutVerb(CLI::App& app, CliRun& run);
void addCaptureVerb(CLI::App& app, CliRun& run);
void addAnalysisVerbs(CLI::App& app, CliRun& run);
void addStackVerb(CLI::App& app, CliRun& run);     // histogram, plot, photometry, star
void addGuidingVerbs(CLI::App& app, CliRun& run);  // centroid, telescope
void addGuideVerbs(CLI::App& app, CliRun& run);    // train, guide

}  // namespace qlm
