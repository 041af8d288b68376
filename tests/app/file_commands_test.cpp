#include "app/file_commands.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/fits_model.h"
#include "capture/capture_state.h"
#include "capture/sequence.h"
#include "files/autosave.h"
#include "files/fits_details.h"
#include "files/ini_model.h"
#include "files/pk.h"
#include "files/settings.h"
#include "image/display.h"
#include "platform/atomic_file.h"
#include "support/test_home.h"

namespace qlm {
namespace {

std::string readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FileCommandsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    AtomicFile::setFailAfterBytesForTesting(-1);
    fileCommandHooks() = FileCommandHooks{};
  }
  std::filesystem::path autosaved(unsigned n) const {
    return p.home.path() / "autosave" / ("IMG" + std::to_string(n) + ".FIT");
  }
  // Writes autosaved files up to number `last` (the counter then holds `last`).
  void autosaveUpTo(unsigned last) {
    settings().autosave_counter = static_cast<std::uint16_t>(last - 1);
    ASSERT_EQ(autosaveImage(), 0);
  }
  // Scripts the next FITS details dialog: `edit` runs on its model, then it closes with `button`.
  void onFitsDialog(std::function<void(FitsModel&)> edit, int button) {
    p.ui.onPanel(FitsModel::kPanelName, [edit, button](PanelModel& m) {
      edit(static_cast<FitsModel&>(m));
      return button;
    });
  }

  test::TestPlatform p;
  FileCommandState& st = fileCommandState();
  Frame& frame = imageBuffers().CurrentFrame;
};

TEST_F(FileCommandsTest, AutosaveCounterWrapsAfter65530) {
  settings().autosave_counter = 65529;
  EXPECT_EQ(autosaveImage(), 0);
  EXPECT_EQ(settings().autosave_counter, 65530);
  EXPECT_EQ(fileSize(autosaved(65530)), 668160);
  EXPECT_EQ(autosaveImage(), 0);
  EXPECT_EQ(settings().autosave_counter, 1);
  EXPECT_EQ(fileSize(autosaved(1)), 668160);
  const std::string ini = readAll(p.paths().settingsFile());  // the counter lasts
  ASSERT_EQ(ini.size(), 1402u);
  EXPECT_EQ(ini.substr(0, 2), std::string("\x01\x00", 2));
}

TEST_F(FileCommandsTest, AutosaveStampsTheExposureMidpointAndIsAlways16Bit) {
  sequenceState().exposure_start = 1700000000;  // 2023-11-14 22:13:20 UT
  sequenceState().exposure_end = 1700000011;
  fitsDetails().eightBit = true;
  ASSERT_EQ(autosaveImage(), 0);
  EXPECT_EQ(fitsDetails().timeObs, "22:13:25");
  EXPECT_EQ(fitsDetails().dateObs, "2023-11-14");
  EXPECT_EQ(fileSize(autosaved(1)), 668160);
  EXPECT_TRUE(fitsDetails().eightBit);  // the record's flag is left alone
  // A second quick save of the same exposure carries the same stamp.
  fitsDetails().timeObs.clear();
  ASSERT_EQ(autosaveImage(), 0);
  EXPECT_EQ(fitsDetails().timeObs, "22:13:25");
  EXPECT_EQ(fileSize(autosaved(2)), 668160);
}

TEST_F(FileCommandsTest, QuickSaveBeforeAnyExposureStampsTheTimeOfSaving) {
  ScopedMachineZone utc(0);
  p.clock.advance(90000);  // 1.5 minutes after the virtual calendar's start, 2023-11-14 22:13:20 UT
  quickSaveCommand();
  EXPECT_EQ(fitsDetails().dateObs, "2023-11-14");
  EXPECT_EQ(fitsDetails().timeObs, "22:14:50");
  EXPECT_TRUE(p.ui.messageTexts().empty());
}

