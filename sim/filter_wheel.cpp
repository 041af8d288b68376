#include "sim/filter_wheel.h"

namespace qlm::sim {

void FilterWheel::receive(const std::uint8_t* data, std::size_t n, std::uint32_t at_ms) {
  // Each write carries one whole message; look for it anywhere in the bytes.
  for (std::size_t i = 0; i + 4 <= n; ++i) {
    const int p = data[i + 2];
    if (data[i] == 0xA5 && data[i + 1] == 0x01 && p >= 1 && p <= 7 && data[i + 3] == 0xA6 + p) {
      position_ = p;
      moves_.push_back(p);
      last_move_ms_ = at_ms;
      i += 3;
    }
  }
}

}  // namespace qlm::sim
