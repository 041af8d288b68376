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
#include "files/settings_fields.h"
#include "platform/messages.h"

namespace qlm {

namespace {

// Changes the field called `name` to `value` and saves the settings file.
int setField(const std::string& name, const std::string& value, std::ostream& err) {
  const SettingsField* f = findSettingsField(name);
  if (f == nullptr) {
    err << "Unknown setting '" << name << "'\n";
    return 2;
  }
  if (!f->set(value, settings(), fitsDetails())) {
    err << "'" << value << "' is not a value of " << f->name << '\n';
    return 2;
  }
  if (saveSettings() != kSettingsOk) {
    ShowWriteFailure(24);
    return 1;
  }
  return 0;
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
      for (const SettingsField& f : settingsFields())
        run.out << f.name << ": " << f.get(settings(), fitsDetails()) << '\n';
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
