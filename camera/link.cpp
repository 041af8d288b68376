#include "camera/link.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "files/settings.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr const char* kCameraPid = "0115";
constexpr std::size_t kSerialTextMax = kCommandBlockBytes - 8;

void putU16(std::uint8_t* p, unsigned v) {
  p[0] = static_cast<std::uint8_t>(v & 0xFF);
  p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

// Clears the first `clear` bytes of the block and writes the 8-byte header.
void buildHeader(LinkState& link, std::size_t clear, std::uint8_t command, unsigned value, unsigned index,
                 unsigned length) {
  std::uint8_t* b = link.command_block.data();
  std::memset(b, 0, clear);
  b[0] = kRequestType;
  b[1] = command;
  putU16(b + 2, value);
  putU16(b + 4, index);
  putU16(b + 6, length);
}

void errorBox(const char* text) {
  platform().ui->messageBox("Error", text, MessageButtons::Ok, MessageIcon::Stop);
}

// Copies the four characters that start four places after `key` in `path` (the digits after "vid_"
// or "pid_"); a path without `key` leaves `out` unchanged.
void takeIdDigits(const std::string& path, const char* key, std::array<char, 5>& out) {
  const std::size_t at = path.find(key);
  if (at == std::string::npos) return;
  out.fill('\0');
  for (std::size_t i = 0; i < 4 && at + 4 + i < path.size(); ++i)
    out[i] = path[at + 4 + i];
}

// A transfer that found the device gone: the link closes, and the next command looks for the camera
// again. Returns true for that case.
bool noteDeviceGone(const IoResult& r) {
  if (r.ok || r.error != kIoErrorNoDevice) return false;
  LinkState& link = linkState();
  link.device_gone = true;
  link.camera_present = 0;
  CloseCamera();
  return true;
}

// Asks a serial port for n bytes and reads them; returns how many this read delivered (0 when the
// request or the read failed: a port never asked has nothing to answer).
std::size_t serialReadBytes(int port, std::size_t n) {
  buildHeader(linkState(), kCommandBlockBytes, kCmdSerialRead, 0, static_cast<unsigned>(port),
              static_cast<unsigned>(n));
  if (!SendBlock(8)) {
    linkState().bytes_read = 0;
    return 0;
  }
  return ReadReply(n) ? std::min(linkState().bytes_read, n) : 0;
}

}  // namespace

LinkState& linkState() {
  static LinkState link;
  return link;
}

namespace {
// The buffer starts out zero in static storage; until it is first handed out there is nothing to clear
// (clearing its 4 MB would touch every page of it at start-up).
ReceiveBuffer& receiveStorage() {
  static ReceiveBuffer rx;
  return rx;
}
bool receive_handed_out = false;
}  // namespace

ReceiveBuffer& receiveBuffer() {
  receive_handed_out = true;
  return receiveStorage();
}

void resetReceiveBuffer() {
  if (receive_handed_out) clearReceiveBuffer(receiveStorage());
}

void resetLinkState(LinkState& link) {
  link = LinkState{};
}

void clearReceiveBuffer(ReceiveBuffer& rx) {
  rx.bytes.fill(0);
}

std::uint8_t readoutCommandFor(std::uint32_t exposure_ms) {
  return exposure_ms <= kCameraTimedMaxMs ? kCmdReadoutDelayed : kCmdReadoutNow;
}

std::size_t buildReadoutBlock(LinkState& link, const ReadoutWindow& w, std::uint32_t exposure_ms,
                              bool immediate) {
  const std::uint8_t command = immediate ? kCmdReadoutNow : readoutCommandFor(exposure_ms);
  const bool delayed = command == kCmdReadoutDelayed;
  buildHeader(link, 24, command, 3, w.head, delayed ? 14 : 10);
  std::uint8_t* b = link.command_block.data();
  putU16(b + 8, w.x);
  putU16(b + 10, w.y);
  putU16(b + 12, w.width);
  putU16(b + 14, w.height);
  b[16] = w.hbin;
  b[17] = w.vbin;
  if (delayed) putU16(b + 18, exposure_ms & 0xFFFF);  // bytes 20-21 stay 0
  return delayed ? 22 : 18;
}

