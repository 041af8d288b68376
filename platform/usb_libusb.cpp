#include "platform/usb_libusb.h"

#include <libusb.h>

namespace qlm {

// Device discovery and bulk transfers are not wired yet: the transport lists no camera.
struct LibusbTransport::Impl {
  libusb_context* context = nullptr;
};

LibusbTransport::LibusbTransport() : impl_(new Impl) {
  if (libusb_init(&impl_->context) != 0) impl_->context = nullptr;
}

LibusbTransport::~LibusbTransport() {
  if (impl_->context != nullptr) libusb_exit(impl_->context);
  delete impl_;
}

DeviceList LibusbTransport::listDevices() {
  return DeviceList{impl_->context != nullptr, {}};
}

std::optional<int> LibusbTransport::open(const std::string&) {
  return std::nullopt;
}

IoResult LibusbTransport::write(const std::uint8_t*, std::size_t) {
  return {false, 0, LIBUSB_ERROR_NO_DEVICE};
}

IoResult LibusbTransport::read(std::uint8_t*, std::size_t) {
  return {false, 0, LIBUSB_ERROR_NO_DEVICE};
}

void LibusbTransport::close() {}

}  // namespace qlm
