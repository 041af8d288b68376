#pragma once
#include <cstddef>
#include <cstdint>

namespace qlm::sim {

// Something wired to one of the camera's serial ports (the filter wheel, the mount, the AO unit).
// Every device on a port hears every byte written to it and ignores what is not meant for it.
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  // Bytes the camera sent out of the port, at clock time `at_ms`.
  virtual void receive(const std::uint8_t* data, std::size_t n, std::uint32_t at_ms) = 0;
  // Up to n bytes of the device's pending answer, taken from it; returns how many were written.
  virtual std::size_t reply(std::uint8_t* out, std::size_t n, std::uint32_t at_ms) = 0;
};

// Something wired to the guide relay socket (the mount's guide port, or the AO unit in relay mode).
class RelayDevice {
 public:
  virtual ~RelayDevice() = default;
  // The relay command's value at clock time `at_ms`: direction bits, or an AO command byte.
  virtual void relays(std::uint16_t value, std::uint32_t at_ms) = 0;
};

}  // namespace qlm::sim
