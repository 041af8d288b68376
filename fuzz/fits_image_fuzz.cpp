// The keyword FITS reader on any bytes (the float and 32-bit stacks that stack, star and info read):
// the input is the whole file, and a 660 x 500 image it accepts is also put into a frame.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "files/fits_image.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qlm::fuzz::FuzzPlatform p;
  const auto& path = p.writeInput(data, size);
  std::string why;
  const auto image = qlm::readFitsImage(path, why);
  if (image) {
    static auto frame = std::make_unique<qlm::Frame>();
    qlm::fitsImageToFrame(*image, *frame);
  }
  return 0;
}
