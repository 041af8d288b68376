// The PK loaders on any bytes: the raw image open, the dark/flat cache load (exact size only) and the
// merge's second image. The first input byte picks the file's size: the PK size or the input's own.
#include <cstddef>
#include <cstdint>

#include "files/pk.h"
#include "fuzz_support.h"
#include "image/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qlm::fuzz::FuzzPlatform p;
  if (size == 0) return 0;
  const long long file_size = (data[0] & 1) != 0 ? qlm::kPkFileSize : -1;
  const auto& path = p.writeInput(data + 1, size - 1, file_size);
  qlm::ImageBuffers& b = qlm::imageBuffers();
  qlm::loadRawImage(path, b.CurrentFrame);
  qlm::loadCalibrationFrame(path, b.FlatCache);
  qlm::loadSecondImage(path, b.SecondFrame);
  p.endInput();
  return 0;
}
