#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "files/auto_model.h"
#include "files/settings.h"
#include "image/autoprocess.h"
#include "image/convolve.h"
#include "image/display.h"
#include "image/median_unsharp.h"
#include "image/processing_frames.h"
#include "image/stretch.h"
#include "image/stretch_model.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class AutoProcessTest : public ::testing::Test {
 protected:
  // A sky whose B1 level (rows 15-38) is display value 12.
  void SetUp() override { test::fillSky(b.CurrentFrame, 17, 12 * 256 + 128); }
  std::vector<std::string> historyTexts() const {
    std::vector<std::string> t;
    for (int i = 0; i < history.count(); ++i)
      t.push_back(history.entry(i));
    return t;
  }
  test::TestPlatform platform;
  ImageBuffers& b = imageBuffers();
  HistoryList& history = historyList();
  Settings& s = settings();
};

TEST_F(AutoProcessTest, StretchPowersOfTheChoices) {
  EXPECT_EQ(autoStretchPower(s), 0);
  s.auto_stretch_user = true;
  s.user_stretch_value = 9;
  EXPECT_EQ(autoStretchPower(s), 9);
  s.apply_strong_stretch = true;
  EXPECT_EQ(autoStretchPower(s), 18);
  s.apply_weak_stretch = true;
  EXPECT_EQ(autoStretchPower(s), 2);
}

TEST_F(AutoProcessTest, EveryOptionRunsInItsOrderAfterTheCaptureLines) {
  history.append("Dark Frame Subtracted");
  history.append("Flatfield Applied");
  s.apply_strong_stretch = true;
  s.remove_background = true;
  s.high_pass_low_power = true;
  s.unsharp_mask = true;
  s.unsharp_dia = 4;
  s.unsharp_power = 2;
  runAutoProcessing(autoProcessChoice(s));
  EXPECT_EQ(historyTexts(),
            (std::vector<std::string>{"Dark Frame Subtracted", "Flatfield Applied",
                                      "Background Removed : min 20", "Non-Linear Stretch : power 18",
                                      "High Pass Low Power Filter", "Unsharp Mask : rad 4 ,power 2"}));
  EXPECT_EQ(displayState().background_level, 12);
}

TEST_F(AutoProcessTest, ChainGivesTheSameFrameAsTheSingleOperations) {
  // The same steps one by one on a copy.
  Frame expected = b.CurrentFrame;
  Frame second{};
  Frame undo{};
  StretchCurve t{};
  fillBackgroundCurve(t, 12);
  applyStretchCurve(t, expected, undo);
  fillNonLinearCurve(t, 2);
  applyStretchCurve(t, expected, undo);
  convolveFrame(1, kernelTable()[2], 1, expected, second, undo);
  unsharpMaskFrame(3, 1, expected, second, undo);

  s.apply_weak_stretch = true;
  s.remove_background = true;
  s.high_pass_low_power = true;
  s.unsharp_mask = true;
  runAutoProcessing(autoProcessChoice(s));
  EXPECT_EQ(b.CurrentFrame, expected);
}

TEST_F(AutoProcessTest, RemoveBackgroundAloneIsSkippedWithoutAStretch) {
  const Frame before = b.CurrentFrame;
  s.remove_background = true;
  runAutoProcessing(autoProcessChoice(s));
  EXPECT_EQ(b.CurrentFrame, before);
  EXPECT_EQ(history.count(), 0);
}

TEST_F(AutoProcessTest, LowBackgroundSkipsOnlyTheRemoval) {
  test::fillSky(b.CurrentFrame, 17, 300);  // display level 1
  s.auto_stretch_user = true;
  s.user_stretch_value = 29;
  s.remove_background = true;
  runAutoProcessing(autoProcessChoice(s));
  EXPECT_EQ(historyTexts(), std::vector<std::string>{"Non-Linear Stretch : power 29"});
}

TEST_F(AutoProcessTest, UndoReturnsToTheStateBeforeTheLastStep) {
  s.apply_weak_stretch = true;
  s.unsharp_mask = true;
  Frame expected = b.CurrentFrame;
  Frame undo{};
  StretchCurve t{};
  fillNonLinearCurve(t, 2);
  applyStretchCurve(t, expected, undo);
  runAutoProcessing(autoProcessChoice(s));
  undoLastFilter(b.CurrentFrame, b.UndoFrame, history);
  EXPECT_EQ(b.CurrentFrame, expected);
  EXPECT_EQ(historyTexts(), std::vector<std::string>{"Non-Linear Stretch : power 2"});
}

TEST_F(AutoProcessTest, RefreshesOnceAtTheEnd) {
  s.apply_weak_stretch = true;
  s.remove_background = true;
  s.high_pass_low_power = true;
  s.unsharp_mask = true;
  const std::size_t before = platform.ui.callsOf("repaint").size();
  runAutoProcessing(autoProcessChoice(s));
  EXPECT_LE(platform.ui.callsOf("repaint").size(), before + 1);
  EXPECT_EQ(platform.ui.calls().back().kind, "cursor");
  EXPECT_EQ(platform.ui.calls().back().value, static_cast<int>(CursorShape::Arrow));
}

// ---- The choices dialog ----

class AutoModelTest : public ::testing::Test {
 protected:
  test::TestPlatform platform;
  Settings& s = settings();
  std::filesystem::path settingsFile() const { return platform.paths().settingsFile(); }
};

