#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camera/fake_transport.h"
#include "camera/link.h"
#include "files/settings.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using test::Bytes;
using test::bytesOf;
using test::textBytes;

class LinkTest : public ::testing::Test {
 protected:
  test::ScriptedTransport usb;
  test::TestPlatform platform{&usb};
  LinkState& link = linkState();
  ReceiveBuffer& rx = receiveBuffer();

  std::vector<std::string> messages() const { return platform.ui.messageTexts(); }
};

// --- command blocks -------------------------------------------------------------------------------

TEST_F(LinkTest, HeadAndRelayCommandsAreEightByteBlocks) {
  ClearSensor(kClearFlush, kGuiderHead);
  ClearSensor(kClearStart, kMainHead);
  SetGuideRelays(kRelayWest | kRelayNorth);
  SetGuideRelays(0);
  ASSERT_EQ(usb.writes.size(), 4u);
  EXPECT_EQ(usb.writes[0], bytesOf({0x40, 0x01, 0x08, 0x00, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(usb.writes[1], bytesOf({0x40, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(usb.writes[2], bytesOf({0x40, 0x09, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(usb.writes[3], bytesOf({0x40, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(usb.reads.empty());
}

TEST_F(LinkTest, StatusPollSendsNineBytesAndReadsOne) {
  link.command_block.fill(0xEE);  // the poll's parameter byte must be cleared, not left over
  StatusPoll();
  ASSERT_EQ(usb.writes.size(), 1u);
  EXPECT_EQ(usb.writes[0], bytesOf({0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}));
  EXPECT_EQ(usb.reads, std::vector<std::size_t>{1});
}

struct ExposureCase {
  std::uint32_t exposure_ms;
  Bytes block;
};

class ReadoutCommandTest : public LinkTest, public ::testing::WithParamInterface<ExposureCase> {};

TEST_P(ReadoutCommandTest, ExposureChoosesTheCommandAndTheDelayField) {
  ReadoutWindow w;
  w.width = 660;
  w.height = 494;
  const std::size_t n = buildReadoutBlock(link, w, GetParam().exposure_ms, false);
  EXPECT_EQ(Bytes(link.command_block.begin(), link.command_block.begin() + static_cast<long>(n)),
            GetParam().block);
}

INSTANTIATE_TEST_SUITE_P(
    Exposures, ReadoutCommandTest,
    ::testing::Values(
        // 1000 ms: the camera waits itself (command 2, 14 parameter bytes, delay E8 03 00 00).
        ExposureCase{1000, bytesOf({0x40, 0x02, 0x03, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x00,
                                    0x00, 0x94, 0x02, 0xEE, 0x01, 0x01, 0x01, 0xE8, 0x03, 0x00, 0x00})},
        ExposureCase{0, bytesOf({0x40, 0x02, 0x03, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x00,
                                 0x00, 0x94, 0x02, 0xEE, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00})},
        // 1001 ms: the program waits and asks for an immediate readout of 18 bytes.
        ExposureCase{1001, bytesOf({0x40, 0x03, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0x94, 0x02, 0xEE, 0x01, 0x01, 0x01})},
        ExposureCase{600000, bytesOf({0x40, 0x03, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0x94, 0x02, 0xEE, 0x01, 0x01, 0x01})}),
    [](const auto& info) { return "ms" + std::to_string(info.param.exposure_ms); });

TEST_F(LinkTest, SerialWriteCopiesTheTextUpToItsTerminator) {
  SerialWrite(1, "#:Q#", 4);
  SerialWrite(2, std::string_view("ab\0cd", 5), 5);  // n is sent as given; the text stops at its zero
  ASSERT_EQ(usb.writes.size(), 2u);
  EXPECT_EQ(usb.writes[0], bytesOf({0x40, 0x0A, 0x00, 0x00, 0x01, 0x00, 0x04, 0x00, '#', ':', 'Q', '#'}));
  EXPECT_EQ(usb.writes[1], bytesOf({0x40, 0x0A, 0x00, 0x00, 0x02, 0x00, 0x05, 0x00, 'a', 'b', 0, 0, 0}));
}

TEST_F(LinkTest, SerialWriteOfAnOverlongTextStaysInsideTheBlock) {
  const std::string text(200, 'x');
  SerialWrite(1, text, text.size());
  ASSERT_EQ(usb.writes.size(), 1u);
  EXPECT_EQ(usb.writes[0].size(), kCommandBlockBytes);
}

struct WheelCase {
  int position;
  Bytes block;  // empty: nothing is sent
};

class FilterWheelMessageTest : public LinkTest, public ::testing::WithParamInterface<WheelCase> {};

TEST_P(FilterWheelMessageTest, MessageIsA5_01_PositionAndChecksum) {
  MoveFilterWheel(GetParam().position);
  if (GetParam().block.empty()) {
    EXPECT_TRUE(usb.writes.empty());
  } else {
    ASSERT_EQ(usb.writes.size(), 1u);
    EXPECT_EQ(usb.writes[0], GetParam().block);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Positions, FilterWheelMessageTest,
    ::testing::Values(
        WheelCase{3, bytesOf({0x40, 0x0A, 0x00, 0x00, 0x01, 0x00, 0x04, 0x00, 0xA5, 0x01, 0x03, 0xA9})},
        WheelCase{1, bytesOf({0x40, 0x0A, 0x00, 0x00, 0x01, 0x00, 0x04, 0x00, 0xA5, 0x01, 0x01, 0xA7})},
        WheelCase{7, bytesOf({0x40, 0x0A, 0x00, 0x00, 0x01, 0x00, 0x04, 0x00, 0xA5, 0x01, 0x07, 0xAD})},
        WheelCase{0, {}}, WheelCase{8, {}}),
    [](const auto& info) { return "position" + std::to_string(info.param.position); });

TEST_F(LinkTest, FilterWheelUsesItsOwnPort) {
  settings().filter_wheel_port = 2;
  MoveFilterWheel(2);
  ASSERT_EQ(usb.writes.size(), 1u);
  EXPECT_EQ(usb.writes[0][4], 2);
}

// --- serial replies -------------------------------------------------------------------------------

TEST_F(LinkTest, SerialReadOf33CopiesTheReplyUpToTheHash) {
  usb.answer(textBytes("12:34:56#+12*34#and more bytes...."));
  SerialRead(1, 33);
  ASSERT_EQ(usb.writes.size(), 1u);
  EXPECT_EQ(usb.writes[0], bytesOf({0x40, 0x0B, 0x00, 0x00, 0x01, 0x00, 0x21, 0x00}));
  EXPECT_EQ(usb.reads, std::vector<std::size_t>{33});
  EXPECT_STREQ(replyText(), "12:34:56");
}

TEST_F(LinkTest, SerialReplyWithoutHashIsCopiedWhole) {
  usb.answer(textBytes(std::string(40, 'A')));
  SerialRead(1, 33);
  EXPECT_EQ(std::string(replyText()), std::string(33, 'A'));
}

TEST_F(LinkTest, SerialReadOfOtherCountsLeavesTheReplyText) {
  usb.answer(textBytes("X#"));
  SerialRead(1, 33);
  usb.answer(textBytes("Y#"));
  SerialRead(1, 1);
  EXPECT_STREQ(replyText(), "X");
  EXPECT_EQ(rx.bytes[0], 'Y');
}

TEST_F(LinkTest, SerialReadReplyStopsAtAZeroCharacter) {
  usb.answer(textBytes("1"));
  usb.answer(textBytes("Old reply#"));
  SerialReadReply(1);
  EXPECT_STREQ(secondReplyText(), "Old reply");
  usb.writes.clear();
  usb.reads.clear();

  usb.answer(textBytes("0"));
  SerialReadReply(1);
  EXPECT_STREQ(secondReplyText(), "");
  EXPECT_EQ(usb.writes.size(), 1u);  // no second read block
  EXPECT_EQ(usb.reads, std::vector<std::size_t>{1});
  EXPECT_EQ(usb.writes[0], bytesOf({0x40, 0x0B, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}));
}

TEST_F(LinkTest, SerialReadReplyReadsTheFull33AfterAnyOtherFirstByte) {
  usb.answer(textBytes("#"));
  usb.answer(textBytes("M31 Andromeda#junk"));
  SerialReadReply(2);
  EXPECT_EQ(usb.reads, (std::vector<std::size_t>{1, 33}));
  ASSERT_EQ(usb.writes.size(), 2u);
  EXPECT_EQ(usb.writes[1], bytesOf({0x40, 0x0B, 0x00, 0x00, 0x02, 0x00, 0x21, 0x00}));
  EXPECT_STREQ(secondReplyText(), "M31 Andromeda");
  EXPECT_STREQ(replyText(), "");  // the first reply text is not touched
}

// --- AO unit --------------------------------------------------------------------------------------

TEST_F(LinkTest, AOCommandHIsAnsweredAfter50ms) {
  settings().ao_command = "H";
  settings().ao_port = 1;
  usb.answer(textBytes("H"));
  const std::uint32_t t0 = platform.clock.millis();
  SendAOCommand(1);
  ASSERT_EQ(usb.writes.size(), 2u);
  EXPECT_EQ(usb.writes[0], bytesOf({0x40, 0x0A, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 'H'}));
  EXPECT_EQ(usb.writes[1], bytesOf({0x40, 0x0B, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}));
  EXPECT_EQ(usb.reads, std::vector<std::size_t>{1});
  EXPECT_GE(platform.clock.millis() - t0, 50u);
  EXPECT_TRUE(messages().empty());
}

TEST_F(LinkTest, AOWrongAnswerIsShown) {
  settings().ao_command = "H";
  usb.answer(textBytes("Q"));
  SendAOCommand(1);
  EXPECT_EQ(messages(), std::vector<std::string>{"Return from AO - Q"});
}

TEST_F(LinkTest, AOCommandOtherThanHReadsNothing) {
  settings().ao_command = "G0005";
  SendAOCommand(5);
  ASSERT_EQ(usb.writes.size(), 1u);
  EXPECT_EQ(usb.writes[0].size(), 13u);
  EXPECT_TRUE(usb.reads.empty());
}

TEST_F(LinkTest, AOThroughRelaysSendsTheLetterAsRelayValue) {
  settings().ao_command = "K";
  settings().ao_through_relays = true;
  SendAOCommand(1);
  ASSERT_EQ(usb.writes.size(), 1u);
  EXPECT_EQ(usb.writes[0], bytesOf({0x40, 0x09, 'K', 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(usb.reads.empty());
}

// --- write and read failures ----------------------------------------------------------------------

// A request the camera never got has no answer: nothing is read after it (one message per fault), and
// the reply text is empty rather than an earlier reply.
TEST_F(LinkTest, FailedOrShortWriteIsReportedOnceAndNothingIsReadAfterIt) {
  copySerialReply(textBytes("old reply#").data(), link.reply_text);
  usb.failing_writes = 1;
  SerialRead(1, 33);
  usb.short_writes = 1;  // a cut block is another command to the firmware: a failed write
  EXPECT_FALSE(ClearSensor(kClearStart, kMainHead));
  usb.failing_writes = 1;
  StatusPoll();
  EXPECT_EQ(messages(),
            std::vector<std::string>(3, "Could not write ZADUZ Output - try rebooting USB device"));
  EXPECT_TRUE(usb.reads.empty());
  EXPECT_STREQ(replyText(), "");
  EXPECT_EQ(link.faults, 3u);
}

// A device gone closes the link once and clears "camera present"; further transfers are skipped
// without messages until discovery finds the camera again.
TEST_F(LinkTest, DeviceGoneClosesTheLinkUntilTheNextDiscovery) {
  usb.devices.paths = {std::string("usb:001-004:vid_fffe&pid_0115:if0")};
  settings().show_interface_details = false;
  FindCamera();
  ASSERT_EQ(linkState().camera_present, 1);
  usb.failRead(kIoErrorNoDevice);
  EXPECT_FALSE(ReadFrame(100));
  EXPECT_EQ(linkState().camera_present, 0);
  EXPECT_FALSE(linkState().camera_handle.has_value());
  EXPECT_EQ(usb.closes, 1);
  EXPECT_FALSE(ClearSensor(kClearFlush, kMainHead));
  EXPECT_FALSE(ReadReply(1));
  EXPECT_EQ(messages(), std::vector<std::string>{"Error -4 trying to read ZADUZ data from USB\n"});
  const std::size_t writes = usb.writes.size();
  FindCamera();
  EXPECT_EQ(linkState().camera_present, 1);
  EXPECT_TRUE(ClearSensor(kClearFlush, kMainHead));
  EXPECT_EQ(usb.writes.size(), writes + 1);
}

TEST_F(LinkTest, FailedReadIsReportedWithTheErrorCodeAndKeepsTheBuffer) {
  rx.bytes[0] = 'Z';
  usb.failRead(-7);
  SerialRead(1, 33);
  EXPECT_EQ(messages(), std::vector<std::string>{"Error -7 trying to read ZADUZ data from USB\n"});
  EXPECT_EQ(rx.bytes[0], 'Z');
  EXPECT_STREQ(replyText(), "");  // no reply arrived: the old bytes in the buffer are not one
  // A short reply is taken up to its last byte, not completed from the buffer.
  rx.bytes.fill('s');
  usb.answer(textBytes("12:3"));
  SerialRead(1, 33);
  EXPECT_STREQ(replyText(), "12:3");
}

TEST_F(LinkTest, ShortReadIsStoredNotCompared) {
  rx.bytes.fill('s');
  usb.answer(textBytes("ab"));
  ReadReply(10);
  EXPECT_EQ(link.bytes_read, 2u);
  EXPECT_EQ(rx.bytes[1], 'b');
  EXPECT_EQ(rx.bytes[2], 's');
  EXPECT_TRUE(messages().empty());
}

TEST_F(LinkTest, ReadLargerThanTheBufferIsCut) {
  ReadReply(kReceiveBufferBytes + 100);
  EXPECT_EQ(usb.reads, std::vector<std::size_t>{kReceiveBufferBytes});
}

// --- discovery ------------------------------------------------------------------------------------

std::string cameraPath(const char* pid) {
  return std::string("usb:001-004:vid_fffe&pid_") + pid + ":if0";
}

TEST_F(LinkTest, DiscoveryOpensTheCameraAndShowsItsDetails) {
  usb.devices.paths = {cameraPath("0115")};
  EXPECT_EQ(FindCamera(), 1);
  EXPECT_EQ(link.camera_present, 1);
  EXPECT_EQ(link.camera_handle, 100);
  EXPECT_STREQ(link.pid_text.data(), "0115");
  EXPECT_STREQ(link.vid_text.data(), "fffe");
  EXPECT_EQ(link.interrupt_masking_allowed, 0);
  EXPECT_EQ(messages(),
            std::vector<std::string>{"Camera Found, \nZADUZ =    100\nO/S =    5.   1\nPID = 0115"});
  const auto boxes = platform.ui.callsOf("message");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "QLM_T4_USB");
}

TEST_F(LinkTest, DiscoveryWithoutDetailsIsSilent) {
  settings().show_interface_details = false;
  usb.devices.paths = {cameraPath("0115")};
  FindCamera();
  EXPECT_EQ(link.camera_present, 1);
  EXPECT_TRUE(messages().empty());
}

TEST_F(LinkTest, OtherProductIsSkippedUnlessIdsAreIgnored) {
  usb.devices.paths = {cameraPath("0116")};
  EXPECT_EQ(FindCamera(), 1);
  EXPECT_EQ(link.camera_present, 0);
  EXPECT_TRUE(usb.opened.empty());
  EXPECT_EQ(messages(), std::vector<std::string>{"USB ZADUZ device not found"});

  settings().ignore_camera_vid_pid = true;
  settings().show_interface_details = false;
  FindCamera();
  EXPECT_EQ(link.camera_present, 1);
  EXPECT_EQ(usb.opened, std::vector<std::string>{cameraPath("0116")});
}

TEST_F(LinkTest, ProductTestIsExactAndCaseSensitive) {
  usb.devices.paths = {"usb:001-002:VID_FFFE&PID_0115:if0", cameraPath("01150")};
  FindCamera();
  // Upper-case "PID" is not found; the second path's digits are "0115" followed by more, still taken.
  EXPECT_EQ(usb.opened, std::vector<std::string>{cameraPath("01150")});
}

TEST_F(LinkTest, HighestQualifyingIndexIsKept) {
  settings().show_interface_details = false;
  usb.devices.paths = {cameraPath("0115"), cameraPath("0116"), "usb:002-009:vid_fffe&pid_0115:if0"};
  FindCamera();
  EXPECT_EQ(usb.opened.size(), 2u);
  EXPECT_EQ(link.camera_handle, 101);  // the second open, at index 2
  EXPECT_EQ(link.camera_present, 1);
}

TEST_F(LinkTest, OnlyTwentyIndicesAreTried) {
  usb.devices.paths.assign(20, cameraPath("0116"));
  usb.devices.paths.push_back(cameraPath("0115"));
  FindCamera();
  EXPECT_TRUE(usb.opened.empty());
  EXPECT_EQ(link.camera_present, 0);
}

TEST_F(LinkTest, PathWithoutPidKeepsTheEarlierPidText) {
  settings().show_interface_details = false;
  usb.devices.paths = {cameraPath("0115"), "usb:001-007:no-ids:if0"};
  FindCamera();
  EXPECT_STREQ(link.pid_text.data(), "0115");
  EXPECT_EQ(usb.opened.size(), 2u);  // the second path still carries "0115" in the PID text
}

TEST_F(LinkTest, NewerWindowsVersionAllowsInterruptMasking) {
  settings().show_interface_details = false;
  usb.os = {4, 10};
  usb.devices.paths = {cameraPath("0115")};
  FindCamera();
  EXPECT_EQ(link.interrupt_masking_allowed, 1);
}

struct DiscoveryFailure {
  std::string name;
  bool enumeration_ok;
  std::vector<std::optional<std::string>> paths;
  bool refuse_open;
  int result;
  std::string caption;
  std::string text;
  MessageIcon icon;
};

class DiscoveryFailureTest : public LinkTest, public ::testing::WithParamInterface<DiscoveryFailure> {};

TEST_P(DiscoveryFailureTest, ShowsItsMessageAndLeavesTheCameraAbsent) {
  const DiscoveryFailure& f = GetParam();
  usb.devices.ok = f.enumeration_ok;
  usb.devices.paths = f.paths;
  if (f.refuse_open) usb.refused_paths.insert(cameraPath("0115"));
  EXPECT_EQ(FindCamera(), f.result);
  EXPECT_EQ(link.camera_present, 0);
  EXPECT_FALSE(link.camera_handle.has_value());
  const auto boxes = platform.ui.callsOf("message");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, f.caption);
  EXPECT_EQ(boxes[0].text, f.text);
  EXPECT_EQ(boxes[0].icon, f.icon);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DiscoveryFailureTest,
    ::testing::Values(
        DiscoveryFailure{"EnumerationRefused",
                         false,
                         {},
                         false,
                         0,
                         "QLM_T4_USB",
                         "Could not attach to PnP node",
                         MessageIcon::None},
        DiscoveryFailure{"PathMissing",
                         true,
                         {std::nullopt, cameraPath("0115")},
                         false,
                         0,
                         "Error",
                         "Could not find the system name for this HID device",
                         MessageIcon::Stop},
        DiscoveryFailure{"OpenRefused",
                         true,
                         {cameraPath("0115")},
                         true,
                         0,
                         "Error",
                         "Could not open HID device",
                         MessageIcon::Stop},
        DiscoveryFailure{
            "NoDevices", true, {}, false, 0, "QLM_T4_USB", "USB ZADUZ device not found", MessageIcon::None}),
    [](const auto& info) { return info.param.name; });

TEST_F(LinkTest, CloseCameraClosesTheHandleButKeepsThePresentFlag) {
  settings().show_interface_details = false;
  usb.devices.paths = {cameraPath("0115")};
  FindCamera();
  CloseCamera();
  CloseCamera();
  EXPECT_EQ(usb.closes, 1);
  EXPECT_FALSE(link.camera_handle.has_value());
  EXPECT_EQ(link.camera_present, 1);
}

}  // namespace
}  // namespace qlm
