#include "sim/ao_unit.h"

#include <algorithm>
#include <cstdlib>

#include "sim/bounded_log.h"
#include "sim/mount.h"

namespace qlm::sim {

namespace {

constexpr std::size_t kHistorySamples = 20000;
constexpr std::size_t kEventLogEntries = 4096;  // the latest commands and relay changes of a run
constexpr std::size_t kCommandBytes = 7;

bool isDirection(char c) {
  return c == 'N' || c == 'S' || c == 'T' || c == 'W';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The direction character a relay value holds, or 0.
char relayDirection(std::uint16_t value) {
  switch (value) {
    case 7:
      return 'T';
    case 11:
      return 'N';
    case 13:
      return 'S';
    case 14:
      return 'W';
    default:
      return 0;
  }
}

}  // namespace

AOUnit::AOUnit(const AOConfig& config, Mount* mount, double main_arcsec_per_px)
    : config_(config), mount_(mount), main_arcsec_per_px_(main_arcsec_per_px) {}

void AOUnit::receive(const std::uint8_t* data, std::size_t n, std::uint32_t at_ms) {
  if (config_.silent) return;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = static_cast<char>(data[i]);
    if (command_.empty()) {
      if (c == 'K' || c == 'H') {
        execute(std::string(1, c), at_ms);
      } else if (c == 'G' || c == 'M') {
        command_ = c;
      }
      continue;  // anything else (the mount's texts on a shared port) is not for the unit
    }
    const bool fits = command_.size() == 1 ? isDirection(c) : isDigit(c);
    if (!fits) {
      command_.clear();
      continue;
    }
    command_ += c;
    if (command_.size() == kCommandBytes) {
      execute(command_, at_ms);
      command_.clear();
    }
  }
}

std::size_t AOUnit::reply(std::uint8_t* out, std::size_t n, std::uint32_t) {
  const std::size_t count = std::min(n, output_.size());
  std::copy_n(output_.begin(), count, out);
  output_.erase(0, count);
  return count;
}

void AOUnit::relays(std::uint16_t value, std::uint32_t at_ms) {
  if (config_.silent) return;
  const char held = relayDirection(relay_value_);
  if (held != 0) {
    const double ms = static_cast<double>(static_cast<std::int32_t>(at_ms - relay_since_ms_));
    tilt(held, static_cast<int>(std::max(0.0, ms) * config_.relay_steps_per_ms), at_ms);
  }
  appendBounded(events_, AOEvent{at_ms, "relay " + std::to_string(value)}, kEventLogEntries);
  relay_value_ = value;
  relay_since_ms_ = at_ms;
  if (value == 0) {
    tilt_x_ = 0;
    tilt_y_ = 0;
    record(at_ms);
  }
}

void AOUnit::execute(const std::string& command, std::uint32_t at_ms) {
  appendBounded(events_, AOEvent{at_ms, command}, kEventLogEntries);
  const char op = command[0];
  if (op == 'H') {
    if (config_.echo) output_ += 'H';
    return;
  }
  if (op == 'K') {
    tilt_x_ = 0;
    tilt_y_ = 0;
    record(at_ms);
    return;
  }
  const char d = command[1];
  const int count = std::atoi(command.c_str() + 2);
  if (op == 'G') {
    tilt(d, count, at_ms);
    return;
  }
  // 'M': the unit drives the mount through its own cable.
  ++mount_moves_;
  if (mount_ == nullptr) return;
  const double arcsec = count * config_.mount_arcsec_per_count;
  switch (d) {
    case 'T':
      mount_->guideBy(arcsec, 0.0, at_ms);
      break;
    case 'W':
      mount_->guideBy(-arcsec, 0.0, at_ms);
      break;
    case 'N':
      mount_->guideBy(0.0, arcsec, at_ms);
      break;
    default:
      mount_->guideBy(0.0, -arcsec, at_ms);
      break;
  }
}

void AOUnit::tilt(char direction, int steps, std::uint32_t at_ms) {
  int* axis = (direction == 'N' || direction == 'S') ? &tilt_y_ : &tilt_x_;
  const int sign = (direction == 'N' || direction == 'T') ? 1 : -1;
  const int wanted = *axis + sign * steps;
  const int limit = std::max(0, config_.travel_steps);
  *axis = std::clamp(wanted, -limit, limit);
  if (*axis != wanted) ++stops_;
  largest_tilt_ = std::max(largest_tilt_, std::abs(*axis));
  record(at_ms);
}

void AOUnit::record(std::uint32_t at_ms) {
  if (!history_.empty() && history_.back().at_ms == at_ms) history_.pop_back();
  history_.push_back({at_ms, tilt_x_, tilt_y_});
  if (history_.size() > kHistorySamples) history_.pop_front();
  trimHistory(history_);
}

int AOUnit::tiltXAt(std::uint32_t at_ms) const {
  for (auto it = history_.rbegin(); it != history_.rend(); ++it)
    if (static_cast<std::int32_t>(at_ms - it->at_ms) >= 0) return it->x;
  return 0;
}

int AOUnit::tiltYAt(std::uint32_t at_ms) const {
  for (auto it = history_.rbegin(); it != history_.rend(); ++it)
    if (static_cast<std::int32_t>(at_ms - it->at_ms) >= 0) return it->y;
  return 0;
}

double AOUnit::shiftXPxAt(std::uint32_t at_ms) const {
  return -tiltXAt(at_ms) * config_.step_arcsec / main_arcsec_per_px_;
}

double AOUnit::shiftYPxAt(std::uint32_t at_ms) const {
  return tiltYAt(at_ms) * config_.step_arcsec / main_arcsec_per_px_;
}

std::vector<std::string> AOUnit::commands() const {
  std::vector<std::string> list;
  for (const AOEvent& e : events_)
    list.push_back(e.text);
  return list;
}

}  // namespace qlm::sim
