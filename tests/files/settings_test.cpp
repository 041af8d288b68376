#include "files/settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "app/startup.h"
#include "cli/cli.h"
#include "files/fits_details.h"
#include "platform/atomic_file.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using Bytes = std::string;

Bytes readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const std::filesystem::path& p, const Bytes& b) {
  std::ofstream(p, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
}

Bytes le16(int v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

Bytes card(const std::string& prefix, const std::string& value) {
  Bytes c = prefix + value + "'";
  c.resize(80, ' ');
  return c;
}

Bytes blankCards(const std::string& prefix) {
  Bytes out;
  for (int k = 0; k < 4; ++k)
    out += card(prefix, std::string(68, ' '));
  return out;
}

// The file a first run writes, spelled out field by field from the record's table.
Bytes initialRecord() {
  Bytes r;
  r += le16(0) + le16(0) + "1" + le16(0) + le16(8) + le16(1) + "l" + "0";
  r += le16(2) + le16(2) + le16(0) + le16(0) + "1" + "n" + "1" + le16(0) + le16(0) + "nsew";
  r += "nnn" + le16(4) + "nn" + le16(3) + le16(1) + "n" + "n";
  r += card("OBJECT  = '", "") + card("TELESCOP= '", "") + card("INSTRUME= '", "Orbilux CCD");
  r += card("OBSERVER= '", "") + card("ORIGIN  = '", "");
  r += blankCards("HISTORY = '") + blankCards("COMMENT = '") + card("FILTER  = '", "None");
  r += Bytes(16, '\0') + "n" + "y" + Bytes(1, '\0') + Bytes(99, ' ');
  r += le16(6) + le16(6) + le16(0) + le16(0) + le16(0) + le16(0) + "y" + "n" + le16(0) + "y" + le16(7);
  r += Bytes("Blank\0\0\0\0\0", 10);
  for (int i = 2; i <= 8; ++i)
    r += "Filter " + std::to_string(i) + Bytes(2, '\0');
  r += "nnnn" + le16(5) + le16(5) + le16(5) + le16(5) + "n" + le16(0) + "T" + "nsew";
  return r;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void TearDown() override { AtomicFile::setFailAfterBytesForTesting(-1); }
  // Writes `record` as the settings file (its folder then exists) and loads it.
  int loadFrom(const Bytes& record) {
    std::filesystem::create_directories(path.parent_path());
    writeAll(path, record);
    return loadSettings();
  }

  test::TestPlatform p;
  std::filesystem::path path = p.paths().settingsFile();
  Settings& s = settings();
  FitsDetails& fits = fitsDetails();
};

TEST_F(SettingsFileTest, FirstRunWritesTheInitialRecordAndASecondLoadReadsIt) {
  ASSERT_FALSE(std::filesystem::exists(path.parent_path()));
  EXPECT_EQ(loadSettings(), kSettingsOk);
  const Bytes expected = initialRecord();
  ASSERT_EQ(expected.size(), 1402u);
  EXPECT_EQ(readAll(path), expected);
  EXPECT_EQ(loadSettings(), kSettingsOk);
  EXPECT_EQ(readAll(path), expected);
  EXPECT_EQ(s.telescope_port, 0);  // com setting "1" read back
  EXPECT_EQ(s.autosave_dir, "c:\\AUTOSAVE");
  EXPECT_TRUE(p.ui.messageTexts().empty());
}

TEST_F(SettingsFileTest, FolderPresentButNoFileGivesTwoAndCreatesNothing) {
  std::filesystem::create_directories(path.parent_path());
  EXPECT_EQ(loadSettings(), kSettingsShort);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(std::filesystem::is_empty(path.parent_path()));
}

TEST_F(SettingsFileTest, StartUpReadsTheFile) {
  Bytes r = initialRecord();
  r.replace(0, 2, le16(4242));
  std::filesystem::create_directories(path.parent_path());
  writeAll(path, r);
  ASSERT_TRUE(startProgram());
  EXPECT_EQ(settings().autosave_counter, 4242);
}

TEST_F(SettingsFileTest, InvalidBackgroundRewritesWithTheValuesReadSoFar) {
  Bytes r = initialRecord();
  r.replace(0, 2, le16(77));
  r.replace(7, 2, le16(13));
  r[11] = 'x';
  r[22] = 'l';                                    // after the fault: never read
  r.replace(45, 80, card("OBJECT  = '", "M31"));  // likewise
  EXPECT_EQ(loadFrom(r), kSettingsOk);
  EXPECT_EQ(s.autosave_counter, 77);
  EXPECT_EQ(s.mask_radius, 13);
  EXPECT_EQ(s.drive_method, 'n');
  EXPECT_EQ(fits.object, "");
  Bytes expected = initialRecord();
  expected.replace(0, 2, le16(77));
  expected.replace(7, 2, le16(13));
  EXPECT_EQ(readAll(path), expected);
}

// An invalid value stops the load: neither it nor anything after it is stored, and the file is
// rewritten from the values held.
struct InvalidCase {
  const char* name;
  std::size_t offset;
  Bytes bytes;
};

class InvalidValueTest : public SettingsFileTest, public ::testing::WithParamInterface<InvalidCase> {};

TEST_P(InvalidValueTest, StopsAndRepairsTheFile) {
  Bytes r = initialRecord();
  r.replace(0, 2, le16(1234));  // read before every fault
  r[1397] = 'A';                // after every fault
  r.replace(GetParam().offset, GetParam().bytes.size(), GetParam().bytes);
  EXPECT_EQ(loadFrom(r), kSettingsOk);
  EXPECT_EQ(s.autosave_counter, 1234);
  EXPECT_EQ(s.guide_device, 'T');
  const Bytes after = readAll(path);
  ASSERT_EQ(after.size(), 1402u);
  EXPECT_EQ(after.substr(GetParam().offset, GetParam().bytes.size()),
            initialRecord().substr(GetParam().offset, GetParam().bytes.size()));
  EXPECT_EQ(after[1397], 'T');
}

INSTANTIATE_TEST_SUITE_P(
    Fields, InvalidValueTest,
    ::testing::Values(InvalidCase{"Background", 11, "x"}, InvalidCase{"RaBacklash31", 17, le16(31)},
                      InvalidCase{"RaBacklashNegative", 17, le16(-1)}, InvalidCase{"IgnoreDrift", 21, "y"},
                      InvalidCase{"DriveMethod", 22, "q"}, InvalidCase{"Interrupts", 23, "n"},
                      InvalidCase{"NoEastOrWest", 28, "nsnn"}, InvalidCase{"UserStretch0", 35, le16(0)},
                      InvalidCase{"UserStretch37", 35, le16(37)}, InvalidCase{"HighPass", 37, "1"},
                      InvalidCase{"Unsharp", 38, "Y"}, InvalidCase{"Diameter7", 39, le16(7)},
                      InvalidCase{"Power0", 41, le16(0)}, InvalidCase{"Background2", 43, "0"},
                      InvalidCase{"GuiderRaBacklash", 1287, le16(31)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileTest, UnknownDriveMethodBecomesNone) {
  Bytes r = initialRecord();
  r[22] = 'q';
  r[23] = '0';  // after the fault: never read
  s.drive_method = 'l';
  EXPECT_EQ(loadFrom(r), kSettingsOk);
  EXPECT_EQ(s.drive_method, 'n');
  EXPECT_TRUE(s.disable_interrupts_during_download);
  EXPECT_EQ(readAll(path), initialRecord());
}

TEST_F(SettingsFileTest, DecBacklash31AndOneEastWestLetterLoad) {
  Bytes r = initialRecord();
  r.replace(19, 2, le16(31));
  r.replace(28, 4, "snxe");  // byte 31 is a west/east letter: valid
  EXPECT_EQ(loadFrom(r), kSettingsOk);
  EXPECT_EQ(s.main_dec_backlash, 31);
  EXPECT_EQ(s.direction_letters, (std::array<char, 4>{'x', 'e', 's', 'n'}));
  EXPECT_EQ(readAll(path), r);  // not rewritten
}

TEST_F(SettingsFileTest, UnreadableComPortIsReportedAndLoadingGoesOn) {
  Bytes r = initialRecord();
  r[4] = '3';
  r.replace(1395, 2, le16(1));
  s.telescope_com = '2';
  EXPECT_EQ(loadFrom(r), kSettingsOk);
  EXPECT_EQ(p.ui.messageTexts(), std::vector<std::string>{"Failed to read comm port value"});
  EXPECT_EQ(p.ui.callsOf("message")[0].caption, "QLM_T4_USB");
  EXPECT_EQ(s.telescope_com, '2');
  EXPECT_EQ(s.ao_port, 1);
  r[4] = '2';
  EXPECT_EQ(loadFrom(r), kSettingsOk);
  EXPECT_EQ(s.telescope_port, 1);
}

// Values of 50 or more are written as 10 (Dec backlash as 0); memory keeps the value.
struct ClampCase {
  const char* name;
  int Settings::*field;
  std::size_t offset;
  int written;
};

class SaveClampTest : public SettingsFileTest, public ::testing::WithParamInterface<ClampCase> {};

TEST_P(SaveClampTest, OnlyTheWrittenBytesAreClamped) {
  s.*GetParam().field = 60;
  ASSERT_EQ(saveSettings(), kSettingsOk);
  EXPECT_EQ(s.*GetParam().field, 60);
  EXPECT_EQ(readAll(path).substr(GetParam().offset, 2), le16(GetParam().written));
  ASSERT_EQ(loadSettings(), kSettingsOk);
  EXPECT_EQ(s.*GetParam().field, GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SaveClampTest,
    ::testing::Values(ClampCase{"RaRate", &Settings::main_ra_rate, 13, 10},
                      ClampCase{"DecBacklash", &Settings::main_dec_backlash, 19, 0},
                      ClampCase{"DecHysteresis", &Settings::main_dec_hysteresis, 26, 10},
                      ClampCase{"GuiderDecRate", &Settings::guider_dec_rate, 1285, 10},
                      ClampCase{"GuiderDecBacklash", &Settings::guider_dec_backlash, 1289, 0},
                      ClampCase{"AoLatestUpDown", &Settings::ao_latest_ud_gain, 1392, 10},
                      ClampCase{"MaskRadiusAsIs", &Settings::mask_radius, 7, 60}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileTest, UnsignedFitsIsNeverStoredAndAlwaysOffAfterALoad) {
  fits.unsignedFits = true;
  ASSERT_EQ(saveSettings(), kSettingsOk);
  Bytes r = readAll(path);
  EXPECT_EQ(r[1181], 'n');
  r[1181] = 'y';
  fits.unsignedFits = true;
  EXPECT_EQ(loadFrom(r), kSettingsOk);
  EXPECT_FALSE(fits.unsignedFits);
}

TEST_F(SettingsFileTest, FileOneByteShortLoadsAllButTheLastLetterAndIsNotRewritten) {
  Bytes r = initialRecord();
  r.replace(1398, 4, "snwe");
  r.replace(1395, 2, le16(1));
  r.resize(1401);
  EXPECT_EQ(loadFrom(r), kSettingsShort);
  EXPECT_EQ(s.ao_port, 1);
  EXPECT_EQ(s.ao_direction_letters, (std::array<char, 4>{'w', 'w', 's', 'n'}));  // west slot untouched
  EXPECT_EQ(readAll(path).size(), 1401u);
  EXPECT_EQ(loadSettings(), kSettingsShort);  // reported every time until a save
}

TEST_F(SettingsFileTest, OlderFileEndingAt34IsRewrittenInFull) {
  Bytes r = initialRecord();
  r.replace(0, 2, le16(9));
  r[33] = 'y';
  r.resize(34);
  EXPECT_EQ(loadFrom(r), kSettingsOk);
  EXPECT_TRUE(s.apply_strong_stretch);
  Bytes expected = initialRecord();
  expected.replace(0, 2, le16(9));
  expected[33] = 'y';
  EXPECT_EQ(readAll(path), expected);
}

TEST_F(SettingsFileTest, OlderFileWithoutByte44ReadsTheCardsInPlace) {
  Bytes r = initialRecord();
  r.replace(45, 80, card("OBJECT  = '", "M42"));
  r.replace(1085, 80, card("FILTER  = '", "Red"));
  r.erase(44, 1);
  s.reserved_flag1 = true;
  r[1396] = 'A';  // the guide device, one byte earlier in this layout
  EXPECT_EQ(loadFrom(r), kSettingsOk);
  EXPECT_EQ(fits.object, "M42");
  EXPECT_EQ(fits.filterName, "Red");
  EXPECT_FALSE(s.reserved_flag1);
  EXPECT_EQ(s.guide_device, 'A');
  EXPECT_EQ(readAll(path), r);  // complete in its own layout: not rewritten
}

TEST_F(SettingsFileTest, EveryFieldSurvivesASaveAndLoad) {
  s.autosave_counter = 65530;
  s.telescope_com = '2';
  s.window_background = 'r';
  s.main_ra_backlash = 30;
  s.drive_method = 'b';
  s.direction_letters = {'w', 'e', 's', 'n'};
  s.auto_stretch_user = true;
  s.user_stretch_value = 36;
  s.unsharp_dia = 6;
  s.autosave_dir_entered = s.autosave_dir = "c:\\images\\night";
  s.default_ra_angle = -12.9;
  s.filter_names[7] = "VeryLongNameCut";
  s.ao_direction_letters = {'e', 'w', 's', 'n'};
  s.guide_device = 'A';
  fits.timeDifferenceHours = -7;
  fits.object = "NGC 7000";
  fits.instrument = std::string(70, 'i');
  fits.historyText = std::string(300, 'h');
  fits.aperture = 12.5;
  fits.focalLength = 80.25;
  ASSERT_EQ(saveSettings(), kSettingsOk);
  EXPECT_EQ(readAll(path).substr(205, 80), "INSTRUME= '" + std::string(69, 'i'));  // cut like a FITS card
  const Settings saved = s;
  const FitsDetails saved_fits = fits;
  resetSettings(s);
  fits = FitsDetails{};
  ASSERT_EQ(loadSettings(), kSettingsOk);
  EXPECT_EQ(s.autosave_counter, 65530);
  EXPECT_EQ(s.telescope_com, '2');
  EXPECT_EQ(s.window_background, 'r');
  EXPECT_EQ(s.main_ra_backlash, 30);
  EXPECT_EQ(s.drive_method, 'b');
  EXPECT_EQ(s.direction_letters, saved.direction_letters);
  EXPECT_TRUE(s.auto_stretch_user);
  EXPECT_EQ(s.user_stretch_value, 36);
  EXPECT_EQ(s.unsharp_dia, 6);
  EXPECT_EQ(s.autosave_dir, "c:\\images\\night");
  EXPECT_EQ(s.default_ra_angle, -12.0);  // whole degrees toward zero
  EXPECT_EQ(s.filter_names[7], "VeryLongN");
  EXPECT_EQ(s.ao_direction_letters, saved.ao_direction_letters);
  EXPECT_EQ(s.guide_device, 'A');
  EXPECT_EQ(fits.timeDifferenceHours, -7);
  EXPECT_EQ(fits.object, "NGC 7000");
  EXPECT_EQ(fits.instrument, std::string(67, 'i'));
  EXPECT_EQ(fits.historyText, std::string(255, 'h'));  // three pieces of 68 and 51 of the fourth
  EXPECT_EQ(fits.aperture, saved_fits.aperture);
  EXPECT_EQ(fits.focalLength, saved_fits.focalLength);
}

// The directory text ends at its zero byte, or at a quote from the second byte on.
struct DirCase {
  const char* name;
  Bytes stored;
  std::string entered;
  std::string used;
};

class DirectoryTextTest : public SettingsFileTest, public ::testing::WithParamInterface<DirCase> {};

TEST_P(DirectoryTextTest, LoadsAsTheRecordSays) {
  Bytes r = initialRecord();
  Bytes dir = GetParam().stored;
  dir.resize(100, ' ');
  r.replace(1183, 100, dir);
  s.autosave_dir = "x";
  EXPECT_EQ(loadFrom(r), kSettingsOk);
  EXPECT_EQ(s.autosave_dir_entered, GetParam().entered);
  EXPECT_EQ(s.autosave_dir, GetParam().used);
}

INSTANTIATE_TEST_SUITE_P(Texts, DirectoryTextTest,
                         ::testing::Values(DirCase{"Empty", Bytes(1, '\0'), "", "c:\\AUTOSAVE"},
                                           DirCase{"Typed", Bytes("c:\\img\0", 7), "c:\\img", "c:\\img"},
                                           DirCase{"QuoteEnds", Bytes("c:\\a'b\0", 7), "c:\\a", "c:\\a"},
                                           DirCase{"LeadingQuoteStays", Bytes("'ab\0", 4), "'ab", "'ab"},
                                           DirCase{"NoZero", Bytes(100, 'd'), std::string(99, 'd'),
                                                   std::string(99, 'd')}),
                         [](const auto& info) { return std::string(info.param.name); });

// Text cards are read as the FITS reader reads them: up to the quote or a zero byte, at most 67
// characters in a one-card text and 255 in a four-card one.
TEST_F(SettingsFileTest, CardTextsEndAtAZeroByteAndKeepTheRecordsWidths) {
  Bytes r = initialRecord();
  r.replace(56, 5, Bytes("M3\0x'", 5));
  r.replace(205, 80, card("INSTRUME= '", std::string(68, 'i')));
  r.replace(445, 320, Bytes(320, 'h'));  // four cards without a quote
  EXPECT_EQ(loadFrom(r), kSettingsOk);
  EXPECT_EQ(fits.object, "M3");
  EXPECT_EQ(fits.instrument, std::string(67, 'i'));
  EXPECT_EQ(fits.historyText, std::string(255, 'h'));
}

class FailedSaveTest : public SettingsFileTest, public ::testing::WithParamInterface<long long> {};

TEST_P(FailedSaveTest, ReportsThreeAndKeepsTheOldFile) {
  ASSERT_EQ(saveSettings(), kSettingsOk);
  const Bytes old = readAll(path);
  s.autosave_counter = 99;
  AtomicFile::setFailAfterBytesForTesting(GetParam());
  EXPECT_EQ(saveSettings(), kSettingsSaveFailed);
  AtomicFile::setFailAfterBytesForTesting(-1);
  EXPECT_EQ(readAll(path), old);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(path.parent_path()))
    ++files;
  EXPECT_EQ(files, 1u);  // no partial file left behind
}

INSTANTIATE_TEST_SUITE_P(Stages, FailedSaveTest, ::testing::Values(0, 1, 44, 45, 700, 1183, 1401));

TEST_F(SettingsFileTest, AnyContentLoadsRepairsOrReportsWithoutHarm) {
  std::mt19937 rng(20240607);
  const Bytes valid = initialRecord();
  for (int i = 0; i < 300; ++i) {
    const std::size_t len = rng() % 1500;
    Bytes r(len, '\0');
    // Half the inputs start from a valid record with a few bytes changed, so loads get deep.
    for (std::size_t k = 0; k < len; ++k)
      r[k] = (i % 2 == 0 && k < valid.size()) ? valid[k] : static_cast<char>(rng());
    for (int flips = 0; flips < 3 && len > 0; ++flips)
      r[rng() % len] = static_cast<char>(rng());
    fits.unsignedFits = true;
    const int result = loadFrom(r);
    const Bytes after = readAll(path);
    if (result == kSettingsShort) {
      EXPECT_EQ(after, r);  // a short file is never rewritten
    } else {
      ASSERT_EQ(result, kSettingsOk);
      if (after == r) {
        EXPECT_GE(after.size(), 1402u);  // read to the end
        EXPECT_FALSE(fits.unsignedFits);
      } else {
        EXPECT_EQ(after.size(), 1402u);  // repaired
      }
    }
  }
}

TEST_F(SettingsFileTest, TypedDirectoriesMapOntoTheDataRoot) {
  const auto root = p.home.path();
  EXPECT_EQ(mapDirectory("c:\\AUTOSAVE"), root / "autosave");
  EXPECT_EQ(mapDirectory("C:/Autosave/"), root / "autosave");
  EXPECT_EQ(mapDirectory("c:\\images\\m31"), root / "images" / "m31");
  EXPECT_EQ(mapDirectory("night"), root / "night");
  EXPECT_EQ(mapDirectory("/var/tmp/x"), std::filesystem::path("/var/tmp/x"));
  EXPECT_TRUE(mapDirectory("q:\\x").empty());
  s.autosave_counter = 12;
  EXPECT_EQ(autosaveFileName(s, 13), root / "autosave" / "IMG13.FIT");
}

class SettingsVerbTest : public ::testing::Test {
 protected:
  int run(std::vector<std::string> words) {
    out.str("");
    err.str("");
    words.insert(words.begin(), {"--home", home.path().string(), "settings"});
    return runCli(words, out, err);
  }
  bool shows(const std::string& line) const { return out.str().find(line + "\n") != std::string::npos; }
  test::TempHome home;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(SettingsVerbTest, ShowCreatesTheFileOnAFirstRunAndPrintsEveryField) {
  ASSERT_EQ(run({"show"}), 0) << err.str();
  EXPECT_EQ(readAll(home.path() / "autosave" / "QLM_T4.ini"), initialRecord());
  EXPECT_TRUE(shows("autosave_counter: 0"));
  EXPECT_TRUE(shows("instrument: Orbilux CCD"));
  EXPECT_TRUE(shows("direction_letters: ewns"));
  EXPECT_TRUE(shows("filter_name_8: Filter 8"));
  EXPECT_TRUE(shows("ao_direction_letters: ewns"));
}

TEST_F(SettingsVerbTest, SetChangesOneFieldAndSaves) {
  ASSERT_EQ(run({"set", "main_ra_rate", "7"}), 0) << err.str();
  ASSERT_EQ(run({"set", "object", "M 51"}), 0) << err.str();
  ASSERT_EQ(run({"set", "autosave_dir_entered", "c:\\night"}), 0) << err.str();
  ASSERT_EQ(run({"show"}), 0);
  EXPECT_TRUE(shows("main_ra_rate: 7"));
  EXPECT_TRUE(shows("object: M 51"));
  EXPECT_TRUE(shows("autosave_dir_entered: c:\\night"));
  EXPECT_EQ(run({"set", "main_ra_rate", "fast"}), 2);
  EXPECT_EQ(run({"set", "no_such_thing", "1"}), 2);
  EXPECT_EQ(run({"set", "main_ra_rate"}), 2);
  ASSERT_EQ(run({"show"}), 0);
  EXPECT_TRUE(shows("main_ra_rate: 7"));
}

TEST_F(SettingsVerbTest, NamesAreSnakeCaseAndTheOldNamesStillSet) {
  ASSERT_EQ(run({"set", "timeDifferenceHours", "3"}), 0) << err.str();
  ASSERT_EQ(run({"set", "focal_length", "1200"}), 0) << err.str();
  ASSERT_EQ(run({"show"}), 0);
  EXPECT_TRUE(shows("time_difference_hours: 3"));
  EXPECT_TRUE(shows("focal_length: 1200"));
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    const std::string name = line.substr(0, line.find(':'));
    EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_"), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace qlm