void copySerialReply(const std::uint8_t* src, std::array<char, kReplyTextChars + 1>& text,
                     std::size_t available) {
  std::size_t i = 0;
  for (; i < std::min(available, kReplyTextChars); ++i) {
    if (src[i] == '#') break;
    text[i] = static_cast<char>(src[i]);
  }
  text[i] = '\0';
}

int FindCamera() {
  LinkState& link = linkState();
  Transport& transport = *platform().transport;
  link.device_gone = false;
  const DeviceList list = transport.listDevices();
  if (!list.ok) {
    ShowMessage(kCallerTextMessage, "Could not attach to PnP node");
    return 0;
  }
  bool opened = false;
  const std::size_t listed = std::min<std::size_t>(list.paths.size(), kMaxInterfaceIndex);
  for (std::size_t i = 0; i < listed; ++i) {
    const auto& path = list.paths[i];
    if (!path) {
      errorBox("Could not find the system name for this HID device");
      return 0;
    }
    takeIdDigits(*path, "vid", link.vid_text);
    takeIdDigits(*path, "pid", link.pid_text);
    const bool camera = std::strncmp(link.pid_text.data(), kCameraPid, 5) == 0;
    if (!camera && !settings().ignore_camera_vid_pid) continue;
    const std::optional<int> handle = transport.open(*path);
    if (!handle) {
      errorBox("Could not open HID device");
      return 0;
    }
    link.camera_handle = handle;  // a later qualifying index replaces an earlier one
    opened = true;
  }
  if (!opened) {
    ShowMessage(kCallerTextMessage, "USB ZADUZ device not found");
    link.camera_present = 0;
  } else {
    const OsVersion os = transport.osVersion();
    link.interrupt_masking_allowed = (os.major == 4 && os.minor > 0) ? 1 : 0;
    if (settings().show_interface_details) {
      char text[128];
      std::snprintf(text, sizeof text, "Camera Found, \nZADUZ = %6d\nO/S = %4d.%4d\nPID = %s",
                    *link.camera_handle, os.major, os.minor, link.pid_text.data());
      ShowMessage(kCallerTextMessage, text);
    }
    link.camera_present = 1;
  }
  return list.paths.empty() ? 0 : 1;
}

bool SendBlock(std::size_t n) {
  LinkState& link = linkState();
  if (link.device_gone) {
    ++link.faults;
    return false;
  }
  const std::size_t count = std::min(n, kCommandBlockBytes);
  const IoResult r = platform().transport->write(link.command_block.data(), count);
  // Part of a block is a different command to the firmware (a clear without its flags, a readout
  // without its window): only the whole block counts as written.
  if (r.ok && r.count == count) return true;
  ++link.faults;
  noteDeviceGone(r);
  ShowMessage(kCallerTextMessage, "Could not write ZADUZ Output - try rebooting USB device");
  return false;
}

namespace {

// One read into the receive buffer; a failure is reported (once for a device gone).
IoResult readInto(std::size_t n) {
  LinkState& link = linkState();
  if (link.device_gone) {
    ++link.faults;
    return IoResult{false, 0, kIoErrorNoDevice};
  }
  const std::size_t count = std::min(n, kReceiveBufferBytes);
  const IoResult r = platform().transport->read(receiveBuffer().bytes.data(), count);
  link.bytes_read = std::min(r.count, count);
  if (r.ok) return r;
  ++link.faults;
  // Whatever the device still sends of this answer would land in the next read: drop it.
  if (!noteDeviceGone(r)) platform().transport->drain();
  char text[96];
  std::snprintf(text, sizeof text, "Error %d trying to read ZADUZ data from USB\n", r.error);
  ShowMessage(kCallerTextMessage, text);
  return r;
}

}  // namespace