// Autosave takes the next number whose file does not exist, also after the counter wrapped or was
// lost with the settings file; a counter that cannot be saved is reported.
TEST_F(FileCommandsTest, AutosaveNeverReplacesAnExistingFile) {
  std::filesystem::create_directories(autosaved(1).parent_path());
  for (int n : {1, 2, 65530})
    std::ofstream(autosaved(n), std::ios::binary) << "keep " << n;
  quickSaveCommand();  // counter 0: 1 and 2 are taken
  EXPECT_EQ(settings().autosave_counter, 3);
  EXPECT_EQ(fileSize(autosaved(3)), 668160);
  EXPECT_EQ(readAll(autosaved(1)), "keep 1");
  settings().autosave_counter = 65529;  // 65530 is taken, then the counter wraps to 1, 2, 3 ... 4
  quickSaveCommand();
  EXPECT_EQ(settings().autosave_counter, 4);
  EXPECT_EQ(readAll(autosaved(65530)), "keep 65530");
  EXPECT_EQ(readAll(autosaved(2)), "keep 2");
  EXPECT_TRUE(p.ui.messageTexts().empty());
  std::filesystem::remove(p.paths().settingsFile());
  std::filesystem::create_directories(p.paths().settingsFile());  // the settings file cannot be replaced
  quickSaveCommand();
  EXPECT_EQ(fileSize(autosaved(5)), 668160);
  EXPECT_EQ(p.ui.messageTexts(),
            std::vector<std::string>{"Unable to save INI file, please check disk space: " +
                                     p.paths().settingsFile().string() + ": Is a directory"});
}

TEST_F(FileCommandsTest, FailedQuickSaveReportsKeepsTheSettingsFileButAdvancesTheCounter) {
  ASSERT_EQ(saveSettings(), kSettingsOk);
  const std::string ini = readAll(p.paths().settingsFile());
  AtomicFile::setFailAfterBytesForTesting(100);
  quickSaveCommand();
  EXPECT_EQ(settings().autosave_counter, 1);
  EXPECT_EQ(p.ui.messageTexts(),
            std::vector<std::string>{"Unable to create file, check disk space: " + autosaved(1).string() +
                                     ": No space left on device"});
  EXPECT_FALSE(std::filesystem::exists(autosaved(1)));
  AtomicFile::setFailAfterBytesForTesting(-1);
  EXPECT_EQ(readAll(p.paths().settingsFile()), ini);
  // A folder on a drive the machine lacks fails the same way, and the counter still moves on.
  settings().autosave_dir = "q:\\images";
  EXPECT_EQ(autosaveImage(), kAutosaveFileFailed);
  EXPECT_EQ(settings().autosave_counter, 2);
}

TEST_F(FileCommandsTest, OpenNotesTheAutosaveNumberAndLoadNextFollowsIt) {
  autosaveUpTo(12);
  autosaveUpTo(13);
  loadNextAutosavedCommand();  // nothing opened yet
  EXPECT_EQ(p.ui.messageTexts().back(),
            "Sorry, you must first load an autosaved file to start the sequence, or there are no more files");
  p.ui.queueOpenFile(autosaved(12).string());
  openCommand();
  EXPECT_EQ(st.last_opened_autosave, 12);
  EXPECT_EQ(st.current_file_name, "img12.fit");
  EXPECT_EQ(p.ui.title(), "QLM_T4_USB - img12.fit");
  loadNextAutosavedCommand();
  EXPECT_EQ(st.last_opened_autosave, 13);
  EXPECT_EQ(st.current_file_name, autosaved(13).string());
  const std::size_t shown = p.ui.messageTexts().size();
  loadNextAutosavedCommand();  // 13 is the last one written
  EXPECT_EQ(p.ui.messageTexts().size(), shown + 1);
  EXPECT_EQ(st.last_opened_autosave, 13);
}

TEST_F(FileCommandsTest, OpeningAnotherNameLeavesTheAutosaveNumber) {
  st.last_opened_autosave = 5;
  frame[0] = 1234;
  ASSERT_TRUE(saveRawImage(p.home.path() / "~M31", frame));
  frame[0] = 0;
  p.ui.queueOpenFile((p.home.path() / "~M31").string());
  openCommand();
  EXPECT_EQ(frame[0], 1234);
  EXPECT_EQ(st.last_opened_autosave, 5);
  EXPECT_EQ(st.current_file_name, "~m31");
  EXPECT_EQ(st.file_kind, 1);
}

