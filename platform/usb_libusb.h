#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/transport.h"

namespace qlm {

// One endpoint of a USB interface: address (bit 7 set for IN) and attributes (bits 0-1 the type).
struct UsbEndpointInfo {
  std::uint8_t address = 0;
  std::uint8_t attributes = 0;
};

// What the camera test needs of a USB interface's descriptor.
struct UsbInterfaceInfo {
  std::uint8_t interface_class = 0;
  std::vector<UsbEndpointInfo> endpoints;
};

// A camera candidate: a vendor-specific interface (class 0xFF) with a bulk OUT and a bulk IN endpoint.
// Keyboards, disks and hubs never qualify. Returns the two endpoint addresses (out, in).
std::optional<std::pair<std::uint8_t, std::uint8_t>> vendorBulkEndpoints(const UsbInterfaceInfo& interface);

// Where a listed device sits, and the path text that names it ("usb:BBB-AAA:vid_xxxx&pid_xxxx:ifN").
struct UsbDeviceAddress {
  unsigned bus = 0;
  unsigned address = 0;
  unsigned vendor_id = 0;
  unsigned product_id = 0;
  unsigned interface_number = 0;
};
std::string usbDevicePath(const UsbDeviceAddress& a);
std::optional<UsbDeviceAddress> parseUsbDevicePath(const std::string& path);

// The real camera transport over libusb-1.0: lists the USB devices that have a vendor-specific bulk
// interface, claims that interface on open (detaching a kernel driver that holds it), and moves whole
// counts with bulk transfers. Errors carry libusb's code.
class LibusbTransport final : public Transport {
 public:
  LibusbTransport();
  ~LibusbTransport() override;
  LibusbTransport(const LibusbTransport&) = delete;
  LibusbTransport& operator=(const LibusbTransport&) = delete;

  DeviceList listDevices() override;
  std::optional<int> open(const std::string& path) override;
  IoResult write(const std::uint8_t* data, std::size_t n) override;
  IoResult read(std::uint8_t* data, std::size_t n) override;
  void close() override;
  // Clears a halt on the IN endpoint, then reads and drops what the device still sends.
  void drain() override;
  OsVersion osVersion() const override;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace qlm
