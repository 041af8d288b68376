#include "files/settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "files/fits_details.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

Settings& settings() {
  static Settings s;
  return s;
}

void resetSettings(Settings& s) {
  s = Settings{};
}

namespace {

constexpr std::size_t kCardBytes = 80;
constexpr std::size_t kCardPrefix = 11;
constexpr std::size_t kCardValue = kCardBytes - kCardPrefix - 1;  // 68: room before the closing quote
constexpr std::size_t kDirBytes = 100;
constexpr std::size_t kNameBytes = 10;
constexpr const char* kDefaultAutosaveDir = "c:\\AUTOSAVE";

// How reading one stretch of the record ended.
enum class Read { Go, Short, Invalid, OlderFile };

// Reads the record's fields from an open file; every read must return its full size.
class FieldReader {
 public:
  explicit FieldReader(std::FILE* f) : f_(f) {}
  bool bytes(char* out, std::size_t n) { return std::fread(out, 1, n, f_) == n; }
  bool letter(char& c) { return bytes(&c, 1); }
  bool int16(int& v) {
    unsigned char b[2];
    if (!bytes(reinterpret_cast<char*>(b), 2)) return false;
    v = static_cast<std::int16_t>(static_cast<std::uint16_t>(b[0] | (b[1] << 8)));
    return true;
  }
  bool uint16(int& v) {
    if (!int16(v)) return false;
    v = static_cast<std::uint16_t>(v);
    return true;
  }
  bool real(double& d) {
    unsigned char b[8];
    if (!bytes(reinterpret_cast<char*>(b), 8)) return false;
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
      bits = (bits << 8) | b[i];
    std::memcpy(&d, &bits, sizeof d);
    return true;
  }

 private:
  std::FILE* f_;
};

// Writes the record's fields through an atomic file; after the first short write nothing more is
// written and ok() stays false.
class FieldWriter {
 public:
  explicit FieldWriter(AtomicFile& f) : f_(f) {}
  bool ok() const { return ok_; }
  void bytes(const char* p, std::size_t n) {
    if (ok_) ok_ = f_.write(p, n);
  }
  void letter(char c) { bytes(&c, 1); }
  void yesNo(bool on) { letter(on ? 'y' : 'n'); }
  void oneZero(bool on) { letter(on ? '1' : '0'); }
  // The low 16 bits of `v`, little-endian.
  void int16(int v) {
    const auto u = static_cast<std::uint16_t>(v);
    const char b[2] = {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    bytes(b, 2);
  }
  void real(double d) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof d);
    char b[8];
    for (char& c : b) {
      c = static_cast<char>(bits & 0xFF);
      bits >>= 8;
    }
    bytes(b, 8);
  }
  // A FITS text card: the prefix, the value (at most 68 characters), a quote, spaces to 80 bytes.
  void card(const char* prefix, const std::string& value) {
    std::string c(prefix);
    c += value.substr(0, kCardValue);
    c += '\'';
    c.resize(kCardBytes, ' ');
    bytes(c.data(), kCardBytes);
  }
  // A free text as four cards of 68 characters each, padded with spaces; the rest is dropped.
  void fourCards(const char* prefix, const std::string& text) {
    for (std::size_t k = 0; k < 4; ++k) {
      std::string piece = k * kCardValue < text.size() ? text.substr(k * kCardValue, kCardValue) : "";
      piece.resize(kCardValue, ' ');
      card(prefix, piece);
    }
  }

 private:
  AtomicFile& f_;
  bool ok_ = true;
};

// Rates, hysteresis, RA backlash and gains of 50 or more are written as 10; Dec backlash as 0.
int clampTen(int v) {
  return v >= 50 ? 10 : v;
}
int clampZero(int v) {
  return v >= 50 ? 0 : v;
}

// The value of a text card: from the twelfth byte up to the next single quote.
std::string cardValue(const char* card) {
  std::string v(card + kCardPrefix, kCardBytes - kCardPrefix);
  return v.substr(0, v.find('\''));
}

bool isYesNo(char c) {
  return c == 'y' || c == 'n';
}
bool isOneZero(char c) {
  return c == '1' || c == '0';
}
bool isEastWest(char c) {
  return c == 'e' || c == 'w';
}

