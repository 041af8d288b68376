#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/transport.h"
#include "sim/serial_device.h"
#include "sim/sky_renderer.h"

namespace qlm::sim {

// Error codes the simulated device reports, numbered as libusb numbers them.
inline constexpr int kSimErrorIo = -1;
inline constexpr int kSimErrorNoDevice = -4;
inline constexpr int kSimErrorTimeout = -7;

inline constexpr double kCloudsDefaultAtS = 60.0;

struct SimCameraConfig {
  SkyConfig sky;
  HeadConfig main_head = mainHeadConfig();
  HeadConfig guider_head = guiderHeadConfig();
  std::string device_path = "sim:vid_fffe&pid_0115";  // the one device the simulator lists
  int handle_value = 1204;                            // what a successful open reports
  std::uint32_t command_ms = 1;                       // bus time of one command block, milliseconds
  double readout_us_per_pixel = 4.0;                  // frame transfer time per pixel, microseconds
  double focuser_steps = 5000.0;                      // focuser position at switch-on
  // Clouds: from this many seconds after switch-on (negative: never) only `clouds_transmission` of the
  // starlight gets through.
  double clouds_at_s = -1.0;
  double clouds_transmission = 0.0;
  // The clouds pass after this many seconds (negative: they stay). Without `clouds_at_s` they come
  // kCloudsDefaultAtS seconds after switch-on.
  double clouds_for_s = -1.0;
  std::uint32_t start_ms = 0;  // clock reading at switch-on
  // The cable is pulled this many milliseconds after switch-on (negative: never); the first transfer,
  // listing or open at or after that time finds the device gone.
  double unplug_ms = -1.0;
};

// Displacement of the whole sky image, in sky (main-sensor) pixels: where the telescope points.
struct ImageShift {
  double x_px = 0.0;
  double y_px = 0.0;
};

// One command block the device received, with the clock time it arrived.
struct ReceivedBlock {
  std::uint32_t at_ms = 0;
  std::vector<std::uint8_t> bytes;
};

// The last exposure a head delivered: from its starting clear (or previous readout) to its readout.
struct ExposureRecord {
  std::uint32_t start_ms = 0;
  std::uint32_t end_ms = 0;
  std::uint32_t exposure_ms = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int hbin = 1;
  int vbin = 1;
  std::uint64_t frame = 0;
  // Where the sky image truly stood at mid-exposure (pointing shift plus seeing wander, sky pixels),
  // and the focuser position then.
  double sky_shift_x_px = 0.0;
  double sky_shift_y_px = 0.0;
  double focuser_steps = 0.0;
  // Where the telescope pointed at mid-exposure, without the seeing wander (sky pixels): what a long
  // exposure on the main head integrates, and what guiding can correct.
  double pointing_x_px = 0.0;
  double pointing_y_px = 0.0;
};

// The simulated camera behind the Transport: it answers the camera's command blocks on the shared
// clock (platform().clock), renders the main and guider heads from one sky, passes serial bytes to
// the devices on its ports and relay commands to the relay socket, and can be told to fail.
class SimTransport final : public Transport {
 public:
  explicit SimTransport(const SimCameraConfig& config = {});

  DeviceList listDevices() override;
  std::optional<int> open(const std::string& path) override;
  IoResult write(const std::uint8_t* data, std::size_t n) override;
  IoResult read(std::uint8_t* data, std::size_t n) override;
  void close() override;
  void drain() override;

  // Optics and pointing. A shift source, when set, is asked for the shift at mid-exposure and wins
  // over the fixed shift (the mount model plugs in here).
  void setFocuserPosition(double steps) { focuser_steps_ = steps; }
  double focuserPosition() const { return focuser_steps_; }
  void setImageShift(ImageShift shift) { shift_ = shift; }
  void setImageShiftSource(std::function<ImageShift(std::uint32_t at_ms)> source) {
    shift_source_ = std::move(source);
  }
  // A focuser that moves (the mount's focuser): asked for its position at mid-exposure.
  void setFocuserSource(std::function<double(std::uint32_t at_ms)> source) {
    focuser_source_ = std::move(source);
  }
  // Where a sky point (sky pixels) truly lay on a head during that head's last exposure.
  HeadPoint trueHeadPosition(int head, double sky_x_px, double sky_y_px) const;

