#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qlm {

// Sizes of the link's fixed buffers.
inline constexpr std::size_t kCommandBlockBytes = 64;
inline constexpr std::size_t kReceiveBufferBytes = 4000000;
inline constexpr std::size_t kReplyTextChars = 33;  // a serial reply text holds at most 33 characters
inline constexpr std::size_t kSerialReplyBytes = 33;
inline constexpr int kMaxInterfaceIndex = 20;  // discovery tries interface indices 0 to 19

// Command codes of the camera's command blocks.
inline constexpr std::uint8_t kRequestType = 0x40;
inline constexpr std::uint8_t kCmdStatus = 0;
inline constexpr std::uint8_t kCmdClear = 1;
inline constexpr std::uint8_t kCmdReadoutDelayed = 2;  // the camera waits the delay field, then reads
inline constexpr std::uint8_t kCmdReadoutNow = 3;
inline constexpr std::uint8_t kCmdRelays = 9;
inline constexpr std::uint8_t kCmdSerialWrite = 10;
inline constexpr std::uint8_t kCmdSerialRead = 11;

// Camera heads (the index field of head commands).
inline constexpr std::uint16_t kMainHead = 0;
inline constexpr std::uint16_t kGuiderHead = 1;

// ClearSensor flags: 0 starts an exposure, 8 flushes the sensor before and during long exposures.
inline constexpr std::uint16_t kClearStart = 0;
inline constexpr std::uint16_t kClearFlush = 8;

// Guide relay bits.
inline constexpr std::uint16_t kRelayWest = 1;
inline constexpr std::uint16_t kRelaySouth = 2;
inline constexpr std::uint16_t kRelayNorth = 4;
inline constexpr std::uint16_t kRelayEast = 8;

// The longest exposure the camera times itself through the readout command's delay field.
inline constexpr std::uint32_t kCameraTimedMaxMs = 1000;

// The program-wide link state: the one open device and the block and texts each operation rebuilds.
struct LinkState {
  std::optional<int> camera_handle;  // set only by discovery
  int camera_present = 0;            // 1 after a successful discovery; 0 again once the device is gone
  bool device_gone = false;          // a transfer found the device gone; transfers wait for discovery
  std::array<char, 5> vid_text{};    // taken from the device path, never tested
  std::array<char, 5> pid_text{};    // 4 characters and the terminator
  int interrupt_masking_allowed = 0;
  std::array<std::uint8_t, kCommandBlockBytes> command_block{};
  std::size_t bytes_read = 0;  // what the last read reported; never compared with the count asked for
  // Transfers that failed so far (short writes and frames, and those skipped once the device was
  // gone): a caller compares two readings to learn whether a stretch of its work met a fault.
  std::uint64_t faults = 0;
  std::array<char, kReplyTextChars + 1> reply_text{};         // last 33-byte SerialRead reply
  std::array<char, kReplyTextChars + 1> second_reply_text{};  // last SerialReadReply reply
};

// The static receive buffer every read lands in, starting at its first byte.
struct ReceiveBuffer {
  std::array<std::uint8_t, kReceiveBufferBytes> bytes{};
};

LinkState& linkState();
ReceiveBuffer& receiveBuffer();
void resetLinkState(LinkState& link);
void clearReceiveBuffer(ReceiveBuffer& rx);
// Clears the program-wide receive buffer, unless it was never handed out (then it is still zero).
void resetReceiveBuffer();

// A readout request: the window on the sensor in unbinned pixels, the binning, and the exposure that
// chooses between the camera-timed and the immediate readout command.
struct ReadoutWindow {
  std::uint16_t head = kMainHead;
  std::uint16_t x = 0;
  std::uint16_t y = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t hbin = 1;
  std::uint8_t vbin = 1;
};

// Readout command for a main-head exposure: the camera times up to 1000 ms itself, longer exposures
// are timed by the program and read at once.
std::uint8_t readoutCommandFor(std::uint32_t exposure_ms);

// Builds the readout block in the command block (24 bytes cleared, value 3) and returns how many of its
// bytes are sent: 22 with the delay (command 2), 18 without (command 3). `immediate` forces command 3.
std::size_t buildReadoutBlock(LinkState& link, const ReadoutWindow& window, std::uint32_t exposure_ms,
                              bool immediate);

// Copies a serial reply from the start of `src` into `text` up to the first '#' (which becomes the
// terminator); 33 bytes without a '#' are copied whole. Only the first `available` bytes of `src` are
// the reply (what the read delivered): the text ends there at the latest.
void copySerialReply(const std::uint8_t* src, std::array<char, kReplyTextChars + 1>& text,
                     std::size_t available = kReplyTextChars);

// Discovery: looks through the listed device interfaces for the camera and opens it. Returns 1 when at
// least one interface was listed; callers decide by the camera-present flag.
int FindCamera();

// Writes the first n bytes of the command block; a failure is reported, not retried. Returns true when
// all n bytes were written (a short write is a failed one). A device found gone closes the link and clears
// the camera-present flag: that failure is reported once, and later transfers are skipped (they fail
// silently) until discovery runs.
bool SendBlock(std::size_t n);
// Reads n bytes into the receive buffer; a failure is reported and the buffer keeps what it held.
// Returns true when the read succeeded (whatever the count).
bool ReadReply(std::size_t n);
// A frame read: true only when all n bytes arrived. A failed or short read is reported once (a short
// one as "Short read from ZADUZ USB device: <got> of <n> bytes"), and the transport drops what the
// device still holds, so the next frame starts clean.
bool ReadFrame(std::size_t n);

// Returns SendBlock's result.
bool ClearSensor(std::uint16_t flags, std::uint16_t head);
// Status request sent after the clears that start a main exposure; its one-byte answer is ignored (and
// not read when the request could not be written).
void StatusPoll();
void SetGuideRelays(std::uint16_t bits);
// Sends the characters of `text` up to its terminating zero (at most 56) out of a camera serial port,
// with n as the length field; n + 8 bytes are written.
void SerialWrite(int port, std::string_view text, std::size_t n);
// Asks a serial port for n bytes and reads them; with n = 33 the reply is copied into the reply text.
// Only the bytes this read delivered are taken: a failed read leaves the text empty, never holding an
// earlier reply. Returns true when the read delivered all n bytes.
bool SerialRead(int port, std::size_t n);
// Reads one byte; unless it is '0', reads 33 more into the second reply text (else that text is empty).
// A failed read leaves the text empty and reads nothing more.
void SerialReadReply(int port);
// Sends the AO command text (n characters) by relays or serial port; an 'H' command is answered.
void SendAOCommand(std::size_t n);
// Turns the filter wheel to position 1..7; other positions have no message and send nothing.
void MoveFilterWheel(int position);
// Closes the camera handle; the camera-present flag is left as it is.
void CloseCamera();

// Convenience views of the reply texts.
const char* replyText();
const char* secondReplyText();

}  // namespace qlm