// The direction letters travel in the file as the north, south, east and west slots.
std::array<char, 4> fileOrder(const std::array<char, 4>& slots) {
  return {slots[kNorthSlot], slots[kSouthSlot], slots[kEastSlot], slots[kWestSlot]};
}

// Offsets 0 to 31: counter, time difference, com port, mask radius, background, main camera guiding,
// drive method and direction letters.
Read readGuiding(FieldReader& r, Settings& s, FitsDetails& fits) {
  int v = 0;
  char c = 0;
  if (!r.uint16(v)) return Read::Short;
  s.autosave_counter = static_cast<std::uint16_t>(v);
  if (!r.int16(v)) return Read::Short;
  fits.timeDifferenceHours = static_cast<std::int16_t>(v);
  if (!r.letter(c)) return Read::Short;
  if (c == '1' || c == '2') {
    s.telescope_com = c;
    s.telescope_port = c == '1' ? 0 : 1;
  } else {
    ShowMessage(kCallerTextMessage, "Failed to read comm port value");
  }
  if (!r.int16(s.reserved_word1) || !r.int16(s.mask_radius) || !r.int16(s.reserved_word2)) return Read::Short;
  if (!r.letter(c)) return Read::Short;
  if (c != 'l' && c != 'g' && c != 'r') return Read::Invalid;
  s.window_background = c;
  if (!r.letter(c)) return Read::Short;
  s.one_sec_delay_when_focussing = c == '1';
  if (!r.int16(s.main_ra_rate) || !r.int16(s.main_dec_rate) || !r.int16(v)) return Read::Short;
  if (v < 0 || v > 30) return Read::Invalid;
  s.main_ra_backlash = v;
  if (!r.int16(s.main_dec_backlash) || !r.letter(c)) return Read::Short;
  if (!isOneZero(c)) return Read::Invalid;
  s.ignore_drift = c == '1';
  if (!r.letter(c)) return Read::Short;
  if (c != 'n' && c != 'l' && c != 'a' && c != 'b') {
    s.drive_method = 'n';
    return Read::Invalid;
  }
  s.drive_method = c;
  if (!r.letter(c)) return Read::Short;
  if (!isOneZero(c)) return Read::Invalid;
  s.disable_interrupts_during_download = c == '1';
  if (!r.int16(s.main_ra_hysteresis) || !r.int16(s.main_dec_hysteresis)) return Read::Short;
  char nsew[4];
  if (!r.bytes(nsew, 4)) return Read::Short;
  if (!isEastWest(nsew[2]) && !isEastWest(nsew[3])) return Read::Invalid;
  s.direction_letters = {nsew[2], nsew[3], nsew[0], nsew[1]};
  return Read::Go;
}

// Offsets 32 to 44: the auto-processing choices. Returns the first byte of the object card in
// `card_start` when the older layout without reserved flag 1 is met.
Read readProcessing(FieldReader& r, Settings& s, int& card_start) {
  char c = 0;
  int v = 0;
  if (!r.letter(c)) return Read::Short;
  s.apply_weak_stretch = c == 'y';
  if (!r.letter(c)) return Read::Short;
  s.apply_strong_stretch = c == 'y';
  if (!r.letter(c)) return Read::OlderFile;  // an older file ends here
  s.auto_stretch_user = c == 'y';
  if (!r.int16(v)) return Read::Short;
  if (v < 1 || v > 36) return Read::Invalid;
  s.user_stretch_value = v;
  if (!r.letter(c)) return Read::Short;
  if (!isYesNo(c)) return Read::Invalid;
  s.high_pass_low_power = c == 'y';
  if (!r.letter(c)) return Read::Short;
  if (!isYesNo(c)) return Read::Invalid;
  s.unsharp_mask = c == 'y';
  for (int* field : {&s.unsharp_dia, &s.unsharp_power}) {
    if (!r.uint16(v)) return Read::Short;
    if (v < 1 || v > 6) return Read::Invalid;
    *field = v;
  }
  if (!r.letter(c)) return Read::Short;
  if (!isYesNo(c)) return Read::Invalid;
  s.remove_background = c == 'y';
  if (!r.letter(c)) return Read::Short;
  s.reserved_flag1 = c == 'y';
  card_start = isYesNo(c) ? -1 : static_cast<unsigned char>(c);
  return Read::Go;
}

