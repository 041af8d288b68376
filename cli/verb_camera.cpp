#include "cli/verb_camera.h"

#include "camera/link.h"
#include "files/settings.h"
#include "platform/usb_libusb.h"

namespace qlm {

bool simOptionsFrom(const CliOptions& options, sim::SimOptions& out, std::ostream& err) {
  out = sim::defaultSimOptions();
  for (const std::string& setting : options.sim_settings) {
    const std::string problem = sim::applySimSetting(out, setting);
    if (!problem.empty()) {
      err << problem << '\n';
      return false;
    }
  }
  return true;
}

sim::MountModel simulatedMountModel() {
  return settings().drive_method == 'a' ? sim::MountModel::Autostar : sim::MountModel::Lx200;
}

std::unique_ptr<VerbCamera> VerbCamera::install(const CliOptions& options, std::ostream& err,
                                                SimClock sim_clock) {
  if (options.virtual_clock && !options.simulate) {
    err << "--virtual-clock needs --simulate\n";
    return nullptr;
  }
  if (!options.sim_settings.empty() && !options.simulate) {
    err << "--sim needs --simulate\n";  // rather than look for a USB camera the settings cannot reach
    return nullptr;
  }
  sim::SimOptions sim_options;
  if (!simOptionsFrom(options, sim_options, err)) return nullptr;
  std::unique_ptr<VerbCamera> camera(new VerbCamera());
  Platform p = platform();
  if (options.simulate && sim_clock == SimClock::AlwaysVirtual) {
    camera->virtual_clock_ = std::make_unique<VirtualClock>(0, p.clock->calendarSeconds());
  } else if (options.virtual_clock) {
    camera->virtual_clock_ = std::make_unique<VirtualClock>();
  }
  if (camera->virtual_clock_) p.clock = camera->virtual_clock_.get();
  if (options.simulate) {
    camera->sim_ =
        std::make_unique<sim::SimSystem>(sim_options, p.clock->millis(), p.clock->calendarSeconds());
    camera->sim_->mount().setModelSource(simulatedMountModel);
    p.transport = &camera->sim_->transport();
  } else {
    camera->usb_ = std::make_unique<LibusbTransport>();
    p.transport = camera->usb_.get();
  }
  camera->scoped_ = std::make_unique<ScopedPlatform>(p);
  resetLinkState(linkState());  // a new device: nothing is open on it yet
  return camera;
}

VerbCamera::~VerbCamera() {
  CloseCamera();
  scoped_.reset();
}

}  // namespace qlm
