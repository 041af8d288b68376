#include "guiding/scope_panels.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "camera/link.h"
#include "files/settings.h"
#include "guiding/lx200.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr int kMessierLast = 110;
constexpr int kCngcLast = 7815;
constexpr std::uint32_t kPollMs = 1000;
constexpr int kSameReadings = 3;
constexpr std::uint32_t kStillMs = 2000;  // a slew has ended when its position stands this long
constexpr double kFullCircleArcsec = 1296000.0;
constexpr double kRaOnTargetArcsec = 90.0;   // six seconds of time: the low-precision RA step
constexpr double kDecOnTargetArcsec = 60.0;  // one minute: the low-precision Dec step

void box(std::string_view caption, std::string_view text) {
  platform().ui->messageBox(std::string(caption), std::string(text), MessageButtons::Ok, MessageIcon::None);
}

// Digits only, within int.
std::optional<int> digits(std::string_view text) {
  if (text.empty()) return std::nullopt;
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text[0] == '-') return std::nullopt;
  return value;
}

}  // namespace

ScopePanelKind scopePanelKind(char drive_method) {
  if (drive_method == 'b') return ScopePanelKind::MoveTelescope;
  if (drive_method == 'a') return ScopePanelKind::Autostar;
  return ScopePanelKind::Lx200;
}

std::string_view scopePanelCaption(ScopePanelKind kind) {
  switch (kind) {
    case ScopePanelKind::MoveTelescope:
      return "Move Telescope";
    case ScopePanelKind::Autostar:
      return "QLM_T4_USB Move Telescope  - Meade Acustar (TM)";
    case ScopePanelKind::Lx200:
      break;
  }
  return "QLM_T4_USB Move Telescope - LX200 non-GPS (TM)";
}

bool prepareTelescopeUse(TelescopeState& s) {
  if (!s.port_selected && loadSettings() != kSettingsOk) {
    ShowMessage(27);
    saveSettings();
  }
  if (linkState().camera_present == 0) FindCamera();
  if (linkState().camera_present == 0) {
    ShowMessage(kCallerTextMessage, "Sorry, Camera not found");
    return false;
  }
  SelectTelescopePort(s);
  return true;
}

std::optional<Planet> findPlanet(std::string_view name) {
  for (const Planet& p : kPlanets) {
    if (p.name.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(name[i])) ==
             std::tolower(static_cast<unsigned char>(p.name[i]));
    if (same) return p;
  }
  return std::nullopt;
}

std::optional<int> fieldNumber(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  const auto value = digits(text);
  if (!value) return std::nullopt;
  return negative ? -*value : *value;
}

std::optional<char> catalogueChoice(int messier, int cngc) {
  if (messier >= 1 && messier <= kMessierLast) return 'm';
  if (cngc >= 1 && cngc <= kCngcLast) return 'c';
  return std::nullopt;
}

bool coordinatesInRange(int hours, int minutes, int degrees, int dec_minutes) {
  return hours >= 0 && hours < 24 && minutes >= 0 && minutes < 60 && degrees >= -89 && degrees < 90 &&
         dec_minutes >= 0 && dec_minutes < 60;
}

ScopePanelModel::ScopePanelModel(ScopePanelKind kind, TelescopeState& s) : kind_(kind), scope_(s) {}

void ScopePanelModel::gotoObject() {
  const int m = fieldNumber(messier).value_or(0);
  const int c = fieldNumber(cngc).value_or(0);
  const auto choice = catalogueChoice(m, c);
  if (!choice) {
    box(kOutOfRangeCaption, kOutOfRangeText);
    return;
  }
  GotoCatalogue(*choice, *choice == 'm' ? m : c, scope_);
  if (scope_.slew_reply.empty()) watchSlew(std::nullopt);
}

void ScopePanelModel::gotoPlanet(int star_number) {
  GotoCatalogue('s', star_number, scope_);
  if (scope_.slew_reply.empty()) watchSlew(std::nullopt);
}