TEST_F(FileCommandsTest, AFitsFileOfAnotherProgramStopsWithoutARedraw) {
  std::ofstream(p.home.path() / "IMG7.FIT", std::ios::binary) << std::string(668160, ' ');
  p.ui.queueOpenFile((p.home.path() / "IMG7.FIT").string());
  openCommand();
  EXPECT_EQ(p.ui.messageTexts(),
            std::vector<std::string>{"Unable to load FITS file, File was not saved by this program"});
  EXPECT_TRUE(p.ui.callsOf("title").empty());
  EXPECT_EQ(st.last_opened_autosave, 0);
}

TEST_F(FileCommandsTest, OpenWhileMergingKeepsTheShownImageAsTheSecond) {
  bool refreshed = false;
  fileCommandHooks().merge_open = [] { return true; };
  fileCommandHooks().merge_refresh = [&refreshed] { refreshed = true; };
  frame[100] = 4321;
  static const Frame zeros{};
  ASSERT_TRUE(saveRawImage(p.home.path() / "~other", zeros));
  p.ui.queueOpenFile((p.home.path() / "~other").string());
  openCommand();
  EXPECT_TRUE(refreshed);
  EXPECT_EQ(imageBuffers().SecondFrame[100], 4321);
  EXPECT_EQ(frame[100], 0);
}

TEST_F(FileCommandsTest, RawSaveWritesPkWhateverTheNameAndTheNameSetsTheNextFilter) {
  p.ui.queueSaveFile((p.home.path() / "Picture.FIT").string());
  saveCommand();
  EXPECT_EQ(fileSize(p.home.path() / "Picture.FIT"), 660000);
  EXPECT_EQ(p.ui.title(), "QLM_T4_USB - picture.fit");
  EXPECT_EQ(st.file_kind, 3);
  EXPECT_EQ(filtersFor(FileDialogKind::Pk, st.file_kind).front().label, "All Files(*.*)");
}

TEST_F(FileCommandsTest, TiffSaveAddsItsExtensionAndReportsAFailure) {
  p.ui.queueSaveFile((p.home.path() / "night").string());
  saveAsTiffCommand();
  EXPECT_EQ(fileSize(p.home.path() / "night.TIF"), 330246);
  EXPECT_TRUE(p.ui.messageTexts().empty());
  AtomicFile::setFailAfterBytesForTesting(500);
  p.ui.queueSaveFile((p.home.path() / "night.TIF").string());
  saveAsTiffCommand();
  EXPECT_EQ(
      p.ui.messageTexts(),
      (std::vector<std::string>{"night.TIF already exists.\nDo you want to replace it?",
                                "Unable to create file, check disk space: " +
                                    (p.home.path() / "night.TIF").string() + ": No space left on device"}));
  EXPECT_EQ(fileSize(p.home.path() / "night.TIF"), 330246);  // the old file stays
}

// The default extension goes onto the typed name before the dialog checks it: an existing file is
// replaced only after "Yes", a read-only one never; both send the user back to the dialog.
TEST_F(FileCommandsTest, SaveDialogsAskAboutTheNameWithItsExtensionAndRefuseReadOnlyFiles) {
  const auto tif = p.home.path() / "night.TIF";
  std::ofstream(tif, std::ios::binary) << "old tiff";
  p.ui.queueSaveFile((p.home.path() / "night").string());
  p.ui.queueMessageAnswer(MessageAnswer::No);
  p.ui.queueSaveFile(std::nullopt);  // back in the dialog: Cancel
  saveAsTiffCommand();
  EXPECT_EQ(readAll(tif), "old tiff");
  EXPECT_EQ(p.ui.callsOf("save-file").size(), 2u);

  const auto fit = p.home.path() / "locked.FIT";
  std::ofstream(fit, std::ios::binary) << "read-only";
  std::filesystem::permissions(fit, std::filesystem::perms::owner_read);
  p.ui.clearCalls();
  onFitsDialog([](FitsModel&) {}, kPanelOk);
  p.ui.queueSaveFile((p.home.path() / "locked").string());
  p.ui.queueSaveFile((p.home.path() / "free").string());
  saveAsFitsCommand();
  EXPECT_EQ(readAll(fit), "read-only");
  EXPECT_EQ(p.ui.messageTexts(),
            std::vector<std::string>{
                "locked.FIT\nThis file is set to read-only.\nTry again with a different file name."});
  EXPECT_EQ(fileSize(p.home.path() / "free.FIT"), 668160);
}

