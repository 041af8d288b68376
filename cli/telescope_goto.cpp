#include "cli/telescope_goto.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>

#include "camera/link.h"
#include "files/settings.h"
#include "guiding/lx200.h"
#include "guiding/scope_panels.h"
#include "guiding/telescope.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr double kArrivalToleranceArcsec = 60.0;

// "A:B:C" with one or two digits in each field and, when `sign` allows it, a leading '+' or '-'.
struct Sexagesimal {
  bool negative = false;
  int a = 0;
  int b = 0;
  int c = 0;
};

std::optional<Sexagesimal> parseSexagesimal(std::string_view text, bool sign) {
  Sexagesimal v;
  if (sign && !text.empty() && (text[0] == '+' || text[0] == '-')) {
    v.negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int* fields[3] = {&v.a, &v.b, &v.c};
  for (int i = 0; i < 3; ++i) {
    std::size_t n = 0;
    while (n < text.size() && std::isdigit(static_cast<unsigned char>(text[n])))
      ++n;
    if (n == 0 || n > 2) return std::nullopt;
    *fields[i] = std::stoi(std::string(text.substr(0, n)));
    text.remove_prefix(n);
    if (i < 2) {
      if (text.empty() || text[0] != ':') return std::nullopt;
      text.remove_prefix(1);
    }
  }
  if (!text.empty()) return std::nullopt;
  return v;
}

// The nearest whole minute of RA (wrapping past 23:59) or of Dec (kept within 89:59 of the equator),
// as the mount's coordinate texts carry no seconds; a Dec that rounds to 0 loses its minus sign.
Sexagesimal toMinute(const Sexagesimal& v, bool ra) {
  int minutes = (v.a * 3600 + v.b * 60 + v.c + 30) / 60;
  minutes = ra ? minutes % (24 * 60) : std::min(minutes, 89 * 60 + 59);
  return {v.negative && minutes > 0, minutes / 60, minutes % 60, 0};
}

std::string minuteText(const Sexagesimal& v, bool sign) {
  char text[16];
  std::snprintf(text, sizeof text, "%s%02d:%02d", sign ? (v.negative ? "-" : "+") : "", v.a, v.b);
  return text;
}

// The "Move Telescope" panel of a socket mount has no go-to and no focuser.
bool serialMount(const char* action, std::ostream& err) {
  if (settings().drive_method != 'b') return true;
  err << "The mount is driven through the autoguider socket: " << action
      << " needs the LX200 or Autostar drive method\n";
  return false;
}

void waitMs(int ms) {
  Clock& clock = *platform().clock;
  const std::uint32_t t0 = clock.millis();
  while (clock.millis() - t0 < static_cast<std::uint32_t>(ms))
    clock.idle(1);
}

void printPosition(const TelescopeState& s, std::ostream& out) {
  out << "ra: " << lx200::positionText(s.ra_text) << "\ndec: " << lx200::positionText(s.dec_text) << '\n';
}

// Waits for the arrival and prints where the mount stopped; 0 when it arrived.
int awaitArrival(std::ostream& out, std::ostream& err) {
  TelescopeState& s = telescopeState();
  const std::uint64_t faults = linkState().faults;
  switch (waitForArrival(kGotoLimitMs, s)) {
    case SlewEnd::Arrived:
      printPosition(s, out);
      return 0;
    case SlewEnd::LinkLost:
      return 1;  // the link has said why
    case SlewEnd::NoAnswer:
      // Failed reads explain the silence, and the link has reported them.
      if (linkState().faults == faults) err << "The mount did not answer\n";
      return 1;
    case SlewEnd::TimedOut:
      break;
  }
  printPosition(s, out);
  err << "The mount did not report its arrival within five minutes\n";
  return 1;
}

int gotoCatalogue(ScopePanelModel& panel, char kind, int number, std::ostream& out, std::ostream& err) {
  const std::uint64_t faults = linkState().faults;
  if (kind == 's') {
    panel.gotoPlanet(number);
  } else {
    panel.messier = kind == 'm' ? std::to_string(number) : "0";
    panel.cngc = kind == 'm' ? "0" : std::to_string(number);
    panel.gotoObject();
  }
  // A slew command or reply lost on the way: the mount may not be moving, and its reply is unknown.
  if (linkState().faults != faults) return 1;  // the link has said why
  if (!panel.slewReply().empty()) {
    err << "The mount refused the slew: " << panel.slewReply() << '\n';
    return 1;
  }
  return awaitArrival(out, err);
}

int gotoRadec(ScopePanelModel& panel, const Sexagesimal& ra, const Sexagesimal& dec, std::ostream& out,
              std::ostream& err) {
  out << "sent ra: " << minuteText(ra, false) << "\nsent dec: " << minuteText(dec, true) << '\n';
  const int degrees = dec.negative ? -dec.a : dec.a;
  panel.ra_hours = std::to_string(ra.a);
  panel.ra_minutes = std::to_string(ra.b);
  panel.dec_degrees = std::to_string(degrees);
  panel.dec_minutes = std::to_string(dec.b);
  // The replies to the coordinate texts are still waiting when the slew answer is read, so the slew
  // reply says nothing here; where the mount stops does.
  const std::uint64_t faults = linkState().faults;
  panel.gotoCoordinates();
  if (linkState().faults != faults) return 1;  // a lost command or reply: the link has said why
  const int status = awaitArrival(out, err);
  if (status != 0) return status;
  const TelescopeState& s = telescopeState();
  const double target_ra = (ra.a * 3600.0 + ra.b * 60.0) * 15.0;
  const double target_dec = (dec.negative ? -1.0 : 1.0) * (dec.a * 3600.0 + dec.b * 60.0);
  if (std::abs(std::remainder(*raArcsec(s.ra_text) - target_ra, 1296000.0)) > kArrivalToleranceArcsec ||
      std::abs(*decArcsec(s.dec_text) - target_dec) > kArrivalToleranceArcsec) {
    err << "The mount stopped away from the coordinates sent\n";
    return 1;
  }
  return 0;
}

}  // namespace

