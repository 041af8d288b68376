#include "files/settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "files/fits_details.h"
#include "files/settings_fields.h"
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
  SettingsWriter w(file);
  for (const SettingsField& field : settingsFields())
    field.write(w, s, fits);
  if (!w.ok() || !file.commit()) return kSettingsSaveFailed;
  applyLocalTimeRule(fits.timeDifferenceHours);  // local time to UT follows the stored difference
  return kSettingsOk;
}

int loadSettings(const std::filesystem::path& path, Settings& s, FitsDetails& fits) {
  std::error_code ec;
  // A folder that had to be created means a first run: the file is written, nothing is read.
  if (std::filesystem::create_directory(path.parent_path(), ec)) return saveSettings(path, s, fits);
  std::FILE* f = openRegularFile(path);
  if (f == nullptr) return kSettingsShort;
  SettingsReader reader(f);
  SettingsRead end = SettingsRead::Go;
  for (const SettingsField& field : settingsFields()) {
    end = field.read(reader, s, fits);
    if (end != SettingsRead::Go) break;
  }
  std::fclose(f);
  switch (end) {
    case SettingsRead::Short:
      return kSettingsShort;
    case SettingsRead::Invalid:
    case SettingsRead::OlderFile:
      return saveSettings(path, s, fits);  // repairs the file from the values now held
    case SettingsRead::Go:
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
