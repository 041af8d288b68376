#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// The settings file may hold any value in the fields that size or index something (mask radius,
// number of filters, ports, guide device): a capture, a focus run and guiding on the simulator then
// end in a result or a message, never outside their arrays (the sanitizer build checks that).
class SettingsExtremesTest : public ::testing::Test {
 protected:
  int run(std::vector<std::string> words) {
    out.str("");
    err.str("");
    words.insert(words.begin(), {"--home", home.path().string(), "--simulate", "--virtual-clock"});
    return runCli(words, out, err);
  }
  bool printed(const std::string& start) const {
    std::istringstream in(out.str());
    for (std::string l; std::getline(in, l);)
      if (l.rfind(start, 0) == 0) return true;
    return false;
  }
  // Capture and focus do not depend on the guiding fields: they work. Guiding works or says why.
  void runEveryCommand() {
    EXPECT_EQ(run({"capture", "--unit", "t", "--count", "2", "--autosave"}), 0) << err.str();
    EXPECT_TRUE(printed("frame 1: 200 ms, saved ")) << out.str();
    EXPECT_EQ(run({"capture", "--unit", "h", "--count", "20", "--focus", "2"}), 0) << err.str();
    EXPECT_TRUE(printed("focus 2: peak ")) << out.str();
    for (const auto& [camera, device] :
         {std::pair{"guider", "telescope"}, std::pair{"guider", "ao"}, std::pair{"main", "telescope"}}) {
      const int result = run({"guide", camera, "--seconds", "10", "--device", device});
      EXPECT_TRUE(result == 0 || result == 1) << camera << ' ' << device << ": " << result << err.str();
      if (result == 0) {
        EXPECT_TRUE(printed("frames: ")) << out.str();
      } else {
        EXPECT_FALSE(err.str().empty());
      }
    }
    EXPECT_EQ(run({"settings", "show"}), 0) << err.str();
  }
  test::TempHome home;
  std::ostringstream out;
  std::ostringstream err;
};

using FieldValues = std::vector<std::pair<std::string, std::string>>;
class SettingsFieldExtremesTest : public SettingsExtremesTest,
                                  public ::testing::WithParamInterface<FieldValues> {};

TEST_P(SettingsFieldExtremesTest, CaptureFocusAndGuidingSurvive) {
  for (const auto& [name, value] : GetParam())
    ASSERT_EQ(run({"settings", "set", name, value}), 0) << name << '=' << value << ": " << err.str();
  runEveryCommand();
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SettingsFieldExtremesTest,
    ::testing::Values(FieldValues{{"mask_radius", "-32768"}, {"drive_method", "b"}},
                      FieldValues{{"mask_radius", "32767"}, {"drive_method", "b"}},
                      FieldValues{{"mask_radius", "0"}, {"drive_method", "l"}},
                      FieldValues{{"number_of_filters", "-32768"},
                                  {"filter_wheel_present", "on"},
                                  {"auto_advance_when_imaging", "on"}},
                      FieldValues{{"number_of_filters", "32767"},
                                  {"filter_wheel_present", "on"},
                                  {"auto_advance_when_imaging", "on"},
                                  {"drive_method", "a"}},
                      FieldValues{{"ao_port", "32767"}, {"guide_device", "a"}, {"drive_method", "b"}},
                      FieldValues{{"ao_port", "-32768"},
                                  {"guide_device", "x"},
                                  {"ao_through_relays", "on"},
                                  {"drive_method", "l"}}));

// A written settings file with random bytes changed: loaded (repaired or refused) at each start, then
// the same commands.
class SettingsBytesTest : public SettingsExtremesTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(SettingsBytesTest, CaptureFocusAndGuidingSurvive) {
  ASSERT_EQ(run({"settings", "set", "drive_method", "b"}), 0);
  const std::filesystem::path file = home.path() / "autosave" / "QLM_T4.ini";
  std::string bytes;
  {
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_EQ(bytes.size(), 1402u);
  std::mt19937 rng(GetParam());
  for (int k = 0; k < 40; ++k)
    bytes[rng() % bytes.size()] = static_cast<char>(rng());
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  runEveryCommand();
}

INSTANTIATE_TEST_SUITE_P(Seeds, SettingsBytesTest, ::testing::Values(1u, 2u, 3u, 4u, 5u, 6u));

}  // namespace
}  // namespace qlm
