#include "sim/sim_transport.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "sim/bounded_log.h"

namespace qlm::sim {

namespace {

constexpr std::uint8_t kRequestType = 0x40;
constexpr std::size_t kLargestAnswer = 4000000;

unsigned u16(const std::uint8_t* p) {
  return static_cast<unsigned>(p[0] | (p[1] << 8));
}

Clock& clock() {
  return *platform().clock;
}

}  // namespace

SimTransport::SimTransport(const SimCameraConfig& config)
    : config_(config), renderer_(config.sky), focuser_steps_(config.focuser_steps) {}

void SimTransport::unplugIfDue() {
  if (config_.unplug_ms < 0.0 || static_cast<double>(clock().millis() - config_.start_ms) < config_.unplug_ms)
    return;
  config_.unplug_ms = -1.0;  // pulled once; a test may plug it in again
  setUnplugged(true);
}

DeviceList SimTransport::listDevices() {
  unplugIfDue();
  if (enumeration_refused_) return DeviceList{false, {}};
  if (unplugged_) return DeviceList{true, {}};
  return DeviceList{true, {config_.device_path}};
}

std::optional<int> SimTransport::open(const std::string& path) {
  unplugIfDue();
  if (unplugged_ || open_refused_ || path != config_.device_path) return std::nullopt;
  open_ = true;
  const std::uint32_t now = clock().millis();
  exposure_start_ = {now, now};
  return config_.handle_value;
}

void SimTransport::close() {
  open_ = false;
  pending_.clear();
}

void SimTransport::drain() {
  ++drains_;
  pending_.clear();
  pending_transfer_ms_ = 0;
}

SimTransport::TransferFault SimTransport::takeFault() {
  unplugIfDue();
  const std::uint64_t index = transfers_++;
  if (fault_ == TransferFault::None || index != fault_index_) return TransferFault::None;
  const TransferFault f = fault_;
  fault_ = TransferFault::None;
  if (f == TransferFault::Unplug) setUnplugged(true);
  return f;
}

void SimTransport::setUnplugged(bool unplugged) {
  unplugged_ = unplugged;
  if (unplugged && relay_value_ != 0) setRelays(0, clock().millis());
}

void SimTransport::setRelays(std::uint16_t value, std::uint32_t at_ms) {
  relay_value_ = value;
  for (RelayDevice* d : relay_devices_)
    d->relays(relay_value_, at_ms);
}

IoResult SimTransport::write(const std::uint8_t* data, std::size_t n) {
  const TransferFault fault = takeFault();
  if (fault == TransferFault::Fail) {
    ++failed_writes_;
    return {false, 0, kSimErrorIo};
  }
  if (fault == TransferFault::Short) n /= 2;
  if (!open_ || unplugged_) {
    ++failed_writes_;
    return {false, 0, kSimErrorNoDevice};
  }
  if (fail_writes_ > 0) {
    --fail_writes_;
    ++failed_writes_;
    return {false, 0, write_error_};
  }
  waitMs(clock(), config_.command_ms);
  const std::uint32_t now = clock().millis();
  appendBounded(received_, ReceivedBlock{now, std::vector<std::uint8_t>(data, data + n)}, kReceivedLogBlocks);
  handleBlock(data, n, now);
  return {true, n, 0};
}

IoResult SimTransport::read(std::uint8_t* data, std::size_t n) {
  const TransferFault fault = takeFault();
  if (!open_ || unplugged_) return {false, 0, kSimErrorNoDevice};
  if (fault == TransferFault::Fail) {
    pending_.clear();
    return {false, 0, kSimErrorIo};
  }
  if (fault == TransferFault::Short) shortenNextRead(std::min(n, pending_.size()) / 2);
  if (fail_reads_ > 0) {
    --fail_reads_;
    pending_.clear();
    return {false, 0, read_error_};
  }
  if (pending_.empty()) {
    waitMs(clock(), config_.command_ms);
    return {false, 0, kSimErrorTimeout};
  }
  waitMs(clock(), pending_transfer_ms_);
  std::size_t count = std::min(n, pending_.size());
  if (short_read_) {
    count = std::min(count, short_read_bytes_);
    short_read_ = false;
  }
  std::memcpy(data, pending_.data(), count);
  pending_.clear();
  pending_transfer_ms_ = 0;
  return {true, count, 0};
}

void SimTransport::handleBlock(const std::uint8_t* b, std::size_t n, std::uint32_t at_ms) {
  pending_.clear();
  pending_transfer_ms_ = 0;
  if (n < 8 || b[0] != kRequestType) return;  // not a command block: the firmware ignores it
  const std::uint8_t command = b[1];
  const unsigned value = u16(b + 2);
  const unsigned index = u16(b + 4);
  const std::size_t length = u16(b + 6);
  switch (command) {
    case 0:  // status: one byte back
      pending_.assign(1, 0);
      break;
    case 1:  // clear: flags 0 starts an exposure on the head; flags 8 only flushes
      if (value == 0 && index <= 1) exposure_start_[index] = at_ms;
      break;
    case 2:
    case 3:
      handleReadout(b, n, command, static_cast<int>(index));
      break;
    case 9:
      setRelays(static_cast<std::uint16_t>(value), at_ms);
      break;
    case 10: {
      const std::size_t count = std::min(length, n - 8);
      auto it = ports_.find(static_cast<int>(index));
      if (it != ports_.end())
        for (SerialDevice* d : it->second)
          d->receive(b + 8, count, at_ms);
      break;
    }
    case 11:
      handleSerialRead(static_cast<int>(index), length, at_ms);
      break;
    default:
      break;
  }
}

void SimTransport::handleReadout(const std::uint8_t* b, std::size_t n, std::uint8_t command, int head) {
  if (head > 1 || n < 18) return;
  const HeadConfig& optics = head == 1 ? config_.guider_head : config_.main_head;
  RenderRequest req;
  req.x0 = static_cast<int>(u16(b + 8));
  req.y0 = static_cast<int>(u16(b + 10));
  req.width = static_cast<int>(u16(b + 12));
  req.height = static_cast<int>(u16(b + 14));
  req.hbin = std::max(1, static_cast<int>(b[16]));
  req.vbin = std::max(1, static_cast<int>(b[17]));
  const std::size_t pixels =
      static_cast<std::size_t>(req.width / req.hbin) * static_cast<std::size_t>(req.height / req.vbin);
  const std::size_t bytes_per_pixel = head == 1 ? 1 : 2;
  if (pixels == 0 || pixels * bytes_per_pixel > kLargestAnswer) return;

  // Command 2: the camera itself waits the delay (it counts the low 16 bits), then reads.
  if (command == 2 && n >= 20) waitMs(clock(), u16(b + 18));
  const std::uint32_t end = clock().millis();
  const std::uint32_t start = exposure_start_[static_cast<std::size_t>(head)];
  const std::uint32_t exposure = end - start;
  const std::uint32_t middle = start + exposure / 2;
  const ImageShift shift = shift_source_ ? shift_source_(middle) : shift_;
  req.exposure_s = exposure / 1000.0;
  if (focuser_source_) focuser_steps_ = focuser_source_(middle);
  req.focuser_steps = focuser_steps_;
  req.shift_x_px = shift.x_px;
  req.shift_y_px = shift.y_px;
  req.frame = frames_++;
  {
    const double t = (middle - config_.start_ms) / 1000.0;
    double at = config_.clouds_at_s;
    if (at < 0.0 && config_.clouds_for_s >= 0.0) at = kCloudsDefaultAtS;
    if (at >= 0.0 && t >= at && (config_.clouds_for_s < 0.0 || t < at + config_.clouds_for_s))
      req.transmission = config_.clouds_transmission;
  }

  pixels_.resize(pixels);
  renderer_.render(optics, req, pixels_.data());
  pending_.resize(pixels * bytes_per_pixel);
  for (std::size_t i = 0; i < pixels; ++i) {
    if (head == 1) {
      pending_[i] = static_cast<std::uint8_t>(pixels_[i] >> 8);  // the guider head sends the high byte
    } else {
      pending_[2 * i] = static_cast<std::uint8_t>(pixels_[i] & 0xFF);
      pending_[2 * i + 1] = static_cast<std::uint8_t>(pixels_[i] >> 8);
    }
  }
  pending_transfer_ms_ =
      static_cast<std::uint32_t>(static_cast<double>(pixels) * config_.readout_us_per_pixel / 1000.0);
  exposure_start_[static_cast<std::size_t>(head)] = end;  // reading the sensor empties it
  const HeadPoint wander = renderer_.wander(optics, req.frame, req.noise);
  last_[static_cast<std::size_t>(head)] = {start,
                                           end,
                                           exposure,
                                           req.x0,
                                           req.y0,
                                           req.width,
                                           req.height,
                                           req.hbin,
                                           req.vbin,
                                           req.frame,
                                           shift.x_px + wander.x,
                                           shift.y_px + wander.y,
                                           req.focuser_steps,
                                           shift.x_px,
                                           shift.y_px};
}

HeadPoint SimTransport::trueHeadPosition(int head, double sky_x_px, double sky_y_px) const {
  const ExposureRecord& e = lastExposure(head);
  return renderer_.skyToHead(head == 1 ? config_.guider_head : config_.main_head, sky_x_px + e.sky_shift_x_px,
                             sky_y_px + e.sky_shift_y_px);
}

void SimTransport::handleSerialRead(int port, std::size_t n, std::uint32_t at_ms) {
  pending_.assign(n, 0);  // a port with nothing to say reads as zeros
  auto it = ports_.find(port);
  if (it == ports_.end()) return;
  std::size_t got = 0;
  for (SerialDevice* d : it->second) {
    if (got >= n) break;
    got += d->reply(pending_.data() + got, n - got, at_ms);
  }
}

}  // namespace qlm::sim
