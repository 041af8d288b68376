#include "app/main_window.h"

#include <QStatusBar>

#include "app/startup.h"
#include "platform/platform.h"
#include "platform/qt_ui.h"
#include "platform/usb_libusb.h"

TQLM_T4Window::TQLM_T4Window(const WindowOptions& options, QWidget* parent) : QMainWindow(parent) {
  ui_ = std::make_unique<qlm::QtUi>(this);
  clock_ = std::make_unique<qlm::RealClock>();
  if (options.simulate) {
    transport_ = std::make_unique<qlm::NullTransport>();
  } else {
    transport_ = std::make_unique<qlm::LibusbTransport>();
  }
  platform_ = std::make_unique<qlm::ScopedPlatform>(qlm::Platform{
      clock_.get(), ui_.get(), transport_.get(), qlm::Paths(qlm::Paths::resolveRoot(options.home))});
  qlm::startProgram();

  setObjectName("TQLM_T4Window");
  setGeometry(0, 0, 720, 620);
  setWindowTitle("QLM_T4_USB - (Untitled)");
  statusBar()->showMessage("QLM T4 Camera Control and Image processing program");
}

TQLM_T4Window::~TQLM_T4Window() = default;
