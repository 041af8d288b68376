#pragma once
#include <filesystem>
#include <memory>

#include "platform/clock.h"
#include "platform/headless_ui.h"
#include "platform/platform.h"

namespace qlm::test {

// A fresh temporary data root, removed again at the end of the test.
class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Installs a virtual clock, a headless Ui, no camera (unless a test gives one) and a fresh data root,
// and resets the program-wide state; undoes the installation at the end.
class TestPlatform {
 public:
  explicit TestPlatform(Transport* transport = nullptr);
  ~TestPlatform();

  VirtualClock clock;
  HeadlessUi ui{clock};
  NullTransport no_camera;
  TempHome home;
  Paths paths() const { return Paths(home.path()); }

 private:
  std::unique_ptr<ScopedPlatform> scoped_;
};

}  // namespace qlm::test
