// The FITS reader on any bytes: the first input byte picks the file's size (each size the open
// command recognises, or the input's own), the rest is the file from its first byte, padded with
// zeros. Most of the mutations land in the 5,760 header bytes, where the reader makes its decisions.
#include <array>
#include <cstddef>
#include <cstdint>

#include "files/fits_reader.h"
#include "files/fits_writer.h"
#include "files/pk.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qlm::fuzz::FuzzPlatform p;
  static constexpr std::array<long long, 6> kSizes = {-1,
                                                      qlm::kFitsFullFileSize,
                                                      qlm::kFitsHalfFileSize,
                                                      qlm::kFitsThirdFileSize,
                                                      qlm::kFitsOldFileSize,
                                                      qlm::kPkFileSize};
  if (size == 0) return 0;
  const long long file_size = kSizes[data[0] % kSizes.size()];
  const auto& path = p.writeInput(data + 1, size - 1, file_size);
  qlm::loadImageFile(path);
  // The reader of both header forms on whatever size the file has: the forms the open command did not
  // just read (reading a full-size file again would only repeat its pixel loop).
  const qlm::FitsReadTarget target = qlm::programFitsTarget();
  const qlm::ImageFileKind kind =
      qlm::imageFileKind(file_size < 0 ? static_cast<long long>(size - 1) : file_size);
  if (kind != qlm::ImageFileKind::OldFits) qlm::readFits(path, qlm::kFitsOldForm, target);
  if (kind != qlm::ImageFileKind::Fits) qlm::readFits(path, qlm::kFitsFullForm, target);
  p.endInput();
  return 0;
}
