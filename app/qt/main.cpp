#include <QApplication>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/main_window.h"
#include "app/qt/tool_icons.h"
#include "files/settings.h"
#include "platform/usb_libusb.h"
#include "platform/version.h"
#include "sim/sim_setup.h"

int main(int argc, char** argv) {
  // --version, --help and --sim-help answer on standard output before any window (or display) is needed.
  const std::vector<std::string> args(argv + 1, argv + argc);
  WindowOptions options;
  bool simulate = false;
  qlm::sim::SimOptions sim_options = qlm::sim::defaultSimOptions();
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--version") {
      std::cout << "qlm_t4 " << qlm::kVersion << '\n';
      return 0;
    }
    if (args[i] == "--help" || args[i] == "-h") {
      std::cout
          << "Usage: qlm_t4 [--simulate] [--sim KEY=VALUE]... [--home DIR]\n"
             "  --simulate       use the built-in simulated camera and mount instead of the USB camera\n"
             "  --sim KEY=VALUE  one simulator setting (repeatable)\n"
             "  --sim-help       list the simulator settings with their units and defaults\n"
             "  --home DIR       data folder (default: $QLM_T4_HOME, else ~/QLM_T4)\n"
             "  --version        print the version and exit\n";
      return 0;
    }
    if (args[i] == "--sim-help") {
      std::cout << qlm::sim::simHelpText();
      return 0;
    }
    if (args[i] == "--simulate") simulate = true;
    if (args[i] == "--home" && i + 1 < args.size()) options.home = args[++i];
    if (args[i] == "--sim" && i + 1 < args.size()) {
      // A simulator setting, KEY=VALUE; a refused one stops the start.
      const std::string problem = qlm::sim::applySimSetting(sim_options, args[++i]);
      if (!problem.empty()) {
        std::cerr << problem << '\n';
        return 2;
      }
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("QLM_T4_USB");
  QApplication::setApplicationVersion(qlm::kVersion);
  QApplication::setDesktopFileName("qlm-t4");
  QApplication::setWindowIcon(qlm::programIcon());
  // The transport is chosen here, once: the simulated camera with its mount and filter wheel with
  // --simulate, else the USB camera.
  if (simulate) {
    auto sim = std::make_shared<qlm::sim::SimSystem>(sim_options, 0, std::time(nullptr));
    // The simulated mount answers as the mount the drive method names, whenever the user changes it.
    sim->mount().setModelSource([] {
      return qlm::settings().drive_method == 'a' ? qlm::sim::MountModel::Autostar
                                                 : qlm::sim::MountModel::Lx200;
    });
    options.transport = std::shared_ptr<qlm::Transport>(sim, &sim->transport());
  } else {
    options.transport = std::make_shared<qlm::LibusbTransport>();
  }
  TQLM_T4Window window(options);
  window.show();
  return QApplication::exec();
}