Direction directionFromLetter(char letter) {
  switch (letter) {
    case 'e':
      return Direction::East;
    case 'w':
      return Direction::West;
    case 's':
      return Direction::South;
    default:
      return Direction::North;
  }
}

int runTelescopeGoto(const TelescopeGotoArgs& args, std::ostream& out, std::ostream& err) {
  const std::size_t needed = args.kind == "radec" ? 2 : 1;
  if (args.values.size() != needed) {
    err << "usage: telescope goto messier N | cngc N | planet NAME | radec HH:MM:SS SDD:MM:SS\n";
    return 2;
  }
  char kind = 0;
  int number = 0;
  Sexagesimal ra;
  Sexagesimal dec;
  if (args.kind == "messier" || args.kind == "cngc") {
    const auto n = fieldNumber(args.values[0]);
    const bool messier = args.kind == "messier";
    const auto choice = n ? catalogueChoice(messier ? *n : 0, messier ? 0 : *n) : std::nullopt;
    if (!choice || (*choice == 'm') != messier) {
      err << kOutOfRangeText << " (Messier 1-110, CNGC 1-7815)\n";
      return 2;
    }
    kind = *choice;
    number = *n;
  } else if (args.kind == "planet") {
    const auto planet = findPlanet(args.values[0]);
    if (!planet) {
      err << "Unknown planet " << args.values[0]
          << ": Mercury, Venus, Mars, Jupiter, Saturn, Uranus, Neptune or Pluto\n";
      return 2;
    }
    kind = 's';
    number = planet->star_number;
  } else if (args.kind == "radec") {
    const auto r = parseSexagesimal(args.values[0], false);
    const auto d = parseSexagesimal(args.values[1], true);
    if (!r || !d) {
      err << "telescope goto radec takes HH:MM:SS and SDD:MM:SS, e.g. 05:35:17 -05:23:28\n";
      return 2;
    }
    if (!coordinatesInRange(r->a, r->b, d->negative ? -d->a : d->a, d->b) || r->c > 59 || d->c > 59) {
      err << kInvalidCoordinatesText << '\n';
      return 2;
    }
    ra = toMinute(*r, true);
    dec = toMinute(*d, false);
    // The mount is sent degrees with their sign and minutes: a Dec between -1 and 0 degrees would go out
    // as +00 and point to the wrong side of the equator.
    if (dec.negative && dec.a == 0 && dec.b > 0) {
      err << "A declination between -00:01 and -00:59 cannot be sent to the mount\n";
      return 2;
    }
    if (r->c != 0 || d->c != 0)
      err << "The mount takes RA and Dec to the minute: " << args.values[0] << " " << args.values[1]
          << " is sent as " << minuteText(ra, false) << " " << minuteText(dec, true) << '\n';
  } else {
    err << "telescope goto takes messier, cngc, planet or radec\n";
    return 2;
  }
  if (!serialMount("go-to", err) || !prepareTelescopeUse()) return 1;
  ScopePanelModel panel(scopePanelKind(settings().drive_method));
  if (kind != 0) return gotoCatalogue(panel, kind, number, out, err);
  return gotoRadec(panel, ra, dec, out, err);
}

