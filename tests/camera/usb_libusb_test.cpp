#include <gtest/gtest.h>

#include "camera/link.h"
#include "platform/usb_libusb.h"

namespace qlm {
namespace {

constexpr std::uint8_t kBulk = 2;
constexpr std::uint8_t kInterrupt = 3;

TEST(UsbInterfaceTest, VendorInterfaceWithBulkOutAndInQualifies) {
  const UsbInterfaceInfo camera{0xFF, {{0x81, kInterrupt}, {0x02, kBulk}, {0x86, kBulk}, {0x04, kBulk}}};
  const auto eps = vendorBulkEndpoints(camera);
  ASSERT_TRUE(eps.has_value());
  EXPECT_EQ(eps->first, 0x02);   // the first bulk OUT
  EXPECT_EQ(eps->second, 0x86);  // the first bulk IN
}

TEST(UsbInterfaceTest, KeyboardsDisksHubsAndHalfInterfacesDoNot) {
  EXPECT_FALSE(vendorBulkEndpoints({0x03, {{0x81, kInterrupt}}}));                 // keyboard (HID)
  EXPECT_FALSE(vendorBulkEndpoints({0x08, {{0x01, kBulk}, {0x82, kBulk}}}));       // disk
  EXPECT_FALSE(vendorBulkEndpoints({0x09, {{0x81, kInterrupt}}}));                 // hub
  EXPECT_FALSE(vendorBulkEndpoints({0xFF, {{0x01, kBulk}}}));                      // no way back
  EXPECT_FALSE(vendorBulkEndpoints({0xFF, {{0x01, kInterrupt}, {0x81, kBulk}}}));  // no bulk out
  EXPECT_FALSE(vendorBulkEndpoints({0xFF, {}}));
}

TEST(UsbPathTest, PathCarriesTheIdsTheDiscoveryRulesRead) {
  const UsbDeviceAddress a{3, 17, 0xfffe, 0x0115, 1};
  const std::string path = usbDevicePath(a);
  EXPECT_EQ(path, "usb:003-017:vid_fffe&pid_0115:if1");
  EXPECT_EQ(path.substr(path.find("pid") + 4, 4), "0115");
  EXPECT_EQ(path.substr(path.find("vid") + 4, 4), "fffe");
  const auto back = parseUsbDevicePath(path);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->bus, 3u);
  EXPECT_EQ(back->address, 17u);
  EXPECT_EQ(back->vendor_id, 0xfffeu);
  EXPECT_EQ(back->product_id, 0x0115u);
  EXPECT_EQ(back->interface_number, 1u);
}

TEST(UsbPathTest, ForeignPathsAreNotOpened) {
  EXPECT_FALSE(parseUsbDevicePath("sim:vid_fffe&pid_0115"));
  EXPECT_FALSE(parseUsbDevicePath("usb:003-017:vid_fffe&pid_0115:if1 and more"));
  EXPECT_FALSE(parseUsbDevicePath(""));
  LibusbTransport usb;
  EXPECT_FALSE(usb.open("sim:vid_fffe&pid_0115").has_value());
  EXPECT_FALSE(usb.open("usb:250-250:vid_0000&pid_0000:if0").has_value());
}

TEST(UsbTransportTest, TransfersWithoutAnOpenDeviceFail) {
  LibusbTransport usb;
  std::uint8_t block[8] = {0x40, 0x01};
  const IoResult w = usb.write(block, sizeof block);
  const IoResult r = usb.read(block, sizeof block);
  EXPECT_FALSE(w.ok);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(w.error, -4);  // no device
  EXPECT_EQ(r.count, 0u);
  usb.close();  // harmless
}

TEST(UsbTransportTest, ListedDevicesAreNamedForTheDiscoveryRules) {
  // Whatever this machine has plugged in: every listed path must parse and carry both ids.
  LibusbTransport usb;
  const DeviceList list = usb.listDevices();
  for (const auto& path : list.paths) {
    ASSERT_TRUE(path.has_value());
    EXPECT_TRUE(parseUsbDevicePath(*path).has_value()) << *path;
  }
  EXPECT_GE(usb.osVersion().major, 2);  // the running kernel's version
}

}  // namespace
}  // namespace qlm
