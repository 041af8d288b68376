#pragma once
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QToolBar;

namespace qlm {
class QtUi;
class Transport;
class RealClock;
class ScopedPlatform;
class ImageView;
}  // namespace qlm

// Start-up choices of the desktop program.
struct WindowOptions {
  std::shared_ptr<qlm::Transport> transport;  // the camera: libusb, or the simulator with --simulate
  std::optional<std::string> home;            // --home DIR: the data root
  // The temporary display bitmaps' folder; nothing: the user's cache folder for the data root.
  std::optional<std::string> scratch;
  // The view starts with "Auto contrast stretch image" on (a view choice, not a stored setting), so the
  // first photo shows as a star field rather than nearly black.
  bool auto_contrast = true;
};

// The program's one main window: menus, shortcut keys, tool bar and status bar dispatch numeric
// command identifiers (app/command_table.h) to handlers that each subsystem connects.
class TQLM_T4Window : public QMainWindow {
  Q_OBJECT
 public:
  explicit TQLM_T4Window(const WindowOptions& options, QWidget* parent = nullptr);
  ~TQLM_T4Window() override;

  qlm::QtUi& ui() { return *ui_; }
  qlm::ImageView& imageView() { return *view_; }

  // Connects a command identifier (qlm::cmd::...) to the code that runs it, replacing any earlier
  // handler. A subsystem calls this from its own connect function, e.g. connectStretchCommands(*this).
  void setCommandHandler(int commandId, std::function<void()> handler);
  bool hasCommandHandler(int commandId) const;
  // Runs a command as if it had been chosen; one without a handler says in the status bar that it is
  // not available yet.
  void runCommand(int commandId);
  // The action of a command that has a menu entry or a shortcut key; nullptr otherwise.
  QAction* commandAction(int commandId) const;

  // Rebuilds the tool bar for the max-palette-stretch state and the telescope drive method ('n' none,
  // 'l', 'a', 'b'); the Telescope Control button shows only with a drive method.
  void setDriveMethod(char method);
  void updateToolBar();
  // The window background behind and around the picture (red, green, blue).
  void setBackgroundColour(int red, int green, int blue);
  // Follows the settings' drive method and window background; every repaint does this, so a panel
  // that changes them only needs to repaint.
  void updateForSettings();
  // Check marks of the View toggles follow the display flags.
  void updateViewChecks();

 private:
  void buildMenus();
  void buildToolBar();

  std::unique_ptr<qlm::QtUi> ui_;
  std::shared_ptr<qlm::Transport> transport_;
  std::unique_ptr<qlm::RealClock> clock_;
  qlm::ImageView* view_ = nullptr;  // owned by the window
  QToolBar* tool_bar_ = nullptr;
  std::map<int, std::function<void()>> handlers_;
  std::map<int, QAction*> actions_;
  char drive_method_ = 'n';
  char background_letter_ = 0;                     // the window background setting last applied
  bool tool_bar_max_palette_ = false;              // palette button state the tool bar was built for
  std::unique_ptr<qlm::ScopedPlatform> platform_;  // last: uninstalled first
};
