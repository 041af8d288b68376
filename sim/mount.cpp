#include "sim/mount.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sim/bounded_log.h"
#include "sim/sky_catalogue.h"

namespace qlm::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFullCircle = 1296000.0;  // arcseconds
constexpr std::size_t kHistorySamples = 20000;
// The record of commands, relay changes and received bytes keeps the latest of a run (see events()).
constexpr std::size_t kEventLogEntries = 4096;
constexpr std::size_t kReceivedLogBytes = 65536;
constexpr std::size_t kLongestCommand = 40;

double stepToward(double from, double to, double step) {
  if (std::abs(to - from) <= step) return to;
  return from + (to > from ? step : -step);
}

std::string hms(double arcsec) {
  double s = std::fmod(arcsec, kFullCircle);
  if (s < 0) s += kFullCircle;
  long total = std::lround(s / 15.0) % 86400;
  char text[64];
  std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  return text;
}

std::string dms(double arcsec) {
  const long total = std::lround(std::abs(arcsec));
  char text[64];
  std::snprintf(text, sizeof text, "%c%02ld*%02ld'%02ld", arcsec < 0 ? '-' : '+', total / 3600,
                total / 60 % 60, total % 60);
  return text;
}

}  // namespace

Mount::Mount(const MountConfig& config, std::uint32_t start_ms, std::time_t start_calendar)
    : config_(config),
      start_ms_(start_ms),
      start_calendar_(start_calendar),
      start_ra_arcsec_(config.start_ra_hours * 15.0 * 3600.0),
      start_dec_arcsec_(config.start_dec_deg * 3600.0),
      last_ms_(start_ms) {
  // Scale the sum of sines so that its swing over one period is the configured peak to peak.
  double lo = 0.0;
  double hi = 0.0;
  for (int i = 0; i < 4000; ++i) {
    const double a = 2.0 * kPi * i / 4000.0;
    const double v = std::sin(a) + 0.3 * std::sin(2.0 * a + 0.9);
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  pe_scale_ = config_.pe_peak_to_peak_arcsec / (hi - lo);
  axes_.ra = start_ra_arcsec_;
  axes_.dec = start_dec_arcsec_;
  axes_.dec_motor = start_dec_arcsec_ + config_.dec_backlash_arcsec / 2.0;  // the gears last turned north
  axes_.focuser = config_.focuser_steps;
  history_.push_back({start_ms_, axes_});
}

double Mount::secondsSinceStart(std::uint32_t at_ms) const {
  return static_cast<double>(at_ms - start_ms_) / 1000.0;
}

std::time_t Mount::calendarAt(std::uint32_t at_ms) const {
  return start_calendar_ + static_cast<std::time_t>((at_ms - start_ms_) / 1000);
}

MountModel Mount::model() const {
  if (config_.model != MountModel::Auto) return config_.model;
  return model_source_ ? model_source_() : MountModel::Lx200;
}

std::uint32_t Mount::replyDelayMs() const {
  if (config_.reply_delay_ms >= 0) return static_cast<std::uint32_t>(config_.reply_delay_ms);
  return model() == MountModel::Autostar ? kAutostarReplyDelayMs : 0;
}

double Mount::periodicErrorArcsec(double t_s) const {
  if (config_.pe_period_s <= 0.0) return 0.0;
  const double a = 2.0 * kPi * t_s / config_.pe_period_s;
  return pe_scale_ * (std::sin(a) + 0.3 * std::sin(2.0 * a + 0.9));
}

double Mount::rateArcsecPerS(char letter) const {
  switch (letter) {
    case 'G':
      return config_.guide_rate_x * kSiderealArcsecPerS;
    case 'C':
      return config_.centre_rate_x * kSiderealArcsecPerS;
    case 'M':
      return config_.find_rate_x * kSiderealArcsecPerS;
    default:
      return config_.slew_rate_x * kSiderealArcsecPerS;
  }
}

Mount::Axes Mount::axesAfter(const Axes& from, double dt) const {
  Axes a = from;
  if (dt <= 0.0) return a;
  const double guide = rateArcsecPerS('G');
  const double half_play = config_.dec_backlash_arcsec / 2.0;
  if (slewing_) {
    const double step = rateArcsecPerS('S') * dt;
    // RA turns the shorter way round the circle.
    const double ra_left = std::remainder(target_ra_ - a.ra, kFullCircle);
    a.ra = std::abs(ra_left) <= step ? target_ra_ : a.ra + (ra_left > 0 ? step : -step);
    a.dec = stepToward(a.dec, target_dec_, step);
    a.dec_motor = a.dec + (target_dec_ >= from.dec ? half_play : -half_play);
  } else {
    double ra_rate = move_ra_ * rateArcsecPerS(rate_letter_);
    double dec_rate = move_dec_ * rateArcsecPerS(rate_letter_);
    if (relay_bits_ & 8) ra_rate += guide;
    if (relay_bits_ & 1) ra_rate -= guide;
    if (relay_bits_ & 4) dec_rate += guide;
    if (relay_bits_ & 2) dec_rate -= guide;
    a.ra += ra_rate * dt;
    a.dec_motor += dec_rate * dt;
    // The axis follows the motor only once the play is taken up.
    a.dec = std::clamp(a.dec, a.dec_motor - half_play, a.dec_motor + half_play);
  }
  a.focuser += focus_rate_ * dt;
  return a;
}

void Mount::advance(std::uint32_t at_ms) {
  const auto dt_ms = static_cast<std::int32_t>(at_ms - last_ms_);
  if (dt_ms <= 0) return;
  axes_ = axesAfter(axes_, dt_ms / 1000.0);
  last_ms_ = at_ms;
  if (slewing_ && axes_.ra == target_ra_ && axes_.dec == target_dec_) slewing_ = false;
  history_.push_back({at_ms, axes_});
  if (history_.size() > kHistorySamples) history_.pop_front();
  trimHistory(history_);
}

Mount::Axes Mount::axesInterpolated(std::uint32_t at_ms) {
  const auto ahead = static_cast<std::int32_t>(at_ms - last_ms_);
  if (ahead >= 0) return axesAfter(axes_, ahead / 1000.0);
  // Earlier than the last event: motion between two events is uniform, so interpolate.
  for (std::size_t i = history_.size(); i-- > 1;) {
    const Sample& before = history_[i - 1];
    const Sample& after = history_[i];
    if (static_cast<std::int32_t>(at_ms - before.at_ms) < 0) continue;
    const double span = static_cast<double>(after.at_ms - before.at_ms);
    const double f = span > 0 ? static_cast<double>(at_ms - before.at_ms) / span : 1.0;
    Axes a;
    a.ra = before.axes.ra + f * (after.axes.ra - before.axes.ra);
    a.dec = before.axes.dec + f * (after.axes.dec - before.axes.dec);
    a.dec_motor = before.axes.dec_motor + f * (after.axes.dec_motor - before.axes.dec_motor);
    a.focuser = before.axes.focuser + f * (after.axes.focuser - before.axes.focuser);
    return a;
  }
  return history_.front().axes;
}

MountPointing Mount::axesAt(std::uint32_t at_ms) {
  const Axes a = axesInterpolated(at_ms);
  return {a.ra, a.dec};
}

MountPointing Mount::pointingAt(std::uint32_t at_ms) {
  const Axes a = axesInterpolated(at_ms);
  const double t = secondsSinceStart(at_ms);
  return {a.ra + periodicErrorArcsec(t) + config_.drift_ra_arcsec_per_s * t,
          a.dec + config_.drift_dec_arcsec_per_s * t};
}

double Mount::shiftXPxAt(std::uint32_t at_ms) {
  const MountPointing p = pointingAt(at_ms);
  return std::remainder(p.ra_arcsec - start_ra_arcsec_, kFullCircle) *
         std::cos(p.dec_arcsec / 3600.0 * kPi / 180.0) / config_.main_arcsec_per_px;
}

double Mount::shiftYPxAt(std::uint32_t at_ms) {
  return (pointingAt(at_ms).dec_arcsec - start_dec_arcsec_) / config_.main_arcsec_per_px;
}

double Mount::focuserAt(std::uint32_t at_ms) {
  return axesInterpolated(at_ms).focuser;
}

void Mount::relays(std::uint16_t value, std::uint32_t at_ms) {
  advance(at_ms);
  appendBounded(events_, MountEvent{at_ms, "relays " + std::to_string(value)}, kEventLogEntries);
  if (value <= 15) relay_bits_ = value;  // larger values are AO command bytes, not direction bits
}

void Mount::guideBy(double ra_arcsec, double dec_arcsec, std::uint32_t at_ms) {
  advance(at_ms);
  const double half_play = config_.dec_backlash_arcsec / 2.0;
  axes_.ra += ra_arcsec;
  axes_.dec_motor += dec_arcsec;
  axes_.dec = std::clamp(axes_.dec, axes_.dec_motor - half_play, axes_.dec_motor + half_play);
  if (!history_.empty() && history_.back().at_ms == at_ms)
    history_.back().axes = axes_;
  else
    history_.push_back({at_ms, axes_});
  if (history_.size() > kHistorySamples) history_.pop_front();
  trimHistory(history_);
  appendBounded(events_, MountEvent{at_ms, "ao move"}, kEventLogEntries);
}

void Mount::receive(const std::uint8_t* data, std::size_t n, std::uint32_t at_ms) {
  advance(at_ms);
  for (std::size_t i = 0; i < n; ++i) {
    const char c = static_cast<char>(data[i]);
    appendBounded(received_bytes_, c, kReceivedLogBytes);
    if (c == '#') {
      // A '#' ends the command being read; a '#' not followed by ':' starts nothing.
      if (collecting_) execute(command_, at_ms);
      collecting_ = false;
      command_.clear();
    } else if (c == ':' && after_hash_) {
      collecting_ = true;
      command_.clear();
    } else if (collecting_) {
      if (command_.size() < kLongestCommand) command_ += c;
    }
    after_hash_ = c == '#';
  }
}

std::size_t Mount::reply(std::uint8_t* out, std::size_t n, std::uint32_t at_ms) {
  advance(at_ms);
  std::size_t count = 0;
  while (count < n && !output_.empty() && static_cast<std::int32_t>(at_ms - output_.front().first) >= 0) {
    out[count++] = static_cast<std::uint8_t>(output_.front().second);
    output_.pop_front();
  }
  return count;
}

void Mount::answer(const std::string& text, std::uint32_t at_ms) {
  const std::uint32_t ready = at_ms + replyDelayMs();
  std::string sent;
  switch (config_.reply_fault) {
    case ReplyFault::None:
      sent = text;
      break;
    case ReplyFault::Silent:
      break;
    case ReplyFault::Short:
      sent = text.substr(0, text.size() / 2);
      break;
    case ReplyFault::Garbage:
      for (std::size_t i = 0; i < text.size(); ++i) {
        garbage_state_ ^= garbage_state_ << 13;
        garbage_state_ ^= garbage_state_ >> 7;
        garbage_state_ ^= garbage_state_ << 17;
        char c = static_cast<char>(1 + garbage_state_ % 255);
        if (c == '#') c = '?';
        sent += c;
      }
      break;
  }
  for (char c : sent)
    output_.emplace_back(ready, c);
}

std::vector<std::string> Mount::commands() const {
  std::vector<std::string> list;
  for (const MountEvent& e : events_)
    if (e.text.rfind("relays ", 0) != 0 && e.text != "ao move") list.push_back("#:" + e.text + "#");
  return list;
}

void Mount::execute(const std::string& cmd, std::uint32_t at_ms) {
  appendBounded(events_, MountEvent{at_ms, cmd}, kEventLogEntries);
  if (cmd.empty()) return;
  const char op = cmd[0];
  const char arg = cmd.size() > 1 ? cmd[1] : '\0';
  const int axis_sign = (arg == 'e' || arg == 'n') ? 1 : -1;
  const bool ra_axis = arg == 'e' || arg == 'w';
  const bool dec_axis = arg == 'n' || arg == 's';
  if (op == 'R' && cmd.size() == 2 && (arg == 'G' || arg == 'C' || arg == 'M' || arg == 'S')) {
    rate_letter_ = arg;
  } else if (op == 'M' && cmd.size() == 2 && (ra_axis || dec_axis)) {
    slewing_ = false;
    (ra_axis ? move_ra_ : move_dec_) = axis_sign;
  } else if (cmd == "MS") {
    if (have_target_) {
      slewing_ = true;
      move_ra_ = 0;
      move_dec_ = 0;
      answer("0", at_ms);
    } else {
      answer(library_miss_ ? "1Object not in library#" : "1No object selected#", at_ms);
    }
  } else if (cmd == "Q") {
    slewing_ = false;
    move_ra_ = 0;
    move_dec_ = 0;
  } else if (op == 'Q' && cmd.size() == 2 && (ra_axis || dec_axis)) {
    int& move = ra_axis ? move_ra_ : move_dec_;
    if (move == axis_sign) move = 0;
  } else if (op == 'L' && cmd.size() >= 3 && (arg == 'M' || arg == 'S' || arg == 'C')) {
    const char kind = arg == 'M' ? 'm' : (arg == 'S' ? 's' : 'c');
    const auto object = libraryObject(kind, std::atoi(cmd.c_str() + 2), calendarAt(at_ms));
    have_target_ = object.has_value();
    library_miss_ = !object;
    target_name_ = object ? object->name : "Not in library";
    if (object) {
      target_ra_ = object->ra_hours * 54000.0;
      target_dec_ = object->dec_deg * 3600.0;
    }
  } else if (cmd == "LI") {
    answer(target_name_ + "#", at_ms);
  } else if (op == 'S' && (arg == 'r' || arg == 'd')) {
    int a = 0;
    int b = 0;
    char sign = '+';
    bool ok = false;
    if (arg == 'r') {
      ok = std::sscanf(cmd.c_str() + 2, " %d:%d", &a, &b) == 2 && a >= 0 && a < 24 && b >= 0 && b < 60;
      if (ok) target_ra_ = a * 54000.0 + b * 900.0;
    } else {
      ok = std::sscanf(cmd.c_str() + 2, " %c%d*%d", &sign, &a, &b) == 3 && (sign == '+' || sign == '-') &&
           a >= 0 && a <= 90 && b >= 0 && b < 60;
      if (ok) target_dec_ = (sign == '-' ? -1.0 : 1.0) * (a * 3600.0 + b * 60.0);
    }
    if (ok) {
      have_target_ = true;
      library_miss_ = false;
      target_name_ = "Coordinates";
    }
    answer(ok ? "1" : "0", at_ms);
  } else if (cmd == "GR") {
    answer(hms(axes_.ra) + "#", at_ms);
  } else if (cmd == "GD") {
    answer(dms(axes_.dec) + "#", at_ms);
  } else if (cmd == "FF" || cmd == "FS") {
    focus_fast_ = cmd == "FF";
  } else if (cmd == "F+" || cmd == "F-") {
    const double speed = focus_fast_ ? config_.focus_fast_steps_per_s : config_.focus_slow_steps_per_s;
    focus_rate_ = cmd == "F+" ? speed : -speed;
  } else if (cmd == "FQ") {
    focus_rate_ = 0.0;
  }
}

}  // namespace qlm::sim