TEST_F(AutoModelTest, RadioButtonsAndBoxesChangeTheSettingsAtOnce) {
  AutoModel m(s);
  EXPECT_EQ(m.stretch(), AutoModel::Stretch::None);
  m.chooseStretch(AutoModel::Stretch::Strong);
  EXPECT_TRUE(s.apply_strong_stretch);
  m.chooseStretch(AutoModel::Stretch::User);
  EXPECT_FALSE(s.apply_strong_stretch);
  EXPECT_TRUE(s.auto_stretch_user);
  EXPECT_EQ(m.stretch(), AutoModel::Stretch::User);
  m.chooseStretch(AutoModel::Stretch::None);
  EXPECT_FALSE(s.apply_weak_stretch || s.apply_strong_stretch || s.auto_stretch_user);
  m.setRemoveBackground(true);
  m.setHighPass(true);
  m.setUnsharp(true);
  EXPECT_TRUE(s.remove_background && s.high_pass_low_power && s.unsharp_mask);
  EXPECT_FALSE(std::filesystem::exists(settingsFile()));
}

TEST_F(AutoModelTest, FieldsShowTheStoredValues) {
  s.user_stretch_value = 7;
  s.unsharp_dia = 5;
  s.unsharp_power = 2;
  AutoModel m(s);
  EXPECT_EQ(m.user_power_text, "7");
  EXPECT_EQ(m.dia_text, "5");
  EXPECT_EQ(m.power_text, "2");
}

struct FieldCase {
  const char* name;
  const char* user;
  const char* dia;
  const char* power;
  bool accepted;
};

class AutoSaveTest : public AutoModelTest, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(AutoSaveTest, StoresTheValuesInsideTheirRangesAndSavesOnlyWhenAllAre) {
  AutoModel m(s);
  m.user_power_text = GetParam().user;
  m.dia_text = GetParam().dia;
  m.power_text = GetParam().power;
  EXPECT_EQ(m.save(), GetParam().accepted);
  EXPECT_EQ(platform.ui.beepCount(), GetParam().accepted ? 0u : 1u);
  EXPECT_EQ(std::filesystem::exists(settingsFile()), GetParam().accepted);
  // Each field now shows what is stored: the typed value when it was in range, else the old one.
  int v = 0;
  EXPECT_EQ(m.user_power_text, std::to_string(s.user_stretch_value));
  EXPECT_EQ(s.user_stretch_value, parseFieldValue(GetParam().user, 2, 29, v) ? v : 4);
  EXPECT_EQ(s.unsharp_dia, parseFieldValue(GetParam().dia, 2, 6, v) ? v : 3);
  EXPECT_EQ(s.unsharp_power, parseFieldValue(GetParam().power, 1, 6, v) ? v : 1);
  EXPECT_EQ(m.dia_text, std::to_string(s.unsharp_dia));
  EXPECT_EQ(m.power_text, std::to_string(s.unsharp_power));
}

INSTANTIATE_TEST_SUITE_P(Fields, AutoSaveTest,
                         ::testing::Values(FieldCase{"AllInside", "29", "6", "6", true},
                                           FieldCase{"Lowest", "2", "2", "1", true},
                                           FieldCase{"UserPower30", "30", "4", "2", false},
                                           FieldCase{"UserPower1", "1", "4", "2", false},
                                           FieldCase{"Dia1", "12", "1", "2", false},
                                           FieldCase{"Power7", "12", "4", "7", false},
                                           FieldCase{"NotANumber", "12", "four", "2", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AutoModelTest, SaveWritesTheWholeSettingsRecord) {
  AutoModel m(s);
  m.chooseStretch(AutoModel::Stretch::Weak);
  m.user_power_text = "12";
  ASSERT_TRUE(m.save());
  EXPECT_EQ(std::filesystem::file_size(settingsFile()), static_cast<std::uintmax_t>(kSettingsFileSize));
  std::ifstream in(settingsFile(), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes[32], 'y');                             // "Apply Weak Stretch"
  EXPECT_EQ(static_cast<unsigned char>(bytes[35]), 12);  // the user stretch value
  EXPECT_TRUE(platform.ui.messageTexts().empty());
}

TEST_F(AutoModelTest, AFailedSaveIsReported) {
  // A file where the settings folder should be: the record cannot be written.
  std::filesystem::remove_all(settingsFile().parent_path());
  std::ofstream(settingsFile().parent_path()) << "in the way";
  AutoModel m(s);
  EXPECT_TRUE(m.save());
  EXPECT_EQ(platform.ui.messageTexts(),
            std::vector<std::string>{"Unable to save INI file, please check disk space: " +
                                     settingsFile().string() + ": Not a directory"});
}

TEST_F(AutoModelTest, HelpAndTheCommandPanel) {
  AutoModel m(s);
  m.help();
  const auto boxes = platform.ui.callsOf("message");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "RAZA8R8 - Auto Processing");
  EXPECT_EQ(
      boxes[0].text,
      "To process images as they are taken choose from these options. You can select various non-linear "
      "stretches, a high pass or Unsharp mask filter.\n\nFor more control save raw images and apply all "
      "image "
      "processing later.");
  platform.ui.onPanel("Auto-Processing Choices", [](PanelModel& panel) {
    dynamic_cast<AutoModel&>(panel).setHighPass(true);
    return kPanelCancel;
  });
  setAutoProcessingCommand();
  EXPECT_TRUE(s.high_pass_low_power);  // boxes act at once, even when the dialog is cancelled
}

}  // namespace
}  // namespace qlm