int runTelescopeMove(const TelescopeMoveArgs& args, std::ostream&, std::ostream& err) {
  if (!lx200::isDirectionLetter(args.direction) || args.ms < 0) {
    err << "telescope move takes a direction n, s, e or w and a length in milliseconds\n";
    return 2;
  }
  char letter = 0;
  for (const Rate& r : kRates) {
    std::string name(r.caption);
    for (char& c : name)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == args.rate) letter = r.letter;
  }
  if (!args.rate.empty() && letter == 0) {
    err << "--rate takes guide, centre, find or slew\n";
    return 2;
  }
  if (!prepareTelescopeUse()) return 1;
  ScopePanelModel panel(scopePanelKind(settings().drive_method));
  if (letter != 0) panel.setRate(letter);
  panel.arrowPressed(directionFromLetter(args.direction));
  waitMs(args.ms);
  panel.arrowReleased();
  return 0;
}

int runTelescopeFocus(const TelescopeFocusArgs& args, std::ostream&, std::ostream& err) {
  if (args.ms < 0) {
    err << "telescope focus takes in or out and a length in milliseconds\n";
    return 2;
  }
  if (!serialMount("focus", err) || !prepareTelescopeUse()) return 1;
  ScopePanelModel panel(scopePanelKind(settings().drive_method));
  panel.setFocusFast(args.fast);
  panel.focusPressed(args.in);
  waitMs(args.ms);
  panel.focusReleased();
  return 0;
}

void addTelescopeGotoCommands(CLI::App& telescope, const TelescopeStart& start) {
  auto go = std::make_shared<TelescopeGotoArgs>();
  CLI::App* g = telescope.add_subcommand(
      "goto", "slew to a Messier or CNGC object, a planet or RA/Dec and wait for the arrival");
  g->fallthrough();
  g->add_option("KIND", go->kind, "messier, cngc, planet or radec")
      ->required()
      ->check(CLI::IsMember({"messier", "cngc", "planet", "radec"}));
  g->add_option("VALUE", go->values, "the number, the planet's name, or HH:MM:SS SDD:MM:SS")
      ->required()
      ->expected(1, 2);
  g->callback([go, start] {
    start([go](std::ostream& out, std::ostream& err) { return runTelescopeGoto(*go, out, err); });
  });

  auto move = std::make_shared<TelescopeMoveArgs>();
  CLI::App* m = telescope.add_subcommand("move", "hold a direction button for MS milliseconds");
  m->fallthrough();
  m->add_option_function<std::string>(
       "DIRECTION", [move](const std::string& d) { move->direction = d.empty() ? '?' : d[0]; },
       "n, s, e or w")
      ->required()
      ->check(CLI::IsMember({"n", "s", "e", "w"}));
  m->add_option("MS", move->ms, "milliseconds")->required()->check(CLI::NonNegativeNumber);
  m->add_option("--rate", move->rate, "guide, centre, find or slew")
      ->check(CLI::IsMember({"guide", "centre", "find", "slew"}));
  m->callback([move, start] {
    start([move](std::ostream& out, std::ostream& err) { return runTelescopeMove(*move, out, err); });
  });

  auto focus = std::make_shared<TelescopeFocusArgs>();
  CLI::App* f = telescope.add_subcommand("focus", "run the focuser in or out for MS milliseconds");
  f->fallthrough();
  f->add_option_function<std::string>(
       "DIRECTION", [focus](const std::string& d) { focus->in = d == "in"; }, "in or out")
      ->required()
      ->check(CLI::IsMember({"in", "out"}));
  f->add_option("MS", focus->ms, "milliseconds")->required()->check(CLI::NonNegativeNumber);
  f->add_flag("--fast", focus->fast, "the fast focus speed");
  f->callback([focus, start] {
    start([focus](std::ostream& out, std::ostream& err) { return runTelescopeFocus(*focus, out, err); });
  });
}

}  // namespace qlm
