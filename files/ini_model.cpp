#include "files/ini_model.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <system_error>
#include <utility>

#include "platform/messages.h"

namespace qlm {

namespace {

constexpr int kInvalidDirectoryMessage = 52;

// The twelve numbers in field order.
std::array<int*, 12> slewValues(Settings& s) {
  return {&s.main_ra_rate,       &s.main_dec_rate,       &s.main_ra_backlash,     &s.main_dec_backlash,
          &s.main_ra_hysteresis, &s.main_dec_hysteresis, &s.guider_ra_rate,       &s.guider_dec_rate,
          &s.guider_ra_backlash, &s.guider_dec_backlash, &s.guider_ra_hysteresis, &s.guider_dec_hysteresis};
}

bool isHysteresis(std::size_t i) {
  const auto column = static_cast<int>(i) % IniModel::kGuiderColumn;
  return column == IniModel::kRaHysteresis || column == IniModel::kDecHysteresis;
}

// A typed directory can be used when it names a folder that exists or can be made (one level).
bool usableDirectory(const std::filesystem::path& dir) {
  if (dir.empty()) return false;
  std::error_code ec;
  if (std::filesystem::is_directory(dir, ec)) return true;
  return std::filesystem::create_directory(dir, ec);
}

}  // namespace

int typedNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    v = std::min<long long>(v * 10 + (text[i] - '0'), 1LL << 32);
  if (negative) v = -v;
  return static_cast<int>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

IniModel::IniModel(Settings& s) : s_(s) {
  refresh();
}

void IniModel::refresh() {
  const auto values = slewValues(s_);
  for (std::size_t i = 0; i < values.size(); ++i)
    fields.slew[i] = std::to_string(*values[i]);
  fields.filter_count = std::to_string(s_.number_of_filters);
  fields.filter_names = s_.filter_names;
  fields.autosave_dir = s_.autosave_dir_entered;
  s_.telescope_port = s_.telescope_com == '1' ? 0 : 1;
  if (s_.filter_wheel_present) s_.filter_wheel_port = 1 - s_.telescope_port;
}

std::string IniModel::filterWheelText() const {
  if (!s_.filter_wheel_present) return "";
  return s_.telescope_com == '1' ? "on Com2" : "on Com1";
}

void IniModel::setComPort(char com) {
  s_.telescope_com = com;
  refresh();
}

void IniModel::toggleFilterWheel() {
  s_.filter_wheel_present = !s_.filter_wheel_present;
  refresh();
}

void IniModel::setBackground(char letter) {
  s_.window_background = letter;
  refresh();
}

void IniModel::setMaskRadius(int pixels) {
  s_.mask_radius = pixels;
  refresh();
}

void IniModel::setMainTrainingTime(int seconds) {
  s_.main_training_seconds = seconds;
  refresh();
}

void IniModel::setGuiderTrainingTime(int seconds) {
  s_.guider_training_seconds = seconds;
  refresh();
}

void IniModel::setDriveMethod(char method) {
  s_.drive_method = method;
  refresh();
}

void IniModel::toggleSwapNorthSouth() {
  std::swap(s_.direction_letters[kNorthSlot], s_.direction_letters[kSouthSlot]);
  refresh();
}

void IniModel::toggleSwapEastWest() {
  std::swap(s_.direction_letters[kEastSlot], s_.direction_letters[kWestSlot]);
  refresh();
}

void IniModel::toggleIgnoreDrift() {
  s_.ignore_drift = !s_.ignore_drift;
  refresh();
}

void IniModel::toggleIgnoreBacklash() {
  s_.ignore_backlash = !s_.ignore_backlash;
  refresh();
}

void IniModel::toggleFocusDelay() {
  s_.one_sec_delay_when_focussing = !s_.one_sec_delay_when_focussing;
  refresh();
}

void IniModel::toggleDisableInterrupts() {
  s_.disable_interrupts_during_download = !s_.disable_interrupts_during_download;
  refresh();
}

void IniModel::toggleShowInterfaceDetails() {
  s_.show_interface_details = !s_.show_interface_details;
  refresh();
}

void IniModel::toggleIgnoreVidPid() {
  s_.ignore_camera_vid_pid = !s_.ignore_camera_vid_pid;
  refresh();
}

void IniModel::toggleAutoAdvance() {
  s_.auto_advance_when_imaging = !s_.auto_advance_when_imaging;
  refresh();
}

void IniModel::readSlewFields() {
  const auto values = slewValues(s_);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int v = typedNumber(fields.slew[i]);
    *values[i] = isHysteresis(i) ? std::min(v, kHysteresisCap) : v;
  }
}

void IniModel::setSlewValues() {
  readSlewFields();
  refresh();
}

void IniModel::setFilterDetails() {
  const int count = typedNumber(fields.filter_count);
  s_.number_of_filters = count <= 0 || count > 8 ? kBadFilterCountBecomes : count;
  for (std::size_t i = 0; i < s_.filter_names.size(); ++i)
    s_.filter_names[i] = fields.filter_names[i].substr(0, kFilterNameChars);
  refresh();
}

void IniModel::setAutoSaveDir() {
  const std::string typed = fields.autosave_dir.substr(0, kDirectoryChars);
  // Before a ":" only a drive letter this machine has will do; a name without one is a folder at the
  // root of the data folder.
  const bool bad_drive =
      typed.size() >= 2 && typed[1] == ':' && !std::isalpha(static_cast<unsigned char>(typed[0]));
  if (!bad_drive && usableDirectory(mapDirectory(typed))) {
    s_.autosave_dir_entered = typed;
    s_.autosave_dir = typed.empty() ? "c:\\AUTOSAVE" : typed;
  } else {
    ShowMessage(kInvalidDirectoryMessage);
  }
  readSlewFields();
  refresh();
}

}  // namespace qlm