bool ReadReply(std::size_t n) {
  return readInto(n).ok;
}

bool ReadFrame(std::size_t n) {
  const IoResult r = readInto(n);
  if (!r.ok) return false;
  if (linkState().bytes_read == std::min(n, kReceiveBufferBytes)) return true;
  ++linkState().faults;
  char text[96];
  std::snprintf(text, sizeof text, "Short read from ZADUZ USB device: %zu of %zu bytes\n",
                linkState().bytes_read, n);
  ShowMessage(kCallerTextMessage, text);
  platform().transport->drain();
  return false;
}

bool ClearSensor(std::uint16_t flags, std::uint16_t head) {
  buildHeader(linkState(), 24, kCmdClear, flags, head, 0);
  return SendBlock(8);
}

void StatusPoll() {
  buildHeader(linkState(), 24, kCmdStatus, 0, 0, 1);
  // A request the camera never got has no answer to wait for.
  if (SendBlock(9)) ReadReply(1);
}

void SetGuideRelays(std::uint16_t bits) {
  buildHeader(linkState(), 8, kCmdRelays, bits, 0, 0);
  SendBlock(8);
}

void SerialWrite(int port, std::string_view text, std::size_t n) {
  LinkState& link = linkState();
  n = std::min(n, kSerialTextMax);
  buildHeader(link, 24, kCmdSerialWrite, 0, static_cast<unsigned>(port), static_cast<unsigned>(n));
  // The text is copied up to its terminating zero, as a C string would be.
  const std::size_t chars = std::min(text.substr(0, text.find('\0')).size(), kSerialTextMax);
  std::memcpy(link.command_block.data() + 8, text.data(), chars);
  if (8 + chars < kCommandBlockBytes) link.command_block[8 + chars] = 0;
  SendBlock(n + 8);
}

bool SerialRead(int port, std::size_t n) {
  const std::size_t got = serialReadBytes(port, n);
  if (n == kSerialReplyBytes) copySerialReply(receiveBuffer().bytes.data(), linkState().reply_text, got);
  return got == n;
}

void SerialReadReply(int port) {
  LinkState& link = linkState();
  if (serialReadBytes(port, 1) == 0 || receiveBuffer().bytes[0] == '0') {
    link.second_reply_text[0] = '\0';
    return;
  }
  const std::size_t got = serialReadBytes(port, kSerialReplyBytes);
  copySerialReply(receiveBuffer().bytes.data(), link.second_reply_text, got);
}

void SendAOCommand(std::size_t n) {
  const Settings& s = settings();
  const char letter = s.ao_command.empty() ? '\0' : s.ao_command[0];
  if (s.ao_through_relays) {
    SetGuideRelays(static_cast<std::uint8_t>(letter));
    return;
  }
  SerialWrite(s.ao_port, s.ao_command, n);
  waitMs(*platform().clock, 50);
  if (letter != 'H') return;
  if (!SerialRead(s.ao_port, 1)) return;  // the link has said why; there is no answer to judge
  const char answer = static_cast<char>(receiveBuffer().bytes[0]);
  if (answer != 'H') {
    std::string text = "Return from AO - ";
    if (answer != '\0') text += answer;  // a zero byte ends the text
    ShowMessage(kCallerTextMessage, text);
  }
}

void MoveFilterWheel(int position) {
  if (position < 1 || position > 7) return;
  const char message[4] = {static_cast<char>(0xA5), 0x01, static_cast<char>(position),
                           static_cast<char>(0xA6 + position)};
  SerialWrite(settings().filter_wheel_port, std::string_view(message, 4), 4);
}

void CloseCamera() {
  LinkState& link = linkState();
  if (!link.camera_handle) return;
  platform().transport->close();
  link.camera_handle.reset();
}

const char* replyText() {
  return linkState().reply_text.data();
}
const char* secondReplyText() {
  return linkState().second_reply_text.data();
}

}  // namespace qlm
