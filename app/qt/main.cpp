#include <QApplication>
#include <QStringList>

#include "app/qt/main_window.h"
#include "platform/usb_libusb.h"
#include "sim/sim_transport.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("QLM_T4_USB");
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
