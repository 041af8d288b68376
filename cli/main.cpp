#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/cli.h"
#include "cli/console_ui.h"

namespace {
volatile std::sig_atomic_t g_interrupts = 0;

// The first Ctrl+C acts as the key press that ends a running sequence; a second one quits.
void onInterrupt(int) {
  if (g_interrupts != 0) _exit(130);
  g_interrupts = 1;
  qlm::ConsoleUi::requestInterrupt();
}
}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, onInterrupt);
  std::vector<std::string> args(argv + 1, argv + argc);
  return qlm::runCli(args, std::cout, std::cerr);
}
