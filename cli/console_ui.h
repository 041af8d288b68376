#pragma once
#include <ostream>

#include "platform/clock.h"
#include "platform/ui.h"

namespace qlm {

// The command-line front end's Ui: message boxes become lines on the error stream (answered with their
// first button), the progress dialog and the window requests are silent, file choosers and panels are
// cancelled. An interrupt request (Ctrl+C) is reported by the next pump as a key press.
class ConsoleUi final : public Ui {
 public:
  explicit ConsoleUi(std::ostream& err) : err_(err) {}

  MessageAnswer messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override;
  void beep() override {}
  void setCursor(CursorShape) override {}
  InputEvents pumpEvents() override;
  void progressOpen(const std::string&) override {}
  void progressSet(int) override {}
  void progressClose() override {}
  std::optional<std::string> chooseOpenFile(const std::string&, const std::vector<FileFilter>&,
                                            const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> chooseSaveFile(const std::string&, const std::vector<FileFilter>&,
                                            const std::string&) override {
    return std::nullopt;
  }
  int runPanel(const std::string&, PanelModel&) override { return kPanelCancel; }
  void setStatusText(const std::string&) override {}
  void setTitle(const std::string&) override {}
  void repaint() override {}

  // Called from a signal handler: the next pump reports a key press.
  static void requestInterrupt();

 private:
  std::ostream& err_;
};

}  // namespace qlm