// Offsets 45 to 1164: the FITS text cards.
Read readCards(FieldReader& r, FitsDetails& fits, int card_start) {
  char card[kCardBytes];
  // The first card may already have its first byte (older layout).
  if (card_start >= 0) {
    card[0] = static_cast<char>(card_start);
    if (!r.bytes(card + 1, kCardBytes - 1)) return Read::Short;
  } else if (!r.bytes(card, kCardBytes)) {
    return Read::Short;
  }
  fits.object = cardValue(card);
  for (std::string* field : {&fits.telescope, &fits.instrument, &fits.observer, &fits.origin}) {
    if (!r.bytes(card, kCardBytes)) return Read::Short;
    *field = cardValue(card);
  }
  for (std::string* text : {&fits.historyText, &fits.commentText}) {
    text->clear();
    for (int k = 0; k < 4; ++k) {
      if (!r.bytes(card, kCardBytes)) return Read::Short;
      const std::string piece = cardValue(card);
      *text += k < 3 ? piece : piece.substr(0, 51);
    }
  }
  if (!r.bytes(card, kCardBytes)) return Read::Short;
  fits.filterName = cardValue(card);
  return Read::Go;
}

// The autosave directory text: up to the zero byte; a quote from the second byte on also ends it.
std::string directoryText(const char* bytes) {
  std::string text;
  for (std::size_t i = 0; i < kDirBytes && bytes[i] != '\0'; ++i) {
    if (i >= 1 && bytes[i] == '\'') break;
    text.push_back(bytes[i]);
  }
  text.resize(std::min<std::size_t>(text.size(), kDirBytes - 1));
  return text;
}

// Offsets 1165 to 1301: telescope optics, flags, autosave directory, guider defaults, filters count.
Read readGuider(FieldReader& r, Settings& s, FitsDetails& fits) {
  char c = 0;
  int v = 0;
  if (!r.real(fits.aperture) || !r.real(fits.focalLength) || !r.letter(c)) return Read::Short;
  fits.unsignedFits = false;  // always 16-bit signed with BZERO 32768 after a load
  if (!r.letter(c)) return Read::Short;
  s.show_interface_details = c == 'y';
  char dir[kDirBytes];
  if (!r.bytes(dir, kDirBytes)) return Read::Short;
  s.autosave_dir_entered = directoryText(dir);
  s.autosave_dir = s.autosave_dir_entered.empty() ? kDefaultAutosaveDir : s.autosave_dir_entered;
  if (!r.int16(s.guider_ra_rate) || !r.int16(s.guider_dec_rate) || !r.int16(v)) return Read::Short;
  if (v < 0 || v > 30) return Read::Invalid;
  s.guider_ra_backlash = v;
  if (!r.int16(s.guider_dec_backlash) || !r.int16(s.guider_ra_hysteresis) ||
      !r.int16(s.guider_dec_hysteresis)) {
    return Read::Short;
  }
  for (bool* flag : {&s.ignore_backlash, &s.filter_wheel_present}) {
    if (!r.letter(c)) return Read::Short;
    *flag = c == 'y';
  }
  if (!r.int16(v)) return Read::Short;
  s.default_ra_angle = v;
  if (!r.letter(c)) return Read::Short;
  s.ignore_ra_angle = c == 'y';
  if (!r.int16(s.number_of_filters)) return Read::Short;
  return Read::Go;
}

