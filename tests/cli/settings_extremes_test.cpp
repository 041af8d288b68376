#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// The settings file may hold any value in the fields that size or index something (mask radius,
// number of filters, ports, guide device): capture and focus still work, guiding works or says why,
// and nothing reads outside its arrays (the sanitizer build checks that).
using FieldValues = std::vector<std::pair<std::string, std::string>>;

class SettingsExtremesTest : public ::testing::TestWithParam<FieldValues> {
 protected:
  int run(std::vector<std::string> words) {
    out.str("");
    err.str("");
    words.insert(words.begin(), {"--home", home.path().string(), "--simulate", "--virtual-clock"});
    return runCli(words, out, err);
  }
  bool printed(const std::string& text) const { return out.str().find(text) != std::string::npos; }
  test::TempHome home;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_P(SettingsExtremesTest, CaptureFocusAndGuidingSurvive) {
  for (const auto& [name, value] : GetParam())
    ASSERT_EQ(run({"settings", "set", name, value}), 0) << name << '=' << value << ": " << err.str();
  EXPECT_EQ(run({"capture", "--unit", "t", "--count", "2", "--autosave"}), 0) << err.str();
  EXPECT_TRUE(printed("frame 1: 200 ms, saved ")) << out.str();
  EXPECT_EQ(run({"capture", "--unit", "h", "--count", "20", "--focus", "2"}), 0) << err.str();
  EXPECT_TRUE(printed("focus 2: peak ")) << out.str();
  for (const auto& [camera, device] :
       {std::pair{"guider", "telescope"}, std::pair{"guider", "ao"}, std::pair{"main", "telescope"}}) {
    const int result = run({"guide", camera, "--seconds", "10", "--device", device});
    ASSERT_TRUE(result == 0 || result == 1) << camera << ' ' << device << ": " << result << err.str();
    EXPECT_TRUE(result == 0 ? printed("frames: ") : !err.str().empty()) << out.str() << err.str();
  }
}

INSTANTIATE_TEST_SUITE_P(Fields, SettingsExtremesTest,
                         ::testing::Values(FieldValues{{"mask_radius", "-32768"}, {"drive_method", "b"}},
                                           FieldValues{{"mask_radius", "32767"}, {"drive_method", "l"}},
                                           FieldValues{{"number_of_filters", "-32768"},
                                                       {"filter_wheel_present", "on"},
                                                       {"auto_advance_when_imaging", "on"},
                                                       {"drive_method", "a"}},
                                           FieldValues{{"ao_port", "-32768"},
                                                       {"guide_device", "x"},
                                                       {"ao_through_relays", "on"}}));

}  // namespace
}  // namespace qlm
