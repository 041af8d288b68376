#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qlm {

// The camera device list. Entry i is device interface i: its path text (carrying "vid_XXXX&pid_XXXX"),
// or nothing when the path could not be obtained. `ok` is false when the enumeration was refused.
struct DeviceList {
  bool ok = true;
  std::vector<std::optional<std::string>> paths;
};

// Outcome of one write or read: whether it succeeded, how many bytes moved, and the system error code.
struct IoResult {
  bool ok = false;
  std::size_t count = 0;
  int error = 0;
};

// Error codes every transport reports for these two conditions (numbered as libusb numbers them).
inline constexpr int kIoErrorNoDevice = -4;  // the device is gone (unplugged, powered off)
inline constexpr int kIoErrorTimeout = -7;   // the device did not answer in time

struct OsVersion {
  int major = 0;
  int minor = 0;
};

// The byte road to the camera: list, open one device, write n bytes, read n bytes, close.
class Transport {
 public:
  virtual ~Transport() = default;
  virtual DeviceList listDevices() = 0;
  // Opens a listed path; returns the handle value, or nothing when the open is refused.
  virtual std::optional<int> open(const std::string& path) = 0;
  virtual IoResult write(const std::uint8_t* data, std::size_t n) = 0;
  // Reads up to n bytes into `data`; `count` says how many arrived.
  virtual IoResult read(std::uint8_t* data, std::size_t n) = 0;
  virtual void close() = 0;
  // Throws away whatever the device still has queued for the host (the rest of a frame after a
  // timeout or a short read), so that the next read starts clean.
  virtual void drain() {}
  virtual OsVersion osVersion() const { return {5, 1}; }
};

// A transport that sees no camera: every list is empty and every transfer fails.
class NullTransport final : public Transport {
 public:
  DeviceList listDevices() override { return {}; }
  std::optional<int> open(const std::string&) override { return std::nullopt; }
  IoResult write(const std::uint8_t*, std::size_t) override { return {false, 0, 5}; }
  IoResult read(std::uint8_t*, std::size_t) override { return {false, 0, 5}; }
  void close() override {}
};

}  // namespace qlm
