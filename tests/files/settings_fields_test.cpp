#include "files/settings_fields.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "support/test_home.h"

namespace qlm {
namespace {

// A value each field can hold that differs from its start-up value and survives the file.
std::string sampleValue(const SettingsField& field) {
  static const std::map<std::string, std::string> letters = {
      {"telescope_com", "2"}, {"window_background", "g"},    {"drive_method", "l"},
      {"guide_device", "A"},  {"direction_letters", "wens"}, {"ao_direction_letters", "snwe"}};
  if (const auto it = letters.find(field.name); it != letters.end()) return it->second;
  const std::string initial = field.get(Settings{}, FitsDetails{});
  for (const char* number : {"5", "3"}) {
    Settings s;
    FitsDetails f;
    if (field.set(number, s, f) && initial != number) return number;
  }
  return field.get(Settings{}, FitsDetails{}) == "on" ? "off" : "on";
}

// Every field of the one table is written and read back by the same entry: set a new value through the
// command-line text, save, load into fresh records, and the text comes back.
TEST(SettingsFieldTable, EveryFieldSurvivesASaveAndALoad) {
  test::TestPlatform p;
  const auto path = p.paths().settingsFile();
  std::set<std::string> names;
  for (const SettingsField& field : settingsFields()) {
    if (field.name == "unsigned_fits") continue;  // never stored as on
    EXPECT_TRUE(names.insert(field.name).second) << "two fields called " << field.name;
    Settings s;
    FitsDetails f;
    const std::string value = sampleValue(field);
    ASSERT_TRUE(field.set(value, s, f)) << field.name;
    ASSERT_NE(value, field.get(Settings{}, FitsDetails{})) << field.name;
    ASSERT_EQ(saveSettings(path, s, f), kSettingsOk) << field.name;
    EXPECT_EQ(std::filesystem::file_size(path), 1402u);
    Settings loaded;
    FitsDetails loaded_fits;
    ASSERT_EQ(loadSettings(path, loaded, loaded_fits), kSettingsOk) << field.name;
    std::string back = field.get(loaded, loaded_fits);
    back.erase(back.find_last_not_of(' ') + 1);  // free texts come back padded to whole cards
    EXPECT_EQ(back, value) << field.name;
  }
  EXPECT_EQ(names.size(), 71u);
}

}  // namespace
}  // namespace qlm
