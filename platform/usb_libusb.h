#pragma once
#include "platform/transport.h"

namespace qlm {

// The real camera transport over libusb-1.0.
class LibusbTransport final : public Transport {
 public:
  LibusbTransport();
  ~LibusbTransport() override;
  DeviceList listDevices() override;
  std::optional<int> open(const std::string& path) override;
  IoResult write(const std::uint8_t* data, std::size_t n) override;
  IoResult read(std::uint8_t* data, std::size_t n) override;
  void close() override;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace qlm