void ScopePanelModel::gotoCoordinates() {
  const auto h = fieldNumber(ra_hours);
  const auto m = fieldNumber(ra_minutes);
  const auto d = fieldNumber(dec_degrees);
  const auto dm = fieldNumber(dec_minutes);
  // A field that is not a number is refused like one out of range, rather than read as 0.
  if (!h || !m || !d || !dm || !coordinatesInRange(*h, *m, *d, *dm)) {
    box(kLx200Caption, kInvalidCoordinatesText);
    return;
  }
  GotoCoordinates(*h, *m, *d, *dm, scope_);
  // The slew reply of a co-ordinate go-to also holds the answers to the co-ordinates and the object
  // info, so it cannot tell a refusal: the readings will. The mount is sent whole minutes; a negative
  // declination is carried by the degrees alone.
  const double dec = (std::abs(*d) * 3600.0 + *dm * 60.0) * (*d < 0 ? -1.0 : 1.0);
  watchSlew(std::pair{(*h * 3600.0 + *m * 60.0) * 15.0, dec});
}

void ScopePanelModel::setRate(char letter) {
  for (const Rate& r : kRates)
    if (r.letter == letter) scope_.rate_command = std::string(r.command);
}

void ScopePanelModel::setFocusFast(bool fast) {
  scope_.focus_speed_command = std::string(fast ? lx200::kFocusFast : lx200::kFocusSlow);
}

void ScopePanelModel::arrowPressed(Direction d) {
  // A manual move stops the mount's slew.
  if (!scope_.moving) watch_ = SlewWatch::Idle;
  StartManualMove(d, scope_);
}

void ScopePanelModel::arrowReleased() {
  StopManualMove(scope_);
}

void ScopePanelModel::focusPressed(bool up) {
  StartFocus(up, scope_);
}

void ScopePanelModel::focusReleased() {
  StopFocus(scope_);
}

void ScopePanelModel::help() {
  box(kind_ == ScopePanelKind::Autostar ? kAutostarHelpCaption : kLx200Caption, kHelpText);
}

char ScopePanelModel::rateLetter() const {
  return scope_.rate_command.size() > 3 ? scope_.rate_command[3] : '\0';
}

bool ScopePanelModel::focusFast() const {
  return scope_.focus_speed_command.size() > 3 && scope_.focus_speed_command[3] == 'F';
}

bool ScopePanelModel::pollPass(const InputEvents& events) {
  if (!polling_) return false;
  if (events.right_button) {
    polling_ = false;
    return false;
  }
  if (++passes_ % 2 == 0) {
    platform().ui->beep();
  } else {
    ReadPosition(scope_);
    noteReading();
  }
  return true;
}

bool ScopePanelModel::pollPosition() {
  const std::string info = scope_.object_info;
  const auto faults = linkState().faults;
  ReadPosition(scope_);
  scope_.object_info = info;
  noteReading();
  return linkState().faults == faults;
}

void ScopePanelModel::watchSlew(std::optional<std::pair<double, double>> target) {
  watch_ = SlewWatch::Slewing;
  target_ = target;
  still_reading_.clear();
  moved_ = false;
}

void ScopePanelModel::noteReading() {
  read_ = true;
  const auto ra = raArcsec(scope_.ra_text);
  const auto dec = decArcsec(scope_.dec_text);
  answered_ = ra && dec;
  if (!answered_ || watch_ != SlewWatch::Slewing) return;
  const std::uint32_t now = platform().clock->millis();
  if (target_ && std::abs(std::remainder(*ra - target_->first, kFullCircleArcsec)) <= kRaOnTargetArcsec &&
      std::abs(*dec - target_->second) <= kDecOnTargetArcsec) {
    watch_ = SlewWatch::OnTarget;
    return;
  }
  const std::string reading = scope_.ra_text + ' ' + scope_.dec_text;
  if (reading != still_reading_) {
    moved_ |= !still_reading_.empty();
    still_reading_ = reading;
    still_since_ms_ = now;
  } else if (now - still_since_ms_ >= kStillMs) {
    watch_ = moved_ ? SlewWatch::Stopped : SlewWatch::NoMove;
  }
}