// Offsets 1302 to 1401: filter names, switches and the AO unit.
Read readFiltersAndAo(FieldReader& r, Settings& s) {
  char c = 0;
  for (std::string& name : s.filter_names) {
    char bytes[kNameBytes];
    if (!r.bytes(bytes, kNameBytes)) return Read::Short;
    name.assign(bytes, strnlen(bytes, kNameBytes - 1));
  }
  for (bool* flag :
       {&s.reserved_flag2, &s.reserved_flag3, &s.ignore_camera_vid_pid, &s.auto_advance_when_imaging}) {
    if (!r.letter(c)) return Read::Short;
    *flag = c == 'y';
  }
  for (int* gain :
       {&s.ao_default_lr_gain, &s.ao_default_ud_gain, &s.ao_latest_lr_gain, &s.ao_latest_ud_gain}) {
    if (!r.int16(*gain)) return Read::Short;
  }
  if (!r.letter(c)) return Read::Short;
  s.ao_through_relays = c == 'y';
  if (!r.int16(s.ao_port) || !r.letter(s.guide_device)) return Read::Short;
  for (DirectionSlot slot : {kNorthSlot, kSouthSlot, kEastSlot, kWestSlot}) {
    if (!r.letter(c)) return Read::Short;
    s.ao_direction_letters[slot] = c;
  }
  return Read::Go;
}

Read readRecord(FieldReader& r, Settings& s, FitsDetails& fits) {
  Read step = readGuiding(r, s, fits);
  int card_start = -1;
  if (step == Read::Go) step = readProcessing(r, s, card_start);
  if (step == Read::Go) step = readCards(r, fits, card_start);
  if (step == Read::Go) step = readGuider(r, s, fits);
  if (step == Read::Go) step = readFiltersAndAo(r, s);
  return step;
}

void writeGuiding(FieldWriter& w, const Settings& s, const FitsDetails& fits) {
  w.int16(s.autosave_counter);
  w.int16(fits.timeDifferenceHours);
  w.letter(s.telescope_com == '1' ? '1' : '2');
  w.int16(s.reserved_word1);
  w.int16(s.mask_radius);
  w.int16(s.reserved_word2);
  w.letter(s.window_background);
  w.oneZero(s.one_sec_delay_when_focussing);
  w.int16(clampTen(s.main_ra_rate));
  w.int16(clampTen(s.main_dec_rate));
  w.int16(clampTen(s.main_ra_backlash));
  w.int16(clampZero(s.main_dec_backlash));
  w.oneZero(s.ignore_drift);
  w.letter(s.drive_method);
  w.oneZero(s.disable_interrupts_during_download);
  w.int16(clampTen(s.main_ra_hysteresis));
  w.int16(clampTen(s.main_dec_hysteresis));
  const auto nsew = fileOrder(s.direction_letters);
  w.bytes(nsew.data(), nsew.size());
}

void writeProcessing(FieldWriter& w, const Settings& s) {
  w.yesNo(s.apply_weak_stretch);
  w.yesNo(s.apply_strong_stretch);
  w.yesNo(s.auto_stretch_user);
  w.int16(s.user_stretch_value);
  w.yesNo(s.high_pass_low_power);
  w.yesNo(s.unsharp_mask);
  w.int16(s.unsharp_dia);
  w.int16(s.unsharp_power);
  w.yesNo(s.remove_background);
  w.yesNo(s.reserved_flag1);
}

void writeCards(FieldWriter& w, const FitsDetails& fits) {
  w.card("OBJECT  = '", fits.object);
  w.card("TELESCOP= '", fits.telescope);
  w.card("INSTRUME= '", fits.instrument);
  w.card("OBSERVER= '", fits.observer);
  w.card("ORIGIN  = '", fits.origin);
  w.fourCards("HISTORY = '", fits.historyText);
  w.fourCards("COMMENT = '", fits.commentText);
  w.card("FILTER  = '", fits.filterName);
}

// Whole degrees toward zero, kept inside the range of an int before the cast.
int truncatedAngle(double degrees) {
  if (!std::isfinite(degrees)) return 0;
  return static_cast<int>(std::clamp(std::trunc(degrees), -2147483648.0, 2147483647.0));
}

