#include "cli/cli.h"

#include <memory>

#include "app/startup.h"
#include "cli/console_ui.h"
#include "cli/stack_verb.h"
#include "cli/verbs.h"
#include "platform/platform.h"

namespace qlm {

namespace {

void printHelp(std::ostream& out) {
  out << "qlm_t4_cli: the QLM_T4_USB camera program without windows.\n\n"
         "Usage: qlm_t4_cli [--home DIR] [--simulate] VERB [ARGS...]\n\n"
         "  --home DIR   data folder (default: $QLM_T4_HOME, else ~/QLM_T4)\n"
         "  --simulate   use the built-in simulated camera instead of the USB camera\n"
         "  --help       this text\n\nVerbs:\n";
  for (const auto& verb : cliVerbs())
    out << "  " << verb.usage << '\n';
}

}  // namespace

const std::vector<CliVerb>& cliVerbs() {
  static const std::vector<CliVerb> verbs = {
      {"process", "process IN OUT [--op NAME[:ARG...]]...   load, apply operations in order, save",
       runProcessVerb},
      {"render",
       "render IN OUT.bmp [--auto-contrast] [--false-colour] [--max-palette POWER]   the display bitmap",
       runRenderVerb},
      {"settings", "settings show | settings set NAME VALUE   print the settings file, or change one field",
       runSettingsVerb},
      {"info", "info FILE   print the FITS details and processing history of an image file", runInfoVerb},
      {"readout",
       "readout --mode full|binned|focus|guider --exposure-ms N OUT   one camera readout, saved raw",
       runReadoutVerb},
      {"capture",
       "capture [--unit q|h|t|s|m] [--count N] [--frames N] [--continuous] [--binned] [--autosave] [--focus "
       "N]"
       "   take photos",
       runCaptureVerb},
      {"histogram", "histogram IN   the 256 display-value counters a paint leaves, one VALUE COUNT line each",
       runHistogramWords},
      {"plot", "plot histogram|row|3d IN OUT.png [--row N]   the picture of the analysis dialog, as PNG",
       runPlotWords},
      {"photometry",
       "photometry IN --object X,Y [--comparison X,Y] [--background X,Y] [--aperture A]   means and "
       "magnitude "
       "difference",
       runPhotometryWords},
      {"star", "star IN X Y   peak, HFR and FWHM (pixels) of the star near X,Y", runStarWords},
      {"stack", "stack OUT IN... [--method star|profile] [--average] [--star X,Y]   stack frames on a star",
       runStackWords},
  };
  return verbs;
}

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CliOptions options;
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      printHelp(out);
      return 0;
    } else if (a == "--home") {
      if (i + 1 >= args.size()) {
        err << "--home needs a folder\n";
        return 2;
      }
      options.home = args[++i];
    } else if (a == "--simulate") {
      options.simulate = true;
    } else {
      break;
    }
  }
  if (i >= args.size()) {
    printHelp(err);
    return 2;
  }
  const std::string verb_name = args[i];
  std::vector<std::string> words(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  // Options may also follow the verb.
  for (std::size_t w = 0; w < words.size();) {
    if (words[w] == "--simulate") {
      options.simulate = true;
      words.erase(words.begin() + static_cast<std::ptrdiff_t>(w));
    } else if (words[w] == "--home" && w + 1 < words.size()) {
      options.home = words[w + 1];
      words.erase(words.begin() + static_cast<std::ptrdiff_t>(w),
                  words.begin() + static_cast<std::ptrdiff_t>(w) + 2);
    } else {
      ++w;
    }
  }
  for (const auto& verb : cliVerbs()) {
    if (verb_name != verb.name) continue;
    RealClock clock;
    ConsoleUi ui(err);
    NullTransport no_camera;
    Platform p{&clock, &ui, &no_camera, Paths(Paths::resolveRoot(options.home))};
    ScopedPlatform scoped(p);
    if (!startProgram()) {
      err << "Cannot create the data folder " << p.paths.root() << '\n';
      return 1;
    }
    return verb.run(words, options, out, err);
  }
  err << "Unknown verb '" << verb_name << "'\n";
  printHelp(err);
  return 2;
}

}  // namespace qlm
