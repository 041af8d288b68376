// The settings loader on any bytes (the record is 1,402 bytes; the first input byte chooses that size
// or the input's own), followed by the uses of the values that serve as sizes and indices: the filter
// wheel's advance, the pick window of the mask radius and its centroid.
#include <cstddef>
#include <cstdint>

#include "app/window_model.h"
#include "camera/readout.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "fuzz_support.h"
#include "image/centroid.h"
#include "image/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qlm::fuzz::FuzzPlatform p;
  static const std::filesystem::path file = p.root() / "autosave" / "QLM_T4.ini";
  if (size == 0) return 0;
  std::filesystem::create_directories(file.parent_path());
  const long long file_size = (data[0] & 1) != 0 ? 1402 : -1;
  std::filesystem::rename(p.writeInput(data + 1, size - 1, file_size), file);
  qlm::Settings& s = qlm::settings();
  s = qlm::Settings{};
  qlm::loadSettings(file, s, qlm::fitsDetails());

  qlm::readoutState().filter_position = 1;
  for (int i = 0; i < 10; ++i)
    qlm::advanceFilterWheel();
  qlm::MouseModes modes;
  if (qlm::togglePick(modes, qlm::frameState(), s.mask_radius)) {
    // The clicks the pick accepts near the frame's corners, and their centroid windows.
    const qlm::Frame& frame = qlm::imageBuffers().CurrentFrame;
    for (const auto& [x, y] :
         {std::pair{0, 0}, std::pair{659, 499}, std::pair{20, 20}, std::pair{640, 480}}) {
      if (!qlm::clickInBounds(modes, x, y)) continue;
      qlm::CentroidResult result;
      qlm::measureCentroid(frame.data(), qlm::kFrameWidth, qlm::kFrameHeight, x, y, modes.radius,
                           qlm::CentroidForm::Tenths, result);
    }
  }
  p.endInput();
  return 0;
}
