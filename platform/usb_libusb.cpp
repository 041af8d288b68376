#include "platform/usb_libusb.h"

#include <libusb.h>
#include <sys/utsname.h>

#include <climits>
#include <cstdio>

namespace qlm {

namespace {

constexpr std::uint8_t kVendorSpecificClass = 0xFF;
// The camera answers a frame read after its exposure delay and a readout of several seconds, so the
// transfer limits are generous; they only matter when the device stops answering.
constexpr unsigned kWriteTimeoutMs = 5000;
constexpr unsigned kReadTimeoutMs = 30000;
// Draining reads what is left of an answer in short reads until the device has nothing more; the
// count bounds it at the receive buffer's size.
constexpr unsigned kDrainTimeoutMs = 100;
constexpr int kDrainChunkBytes = 65536;
constexpr int kDrainMaxReads = 62;

UsbInterfaceInfo describe(const libusb_interface_descriptor& d) {
  UsbInterfaceInfo info;
  info.interface_class = d.bInterfaceClass;
  for (int e = 0; e < d.bNumEndpoints; ++e)
    info.endpoints.push_back({d.endpoint[e].bEndpointAddress, d.endpoint[e].bmAttributes});
  return info;
}

// The first vendor-specific bulk interface of a device's configuration, as (number, out, in).
struct CameraInterface {
  unsigned number = 0;
  std::uint8_t out = 0;
  std::uint8_t in = 0;
};

std::optional<CameraInterface> findCameraInterface(libusb_device* dev) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(dev, &config) != 0 &&
      libusb_get_config_descriptor(dev, 0, &config) != 0)
    return std::nullopt;
  std::optional<CameraInterface> found;
  for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
    const libusb_interface& itf = config->interface[i];
    if (itf.num_altsetting < 1) continue;
    const libusb_interface_descriptor& alt = itf.altsetting[0];
    if (auto eps = vendorBulkEndpoints(describe(alt)))
      found = CameraInterface{alt.bInterfaceNumber, eps->first, eps->second};
  }
  libusb_free_config_descriptor(config);
  return found;
}

}  // namespace

std::optional<std::pair<std::uint8_t, std::uint8_t>> vendorBulkEndpoints(const UsbInterfaceInfo& interface) {
  if (interface.interface_class != kVendorSpecificClass) return std::nullopt;
  std::optional<std::uint8_t> out;
  std::optional<std::uint8_t> in;
  for (const UsbEndpointInfo& ep : interface.endpoints) {
    if ((ep.attributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK) continue;
    if ((ep.address & LIBUSB_ENDPOINT_IN) != 0) {
      if (!in) in = ep.address;
    } else if (!out) {
      out = ep.address;
    }
  }
  if (!out || !in) return std::nullopt;
  return std::make_pair(*out, *in);
}

std::string usbDevicePath(const UsbDeviceAddress& a) {
  char text[64];
  std::snprintf(text, sizeof text, "usb:%03u-%03u:vid_%04x&pid_%04x:if%u", a.bus, a.address, a.vendor_id,
                a.product_id, a.interface_number);
  return text;
}

std::optional<UsbDeviceAddress> parseUsbDevicePath(const std::string& path) {
  UsbDeviceAddress a;
  int consumed = 0;
  if (std::sscanf(path.c_str(), "usb:%3u-%3u:vid_%4x&pid_%4x:if%u%n", &a.bus, &a.address, &a.vendor_id,
                  &a.product_id, &a.interface_number, &consumed) != 5 ||
      static_cast<std::size_t>(consumed) != path.size())
    return std::nullopt;
  return a;
}

struct LibusbTransport::Impl {
  libusb_context* context = nullptr;
  libusb_device_handle* handle = nullptr;
  int claimed_interface = -1;
  std::uint8_t out = 0;
  std::uint8_t in = 0;

  void release() {
    if (handle == nullptr) return;
    if (claimed_interface >= 0) libusb_release_interface(handle, claimed_interface);
    libusb_close(handle);
    handle = nullptr;
    claimed_interface = -1;
  }
};

LibusbTransport::LibusbTransport() : impl_(new Impl) {
  if (libusb_init(&impl_->context) != 0) impl_->context = nullptr;
}

LibusbTransport::~LibusbTransport() {
  impl_->release();
  if (impl_->context != nullptr) libusb_exit(impl_->context);
  delete impl_;
}

DeviceList LibusbTransport::listDevices() {
  DeviceList list;
  if (impl_->context == nullptr) return DeviceList{false, {}};
  libusb_device** devices = nullptr;
  const ssize_t count = libusb_get_device_list(impl_->context, &devices);
  if (count < 0) return DeviceList{false, {}};
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device* dev = devices[i];
    libusb_device_descriptor desc;
    if (libusb_get_device_descriptor(dev, &desc) != 0) continue;
    const auto itf = findCameraInterface(dev);
    if (!itf) continue;
    list.paths.push_back(usbDevicePath({libusb_get_bus_number(dev), libusb_get_device_address(dev),
                                        desc.idVendor, desc.idProduct, itf->number}));
  }
  libusb_free_device_list(devices, 1);
  return list;
}

