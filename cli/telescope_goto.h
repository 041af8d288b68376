#pragma once
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "guiding/telescope.h"

namespace qlm {

// The go-to, hand-move and focus actions of the `telescope` verb: the telescope panels' commands
// through the protocol and the drive method in the settings. Each runs on the camera the verb has
// installed, after the Telescope Control command's first-use step. Usage errors (nothing sent) give 2,
// a missing camera or a mount that fails the go-to 1.

// The longest a go-to waits for the mount to report its arrival, clock time.
inline constexpr std::uint32_t kGotoLimitMs = 5 * 60 * 1000;

// goto messier N | goto cngc N | goto planet NAME | goto radec HH:MM:SS SDD:MM:SS: sends the go-to,
// waits until the reported position stands still (at most five minutes), then prints "ra: HH:MM:SS"
// and "dec: SDD:MM:SS" as the mount reports them. Coordinates go out rounded to the nearest minute (the
// mount's texts carry no seconds), first printed as "sent ra: HH:MM" and "sent dec: SDD:MM", with a note
// on `err` when seconds were dropped; a mount that stops away from them is a failure.
struct TelescopeGotoArgs {
  std::string kind;  // messier, cngc, planet or radec
  std::vector<std::string> values;
};
// The logical direction of a command-line letter: e East, w West, s South, anything else North.
Direction directionFromLetter(char letter);

int runTelescopeGoto(const TelescopeGotoArgs& args, std::ostream& out, std::ostream& err);

// move n|s|e|w MS [--rate guide|centre|find|slew]: a hand move of MS milliseconds at the rate (without
// --rate, the rate the program starts with, slew). Socket mounts close the direction's relay instead.
struct TelescopeMoveArgs {
  char direction = 'n';
  int ms = 0;
  std::string rate;  // empty: keep the current rate command
};
int runTelescopeMove(const TelescopeMoveArgs& args, std::ostream& out, std::ostream& err);

// focus in|out MS [--fast]: the focuser's upper arrow ("in", "#:F+#") or lower one ("out", "#:F-#")
// held for MS milliseconds, at the slow speed unless --fast.
struct TelescopeFocusArgs {
  bool in = true;
  int ms = 0;
  bool fast = false;
};
int runTelescopeFocus(const TelescopeFocusArgs& args, std::ostream& out, std::ostream& err);

// Adds the goto, move and focus sub-commands to the `telescope` verb's command. `start` runs an action
// on the verb's camera and keeps its exit status.
using TelescopeStart = std::function<void(std::function<int(std::ostream& out, std::ostream& err)>)>;
void addTelescopeGotoCommands(CLI::App& telescope, const TelescopeStart& start);

}  // namespace qlm
