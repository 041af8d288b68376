#include "files/ini_model.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/test_home.h"

namespace qlm {
namespace {

class IniModelTest : public ::testing::Test {
 protected:
  test::TestPlatform p;
  Settings& s = settings();
  IniModel model{s};
};

TEST_F(IniModelTest, SetSlewValuesCapsOnlyTheHysteresisAt20) {
  auto& f = model.fields.slew;
  f[IniModel::kRaHysteresis] = "35";
  f[IniModel::kDecHysteresis] = "20";
  f[IniModel::kRaRate] = "70";
  f[IniModel::kGuiderColumn + IniModel::kDecHysteresis] = "21";
  f[IniModel::kGuiderColumn + IniModel::kRaBacklash] = "-3";
  model.setSlewValues();
  EXPECT_EQ(s.main_ra_hysteresis, 20);
  EXPECT_EQ(s.main_dec_hysteresis, 20);
  EXPECT_EQ(s.main_ra_rate, 70);  // taken as typed; the file clamps it when writing
  EXPECT_EQ(s.guider_dec_hysteresis, 20);
  EXPECT_EQ(s.guider_ra_backlash, -3);
  EXPECT_EQ(f[IniModel::kRaHysteresis], "20");  // the refresh shows what was stored
}

TEST_F(IniModelTest, TypingTakesEffectOnlyThroughItsSetButton) {
  model.fields.slew[IniModel::kRaRate] = "9";
  model.fields.filter_count = "3";
  model.setBackground('g');  // any other press refreshes the fields from the settings
  EXPECT_EQ(s.main_ra_rate, 2);
  EXPECT_EQ(model.fields.slew[IniModel::kRaRate], "2");
  EXPECT_EQ(model.fields.filter_count, "7");
  EXPECT_EQ(s.window_background, 'g');
}

class FilterCountTest : public IniModelTest,
                        public ::testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(FilterCountTest, OutOfRangeCountsBecomeSeven) {
  model.fields.filter_count = GetParam().first;
  model.setFilterDetails();
  EXPECT_EQ(s.number_of_filters, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Counts, FilterCountTest,
                         ::testing::Values(std::pair{"9", 7}, std::pair{"0", 7}, std::pair{"-2", 7},
                                           std::pair{"x", 7}, std::pair{"1", 1}, std::pair{"8", 8}));

TEST_F(IniModelTest, FilterNamesAreCutToEightCharacters) {
  model.fields.filter_names[0] = "Luminance";
  model.fields.filter_names[7] = "H-alpha";
  model.setFilterDetails();
  EXPECT_EQ(s.filter_names[0], "Luminanc");
  EXPECT_EQ(s.filter_names[7], "H-alpha");
}

TEST_F(IniModelTest, FilterWheelTextNamesTheOtherPort) {
  EXPECT_EQ(model.filterWheelText(), "");
  model.setComPort('2');
  model.toggleFilterWheel();
  EXPECT_EQ(model.filterWheelText(), "on Com1");
  EXPECT_EQ(s.telescope_port, 1);
  EXPECT_EQ(s.filter_wheel_port, 0);
  model.setComPort('1');
  EXPECT_EQ(model.filterWheelText(), "on Com2");
  EXPECT_EQ(s.telescope_port, 0);
  EXPECT_EQ(s.filter_wheel_port, 1);
}

TEST_F(IniModelTest, SwapBoxesExchangeTheSlotsAndShowTheExchange) {
  EXPECT_FALSE(model.swapNorthSouth());
  model.toggleSwapNorthSouth();
  EXPECT_TRUE(model.swapNorthSouth());
  EXPECT_EQ(s.direction_letters, (std::array<char, 4>{'e', 'w', 's', 'n'}));
  model.toggleSwapEastWest();
  EXPECT_TRUE(model.swapEastWest());
  EXPECT_EQ(s.direction_letters, (std::array<char, 4>{'w', 'e', 's', 'n'}));
  model.toggleSwapNorthSouth();
  EXPECT_FALSE(model.swapNorthSouth());
}

TEST_F(IniModelTest, BoxesFlipTheirSwitches) {
  model.toggleIgnoreDrift();
  model.toggleDisableInterrupts();
  model.toggleFocusDelay();
  model.toggleIgnoreVidPid();
  model.setDriveMethod('a');
  model.setMaskRadius(13);
  model.setGuiderTrainingTime(8);
  EXPECT_FALSE(s.ignore_drift);
  EXPECT_FALSE(s.disable_interrupts_during_download);
  EXPECT_TRUE(s.one_sec_delay_when_focussing);
  EXPECT_TRUE(s.ignore_camera_vid_pid);
  EXPECT_EQ(s.drive_method, 'a');
  EXPECT_EQ(s.mask_radius, 13);
  EXPECT_EQ(s.guider_training_seconds, 8);
}

// "Set AutoSave Dir": what a typed directory does to the setting, and whether it is refused.
struct DirCase {
  const char* name;
  const char* typed;
  bool accepted;
  const char* folder;  // relative to the data root, created when accepted; "" for none
};

class AutoSaveDirTest : public IniModelTest, public ::testing::WithParamInterface<DirCase> {};

TEST_P(AutoSaveDirTest, AcceptsOrRefuses) {
  s.autosave_dir_entered = s.autosave_dir = "c:\\before";
  model.fields.autosave_dir = GetParam().typed;
  model.fields.slew[IniModel::kDecHysteresis] = "44";  // typed but not yet set
  model.setAutoSaveDir();
  EXPECT_EQ(s.main_dec_hysteresis, 20);  // the slew values are applied either way
  if (GetParam().accepted) {
    EXPECT_TRUE(p.ui.messageTexts().empty());
    EXPECT_EQ(s.autosave_dir_entered, GetParam().typed);
    EXPECT_EQ(s.autosave_dir, *GetParam().typed ? GetParam().typed : "c:\\AUTOSAVE");
    EXPECT_TRUE(std::filesystem::is_directory(p.home.path() / GetParam().folder));
  } else {
    EXPECT_EQ(p.ui.messageTexts(), std::vector<std::string>{"Sorry, Invalid directory"});
    EXPECT_EQ(s.autosave_dir, "c:\\before");
    EXPECT_EQ(s.autosave_dir_entered, "c:\\before");
  }
}

INSTANTIATE_TEST_SUITE_P(Typed, AutoSaveDirTest,
                         ::testing::Values(DirCase{"PlainNameAtTheRoot", "night", true, "night"},
                                           DirCase{"LeadingBackslash", "\\images", true, "images"},
                                           DirCase{"DriveC", "C:\\frames", true, "frames"},
                                           DirCase{"Empty", "", true, ""},
                                           DirCase{"OtherDrive", "d:\\frames", false, ""},
                                           DirCase{"NotALetter", "1:frames", false, ""},
                                           DirCase{"TwoMissingLevels", "c:\\a\\b", false, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TypedNumber, ReadsLeadingDigitsLikeTheDialog) {
  EXPECT_EQ(typedNumber("  42abc"), 42);
  EXPECT_EQ(typedNumber("-5"), -5);
  EXPECT_EQ(typedNumber("abc"), 0);
  EXPECT_EQ(typedNumber(""), 0);
  EXPECT_EQ(typedNumber("99999999999999"), INT_MAX);
  EXPECT_EQ(typedNumber("-99999999999999"), INT_MIN);
}

}  // namespace
}  // namespace qlm