std::optional<int> LibusbTransport::open(const std::string& path) {
  const auto where = parseUsbDevicePath(path);
  if (!where || impl_->context == nullptr) return std::nullopt;
  libusb_device** devices = nullptr;
  const ssize_t count = libusb_get_device_list(impl_->context, &devices);
  if (count < 0) return std::nullopt;
  libusb_device_handle* handle = nullptr;
  std::optional<CameraInterface> itf;
  for (ssize_t i = 0; i < count && handle == nullptr; ++i) {
    libusb_device* dev = devices[i];
    libusb_device_descriptor desc;
    if (libusb_get_bus_number(dev) != where->bus || libusb_get_device_address(dev) != where->address ||
        libusb_get_device_descriptor(dev, &desc) != 0 || desc.idVendor != where->vendor_id ||
        desc.idProduct != where->product_id)
      continue;
    itf = findCameraInterface(dev);
    if (!itf || itf->number != where->interface_number) continue;
    if (libusb_open(dev, &handle) != 0) handle = nullptr;
  }
  libusb_free_device_list(devices, 1);
  if (handle == nullptr) return std::nullopt;

  // A kernel driver that holds the interface is detached while we hold it and given back afterwards.
  libusb_set_auto_detach_kernel_driver(handle, 1);
  if (libusb_claim_interface(handle, static_cast<int>(itf->number)) != 0) {
    libusb_close(handle);
    return std::nullopt;
  }
  impl_->release();  // one device at a time: the new one replaces an earlier one
  impl_->handle = handle;
  impl_->claimed_interface = static_cast<int>(itf->number);
  impl_->out = itf->out;
  impl_->in = itf->in;
  return static_cast<int>(where->bus * 1000 + where->address);
}

IoResult LibusbTransport::write(const std::uint8_t* data, std::size_t n) {
  if (impl_->handle == nullptr) return {false, 0, LIBUSB_ERROR_NO_DEVICE};
  if (n > INT_MAX) return {false, 0, LIBUSB_ERROR_INVALID_PARAM};
  int sent = 0;
  // libusb does not write through the buffer of an OUT transfer.
  const int rc = libusb_bulk_transfer(impl_->handle, impl_->out, const_cast<std::uint8_t*>(data),
                                      static_cast<int>(n), &sent, kWriteTimeoutMs);
  const std::size_t count = sent > 0 ? static_cast<std::size_t>(sent) : 0;
  if (rc != 0) return {false, count, rc};
  return {true, count, 0};
}

IoResult LibusbTransport::read(std::uint8_t* data, std::size_t n) {
  if (impl_->handle == nullptr) return {false, 0, LIBUSB_ERROR_NO_DEVICE};
  if (n > INT_MAX) return {false, 0, LIBUSB_ERROR_INVALID_PARAM};
  // One transfer of the whole count: libusb splits it into as many packets and URBs as it needs and
  // returns when all have arrived or the device ends early with a short packet.
  int got = 0;
  const int rc =
      libusb_bulk_transfer(impl_->handle, impl_->in, data, static_cast<int>(n), &got, kReadTimeoutMs);
  const std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
  if (rc != 0) return {false, count, rc};
  return {true, count, 0};
}

void LibusbTransport::close() {
  impl_->release();
}

void LibusbTransport::drain() {
  if (impl_->handle == nullptr) return;
  libusb_clear_halt(impl_->handle, impl_->in);
  std::vector<std::uint8_t> scratch(kDrainChunkBytes);
  for (int i = 0; i < kDrainMaxReads; ++i) {
    int got = 0;
    const int rc = libusb_bulk_transfer(impl_->handle, impl_->in, scratch.data(), kDrainChunkBytes, &got,
                                        kDrainTimeoutMs);
    if (rc != 0 || got == 0) break;
  }
}

OsVersion LibusbTransport::osVersion() const {
  OsVersion v;
  utsname u;
  if (uname(&u) == 0) std::sscanf(u.release, "%d.%d", &v.major, &v.minor);
  return v;
}

}  // namespace qlm
