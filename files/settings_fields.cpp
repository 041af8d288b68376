#include "files/settings_fields.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/messages.h"

namespace qlm {

bool SettingsReader::bytes(char* out, std::size_t n) {
  if (n == 0) return true;
  if (pending_ >= 0) {
    *out++ = static_cast<char>(pending_);
    pending_ = -1;
    --n;
  }
  return std::fread(out, 1, n, f_) == n;
}

bool SettingsReader::int16(int& v) {
  unsigned char b[2];
  if (!bytes(reinterpret_cast<char*>(b), 2)) return false;
  v = static_cast<std::int16_t>(static_cast<std::uint16_t>(b[0] | (b[1] << 8)));
  return true;
}

bool SettingsReader::uint16(int& v) {
  if (!int16(v)) return false;
  v = static_cast<std::uint16_t>(v);
  return true;
}

bool SettingsReader::real(double& d) {
  unsigned char b[8];
  if (!bytes(reinterpret_cast<char*>(b), 8)) return false;
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i)
    bits = (bits << 8) | b[i];
  std::memcpy(&d, &bits, sizeof d);
  return true;
}

void SettingsWriter::bytes(const char* p, std::size_t n) {
  if (ok_) ok_ = f_.write(p, n);
}

void SettingsWriter::int16(int v) {
  const auto u = static_cast<std::uint16_t>(v);
  const char b[2] = {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  bytes(b, 2);
}

void SettingsWriter::real(double d) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &d, sizeof d);
  char b[8];
  for (char& c : b) {
    c = static_cast<char>(bits & 0xFF);
    bits >>= 8;
  }
  bytes(b, 8);
}