TEST_F(FileCommandsTest, SaveAsFitsFillsTheDateAndSavesOnlyAfterContinue) {
  fitsDetails().eightBit = true;
  onFitsDialog([](FitsModel& m) { EXPECT_FALSE(m.eightBit()); }, kPanelCancel);
  saveAsFitsCommand();
  EXPECT_TRUE(p.ui.callsOf("save-file").empty());
  EXPECT_EQ(fitsDetails().dateObs.size(), 10u);
  EXPECT_EQ(fitsDetails().dateObs.substr(0, 2), "20");
  onFitsDialog([](FitsModel& m) { m.toggleEightBit(); }, kPanelOk);
  p.ui.queueSaveFile((p.home.path() / "m42").string());
  saveAsFitsCommand();
  EXPECT_EQ(fileSize(p.home.path() / "m42.FIT"), 337360);  // 8-bit, as the box was clicked
  EXPECT_EQ(st.file_kind, 2);
}

// A frame from an exposure is stamped with that exposure's UT midpoint, as its autosave would be; a
// frame opened from a file keeps the local-date rule.
TEST_F(FileCommandsTest, SaveAsFitsOfAnExposureStampsItsMidpoint) {
  sequenceState().exposure_start = 1700000000;  // 2023-11-14 22:13:20 UT
  sequenceState().exposure_end = 1700000011;
  displayState().image_title = kPhotoTitle;
  std::string shown_time;
  onFitsDialog([&](FitsModel& m) { shown_time = m.texts.time; }, kPanelCancel);
  saveAsFitsCommand();
  EXPECT_EQ(shown_time, "22:13:25");
  EXPECT_EQ(fitsDetails().dateObs, "2023-11-14");

  fitsDetails().timeObs.clear();
  fitsDetails().dateObs.clear();
  displayState().image_title = "m42.fit";
  onFitsDialog([](FitsModel&) {}, kPanelCancel);
  saveAsFitsCommand();
  EXPECT_EQ(fitsDetails().timeObs, "");
  EXPECT_EQ(fitsDetails().dateObs.size(), 10u);
}

TEST_F(FileCommandsTest, ShowCurrentFitsDetailsAbortKeepsTextsButNotTheEightBitBox) {
  fitsDetails().object = "M 57";
  onFitsDialog(
      [](FitsModel& m) {
        m.texts.object = "changed";
        m.toggleEightBit();
      },
      kPanelCancel);
  showCurrentFitsDetailsCommand();
  EXPECT_EQ(fitsDetails().object, "M 57");
  EXPECT_TRUE(fitsDetails().eightBit);
  onFitsDialog([](FitsModel& m) { m.texts.object = "changed"; }, kPanelOk);
  showCurrentFitsDetailsCommand();
  EXPECT_EQ(fitsDetails().object, "changed");
  EXPECT_FALSE(std::filesystem::exists(p.paths().settingsFile()));  // kept in memory only
}

TEST_F(FileCommandsTest, AutosaveFitsTextIsSavedInTheSettingsFile) {
  std::filesystem::create_directories(p.paths().autosaveDir());  // folder but no file: the load fails
  fitsDetails().eightBit = true;
  onFitsDialog([](FitsModel& m) { m.texts.observer = "Ada"; }, kPanelOk);
  editAutosaveFitsTextCommand();
  EXPECT_EQ(p.ui.messageTexts(),
            std::vector<std::string>{"Unable to load INI file, please delete and try again"});
  EXPECT_FALSE(fitsDetails().eightBit);
  const std::string ini = readAll(p.paths().settingsFile());
  ASSERT_EQ(ini.size(), 1402u);
  EXPECT_EQ(ini.substr(285, 15), "OBSERVER= 'Ada'");
}

TEST_F(FileCommandsTest, DeleteAsksAndDeletesOnlyOnOk) {
  const auto victim = p.home.path() / "~old";
  std::ofstream(victim) << "x";
  p.ui.queueOpenFile(victim.string());
  deleteFileCommand();  // the confirmation is cancelled
  EXPECT_TRUE(std::filesystem::exists(victim));
  std::string asked;
  p.ui.onPanel(kDeleteFilePanel, [&asked](PanelModel& m) {
    asked = static_cast<DeleteFileModel&>(m).path;
    return kPanelOk;
  });
  p.ui.queueOpenFile(victim.string());
  deleteFileCommand();
  EXPECT_EQ(asked, victim.string());
  EXPECT_FALSE(std::filesystem::exists(victim));
  EXPECT_TRUE(p.ui.messageTexts().empty());
}

