#pragma once
#include <ostream>

#include "platform/clock.h"
#include "platform/ui.h"

namespace qlm {

// The command-line front end's Ui: message boxes become lines on the error stream (answered with their
// first button), the progress dialog and the window requests are silent, file choosers and panels are
// cancelled. An interrupt request (Ctrl+C) is reported by the next pump as a key press.
class ConsoleUi final : public WindowlessUi {
 public:
  explicit ConsoleUi(std::ostream& err) : err_(err) {}

  MessageAnswer messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override;
  InputEvents pumpEvents() override;

  // Called from a signal handler: the next pump reports a key press.
  static void requestInterrupt();

 private:
  std::ostream& err_;
};

}  // namespace qlm