std::string ScopePanelModel::slewStatus() const {
  if (read_ && !answered_) return "No position from the mount";
  switch (watch_) {
    case SlewWatch::Slewing:
      return "Slewing";
    case SlewWatch::Stopped:
      return "Slew ended";
    case SlewWatch::OnTarget:
      return "Slew ended at the target";
    case SlewWatch::NoMove:
      return "The mount did not move";
    case SlewWatch::Idle:
      break;
  }
  return {};
}

std::string ScopePanelModel::positionRa() const {
  const auto ra = raArcsec(scope_.ra_text);
  if (!ra) return scope_.ra_text;
  const long s = std::lround(*ra / 15.0) % 86400;
  char text[64];
  std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

std::string ScopePanelModel::positionDec() const {
  const auto dec = decArcsec(scope_.dec_text);
  if (!dec) return scope_.dec_text;
  const long s = std::lround(std::abs(*dec));
  char text[64];
  std::snprintf(text, sizeof text, "%c%02ld\xc2\xb0%02ld'%02ld\"", *dec < 0 ? '-' : '+', s / 3600,
                s / 60 % 60, s % 60);
  return text;
}

SlewEnd waitForArrival(std::uint32_t limit_ms, TelescopeState& s) {
  Clock& clock = *platform().clock;
  const std::uint32_t start = clock.millis();
  int same = 0;
  bool answered = false;
  std::string last;
  for (;;) {
    const std::uint32_t t0 = clock.millis();
    ReadPosition(s);
    if (linkState().device_gone) return SlewEnd::LinkLost;
    const bool got = raArcsec(s.ra_text) && decArcsec(s.dec_text);
    const std::string reading = s.ra_text + ' ' + s.dec_text;
    same = got && reading == last ? same + 1 : (got ? 1 : 0);
    answered |= got;
    last = reading;
    if (same >= kSameReadings) return SlewEnd::Arrived;
    if (clock.millis() - start >= limit_ms) return answered ? SlewEnd::TimedOut : SlewEnd::NoAnswer;
    while (clock.millis() - t0 < kPollMs && clock.millis() - start < limit_ms)
      clock.idle(1);
  }
}

std::optional<double> raArcsec(std::string_view reply) {
  const std::string text = lx200::positionText(reply);
  int h = 0;
  int m = 0;
  int sec = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%2d:%2d:%2d%c", &h, &m, &sec, &tail) == 3) {
    if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59) return std::nullopt;
    return (h * 3600.0 + m * 60.0 + sec) * 15.0;
  }
  int tenths = 0;
  if (std::sscanf(text.c_str(), "%2d:%2d.%1d%c", &h, &m, &tenths, &tail) == 3) {
    if (h < 0 || h > 23 || m < 0 || m > 59 || tenths < 0) return std::nullopt;
    return (h * 3600.0 + m * 60.0 + tenths * 6.0) * 15.0;
  }
  return std::nullopt;
}

std::optional<double> decArcsec(std::string_view reply) {
  if (reply.empty() || (reply[0] != '+' && reply[0] != '-')) return std::nullopt;
  const double sign = reply[0] == '-' ? -1.0 : 1.0;
  const std::string text = lx200::positionText(reply.substr(1));
  int d = 0;
  int m = 0;
  int sec = 0;
  char tail = 0;
  const int n = std::sscanf(text.c_str(), "%2d:%2d:%2d%c", &d, &m, &sec, &tail);
  if (n == 2) sec = 0;
  if ((n != 2 && n != 3) || d < 0 || d > 90 || m < 0 || m > 59 || sec < 0 || sec > 59) return std::nullopt;
  return sign * (d * 3600.0 + m * 60.0 + sec);
}

}  // namespace qlm
