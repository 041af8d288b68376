#pragma once
#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>

namespace qlm {
class QtUi;
class Transport;
class RealClock;
class ScopedPlatform;
}  // namespace qlm

// Start-up choices of the desktop program.
struct WindowOptions {
  bool simulate = false;            // --simulate: the built-in simulated camera
  std::optional<std::string> home;  // --home DIR: the data root
};

// The program's one main window.
class TQLM_T4Window : public QMainWindow {
  Q_OBJECT
 public:
  explicit TQLM_T4Window(const WindowOptions& options, QWidget* parent = nullptr);
  ~TQLM_T4Window() override;

  qlm::QtUi& ui() { return *ui_; }

 private:
  std::unique_ptr<qlm::QtUi> ui_;
  std::unique_ptr<qlm::Transport> transport_;
  std::unique_ptr<qlm::RealClock> clock_;
  std::unique_ptr<qlm::ScopedPlatform> platform_;  // last: uninstalled first
};