TEST_F(FileCommandsTest, DarkAndFlatSelectionStoreTheFullPath) {
  p.ui.queueOpenFile((p.home.path() / "~dark").string());
  selectDarkFrameCommand();
  selectFlatfieldCommand();  // cancelled
  EXPECT_EQ(captureSettings().dark_file, (p.home.path() / "~dark").string());
  EXPECT_EQ(captureSettings().flat_file, "");
}

TEST_F(FileCommandsTest, HistoryBoxOfAnUnprocessedImageHoldsOnlyTheLineEnd) {
  processingHistoryCommand();
  historyList().append("Log Stretch");
  historyList().append("Unsharp Mask");
  processingHistoryCommand();
  const auto boxes = p.ui.callsOf("message");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "QLM_T4 - PROCESSING HISTORY");
  EXPECT_EQ(boxes[0].text, " \n");
  EXPECT_EQ(boxes[1].text, "Log Stretch \nUnsharp Mask \n");
}

TEST_F(FileCommandsTest, DefaultsCancelKeepsChangesUntilTheNextLoad) {
  ASSERT_EQ(saveSettings(), kSettingsOk);
  p.ui.onPanel(IniModel::kPanelName, [](PanelModel& m) {
    static_cast<IniModel&>(m).setBackground('r');
    return kPanelCancel;
  });
  programDefaultsCommand();
  EXPECT_EQ(settings().window_background, 'r');
  EXPECT_EQ(readAll(p.paths().settingsFile())[11], 'l');
  EXPECT_EQ(p.ui.callsOf("repaint").size(), 1u);  // the window shows the new background
  char shown = 0;
  p.ui.onPanel(IniModel::kPanelName, [&shown](PanelModel& m) {
    shown = static_cast<IniModel&>(m).values().window_background;
    static_cast<IniModel&>(m).setBackground('g');
    return kPanelOk;
  });
  programDefaultsCommand();
  EXPECT_EQ(shown, 'l');  // reopening reloads the stored background
  EXPECT_EQ(readAll(p.paths().settingsFile())[11], 'g');
  EXPECT_TRUE(p.ui.messageTexts().empty());
}

TEST_F(FileCommandsTest, DefaultsSaveFailureIsReported) {
  ASSERT_EQ(saveSettings(), kSettingsOk);
  p.ui.onPanel(IniModel::kPanelName, [](PanelModel&) {
    AtomicFile::setFailAfterBytesForTesting(10);
    return kPanelOk;
  });
  programDefaultsCommand();
  EXPECT_EQ(p.ui.messageTexts(),
            std::vector<std::string>{"Unable to save INI file, please check disk space: " +
                                     p.paths().settingsFile().string() + ": No space left on device"});
}

TEST(FileDialogs, FilterListsAndTheFileKindRules) {
  const auto open = fileFilters(FileDialogKind::Open);
  ASSERT_EQ(open.size(), 3u);
  EXPECT_EQ(open[0].label, "Orbilux (~*.)");
  EXPECT_EQ(open[0].patterns, "~*");
  EXPECT_EQ(open[2].label, "All Files");
  EXPECT_EQ(fileFilters(FileDialogKind::Pk)[2].label, "All Files(*.*)");
  EXPECT_EQ(fileFilters(FileDialogKind::Tiff)[0].label, "Tiff file (*.TIF)");
  EXPECT_EQ(fileFilters(FileDialogKind::Fits)[0].label, "FITS file (*.FIT)");
  EXPECT_EQ(filtersFor(FileDialogKind::Open, 2).front().label, "FITS files");
  EXPECT_EQ(filtersFor(FileDialogKind::Fits, 3).front().label, "FITS file (*.FIT)");  // no third entry
  EXPECT_EQ(fileKindAfter(FileDialogKind::Fits, "a~b"), 2);
  EXPECT_EQ(fileKindAfter(FileDialogKind::Open, "~dark"), 1);
  EXPECT_EQ(fileKindAfter(FileDialogKind::Tiff, "x.TIF"), 3);
}

}  // namespace
}  // namespace qlm