void writeGuider(FieldWriter& w, const Settings& s, const FitsDetails& fits) {
  w.real(fits.aperture);
  w.real(fits.focalLength);
  w.yesNo(false);  // unsignedFits is never stored as on
  w.yesNo(s.show_interface_details);
  std::string dir = s.autosave_dir_entered.substr(0, kDirBytes - 1);
  dir.push_back('\0');
  dir.resize(kDirBytes, ' ');
  w.bytes(dir.data(), kDirBytes);
  w.int16(clampTen(s.guider_ra_rate));
  w.int16(clampTen(s.guider_dec_rate));
  w.int16(clampTen(s.guider_ra_backlash));
  w.int16(clampZero(s.guider_dec_backlash));
  w.int16(clampTen(s.guider_ra_hysteresis));
  w.int16(clampTen(s.guider_dec_hysteresis));
  w.yesNo(s.ignore_backlash);
  w.yesNo(s.filter_wheel_present);
  w.int16(truncatedAngle(s.default_ra_angle));
  w.yesNo(s.ignore_ra_angle);
  w.int16(s.number_of_filters);
}

void writeFiltersAndAo(FieldWriter& w, const Settings& s) {
  for (const std::string& name : s.filter_names) {
    char bytes[kNameBytes] = {};
    std::memcpy(bytes, name.data(), std::min(name.size(), kNameBytes - 1));
    w.bytes(bytes, kNameBytes);
  }
  w.yesNo(s.reserved_flag2);
  w.yesNo(s.reserved_flag3);
  w.yesNo(s.ignore_camera_vid_pid);
  w.yesNo(s.auto_advance_when_imaging);
  w.int16(clampTen(s.ao_default_lr_gain));
  w.int16(clampTen(s.ao_default_ud_gain));
  w.int16(clampTen(s.ao_latest_lr_gain));
  w.int16(clampTen(s.ao_latest_ud_gain));
  w.yesNo(s.ao_through_relays);
  w.int16(s.ao_port);
  w.letter(s.guide_device);
  const auto nsew = fileOrder(s.ao_direction_letters);
  w.bytes(nsew.data(), nsew.size());
}

std::string lowerCase(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

int saveSettings(const std::filesystem::path& path, const Settings& s, const FitsDetails& fits) {
  std::error_code ec;
  std::filesystem::create_directory(path.parent_path(), ec);  // an existing folder is no error
  AtomicFile file(path);
  if (!file.open()) return kSettingsSaveFailed;
  FieldWriter w(file);
  writeGuiding(w, s, fits);
  writeProcessing(w, s);
  writeCards(w, fits);
  writeGuider(w, s, fits);
  writeFiltersAndAo(w, s);
  if (!w.ok() || !file.commit()) return kSettingsSaveFailed;
  applyLocalTimeRule(fits.timeDifferenceHours);  // local time to UT follows the stored difference
  return kSettingsOk;
}

int loadSettings(const std::filesystem::path& path, Settings& s, FitsDetails& fits) {
  std::error_code ec;
  // A folder that had to be created means a first run: the file is written, nothing is read.
  if (std::filesystem::create_directory(path.parent_path(), ec)) return saveSettings(path, s, fits);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return kSettingsShort;
  FieldReader reader(f);
  const Read end = readRecord(reader, s, fits);
  std::fclose(f);
  switch (end) {
    case Read::Short:
      return kSettingsShort;
    case Read::Invalid:
    case Read::OlderFile:
      return saveSettings(path, s, fits);  // repairs the file from the values now held
    case Read::Go:
      break;
  }
  applyLocalTimeRule(fits.timeDifferenceHours);  // local time to UT follows the stored difference
  return kSettingsOk;
}

int loadSettings() {
  return loadSettings(platform().paths.settingsFile(), settings(), fitsDetails());
}

int saveSettings() {
  return saveSettings(platform().paths.settingsFile(), settings(), fitsDetails());
}

std::filesystem::path mapDirectory(const std::string& typed) {
  const Paths& paths = platform().paths;
  const auto mapped = paths.mapTyped(typed);
  if (!mapped) return {};
  // "c:\AUTOSAVE" and "c:\autosave" were one folder on the original platform.
  if (lowerCase(mapped->lexically_normal().string()) ==
      lowerCase(paths.autosaveDir().lexically_normal().string())) {
    return paths.autosaveDir();
  }
  return *mapped;
}

std::filesystem::path autosaveFolder(const Settings& s) {
  return mapDirectory(s.autosave_dir);
}

std::filesystem::path autosaveFileName(const Settings& s, unsigned n) {
  return autosaveFolder(s) / ("IMG" + std::to_string(n) + ".FIT");
}

}  // namespace qlm
