#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "platform/clock.h"
#include "platform/headless_ui.h"
#include "platform/platform.h"

namespace qlm::fuzz {

// The program on a virtual clock, a headless Ui and no camera, with its data root in a fresh folder:
// what every fuzz target runs against. One instance lives for the whole fuzzing process.
class FuzzPlatform {
 public:
  FuzzPlatform()
      : root_(std::filesystem::temp_directory_path() / ("qlm_t4_fuzz_" + std::to_string(::getpid()))),
        scoped_(makePlatform()) {}

  // Writes `size` bytes of `data` to the input file, then pads it with zeros (or cuts it) to
  // `file_size` bytes when that is not negative. Returns the file's path.
  const std::filesystem::path& writeInput(const std::uint8_t* data, std::size_t size,
                                          long long file_size = -1) {
    std::size_t n = size;
    if (file_size >= 0 && static_cast<long long>(n) > file_size) n = static_cast<std::size_t>(file_size);
    {
      std::ofstream out(input_, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(n));
    }
    // The zeros as a hole: nothing to write, and tmpfs reads it back at memory speed.
    if (file_size >= 0) std::filesystem::resize_file(input_, static_cast<std::uintmax_t>(file_size));
    return input_;
  }
  // Forgets the Ui calls of the last input, so memory stays flat over millions of inputs.
  void endInput() { ui_.clearCalls(); }
  const std::filesystem::path& root() const { return root_; }

 private:
  Platform makePlatform() {
    std::filesystem::create_directories(root_);
    input_ = root_ / "input.bin";
    return Platform{&clock_, &ui_, &no_camera_, Paths(root_)};
  }

  std::filesystem::path root_;
  std::filesystem::path input_;
  VirtualClock clock_;
  HeadlessUi ui_{clock_};
  NullTransport no_camera_;
  ScopedPlatform scoped_;
};

}  // namespace qlm::fuzz
