#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "app/program_state.h"
#include "files/fits_reader.h"
#include "files/fits_writer.h"
#include "files_test_util.h"
#include "platform/atomic_file.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using test::be16;
using test::byteAt;
using test::card80;
using test::readFile;

class FitsWriterTest : public ::testing::Test {
 protected:
  void TearDown() override { AtomicFile::setFailAfterBytesForTesting(-1); }
  // Saves the current frame as the Save as FITS command hands it over.
  int save(const std::filesystem::path& path) {
    return writeFitsFile(path, frame, d.object, d.observer, d.dateObs, d.telescope, d.instrument,
                         d.commentText, d.historyText, d.eightBit);
  }
  std::filesystem::path file(const std::string& name) const { return p.home.path() / name; }
  std::string cardOf(const std::string& bytes, int index) const {
    return bytes.substr(static_cast<std::size_t>(index) * 80, 80);
  }

  test::TestPlatform p;
  FitsDetails& d = fitsDetails();
  Frame& frame = imageBuffers().CurrentFrame;
};

TEST_F(FitsWriterTest, HeaderIsTheSeventyTwoCardsByteForByte) {
  d.object = "M31";
  d.observer = "A. Observer";
  d.dateObs = "2024-01-02";
  d.timeObs = "03:04:05";
  d.origin = "Club";
  d.telescope = "LX200 10in";
  d.commentText = "Seeing 3";
  d.historyText = "Focus checked";
  d.filterName = "Red";
  d.focalLength = 80;
  d.aperture = 12.5;
  d.exposureSeconds = 30;
  d.pixelWidth = 0.00645;
  d.pixelHeight = 0.00645;
  d.unsignedFits = false;
  historyList().append("Dark Frame Subtracted");
  historyList().append("Unsharp Mask");
  ASSERT_EQ(save(file("m31.fit")), 0);

  std::string expected;
  for (const char* text :
       {"SIMPLE  =                    T /", "BITPIX  =                   16 /",
        "NAXIS   =                    2 /", "NAXIS1  =                  660 /",
        "NAXIS2  =                  500 /", "OBJECT  = 'M31'", "TELESCOP= 'LX200 10in'",
        "INSTRUME= 'Orbilux CCD'", "OBSERVER= 'A. Observer'", "ORIGIN  = 'Club'", "DATE-OBS= '2024-01-02'",
        "TIME-OBS= '03:04:05'", "HISTORY = 'Dark Frame Subtracted'", "HISTORY = 'Unsharp Mask'"})
    expected += card80(text);
  for (int i = 0; i < 13; ++i)
    expected += card80("HISTORY = ''");
  expected += "HISTORY = 'Focus checked" + std::string(55, ' ') + "'";
  for (int i = 0; i < 3; ++i)
    expected += "HISTORY = '" + std::string(68, ' ') + "'";
  expected += "COMMENT = 'Seeing 3" + std::string(60, ' ') + "'";
  for (int i = 0; i < 3; ++i)
    expected += "COMMENT = '" + std::string(68, ' ') + "'";
  for (const char* text :
       {"BZERO   =   +3.2768000000E+04", "BSCALE  =   +1.0000000000E+00", "PIXWIDTH=    6.4500000000E-03",
        "PIXHEIGH=    6.4500000000E-03", "SATURATE=                65535", "EXPTIME =    3.0000000000E+01",
        "FOCALLEN=    8.0000000000E+01", "APERTURE=    1.2500000000E+01", "FILTER  = 'Red'", "END"})
    expected += card80(text);
  expected += std::string(27 * 80, ' ');
  ASSERT_EQ(expected.size(), 5760u);

  const std::string bytes = readFile(file("m31.fit"));
  ASSERT_EQ(bytes.size(), 668160u);
  for (int i = 0; i < kFitsCards; ++i)
    EXPECT_EQ(cardOf(bytes, i), cardOf(expected, i)) << "card " << i + 1;
}

struct SizeCase {
  const char* name;
  bool eightBit;
  const char* history;  // first history entry
  bool binned;
  int fileBinning;
  std::size_t size;
  const char* naxis;  // NAXIS1 and NAXIS2 values
};

