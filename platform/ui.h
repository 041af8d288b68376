#pragma once
#include <optional>
#include <string>
#include <vector>

namespace qlm {

enum class MessageIcon { None, Stop, Exclamation, Information, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };
enum class CursorShape { Arrow, Wait, Cross, UpArrow };

// Presses delivered during one pump of the window events. A key press or a left or right mouse
// button press is how the user stops long work.
struct InputEvents {
  bool key = false;
  bool left_button = false;
  bool right_button = false;
  bool any() const { return key || left_button || right_button; }
  InputEvents& operator|=(const InputEvents& o) {
    key |= o.key;
    left_button |= o.left_button;
    right_button |= o.right_button;
    return *this;
  }
};

// One entry of a file chooser's type list: the text shown and its patterns ("*.FIT;*.FITS").
struct FileFilter {
  std::string label;
  std::string patterns;
};

// The state behind a modal panel that a command opens (the camera control panel ...). The panel's
// rules live in a class derived from this; the Ui shows it and returns the button that closed it.
class PanelModel {
 public:
  virtual ~PanelModel() = default;
};

// Panel results: the identifier of the button that closed the panel. Cancel is 2, as the window
// system's IDCANCEL; OK is 1.
inline constexpr int kPanelOk = 1;
inline constexpr int kPanelCancel = 2;

// Everything the program asks of the person and the window system.
class Ui {
 public:
  virtual ~Ui() = default;

  // A modal message box; returns the button pressed.
  virtual MessageAnswer messageBox(const std::string& caption, const std::string& text,
                                   MessageButtons buttons, MessageIcon icon) = 0;
  virtual void beep() = 0;
  virtual void setCursor(CursorShape shape) = 0;
  // Delivers pending window events and reports the presses among them.
  virtual InputEvents pumpEvents() = 0;

  // The shared progress dialog: bar range 0 to 256, caption set by the caller.
  virtual void progressOpen(const std::string& caption) = 0;
  virtual void progressSet(int position) = 0;
  virtual void progressClose() = 0;

  // Common file choosers; nothing when the user cancels. `filters` lists the file kinds in order. The
  // save chooser returns the name as typed; its caller asks about a file that exists.
  virtual std::optional<std::string> chooseOpenFile(const std::string& title,
                                                    const std::vector<FileFilter>& filters,
                                                    const std::string& directory) = 0;
  virtual std::optional<std::string> chooseSaveFile(const std::string& title,
                                                    const std::vector<FileFilter>& filters,
                                                    const std::string& directory) = 0;

  // Shows the named modal panel on `model` and returns the closing button's identifier.
  virtual int runPanel(const std::string& name, PanelModel& model) = 0;

  // The main window: status-bar text, title, and a repaint after the display was refreshed.
  virtual void setStatusText(const std::string& text) = 0;
  virtual void setTitle(const std::string& title) = 0;
  virtual void repaint() = 0;
};

// A Ui without windows, for the command line, the INDI driver, benchmarks and soaks: message boxes are
// answered with their first button and nothing else is shown; file choosers and panels are cancelled,
// and no key or button is ever pressed. Front ends override what they do differently.
class WindowlessUi : public Ui {
 public:
  MessageAnswer messageBox(const std::string&, const std::string&, MessageButtons, MessageIcon) override {
    return MessageAnswer::Ok;
  }
  void beep() override {}
  void setCursor(CursorShape) override {}
  InputEvents pumpEvents() override { return {}; }
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
};

}  // namespace qlm
