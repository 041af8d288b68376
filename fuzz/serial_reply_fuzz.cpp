// The handling of what the mount and the AO unit send back through the camera's serial ports: every
// read of the link answers with the next bytes of the input (as many as the device chooses to send,
// fewer at its end), through the reply copies, the LX200 position and object replies and the AO
// answer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "camera/link.h"
#include "files/settings.h"
#include "fuzz_support.h"
#include "guiding/lx200.h"
#include "guiding/telescope.h"

namespace {

// A device whose answers are the fuzz input, read front to back; writes always succeed.
class ReplyTransport final : public qlm::Transport {
 public:
  void reset(const std::uint8_t* data, std::size_t size) {
    data_ = data;
    left_ = size;
  }
  qlm::DeviceList listDevices() override { return {}; }
  std::optional<int> open(const std::string&) override { return std::nullopt; }
  qlm::IoResult write(const std::uint8_t*, std::size_t n) override { return {true, n, 0}; }
  qlm::IoResult read(std::uint8_t* data, std::size_t n) override {
    // The first byte of each answer says how many of the asked bytes come (all when it is 0xFF).
    if (left_ == 0) return {false, 0, qlm::kIoErrorTimeout};
    const std::size_t want = data_[0] == 0xFF ? n : std::min<std::size_t>(n, data_[0]);
    ++data_;
    --left_;
    const std::size_t count = std::min(want, left_);
    std::memcpy(data, data_, count);
    data_ += count;
    left_ -= count;
    return {true, count, 0};
  }
  void close() override {}

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t left_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qlm::fuzz::FuzzPlatform p;
  static ReplyTransport device;
  qlm::Platform& platform = qlm::platform();
  platform.transport = &device;
  device.reset(data, size);
  qlm::resetLinkState(qlm::linkState());

  qlm::SerialRead(0, qlm::kSerialReplyBytes);
  qlm::SerialReadReply(0);
  qlm::Settings& s = qlm::settings();
  s.ao_through_relays = false;
  s.ao_command = "H";
  qlm::SendAOCommand(1);
  for (char method : {'l', 'a'}) {
    s.drive_method = method;
    qlm::TelescopeState& t = qlm::telescopeState();
    qlm::resetTelescopeState(t);
    qlm::ReadPosition(t);
    qlm::ReadObjectInfo(t);
  }
  const auto& rx = qlm::receiveBuffer().bytes;
  const std::string reply =
      qlm::lx200::replyText(rx.data(), std::min<std::size_t>(qlm::linkState().bytes_read, 64));
  qlm::lx200::positionText(reply);
  p.endInput();
  return 0;
}
