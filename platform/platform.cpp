#include "platform/platform.h"

#include "platform/headless_ui.h"

namespace qlm {

Platform& platform() {
  static RealClock real_clock;
  static HeadlessUi silent_ui(real_clock);
  static NullTransport no_camera;
  static Platform current{&real_clock, &silent_ui, &no_camera, Paths(Paths::resolveRoot())};
  return current;
}

ScopedPlatform::ScopedPlatform(const Platform& p) : saved_(platform()) {
  platform() = p;
}

ScopedPlatform::~ScopedPlatform() {
  platform() = saved_;
}

}  // namespace qlm
