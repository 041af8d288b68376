// The guiding verbs' sub-commands: centroid, and telescope status / pulse.
#include <memory>
#include <string>

#include "cli/guiding_verbs.h"
#include "cli/telescope_goto.h"
#include "cli/verbs.h"

namespace qlm {

void addGuidingVerbs(CLI::App& app, CliRun& run) {
  auto centroid = std::make_shared<CentroidArgs>();
  CLI::App* sub =
      addVerb(app, "centroid", "the star position the main-window pick finds near X Y (x=X.T y=Y.T)");
  sub->add_option("IN", centroid->in, "image file to load (PK or FITS)")->required();
  sub->add_option("X", centroid->x, "column to start from")->required();
  sub->add_option("Y", centroid->y, "row to start from")->required();
  sub->add_option_function<int>(
         "--radius", [centroid](int r) { centroid->radius = r; },
         "centroid radius in pixels (default: the mask radius setting)")
      ->check(CLI::Range(0, 15));
  sub->callback(
      [&run, centroid] { run.start([&] { return runCentroidVerb(*centroid, run.out, run.err); }); });

  auto telescope = std::make_shared<TelescopeArgs>();
  sub = addVerb(app, "telescope", "the telescope commands, through the drive method in the settings");
  sub->require_subcommand(1);
  CLI::App* status =
      sub->add_subcommand("status", "print ra: HH:MM:SS and dec: SDD:MM:SS as the mount reports");
  status->fallthrough();
  status->callback([&run, telescope] {
    telescope->action = "status";
    run.start([&] { return runTelescopeVerb(*telescope, run.options, run.out, run.err); });
  });
  CLI::App* pulse = sub->add_subcommand("pulse", "one guiding correction pulse of MS milliseconds");
  pulse->fallthrough();
  pulse
      ->add_option_function<std::string>(
          "DIRECTION", [telescope](const std::string& d) { telescope->direction = d[0]; }, "n, s, e or w")
      ->required()
      ->check(CLI::IsMember({"n", "s", "e", "w"}));
  pulse->add_option("MS", telescope->ms, "pulse length in milliseconds")
      ->required()
      ->check(CLI::Range(0, 3600000));
  pulse->callback([&run, telescope] {
    telescope->action = "pulse";
    run.start([&] { return runTelescopeVerb(*telescope, run.options, run.out, run.err); });
  });
  addTelescopeGotoCommands(*sub, [&run](std::function<int(std::ostream&, std::ostream&)> action) {
    run.start([&] { return runTelescopeAction(run.options, run.out, run.err, action); });
  });
}

}  // namespace qlm
