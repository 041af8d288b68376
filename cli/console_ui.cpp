#include "cli/console_ui.h"

#include <csignal>

namespace qlm {

namespace {
volatile std::sig_atomic_t g_interrupt = 0;
}

void ConsoleUi::requestInterrupt() {
  g_interrupt = 1;
}

MessageAnswer ConsoleUi::messageBox(const std::string& caption, const std::string& text,
                                    MessageButtons buttons, MessageIcon) {
  // One line per box: a text that ends in its own line break (the read error's) gets no second one.
  err_ << (caption.empty() || caption == "QLM_T4_USB" ? "" : caption + ": ") << text;
  if (text.empty() || text.back() != '\n') err_ << '\n';
  return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel ? MessageAnswer::Yes
                                                                                    : MessageAnswer::Ok;
}

InputEvents ConsoleUi::pumpEvents() {
  InputEvents e;
  if (g_interrupt != 0) {
    g_interrupt = 0;
    e.key = true;
  }
  return e;
}

}  // namespace qlm