class FitsSizeChoiceTest : public FitsWriterTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(FitsSizeChoiceTest, SizeFollowsBinningHistoryAndDepth) {
  const SizeCase& c = GetParam();
  d.eightBit = c.eightBit;
  historyList().append(c.history);
  frameState().binned = c.binned;
  fileBinning() = c.fileBinning;
  ASSERT_EQ(save(file("s.fit")), 0);
  const std::string bytes = readFile(file("s.fit"));
  EXPECT_EQ(bytes.size(), c.size);
  const std::string naxis = c.naxis;
  EXPECT_EQ(cardOf(bytes, 3).substr(27, 3), naxis.substr(0, 3));
  EXPECT_EQ(cardOf(bytes, 4).substr(27, 3), naxis.substr(4, 3));
  EXPECT_EQ(cardOf(bytes, 1).substr(28, 2), c.eightBit ? " 8" : "16");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitsSizeChoiceTest,
    ::testing::Values(SizeCase{"UnprocessedFromHalfFile", false, "", true, 2, 173160, "330 250"},
                      SizeCase{"UnprocessedFromThirdFile", false, "", true, 3, 81200, "220 166"},
                      SizeCase{"ProcessedBinnedFrame", false, "Sine Stretch", true, 2, 668160, "660 500"},
                      SizeCase{"FreshBinnedCapture", false, "", true, 0, 668160, "660 500"},
                      SizeCase{"NotBinnedAnyMore", false, "", false, 2, 668160, "660 500"},
                      SizeCase{"EightBitIgnoresBinning", true, "", true, 2, 337360, "660 500"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PixelCase {
  const char* name;
  bool unsignedFits;
  std::uint16_t value;
  unsigned stored;
};

class FitsPixelBytesTest : public FitsWriterTest, public ::testing::WithParamInterface<PixelCase> {};

TEST_P(FitsPixelBytesTest, StoredBigEndianWithTheOffset) {
  const PixelCase& c = GetParam();
  d.unsignedFits = c.unsignedFits;
  frame[0] = c.value;
  frame[kFrameElements - 1] = c.value;
  ASSERT_EQ(save(file("p.fit")), 0);
  const std::string bytes = readFile(file("p.fit"));
  ASSERT_EQ(bytes.size(), 668160u);
  EXPECT_EQ(be16(bytes, 5760), c.stored);
  EXPECT_EQ(be16(bytes, 5760 + 659998), c.stored);
  EXPECT_EQ(cardOf(bytes, 35).substr(0, 29),
            c.unsignedFits ? "BZERO   =   +0.0000000000E+00" : "BZERO   =   +3.2768000000E+04");
  EXPECT_EQ(bytes.substr(665760), std::string(2400, '\0'));
}

INSTANTIATE_TEST_SUITE_P(Cases, FitsPixelBytesTest,
                         ::testing::Values(PixelCase{"ZeroSigned", false, 0, 0x8000},
                                           PixelCase{"FullSigned", false, 65535, 0x7FFF},
                                           PixelCase{"ZeroUnsigned", true, 0, 0x0000},
                                           PixelCase{"FullUnsigned", true, 65535, 0xFFFF},
                                           PixelCase{"MidSigned", false, 32768, 0x0000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FitsWriterTest, BinnedFilesSampleEverySecondOrThirdPixel) {
  test::fillScrambled(frame, 11);
  frameState().binned = true;
  for (const auto& [step, width, height] : {std::tuple{2, 330, 250}, std::tuple{3, 220, 166}}) {
    fileBinning() = step;
    ASSERT_EQ(save(file("b.fit")), 0);
    const std::string bytes = readFile(file("b.fit"));
    for (const auto& [r, c] : {std::pair{0, 0}, std::pair{0, 1}, std::pair{1, 0}, std::pair{17, 123},
                               std::pair{height - 1, width - 1}}) {
      const std::size_t at = 5760 + 2 * static_cast<std::size_t>(r * width + c);
      EXPECT_EQ(be16(bytes, at), test::pixel(frame, r * step, c * step)) << step << ": " << r << "," << c;
    }
    EXPECT_EQ(bytes.substr(bytes.size() - 2400), std::string(2400, '\0'));
  }
}

TEST_F(FitsWriterTest, EightBitDataIsTheHighBytesWithoutOffset) {
  test::fillScrambled(frame, 5);
  d.eightBit = true;
  d.unsignedFits = false;
  ASSERT_EQ(save(file("e.fit")), 0);
  const std::string bytes = readFile(file("e.fit"));
  ASSERT_EQ(bytes.size(), 337360u);
  for (std::size_t i : {std::size_t{0}, std::size_t{1}, std::size_t{4321}, std::size_t{329999}})
    EXPECT_EQ(byteAt(bytes, 5760 + i), static_cast<unsigned>(frame[i] >> 8u)) << i;
  // The BZERO card still follows the unsigned flag, not the depth.
  EXPECT_EQ(cardOf(bytes, 35).substr(0, 29), "BZERO   =   +3.2768000000E+04");
  EXPECT_EQ(bytes.substr(335760), std::string(1600, '\0'));
}

TEST_F(FitsWriterTest, FreeTextsWrapIntoFourCardsOfSixtyEightCharacters) {
  const std::string sixty_eight(68, 'h');
  d.historyText = sixty_eight;
  std::string long_comment;
  for (int i = 0; i < 300; ++i)
    long_comment += static_cast<char>('a' + i % 26);
  d.commentText = long_comment;
  ASSERT_EQ(save(file("t.fit")), 0);
  const std::string bytes = readFile(file("t.fit"));
  EXPECT_EQ(cardOf(bytes, 27), "HISTORY = '" + sixty_eight + "'");
  for (int k = 28; k < 31; ++k)
    EXPECT_EQ(cardOf(bytes, k), "HISTORY = '" + std::string(68, ' ') + "'");
  for (int k = 0; k < 4; ++k)
    EXPECT_EQ(cardOf(bytes, 31 + k),
              "COMMENT = '" + long_comment.substr(68 * static_cast<std::size_t>(k), 68) + "'");
}

TEST_F(FitsWriterTest, TextsAreCopiedUnchangedAndEmptyOnesKeepTheirQuotes) {
  d.object = "It's \"here\"\nline";
  d.instrument = "";
  d.filterName = "";
  d.telescope = std::string(75, 'T');  // longer than a card holds: cut at column 80
  ASSERT_EQ(save(file("q.fit")), 0);
  const std::string bytes = readFile(file("q.fit"));
  EXPECT_EQ(cardOf(bytes, 5), card80("OBJECT  = 'It's \"here\"\nline'"));
  EXPECT_EQ(cardOf(bytes, 6), "TELESCOP= '" + std::string(69, 'T'));
  EXPECT_EQ(cardOf(bytes, 7), card80("INSTRUME= ''"));
  EXPECT_EQ(cardOf(bytes, 43), card80("FILTER  = ''"));
  EXPECT_EQ(cardOf(bytes, 12), card80("HISTORY = ''"));
}

TEST_F(FitsWriterTest, SavingOverALongerFileReplacesItCompletely) {
  test::writeFile(file("old.fit"), std::string(1000000, 'x'));
  frameState().binned = true;
  fileBinning() = 3;
  ASSERT_EQ(save(file("old.fit")), 0);
  EXPECT_EQ(readFile(file("old.fit")).size(), 81200u);
}

struct FailCase {
  bool eightBit;
  long long failAfter;  // bytes written before the disk is "full"
};

class FitsFailingWriteTest : public FitsWriterTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(FitsFailingWriteTest, FailureAtAnyStageReportsOneAndKeepsTheOldFile) {
  test::writeFile(file("keep.fit"), "previous file");
  d.eightBit = GetParam().eightBit;
  AtomicFile::setFailAfterBytesForTesting(GetParam().failAfter);
  EXPECT_EQ(save(file("keep.fit")), 1);
  EXPECT_EQ(readFile(file("keep.fit")), "previous file");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(p.home.path()))
    ++entries;
  EXPECT_EQ(entries, 1) << "a temporary file was left behind";
  EXPECT_TRUE(p.ui.messageTexts().empty()) << "the writer itself shows nothing";
}

// Nothing written, inside the header, at the header's end, inside and at the end of the data, inside
// the padding, and one byte short of the whole file; for 16-bit and 8-bit files.
INSTANTIATE_TEST_SUITE_P(Stages, FitsFailingWriteTest,
                         ::testing::Values(FailCase{false, 0}, FailCase{false, 79}, FailCase{false, 80},
                                           FailCase{false, 5759}, FailCase{false, 5760},
                                           FailCase{false, 5760 + 13199}, FailCase{false, 5760 + 13200 * 25},
                                           FailCase{false, 665759}, FailCase{false, 665760 + 100},
                                           FailCase{false, 668159}, FailCase{true, 0}, FailCase{true, 5760},
                                           FailCase{true, 5760 + 13200 * 3}, FailCase{true, 335759},
                                           FailCase{true, 337359}));

TEST_F(FitsWriterTest, AFileThatCannotBeCreatedGivesOne) {
  EXPECT_EQ(save(p.home.path() / "no" / "such" / "folder" / "x.fit"), 1);
}

TEST(FitsRealFormat, MatchesPrintfUpperCaseScientific) {
  EXPECT_EQ(formatFitsReal(0.00645), "6.4500000000E-03");
  EXPECT_EQ(formatFitsReal(0.0), "0.0000000000E+00");
  EXPECT_EQ(formatFitsReal(30.0), "3.0000000000E+01");
  EXPECT_EQ(formatFitsReal(-1.5), "-1.5000000000E+00");
  EXPECT_EQ(formatFitsReal(1e100), "1.0000000000E+100");
  EXPECT_EQ(formatFitsReal(0.12345678901234), "1.2345678901E-01");
  // Non-finite values are written as numbers a FITS reader accepts, and read back finite.
  EXPECT_EQ(formatFitsReal(std::numeric_limits<double>::infinity()), "1.7976931348E+308");
  EXPECT_EQ(formatFitsReal(-std::numeric_limits<double>::infinity()), "-1.7976931348E+308");
  EXPECT_EQ(formatFitsReal(std::numeric_limits<double>::quiet_NaN()), "0.0000000000E+00");
  EXPECT_TRUE(std::isfinite(parseFitsReal(formatFitsReal(std::numeric_limits<double>::infinity()))));
}

class FitsTimeTest : public ::testing::Test {
 protected:
  test::TestPlatform p;  // virtual calendar clock at 1,700,000,000 s = 2023-11-14 22:13:20 UTC
  FitsDetails& d = fitsDetails();
};

TEST_F(FitsTimeTest, MidpointIsTruncatedToWholeSeconds) {
  EXPECT_EQ(exposureMidpoint(1000, 1031), 1015);
  EXPECT_EQ(exposureMidpoint(1000, 1000), 1000);
  EXPECT_EQ(exposureMidpoint(1700000000, 1700000061), 1700000030);
}

TEST_F(FitsTimeTest, StampsAreTwoDigitFieldsOfTheMidpoint) {
  stampObservationTime(1700000000, d);
  EXPECT_EQ(d.timeObs, "22:13:20");
  EXPECT_EQ(d.dateObs, "2023-11-14");
  stampObservationTime(1704067205, d);  // 2024-01-01 00:00:05
  EXPECT_EQ(d.timeObs, "00:00:05");
  EXPECT_EQ(d.dateObs, "2024-01-01");
}

TEST_F(FitsTimeTest, UtIsTheLocalClockPlusTheUsersHours) {
  ScopedMachineZone zone(2 * 3600);  // the computer keeps UTC+2
  applyLocalTimeRule(-2);            // and the user says UT is two hours behind it
  EXPECT_EQ(programUtNow(), 1700000000);
  applyLocalTimeRule(5);
  EXPECT_EQ(programUtSeconds(1700000000, localTimeRule()), 1700000000 + 7 * 3600);
}

TEST_F(FitsTimeTest, TheRuleNeverTouchesTheEnvironmentAndResets) {
  const char* tz = std::getenv("TZ");
  const std::string before = tz != nullptr ? tz : "<unset>";
  applyLocalTimeRule(7);
  const char* tz_after = std::getenv("TZ");
  EXPECT_EQ(tz_after != nullptr ? std::string(tz_after) : "<unset>", before);
  resetProgramState();
  EXPECT_EQ(localTimeRule().hours, 0);
}

TEST_F(FitsTimeTest, SaveAsFitsFillsAShortDateFromTheLocalDate) {
  ScopedMachineZone zone(2 * 3600);  // local clock 2023-11-15 00:13:20
  applyLocalTimeRule(-11);           // the UT rule plays no part here
  d.timeObs = "12:00:00";
  for (const char* short_date : {"", "2023-1-1", "123456789"}) {
    d.dateObs = short_date;
    fillDateObsFromLocalDate(d);
    EXPECT_EQ(d.dateObs, "2023-11-15") << short_date;
  }
  d.dateObs = "1999-12-31";
  fillDateObsFromLocalDate(d);
  EXPECT_EQ(d.dateObs, "1999-12-31");
  EXPECT_EQ(d.timeObs, "12:00:00");
}

}  // namespace
}  // namespace qlm