  // Devices on the serial ports (several may share a port) and on the relay socket.
  void attachSerial(int port, SerialDevice& device) { ports_[port].push_back(&device); }
  void attachRelays(RelayDevice& device) { relay_devices_.push_back(&device); }
  std::uint16_t relayValue() const { return relay_value_; }

  // Injected faults: the next `count` writes or reads fail with `error`; the next read delivers only
  // `bytes`; an unplugged device is not listed and fails every transfer; enumeration or open refused.
  void failWrites(int count, int error = kSimErrorIo) {
    fail_writes_ = count;
    write_error_ = error;
  }
  void failReads(int count, int error = kSimErrorIo) {
    fail_reads_ = count;
    read_error_ = error;
  }
  void shortenNextRead(std::size_t bytes) {
    short_read_ = true;
    short_read_bytes_ = bytes;
  }
  // Pulling the cable also drops the relays: the camera that held them has no power.
  void setUnplugged(bool unplugged);
  // One fault at the transfer numbered `index` (writes and reads counted together from 0, see
  // transfers()): Fail fails it with an I/O error; Short delivers half of a read's answer, or half of a
  // written block to the firmware; Unplug pulls the cable just before it.
  enum class TransferFault { None, Fail, Short, Unplug };
  void faultAtTransfer(std::uint64_t index, TransferFault fault) {
    fault_index_ = index;
    fault_ = fault;
  }
  void setEnumerationRefused(bool refused) { enumeration_refused_ = refused; }
  void setOpenRefused(bool refused) { open_refused_ = refused; }

  // What the device saw: the most recent blocks. A day of guiding would otherwise fill the memory, so
  // the oldest half is dropped whenever the log reaches kReceivedLogBlocks (well within the first hour
  // of guiding); the log's storage is set aside at the first block and never grows after it.
  static constexpr std::size_t kReceivedLogBlocks = 2048;
  const std::vector<ReceivedBlock>& received() const { return received_; }
  void clearReceived() { received_.clear(); }
  int failedWrites() const { return failed_writes_; }
  std::uint64_t transfers() const { return transfers_; }
  int drains() const { return drains_; }
  bool isOpen() const { return open_; }
  const ExposureRecord& lastExposure(int head) const { return last_[head == 1 ? 1 : 0]; }
  std::uint64_t framesRendered() const { return frames_; }
  const SkyRenderer& renderer() const { return renderer_; }
  const SimCameraConfig& config() const { return config_; }

 private:
  void handleBlock(const std::uint8_t* b, std::size_t n, std::uint32_t at_ms);
  void handleReadout(const std::uint8_t* b, std::size_t n, std::uint8_t command, int head);
  void handleSerialRead(int port, std::size_t n, std::uint32_t at_ms);

  SimCameraConfig config_;
  SkyRenderer renderer_;
  double focuser_steps_;
  ImageShift shift_;
  std::function<ImageShift(std::uint32_t)> shift_source_;
  std::function<double(std::uint32_t)> focuser_source_;
  std::map<int, std::vector<SerialDevice*>> ports_;
  std::vector<RelayDevice*> relay_devices_;
  std::uint16_t relay_value_ = 0;
  void setRelays(std::uint16_t value, std::uint32_t at_ms);

  bool open_ = false;
  std::array<std::uint32_t, 2> exposure_start_{};
  std::array<ExposureRecord, 2> last_{};
  std::vector<std::uint8_t> pending_;  // the answer the next read delivers
  std::uint32_t pending_transfer_ms_ = 0;
  std::vector<std::uint16_t> pixels_;
  std::uint64_t frames_ = 0;

  int fail_writes_ = 0;
  int write_error_ = kSimErrorIo;
  int fail_reads_ = 0;
  int read_error_ = kSimErrorIo;
  bool short_read_ = false;
  std::size_t short_read_bytes_ = 0;
  bool unplugged_ = false;
  bool enumeration_refused_ = false;
  bool open_refused_ = false;
  int failed_writes_ = 0;
  std::uint64_t transfers_ = 0;
  std::uint64_t fault_index_ = 0;
  TransferFault fault_ = TransferFault::None;
  int drains_ = 0;
  std::vector<ReceivedBlock> received_;

  // The fault due at this transfer, if any (Unplug is applied here).
  TransferFault takeFault();
  // Pulls the cable once the configured unplug time has come.
  void unplugIfDue();
};

}  // namespace qlm::sim
