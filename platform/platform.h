#pragma once
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/transport.h"
#include "platform/ui.h"

namespace qlm {

// The program-wide connections to time, the user, the camera and the disk. A front end installs its
// own (real clock and Qt, or a virtual clock and the headless Ui); commands reach them through here.
struct Platform {
  Clock* clock = nullptr;
  Ui* ui = nullptr;
  Transport* transport = nullptr;
  Paths paths;
};

// The installed platform; before anything is installed: real clock, a silent headless Ui, no camera,
// and the data root of the environment.
Platform& platform();

// Installs `p` for the lifetime of this object and restores the previous platform afterwards.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(const Platform& p);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform saved_;
};

}  // namespace qlm
