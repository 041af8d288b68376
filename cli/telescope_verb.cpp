#include "camera/link.h"
#include "cli/guiding_verbs.h"
#include "cli/telescope_goto.h"
#include "cli/verb_camera.h"
#include "files/settings.h"
#include "guiding/lx200.h"
#include "guiding/scope_panels.h"
#include "guiding/telescope.h"

namespace qlm {

int runTelescopeAction(const CliOptions& options, std::ostream& out, std::ostream& err,
                       const std::function<int(std::ostream& out, std::ostream& err)>& action) {
  const auto camera = VerbCamera::install(options, err);
  if (!camera) return 2;
  if (!prepareTelescopeUse()) return 1;
  const std::uint64_t faults = linkState().faults;
  const int status = action(out, err);
  // A command or reply lost on the way did not do what was asked: the link has said so once.
  return status == 0 && linkState().faults != faults ? 1 : status;
}

int runTelescopeVerb(const TelescopeArgs& args, const CliOptions& options, std::ostream& out,
                     std::ostream& err) {
  const bool pulse = args.action == "pulse";
  if (!pulse && args.action != "status") {
    err << "usage: telescope status | telescope pulse n|s|e|w MS\n";
    return 2;
  }
  if (pulse && (!lx200::isDirectionLetter(args.direction) || args.ms < 0)) {
    err << "telescope pulse takes a direction n, s, e or w and a length in milliseconds\n";
    return 2;
  }
  return runTelescopeAction(options, out, err, [&args, pulse](std::ostream& o, std::ostream& e) {
    TelescopeState& scope = telescopeState();
    if (pulse) {
      const char letter = directionLetter(directionFromLetter(args.direction));
      scope.current_direction = letter;
      scope.pulse_length_ms = args.ms;
      const PulseRoad road = guidingPulseRoad(settings().drive_method);
      GuidePulse(road, scope);
      // What went out, after the direction swaps of the settings.
      o << "pulse: " << args.direction << ' ' << args.ms << " ms, sent as ";
      if (road == PulseRoad::Text)
        o << lx200::moveCommand(letter) << " ... " << lx200::quitCommand(letter) << '\n';
      else
        o << "relay " << lx200::relayBit(letter) << '\n';
      return 0;
    }
    const std::uint64_t faults = linkState().faults;
    ReadPosition(scope);
    if (linkState().faults != faults) return 1;  // the link has said why
    if (scope.ra_text.empty() || scope.dec_text.empty()) {
      e << "The mount did not answer\n";
      return 1;
    }
    // A cut-short or garbled reply is no position: say so rather than print its bytes.
    if (!raArcsec(scope.ra_text) || !decArcsec(scope.dec_text)) {
      e << "The mount's reply is not a position\n";
      return 1;
    }
    o << "ra: " << lx200::positionText(scope.ra_text) << "\ndec: " << lx200::positionText(scope.dec_text)
      << '\n';
    return 0;
  });
}

}  // namespace qlm
