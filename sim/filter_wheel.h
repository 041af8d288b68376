#pragma once
#include <cstdint>
#include <vector>

#include "sim/serial_device.h"

namespace qlm::sim {

// The filter wheel on a camera serial port. It understands the four-byte message A5 01 p (A6 + p)
// for positions 1 to 7, turns to p and says nothing back; other bytes are not for it.
class FilterWheel final : public SerialDevice {
 public:
  void receive(const std::uint8_t* data, std::size_t n, std::uint32_t at_ms) override;
  std::size_t reply(std::uint8_t*, std::size_t, std::uint32_t) override { return 0; }

  int position() const { return position_; }
  // Every position the wheel was sent to, in order.
  const std::vector<int>& moves() const { return moves_; }
  std::uint32_t lastMoveAtMs() const { return last_move_ms_; }

 private:
  int position_ = 1;
  std::vector<int> moves_;
  std::uint32_t last_move_ms_ = 0;
};

}  // namespace qlm::sim
