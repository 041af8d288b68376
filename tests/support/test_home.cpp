#include "support/test_home.h"

#include <atomic>
#include <random>
#include <string>
#include <system_error>

#include <unistd.h>
#include <cstdlib>

#include "app/program_state.h"

namespace qlm::test {

TempHome::TempHome() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() / ("qlm_t4_test_" + std::to_string(::getpid()) + "_" +
                                                    std::to_string(counter++) + "_" + std::to_string(rd()));
  std::filesystem::create_directories(path_);
  // The desktop program's cache folder (its temporary bitmaps) goes inside the test's root too.
  ::setenv("XDG_CACHE_HOME", (path_ / "cache").c_str(), 1);
}

TempHome::~TempHome() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TestPlatform::TestPlatform(Transport* transport) {
  scoped_ = std::make_unique<ScopedPlatform>(
      Platform{&clock, &ui, transport != nullptr ? transport : &no_camera, Paths(home.path())});
  resetProgramState();
}

TestPlatform::~TestPlatform() {
  scoped_.reset();
}

}  // namespace qlm::test
