#include "cli/cli.h"

#include <algorithm>

#include "app/startup.h"
#include "cli/console_ui.h"
#include "cli/stack_verb.h"
#include "cli/verbs.h"
#include "platform/platform.h"
#include "platform/version.h"
#include "sim/sim_setup.h"

namespace qlm {

void CliRun::start(const std::function<int()>& verb) {
  RealClock clock;
  ConsoleUi ui(err);
  NullTransport no_camera;
  Platform p{&clock, &ui, &no_camera, Paths(Paths::resolveRoot(options.home))};
  ScopedPlatform scoped(p);
  if (!startProgram()) {
    err << "Cannot create the data folder " << p.paths.root() << '\n';
    status = 1;
    return;
  }
  status = verb();
}

CLI::App* addVerb(CLI::App& app, const char* name, const char* summary) {
  CLI::App* sub = app.add_subcommand(name, summary);
  sub->fallthrough();
  return sub;
}

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CliRun run(out, err);
  CLI::App app("qlm_t4_cli: the QLM_T4_USB camera program without windows.", "qlm_t4_cli");
  app.add_option_function<std::string>(
         "--home", [&run](const std::string& dir) { run.options.home = dir; },
         "data folder (default: $QLM_T4_HOME, else ~/QLM_T4)")
      ->type_name("DIR");
  app.add_flag("--simulate", run.options.simulate,
               "use the built-in simulated camera instead of the USB camera");
  app.set_version_flag("--version", std::string("qlm_t4_cli ") + kVersion);
  app.add_flag("--virtual-clock", run.options.virtual_clock,
               "with --simulate: the program and the simulator share a clock that jumps over every wait");
  app.add_option("--sim", run.options.sim_settings,
                 "one simulator setting (repeatable); --sim-help lists them")
      ->type_name("KEY=VALUE")
      ->allow_extra_args(false);
  app.add_flag_callback(
      "--sim-help",
      [&run] {
        run.out << sim::simHelpText();
        throw CLI::Success();
      },
      "list the simulator settings with their units and defaults");
  app.require_subcommand(1);
  app.footer(
      "Messages the program would show in a box are printed on standard error.\n"
      "'qlm_t4_cli VERB --help' describes a verb.");
  addProcessVerb(app, run);
  addRenderVerb(app, run);
  addInfoVerb(app, run);
  addSettingsVerb(app, run);
  addReadoutVerb(app, run);
  addCaptureVerb(app, run);
  addAnalysisVerbs(app, run);
  addStackVerb(app, run);
  addGuidingVerbs(app, run);
  addGuideVerbs(app, run);

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? 0 : 2;  // usage errors exit with 2; --help with 0
  }
  return run.status;
}

}  // namespace qlm
