#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/verbs.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "platform/messages.h"

namespace qlm {

namespace {

// One stored setting as the tool shows and sets it: its name in code, its value as text, and a parser
// that stores a new value (false when the text is not a value of the field).
struct SettingField {
  std::string name;
  std::function<std::string()> get;
  std::function<bool(const std::string&)> set;
};

template <typename Int>
SettingField intField(std::string name, Int& v) {
  return {std::move(name), [&v] { return std::to_string(v); },
          [&v](const std::string& text) {
            Int parsed{};
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
            if (ec != std::errc() || end != text.data() + text.size()) return false;
            v = parsed;
            return true;
          }};
}

SettingField boolField(std::string name, bool& v) {
  return {std::move(name), [&v] { return std::string(v ? "on" : "off"); },
          [&v](const std::string& text) {
            if (text == "on" || text == "1" || text == "y" || text == "true") {
              v = true;
            } else if (text == "off" || text == "0" || text == "n" || text == "false") {
              v = false;
            } else {
              return false;
            }
            return true;
          }};
}

SettingField charField(std::string name, char& v) {
  return {std::move(name), [&v] { return std::string(1, v); },
          [&v](const std::string& text) {
            if (text.size() != 1) return false;
            v = text[0];
            return true;
          }};
}

// Direction letters, shown in slot order East, West, North, South ("ewns").
SettingField lettersField(std::string name, std::array<char, 4>& v) {
  return {std::move(name), [&v] { return std::string(v.begin(), v.end()); },
          [&v](const std::string& text) {
            if (text.size() != 4) return false;
            std::copy(text.begin(), text.end(), v.begin());
            return true;
          }};
}

SettingField textField(std::string name, std::string& v) {
  return {std::move(name), [&v] { return v; },
          [&v](const std::string& text) {
            v = text;
            return true;
          }};
}

SettingField realField(std::string name, double& v) {
  return {std::move(name),
          [&v] {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%g", v);
            return std::string(buf);
          },
          [&v](const std::string& text) {
            char* end = nullptr;
            const double parsed = std::strtod(text.c_str(), &end);
            if (text.empty() || end != text.c_str() + text.size()) return false;
            v = parsed;
            return true;
          }};
}

// Setting the typed autosave directory also sets the one used, as the defaults dialog does.
SettingField autosaveDirField(Settings& s) {
  return {"autosave_dir_entered", [&s] { return s.autosave_dir_entered; },
          [&s](const std::string& text) {
            s.autosave_dir_entered = text;
            s.autosave_dir = text.empty() ? "c:\\AUTOSAVE" : text;
            return true;
          }};
}

// Every field the settings file stores, in file order.
std::vector<SettingField> storedFields(Settings& s, FitsDetails& f) {
  std::vector<SettingField> v = {
      intField("autosave_counter", s.autosave_counter),
      intField("timeDifferenceHours", f.timeDifferenceHours),
      charField("telescope_com", s.telescope_com),
      intField("reserved_word1", s.reserved_word1),
      intField("mask_radius", s.mask_radius),
      intField("reserved_word2", s.reserved_word2),
      charField("window_background", s.window_background),
      boolField("one_sec_delay_when_focussing", s.one_sec_delay_when_focussing),
      intField("main_ra_rate", s.main_ra_rate),
      intField("main_dec_rate", s.main_dec_rate),
      intField("main_ra_backlash", s.main_ra_backlash),
      intField("main_dec_backlash", s.main_dec_backlash),
      boolField("ignore_drift", s.ignore_drift),
      charField("drive_method", s.drive_method),
      boolField("disable_interrupts_during_download", s.disable_interrupts_during_download),
      intField("main_ra_hysteresis", s.main_ra_hysteresis),
      intField("main_dec_hysteresis", s.main_dec_hysteresis),
      lettersField("direction_letters", s.direction_letters),
      boolField("apply_weak_stretch", s.apply_weak_stretch),
      boolField("apply_strong_stretch", s.apply_strong_stretch),
      boolField("auto_stretch_user", s.auto_stretch_user),
      intField("user_stretch_value", s.user_stretch_value),
      boolField("high_pass_low_power", s.high_pass_low_power),
      boolField("unsharp_mask", s.unsharp_mask),
      intField("unsharp_dia", s.unsharp_dia),
      intField("unsharp_power", s.unsharp_power),
      boolField("remove_background", s.remove_background),
      boolField("reserved_flag1", s.reserved_flag1),
      textField("object", f.object),
      textField("telescope", f.telescope),
      textField("instrument", f.instrument),
      textField("observer", f.observer),
      textField("origin", f.origin),
      textField("historyText", f.historyText),
      textField("commentText", f.commentText),
      textField("filterName", f.filterName),
      realField("aperture", f.aperture),
      realField("focalLength", f.focalLength),
      boolField("unsignedFits", f.unsignedFits),
      boolField("show_interface_details", s.show_interface_details),
      autosaveDirField(s),
      intField("guider_ra_rate", s.guider_ra_rate),
      intField("guider_dec_rate", s.guider_dec_rate),
      intField("guider_ra_backlash", s.guider_ra_backlash),
      intField("guider_dec_backlash", s.guider_dec_backlash),
      intField("guider_ra_hysteresis", s.guider_ra_hysteresis),
      intField("guider_dec_hysteresis", s.guider_dec_hysteresis),
      boolField("ignore_backlash", s.ignore_backlash),
      boolField("filter_wheel_present", s.filter_wheel_present),
      realField("default_ra_angle", s.default_ra_angle),
      boolField("ignore_ra_angle", s.ignore_ra_angle),
      intField("number_of_filters", s.number_of_filters),
  };
  for (std::size_t i = 0; i < s.filter_names.size(); ++i)
    v.push_back(textField("filter_name_" + std::to_string(i + 1), s.filter_names[i]));
  const std::vector<SettingField> tail = {
      boolField("reserved_flag2", s.reserved_flag2),
      boolField("reserved_flag3", s.reserved_flag3),
      boolField("ignore_camera_vid_pid", s.ignore_camera_vid_pid),
      boolField("auto_advance_when_imaging", s.auto_advance_when_imaging),
      intField("ao_default_lr_gain", s.ao_default_lr_gain),
      intField("ao_default_ud_gain", s.ao_default_ud_gain),
      intField("ao_latest_lr_gain", s.ao_latest_lr_gain),
      intField("ao_latest_ud_gain", s.ao_latest_ud_gain),
      boolField("ao_through_relays", s.ao_through_relays),
      intField("ao_port", s.ao_port),
      charField("guide_device", s.guide_device),
      lettersField("ao_direction_letters", s.ao_direction_letters),
  };
  v.insert(v.end(), tail.begin(), tail.end());
  return v;
}

// Changes the field called `name` to `value` and saves the settings file.
int setField(const std::string& name, const std::string& value, std::ostream& err) {
  for (const auto& f : storedFields(settings(), fitsDetails())) {
    if (f.name != name) continue;
    if (!f.set(value)) {
      err << "'" << value << "' is not a value of " << f.name << '\n';
      return 2;
    }
    if (saveSettings() != kSettingsOk) {
      ShowMessage(24);
      return 1;
    }
    return 0;
  }
  err << "Unknown setting '" << name << "'\n";
  return 2;
}

}  // namespace

// settings show: every stored field as "name: value" after the start-up load (a first run creates the
// file). settings set NAME VALUE: changes one field and saves the file.
void addSettingsVerb(CLI::App& app, CliRun& run) {
  CLI::App* sub = addVerb(app, "settings", "print the settings file, or change one field");
  sub->require_subcommand(1);
  CLI::App* show = addVerb(*sub, "show", "print every stored field as 'name: value'");
  show->callback([&run] {
    run.start([&] {
      for (const auto& f : storedFields(settings(), fitsDetails()))
        run.out << f.name << ": " << f.get() << '\n';
      return 0;
    });
  });
  auto name_value = std::make_shared<std::pair<std::string, std::string>>();
  CLI::App* set = addVerb(*sub, "set", "change one field and save the settings file");
  set->add_option("NAME", name_value->first, "field name as 'settings show' prints it")->required();
  set->add_option("VALUE", name_value->second, "on/off, a number, a letter or a text")->required();
  set->callback([&run, name_value] {
    run.start([&] { return setField(name_value->first, name_value->second, run.err); });
  });
}

}  // namespace qlm