namespace {

using R = SettingsRead;
using F = SettingsField;

constexpr std::size_t kCardBytes = 80;
constexpr std::size_t kCardPrefix = 11;
constexpr std::size_t kCardValue = kCardBytes - kCardPrefix - 1;  // 68: room before the closing quote
constexpr std::size_t kDirBytes = 100;
constexpr std::size_t kNameBytes = 10;
constexpr const char* kDefaultAutosaveDir = "c:\\AUTOSAVE";

// Where a field's value lives: a member of the settings or of the FITS details.
template <typename T>
struct Slot {
  T Settings::*in_settings = nullptr;
  T FitsDetails::*in_fits = nullptr;
  T& operator()(Settings& s, FitsDetails& f) const { return in_settings ? s.*in_settings : f.*in_fits; }
  const T& operator()(const Settings& s, const FitsDetails& f) const {
    return in_settings ? s.*in_settings : f.*in_fits;
  }
};
template <typename T>
Slot<T> at(T Settings::*m) {
  return {m, nullptr};
}
template <typename T>
Slot<T> at(T FitsDetails::*m) {
  return {nullptr, m};
}

// Rates, hysteresis, RA backlash and gains of 50 or more are written as 10; Dec backlash as 0.
int clampTen(int v) {
  return v >= 50 ? 10 : v;
}
int clampZero(int v) {
  return v >= 50 ? 0 : v;
}
int asIs(int v) {
  return v;
}

// Text forms for the command-line tool.
bool parseBool(const std::string& text, bool& v) {
  if (text == "on" || text == "1" || text == "y" || text == "true") {
    v = true;
  } else if (text == "off" || text == "0" || text == "n" || text == "false") {
    v = false;
  } else {
    return false;
  }
  return true;
}
template <typename Int>
bool parseInt(const std::string& text, Int& v) {
  Int parsed{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  v = parsed;
  return true;
}
bool parseReal(const std::string& text, double& v) {
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) return false;
  v = parsed;
  return true;
}
std::string realText(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// The ways a 16-bit number is read: signed or unsigned, and whether a value outside [lo, hi] makes the
// record invalid.
struct IntRule {
  bool is_unsigned = false;
  int lo = INT32_MIN;
  int hi = INT32_MAX;
  int (*on_write)(int) = asIs;
};

template <typename T>
F intField(const char* name, Slot<T> slot, IntRule rule = {}) {
  return {name,
          [slot, rule](SettingsReader& r, Settings& s, FitsDetails& f) {
            int v = 0;
            if (!(rule.is_unsigned ? r.uint16(v) : r.int16(v))) return R::Short;
            if (v < rule.lo || v > rule.hi) return R::Invalid;
            slot(s, f) = static_cast<T>(v);
            return R::Go;
          },
          [slot, rule](SettingsWriter& w, const Settings& s, const FitsDetails& f) {
            w.int16(rule.on_write(static_cast<int>(slot(s, f))));
          },
          [slot](const Settings& s, const FitsDetails& f) { return std::to_string(slot(s, f)); },
          [slot](const std::string& t, Settings& s, FitsDetails& f) { return parseInt(t, slot(s, f)); }};
}

// A switch stored as one letter: `on` and `off` are its two letters. A strict switch makes any other
// letter invalid; a loose one reads anything but `on` as off.
F switchField(const char* name, Slot<bool> slot, char on, char off, bool strict, R on_short = R::Short) {
  return {
      name,
      [=](SettingsReader& r, Settings& s, FitsDetails& f) {
        char c = 0;
        if (!r.letter(c)) return on_short;
        if (strict && c != on && c != off) return R::Invalid;
        slot(s, f) = c == on;
        return R::Go;
      },
      [=](SettingsWriter& w, const Settings& s, const FitsDetails& f) { w.letter(slot(s, f) ? on : off); },
      [slot](const Settings& s, const FitsDetails& f) { return std::string(slot(s, f) ? "on" : "off"); },
      [slot](const std::string& t, Settings& s, FitsDetails& f) { return parseBool(t, slot(s, f)); }};
}
F yesNo(const char* name, Slot<bool> slot, bool strict = false, R on_short = R::Short) {
  return switchField(name, slot, 'y', 'n', strict, on_short);
}
F oneZero(const char* name, Slot<bool> slot, bool strict = false) {
  return switchField(name, slot, '1', '0', strict);
}

bool setLetter(const std::string& t, char& c) {
  if (t.size() != 1) return false;
  c = t[0];
  return true;
}

// One letter; `valid` lists the letters a file may hold (empty: any).
F letterField(const char* name, Slot<char> slot, std::string valid = {}) {
  return {name,
          [slot, valid](SettingsReader& r, Settings& s, FitsDetails& f) {
            char c = 0;
            if (!r.letter(c)) return R::Short;
            if (!valid.empty() && valid.find(c) == std::string::npos) return R::Invalid;
            slot(s, f) = c;
            return R::Go;
          },
          [slot](SettingsWriter& w, const Settings& s, const FitsDetails& f) { w.letter(slot(s, f)); },
          [slot](const Settings& s, const FitsDetails& f) { return std::string(1, slot(s, f)); },
          [slot](const std::string& t, Settings& s, FitsDetails& f) { return setLetter(t, slot(s, f)); }};
}

// Direction letters travel as the north, south, east and west slots; shown in slot order East, West,
// North, South ("ewns"). A checked table needs an east or west letter in one of its last two bytes and
// is read whole.
F directionLetters(const char* name, Slot<std::array<char, 4>> slot, bool checked) {
  return {name,
          [slot, checked](SettingsReader& r, Settings& s, FitsDetails& f) {
            if (!checked) {  // letter by letter: a file ending inside keeps the letters read so far
              for (DirectionSlot d : {kNorthSlot, kSouthSlot, kEastSlot, kWestSlot}) {
                if (!r.letter(slot(s, f)[d])) return R::Short;
              }
              return R::Go;
            }
            char nsew[4];
            if (!r.bytes(nsew, 4)) return R::Short;
            const auto eastWest = [](char c) { return c == 'e' || c == 'w'; };
            if (checked && !eastWest(nsew[2]) && !eastWest(nsew[3])) return R::Invalid;
            slot(s, f) = {nsew[2], nsew[3], nsew[0], nsew[1]};
            return R::Go;
          },
          [slot](SettingsWriter& w, const Settings& s, const FitsDetails& f) {
            const auto& v = slot(s, f);
            const char nsew[4] = {v[kNorthSlot], v[kSouthSlot], v[kEastSlot], v[kWestSlot]};
            w.bytes(nsew, 4);
          },
          [slot](const Settings& s, const FitsDetails& f) {
            const auto& v = slot(s, f);
            return std::string(v.begin(), v.end());
          },
          [slot](const std::string& t, Settings& s, FitsDetails& f) {
            if (t.size() != 4) return false;
            std::copy(t.begin(), t.end(), slot(s, f).begin());
            return true;
          }};
}

F realField(const char* name, Slot<double> slot) {
  return {name,
          [slot](SettingsReader& r, Settings& s, FitsDetails& f) {
            return r.real(slot(s, f)) ? R::Go : R::Short;
          },
          [slot](SettingsWriter& w, const Settings& s, const FitsDetails& f) { w.real(slot(s, f)); },
          [slot](const Settings& s, const FitsDetails& f) { return realText(slot(s, f)); },
          [slot](const std::string& t, Settings& s, FitsDetails& f) { return parseReal(t, slot(s, f)); }};
}

// The value of a text card, as the FITS reader takes it: from the twelfth byte up to the next single
// quote (or the card's end), ending early at a zero byte as a C string would.
std::string cardValue(const char* card) {
  std::string v(card + kCardPrefix, kCardBytes - kCardPrefix);
  return v.substr(0, std::min(v.find('\''), v.find('\0')));
}
// A FITS text card as the FITS writer makes it: the prefix, the value as it is, a quote, spaces to 80
// bytes; a value longer than 68 characters is cut at the card's end, quote and all.
void writeCard(SettingsWriter& w, const char* prefix, const std::string& value) {
  std::string c(prefix);
  c += value;
  c += '\'';
  c.resize(kCardBytes, ' ');
  w.bytes(c.data(), kCardBytes);
}

F textField(const char* name, Slot<std::string> slot,
            std::function<SettingsRead(SettingsReader&, std::string&)> read,
            std::function<void(SettingsWriter&, const std::string&)> write) {
  return {name, [slot, read](SettingsReader& r, Settings& s, FitsDetails& f) { return read(r, slot(s, f)); },
          [slot, write](SettingsWriter& w, const Settings& s, const FitsDetails& f) { write(w, slot(s, f)); },
          [slot](const Settings& s, const FitsDetails& f) { return slot(s, f); },
          [slot](const std::string& t, Settings& s, FitsDetails& f) {
            slot(s, f) = t;
            return true;
          }};
}

F card(const char* name, const char* prefix, Slot<std::string> slot) {
  return textField(
      name, slot,
      [](SettingsReader& r, std::string& v) {
        char c[kCardBytes];
        if (!r.bytes(c, kCardBytes)) return R::Short;
        v = cardValue(c).substr(0, kFitsLongTextChars);  // the record holds at most 67 characters
        return R::Go;
      },
      [prefix](SettingsWriter& w, const std::string& v) { writeCard(w, prefix, v); });
}

// A free text as four cards of 68 characters each, padded with spaces; the rest is dropped. Only 51
// characters of the fourth card are read back.
F fourCards(const char* name, const char* prefix, Slot<std::string> slot) {
  return textField(
      name, slot,
      [](SettingsReader& r, std::string& v) {
        v.clear();
        for (int k = 0; k < 4; ++k) {
          char c[kCardBytes];
          if (!r.bytes(c, kCardBytes)) return R::Short;
          const std::string piece = cardValue(c);
          v += k < 3 ? piece : piece.substr(0, 51);
        }
        v.resize(std::min(v.size(), kFitsFreeTextChars));  // cards without a quote give 69 characters
        return R::Go;
      },
      [prefix](SettingsWriter& w, const std::string& v) {
        for (std::size_t k = 0; k < 4; ++k) {
          std::string piece = k * kCardValue < v.size() ? v.substr(k * kCardValue, kCardValue) : "";
          piece.resize(kCardValue, ' ');
          writeCard(w, prefix, piece);
        }
      });
}

// A filter name: ten bytes, zero padded, at most nine characters.
F filterName(std::size_t i) {
  return {"filter_name_" + std::to_string(i + 1),
          [i](SettingsReader& r, Settings& s, FitsDetails&) {
            char b[kNameBytes];
            if (!r.bytes(b, kNameBytes)) return R::Short;
            s.filter_names[i].assign(b, strnlen(b, kNameBytes - 1));
            return R::Go;
          },
          [i](SettingsWriter& w, const Settings& s, const FitsDetails&) {
            char b[kNameBytes] = {};
            const std::string& name = s.filter_names[i];
            std::memcpy(b, name.data(), std::min(name.size(), kNameBytes - 1));
            w.bytes(b, kNameBytes);
          },
          [i](const Settings& s, const FitsDetails&) { return s.filter_names[i]; },
          [i](const std::string& t, Settings& s, FitsDetails&) {
            s.filter_names[i] = t;
            return true;
          }};
}

// The com port letter: '1' or '2' choose the port; anything else is reported and the record goes on.
F telescopeCom() {
  return {"telescope_com",
          [](SettingsReader& r, Settings& s, FitsDetails&) {
            char c = 0;
            if (!r.letter(c)) return R::Short;
            if (c == '1' || c == '2') {
              s.telescope_com = c;
              s.telescope_port = c == '1' ? 0 : 1;
            } else {
              ShowMessage(kCallerTextMessage, "Failed to read comm port value");
            }
            return R::Go;
          },
          [](SettingsWriter& w, const Settings& s, const FitsDetails&) {
            w.letter(s.telescope_com == '1' ? '1' : '2');
          },
          [](const Settings& s, const FitsDetails&) { return std::string(1, s.telescope_com); },
          [](const std::string& t, Settings& s, FitsDetails&) { return setLetter(t, s.telescope_com); }};
}

// The drive method: an unknown letter becomes 'n' and makes the record invalid.
F driveMethod() {
  F field = letterField("drive_method", at(&Settings::drive_method));
  field.read = [](SettingsReader& r, Settings& s, FitsDetails&) {
    char c = 0;
    if (!r.letter(c)) return R::Short;
    if (c != 'n' && c != 'l' && c != 'a' && c != 'b') {
      s.drive_method = 'n';
      return R::Invalid;
    }
    s.drive_method = c;
    return R::Go;
  };
  return field;
}

// Reserved flag 1; a byte that is neither 'y' nor 'n' is the first byte of the object card of an
// older layout that lacked the flag.
F reservedFlag1() {
  F field = yesNo("reserved_flag1", at(&Settings::reserved_flag1));
  field.read = [](SettingsReader& r, Settings& s, FitsDetails&) {
    char c = 0;
    if (!r.letter(c)) return R::Short;
    s.reserved_flag1 = c == 'y';
    if (c != 'y' && c != 'n') r.unread(c);
    return R::Go;
  };
  return field;
}

// Never stored as on: a loaded file is always written 16-bit signed with BZERO 32768.
F unsignedFits() {
  F field = yesNo("unsigned_fits", at(&FitsDetails::unsignedFits));
  field.read = [](SettingsReader& r, Settings&, FitsDetails& f) {
    char c = 0;
    if (!r.letter(c)) return R::Short;
    f.unsignedFits = false;
    return R::Go;
  };
  field.write = [](SettingsWriter& w, const Settings&, const FitsDetails&) { w.letter('n'); };
  return field;
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

// The typed autosave directory; setting it also sets the one used ("c:\AUTOSAVE" when empty).
F autosaveDirectory() {
  const auto use = [](Settings& s, const std::string& typed) {
    s.autosave_dir_entered = typed;
    s.autosave_dir = typed.empty() ? kDefaultAutosaveDir : typed;
  };
  return {"autosave_dir_entered",
          [use](SettingsReader& r, Settings& s, FitsDetails&) {
            char dir[kDirBytes];
            if (!r.bytes(dir, kDirBytes)) return R::Short;
            use(s, directoryText(dir));
            return R::Go;
          },
          [](SettingsWriter& w, const Settings& s, const FitsDetails&) {
            std::string dir = s.autosave_dir_entered.substr(0, kDirBytes - 1);
            dir.push_back('\0');
            dir.resize(kDirBytes, ' ');
            w.bytes(dir.data(), kDirBytes);
          },
          [](const Settings& s, const FitsDetails&) { return s.autosave_dir_entered; },
          [use](const std::string& t, Settings& s, FitsDetails&) {
            use(s, t);
            return true;
          }};
}

// Whole degrees toward zero, kept inside the range of an int before the cast.
int truncatedAngle(double degrees) {
  if (!std::isfinite(degrees)) return 0;
  return static_cast<int>(std::clamp(std::trunc(degrees), -2147483648.0, 2147483647.0));
}

// The default RA angle: whole degrees in the file.
F raAngle() {
  F field = realField("default_ra_angle", at(&Settings::default_ra_angle));
  field.read = [](SettingsReader& r, Settings& s, FitsDetails&) {
    int v = 0;
    if (!r.int16(v)) return R::Short;
    s.default_ra_angle = v;
    return R::Go;
  };
  field.write = [](SettingsWriter& w, const Settings& s, const FitsDetails&) {
    w.int16(truncatedAngle(s.default_ra_angle));
  };
  return field;
}

std::vector<F> makeFields() {
  const IntRule ten{false, INT32_MIN, INT32_MAX, clampTen};
  const IntRule zero{false, INT32_MIN, INT32_MAX, clampZero};
  const IntRule backlash{false, 0, 30, clampTen};
  std::vector<F> v = {
      intField("autosave_counter", at(&Settings::autosave_counter), {true}),
      intField("time_difference_hours", at(&FitsDetails::timeDifferenceHours)),
      telescopeCom(),
      intField("reserved_word1", at(&Settings::reserved_word1)),
      intField("mask_radius", at(&Settings::mask_radius)),
      intField("reserved_word2", at(&Settings::reserved_word2)),
      letterField("window_background", at(&Settings::window_background), "lgr"),
      oneZero("one_sec_delay_when_focussing", at(&Settings::one_sec_delay_when_focussing)),
      intField("main_ra_rate", at(&Settings::main_ra_rate), ten),
      intField("main_dec_rate", at(&Settings::main_dec_rate), ten),
      intField("main_ra_backlash", at(&Settings::main_ra_backlash), backlash),
      intField("main_dec_backlash", at(&Settings::main_dec_backlash), zero),
      oneZero("ignore_drift", at(&Settings::ignore_drift), true),
      driveMethod(),
      oneZero("disable_interrupts_during_download", at(&Settings::disable_interrupts_during_download), true),
      intField("main_ra_hysteresis", at(&Settings::main_ra_hysteresis), ten),
      intField("main_dec_hysteresis", at(&Settings::main_dec_hysteresis), ten),
      directionLetters("direction_letters", at(&Settings::direction_letters), true),
      yesNo("apply_weak_stretch", at(&Settings::apply_weak_stretch)),
      yesNo("apply_strong_stretch", at(&Settings::apply_strong_stretch)),
      yesNo("auto_stretch_user", at(&Settings::auto_stretch_user), false,
            R::OlderFile),  // an older file ends here
      intField("user_stretch_value", at(&Settings::user_stretch_value), {false, 1, 36}),
      yesNo("high_pass_low_power", at(&Settings::high_pass_low_power), true),
      yesNo("unsharp_mask", at(&Settings::unsharp_mask), true),
      intField("unsharp_dia", at(&Settings::unsharp_dia), {true, 1, 6}),
      intField("unsharp_power", at(&Settings::unsharp_power), {true, 1, 6}),
      yesNo("remove_background", at(&Settings::remove_background), true),
      reservedFlag1(),
      card("object", "OBJECT  = '", at(&FitsDetails::object)),
      card("telescope", "TELESCOP= '", at(&FitsDetails::telescope)),
      card("instrument", "INSTRUME= '", at(&FitsDetails::instrument)),
      card("observer", "OBSERVER= '", at(&FitsDetails::observer)),
      card("origin", "ORIGIN  = '", at(&FitsDetails::origin)),
      fourCards("history_text", "HISTORY = '", at(&FitsDetails::historyText)),
      fourCards("comment_text", "COMMENT = '", at(&FitsDetails::commentText)),
      card("filter_name", "FILTER  = '", at(&FitsDetails::filterName)),
      realField("aperture", at(&FitsDetails::aperture)),
      realField("focal_length", at(&FitsDetails::focalLength)),
      unsignedFits(),
      yesNo("show_interface_details", at(&Settings::show_interface_details)),
      autosaveDirectory(),
      intField("guider_ra_rate", at(&Settings::guider_ra_rate), ten),
      intField("guider_dec_rate", at(&Settings::guider_dec_rate), ten),
      intField("guider_ra_backlash", at(&Settings::guider_ra_backlash), backlash),
      intField("guider_dec_backlash", at(&Settings::guider_dec_backlash), zero),
      intField("guider_ra_hysteresis", at(&Settings::guider_ra_hysteresis), ten),
      intField("guider_dec_hysteresis", at(&Settings::guider_dec_hysteresis), ten),
      yesNo("ignore_backlash", at(&Settings::ignore_backlash)),
      yesNo("filter_wheel_present", at(&Settings::filter_wheel_present)),
      raAngle(),
      yesNo("ignore_ra_angle", at(&Settings::ignore_ra_angle)),
      intField("number_of_filters", at(&Settings::number_of_filters)),
  };
  for (std::size_t i = 0; i < Settings{}.filter_names.size(); ++i)
    v.push_back(filterName(i));
  const std::vector<F> tail = {
      yesNo("reserved_flag2", at(&Settings::reserved_flag2)),
      yesNo("reserved_flag3", at(&Settings::reserved_flag3)),
      yesNo("ignore_camera_vid_pid", at(&Settings::ignore_camera_vid_pid)),
      yesNo("auto_advance_when_imaging", at(&Settings::auto_advance_when_imaging)),
      intField("ao_default_lr_gain", at(&Settings::ao_default_lr_gain), ten),
      intField("ao_default_ud_gain", at(&Settings::ao_default_ud_gain), ten),
      intField("ao_latest_lr_gain", at(&Settings::ao_latest_lr_gain), ten),
      intField("ao_latest_ud_gain", at(&Settings::ao_latest_ud_gain), ten),
      yesNo("ao_through_relays", at(&Settings::ao_through_relays)),
      intField("ao_port", at(&Settings::ao_port)),
      letterField("guide_device", at(&Settings::guide_device)),
      directionLetters("ao_direction_letters", at(&Settings::ao_direction_letters), false),
  };
  v.insert(v.end(), tail.begin(), tail.end());
  // Names that earlier versions of the tool showed, still accepted.
  const std::pair<const char*, const char*> kOldNames[] = {{"time_difference_hours", "timeDifferenceHours"},
                                                           {"history_text", "historyText"},
                                                           {"comment_text", "commentText"},
                                                           {"filter_name", "filterName"},
                                                           {"focal_length", "focalLength"},
                                                           {"unsigned_fits", "unsignedFits"}};
  for (F& f : v)
    for (const auto& [name, old] : kOldNames)
      if (f.name == name) f.old_name = old;
  return v;
}

}  // namespace

const std::vector<SettingsField>& settingsFields() {
  static const std::vector<SettingsField> fields = makeFields();
  return fields;
}

const SettingsField* findSettingsField(std::string_view name) {
  for (const SettingsField& f : settingsFields())
    if (f.name == name || (!f.old_name.empty() && f.old_name == name)) return &f;
  return nullptr;
}

}  // namespace qlm
