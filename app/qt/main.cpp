#include <QApplication>
#include <QStringList>
#include <iostream>
#include <string_view>

#include "app/qt/main_window.h"
#include "app/qt/tool_icons.h"
#include "platform/usb_libusb.h"
#include "platform/version.h"
#include "sim/sim_transport.h"

int main(int argc, char** argv) {
  // --version and --help answer on standard output before any window (or display) is needed.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--version") {
      std::cout << "qlm_t4 " << qlm::kVersion << '\n';
      return 0;
    }
    if (arg == "--help" || arg == "-h") {
      std::cout << "Usage: qlm_t4 [--simulate] [--home DIR]\n"
                   "  --simulate  use the built-in simulated camera and mount instead of the USB camera\n"
                   "  --home DIR  data folder (default: $QLM_T4_HOME, else ~/QLM_T4)\n"
                   "  --version   print the version and exit\n";
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("QLM_T4_USB");
  QApplication::setApplicationVersion(qlm::kVersion);
  QApplication::setDesktopFileName("qlm-t4");
  QApplication::setWindowIcon(qlm::programIcon());
  WindowOptions options;
  const QStringList args = QApplication::arguments();
  // The transport is chosen here, once: the built-in simulator with --simulate, else the USB camera.
  if (args.contains("--simulate")) {
    options.transport = std::make_shared<qlm::sim::SimTransport>();
  } else {
    options.transport = std::make_shared<qlm::LibusbTransport>();
  }
  const auto home = args.indexOf("--home");
  if (home >= 0 && home + 1 < args.size()) options.home = args[home + 1].toStdString();
  TQLM_T4Window window(options);
  window.show();
  return QApplication::exec();
}
