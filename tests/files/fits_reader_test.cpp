#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "files/fits_reader.h"
#include "files/fits_writer.h"
#include "files/pk.h"
#include "files_test_util.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using test::pixel;
using test::readFile;
using test::writeFile;

class FitsReaderTest : public ::testing::Test {
 protected:
  int save(const std::filesystem::path& path) {
    return writeFitsFile(path, frame, d.object, d.observer, d.dateObs, d.telescope, d.instrument,
                         d.commentText, d.historyText, d.eightBit);
  }
  std::filesystem::path file(const std::string& name) const { return p.home.path() / name; }
  void fillDetails() {
    d.object = "NGC 7000";
    d.observer = "Observer";
    d.dateObs = "2024-05-06";
    d.timeObs = "21:30:00";
    d.origin = "Backyard";
    d.telescope = "Refractor";
    d.instrument = "Orbilux CCD";
    d.commentText = "Thin cloud";
    d.historyText = "Guided";
    d.filterName = "Ha";
    d.focalLength = 21.5;
    d.aperture = 7.25;
    d.exposureSeconds = 120;
    d.pixelWidth = 0.00645;
    d.pixelHeight = 0.0074;
    historyList().append("Dark Frame Subtracted");
    historyList().append(std::string(39, 'x'));
  }
  // Patches `text` into the file at byte `at`.
  void patch(const std::filesystem::path& path, std::size_t at, const std::string& text) {
    std::string bytes = readFile(path);
    bytes.replace(at, text.size(), text);
    writeFile(path, bytes);
  }
  bool framesEqual(const Frame& a, const Frame& b) const {
    return std::equal(a.begin(), a.begin() + kFrameElements, b.begin());
  }

  test::TestPlatform p;
  FitsDetails& d = fitsDetails();
  Frame& frame = imageBuffers().CurrentFrame;
};

class FitsRoundTripTest : public FitsReaderTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FitsRoundTripTest, FullFrameComesBackExactly) {
  d.unsignedFits = GetParam();
  fillDetails();
  test::fillScrambled(frame, 3);
  frame[0] = 0;
  frame[1] = 65535;
  frame[2] = 32768;
  ASSERT_EQ(save(file("r.fit")), 0);
  const Frame saved = frame;
  const FitsDetails saved_details = d;

  frame.fill(1);
  d = FitsDetails{};
  d.unsignedFits = !GetParam();
  historyList().clear();
  const ImageLoadResult loaded = loadImageFile(file("r.fit"));
  EXPECT_EQ(loaded.kind, ImageFileKind::Fits);
  EXPECT_EQ(loaded.result, kFitsRead);
  EXPECT_TRUE(framesEqual(frame, saved));
  EXPECT_EQ(d.unsignedFits, GetParam());
  for (auto field :
       {&FitsDetails::object, &FitsDetails::observer, &FitsDetails::dateObs, &FitsDetails::timeObs,
        &FitsDetails::origin, &FitsDetails::telescope, &FitsDetails::instrument, &FitsDetails::filterName})
    EXPECT_EQ(d.*field, saved_details.*field);
  for (auto field : {&FitsDetails::focalLength, &FitsDetails::aperture, &FitsDetails::exposureSeconds,
                     &FitsDetails::pixelWidth, &FitsDetails::pixelHeight})
    EXPECT_DOUBLE_EQ(d.*field, saved_details.*field);
  // Free texts come back padded with spaces to 255 characters.
  EXPECT_EQ(d.historyText, "Guided" + std::string(249, ' '));
  EXPECT_EQ(d.commentText, "Thin cloud" + std::string(245, ' '));
  EXPECT_EQ(historyList().entry(0), "Dark Frame Subtracted");
  EXPECT_EQ(historyList().entry(1), std::string(39, 'x'));
  EXPECT_EQ(historyList().count(), 2);
  EXPECT_FALSE(frameState().binned);
  EXPECT_EQ(fileBinning(), 0);
  EXPECT_TRUE(p.ui.messageTexts().empty());
}

// A dark or flat may be one of the program's own FITS files, in either offset form, without the
// file's texts reaching the program's records; a binned or 8-bit file is no dark or flat.
TEST_P(FitsRoundTripTest, OwnFitsServesAsDarkOrFlatAndLeavesTheRecordsAlone) {
  d.unsignedFits = GetParam();
  test::fillScrambled(frame, 5);
  ASSERT_EQ(save(file("dark.fit")), 0);
  const Frame saved = frame;
  d.object = "kept";
  Frame dark{};
  EXPECT_TRUE(loadDarkOrFlat(file("dark.fit"), dark));
  EXPECT_TRUE(framesEqual(dark, saved));
  EXPECT_EQ(d.object, "kept");
  d.eightBit = true;
  ASSERT_EQ(save(file("eight.fit")), 0);
  dark.fill(7);
  EXPECT_FALSE(loadDarkOrFlat(file("eight.fit"), dark));
  EXPECT_EQ(dark[0], 7);
}

INSTANTIATE_TEST_SUITE_P(Offsets, FitsRoundTripTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Bzero0" : "Bzero32768"; });

TEST_F(FitsReaderTest, StoredBytesMeanDifferentPixelsUnderEachBzero) {
  d.unsignedFits = false;
  frame[0] = 0;  // stored as 80 00
  ASSERT_EQ(save(file("z.fit")), 0);
  ASSERT_EQ(test::be16(readFile(file("z.fit")), 5760), 0x8000u);
  patch(file("z.fit"), 35 * 80, "BZERO   =   +0.0000000000E+00");
  ASSERT_EQ(readFitsFile(file("z.fit"), kFitsFullForm, frame), kFitsRead);
  EXPECT_EQ(frame[0], 32768);
  EXPECT_TRUE(d.unsignedFits);
}

TEST_F(FitsReaderTest, UnprocessedHalfSizeFileRoundTripsAndFillsTheGaps) {
  test::fillScrambled(frame, 9);
  frameState().binned = true;
  fileBinning() = 2;
  ASSERT_EQ(save(file("h.fit")), 0);
  const std::string first_file = readFile(file("h.fit"));
  ASSERT_EQ(first_file.size(), 173160u);
  const Frame saved = frame;

  frame.fill(7);
  frameState().binned = false;
  fileBinning() = 0;
  ASSERT_EQ(loadImageFile(file("h.fit")).result, kFitsRead);
  EXPECT_TRUE(frameState().binned);
  EXPECT_EQ(fileBinning(), 2);
  const auto mean = [](unsigned a, unsigned b) { return (a + b) / 2; };
  for (int r : {0, 2, 100, 498}) {
    for (int c : {0, 2, 330, 658})
      EXPECT_EQ(pixel(frame, r, c), saved[static_cast<std::size_t>(r * 660 + c)]) << r << "," << c;
    for (int c : {1, 3, 331, 657})
      EXPECT_EQ(pixel(frame, r, c), mean(pixel(frame, r, c - 1), pixel(frame, r, c + 1))) << r << "," << c;
  }
  // The last odd column of an even row reaches into the next row, which still held the old pixels.
  EXPECT_EQ(pixel(frame, 0, 659), mean(saved[658], 7));
  for (int r : {1, 3, 255, 497})
    for (int c : {0, 1, 659})
      EXPECT_EQ(pixel(frame, r, c), mean(pixel(frame, r - 1, c), pixel(frame, r + 1, c))) << r << "," << c;
  EXPECT_EQ(pixel(frame, 499, 0), 7);
  EXPECT_EQ(pixel(frame, 499, 659), 7);

  // Saved again unprocessed, it is the same small file.
  ASSERT_EQ(save(file("h2.fit")), 0);
  EXPECT_EQ(readFile(file("h2.fit")), first_file);
}

TEST_F(FitsReaderTest, ThirdSizeFileSpreadsOverTheWholeFrame) {
  // A ramp that is linear in both directions comes back exactly where samples bracket it.
  for (int r = 0; r < kFrameHeight; ++r)
    for (int c = 0; c < kFrameWidth; ++c)
      pixel(frame, r, c) = static_cast<std::uint16_t>(10 * c + 60 * r);
  frameState().binned = true;
  fileBinning() = 3;
  ASSERT_EQ(save(file("t.fit")), 0);
  ASSERT_EQ(readFile(file("t.fit")).size(), 81200u);
  const Frame saved = frame;

  frame.fill(0);
  fileBinning() = 0;
  ASSERT_EQ(loadImageFile(file("t.fit")).result, kFitsRead);
  EXPECT_TRUE(frameState().binned);
  EXPECT_EQ(fileBinning(), 3);
  for (int r = 0; r <= 495; ++r)
    for (int c = 0; c <= 657; ++c)
      ASSERT_EQ(pixel(frame, r, c), saved[static_cast<std::size_t>(r * 660 + c)]) << r << "," << c;
  // Past the last sample the last sampled column and row repeat.
  EXPECT_EQ(pixel(frame, 10, 659), pixel(frame, 10, 657));
  EXPECT_EQ(pixel(frame, 499, 300), pixel(frame, 495, 300));
  EXPECT_EQ(pixel(frame, 499, 659), pixel(frame, 495, 657));
}

TEST_F(FitsReaderTest, EightBitFileIsNotRecognisedAndLoadsAsRawData) {
  d.eightBit = true;
  ASSERT_EQ(save(file("e.fit")), 0);
  frame.fill(5);
  const ImageLoadResult loaded = loadImageFile(file("e.fit"));
  EXPECT_EQ(loaded.kind, ImageFileKind::Unrecognised);
  EXPECT_EQ(p.ui.messageTexts(),
            std::vector<std::string>{"You didn't choose a valid PK or suitable FITs File"});
  EXPECT_EQ(frame[0], 'S' | 'I' << 8);  // the header's first bytes, read as raw little-endian pixels
  EXPECT_EQ(frame[337360 / 2 - 1], 0);  // the last padding bytes
  EXPECT_EQ(frame[337360 / 2], 5);      // past the end of the file the frame keeps its pixels
}

struct ShapeCase {
  const char* name;
  std::size_t at;  // byte offset of the patch
  const char* text;
};

class FitsNotOursTest : public FitsReaderTest, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(FitsNotOursTest, ShapeCardsOutOfPlaceGiveResultTwo) {
  fillDetails();
  ASSERT_EQ(save(file("n.fit")), 0);
  patch(file("n.fit"), GetParam().at, GetParam().text);
  frame.fill(3);
  const ImageLoadResult loaded = loadImageFile(file("n.fit"));
  EXPECT_EQ(loaded.result, kFitsNotOurs);
  EXPECT_EQ(p.ui.messageTexts(),
            std::vector<std::string>{"Unable to load FITS file, File was not saved by this program"});
  EXPECT_EQ(frame[0], 3);
  EXPECT_EQ(d.object, "");  // details were reset before the header was read
  EXPECT_EQ(historyList().count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, FitsNotOursTest,
                         ::testing::Values(ShapeCase{"BitpixOneColumnLeft", 80,
                                                     "BITPIX  =                  16  /"},
                                           ShapeCase{"BitpixEight", 80, "BITPIX  =                    8 /"},
                                           ShapeCase{"ThreeAxes", 160, "NAXIS   =                    3 /"},
                                           ShapeCase{"OtherWidth", 240, "NAXIS1  =                  640 /"},
                                           ShapeCase{"OtherHeight", 320, "NAXIS2  =                  480 /"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FitsReaderTest, OnlyTheHeightDecidesTheImageSize) {
  test::fillScrambled(frame, 1);
  ASSERT_EQ(save(file("w.fit")), 0);
  patch(file("w.fit"), 240, "NAXIS1  =                  330 /");
  const Frame saved = frame;
  frame.fill(0);
  EXPECT_EQ(loadImageFile(file("w.fit")).result, kFitsRead);
  EXPECT_TRUE(framesEqual(frame, saved));
  EXPECT_FALSE(frameState().binned);
}

TEST_F(FitsReaderTest, TruncatedFileKeepsWhatWasRead) {
  fillDetails();
  test::fillScrambled(frame, 4);
  ASSERT_EQ(save(file("full.fit")), 0);
  const Frame saved = frame;
  const std::string bytes = readFile(file("full.fit"));

  // Cut inside the header: the text cards read so far are kept.
  writeFile(file("cut1"), bytes.substr(0, 11 * 80 + 40));
  resetFitsDetails(d, historyList());
  EXPECT_EQ(readFitsFile(file("cut1"), kFitsFullForm, frame), kFitsShortRead);
  EXPECT_EQ(d.object, "NGC 7000");
  EXPECT_EQ(d.dateObs, "2024-05-06");
  EXPECT_EQ(d.timeObs, "");
  EXPECT_EQ(d.filterName, "None");

  // Cut inside the fourth data chunk: three chunks (30 rows) land, the rest keeps its pixels.
  writeFile(file("cut2"), bytes.substr(0, 5760 + 3 * 13200 + 5));
  frame.fill(2);
  EXPECT_EQ(readFitsFile(file("cut2"), kFitsFullForm, frame), kFitsShortRead);
  EXPECT_EQ(d.filterName, "Ha");
  EXPECT_EQ(pixel(frame, 29, 659), saved[29 * 660 + 659]);
  EXPECT_EQ(pixel(frame, 30, 0), 2);

  EXPECT_EQ(readFitsFile(file("missing"), kFitsFullForm, frame), kFitsShortRead);
}

TEST_F(FitsReaderTest, RecognisedSizeWithTooLittleDataReportsAShortRead) {
  frameState().binned = true;
  fileBinning() = 2;
  test::fillScrambled(frame, 8);
  ASSERT_EQ(save(file("s.fit")), 0);  // 173,160 bytes
  patch(file("s.fit"), 320, "NAXIS2  =                  500 /");
  const Frame saved = frame;
  frame.fill(1);
  const ImageLoadResult loaded = loadImageFile(file("s.fit"));
  EXPECT_EQ(loaded.result, kFitsShortRead);
  EXPECT_EQ(p.ui.messageTexts(), std::vector<std::string>{"Unable to load FITS file"});
  EXPECT_EQ(frame[1], saved[2]);            // the chunks that were there landed, now read as full rows
  EXPECT_EQ(frame[kFrameElements - 1], 1);  // the rest did not
}

TEST_F(FitsReaderTest, OlderOneBlockHeaderReadsWithTheSignedOffset) {
  fillDetails();
  d.unsignedFits = false;
  test::fillScrambled(frame, 6);
  ASSERT_EQ(save(file("new.fit")), 0);
  const std::string bytes = readFile(file("new.fit"));
  // The first 35 cards, one more card, then the data and padding.
  const std::string old = bytes.substr(0, 35 * 80) + test::card80("END") + bytes.substr(5760);
  ASSERT_EQ(old.size(), 665280u);
  writeFile(file("old.fit"), old);
  const Frame saved = frame;

  frame.fill(0);
  d.pixelWidth = 0.009;
  d.pixelHeight = 0.011;
  d.unsignedFits = true;
  const ImageLoadResult loaded = loadImageFile(file("old.fit"));
  EXPECT_EQ(loaded.kind, ImageFileKind::OldFits);
  EXPECT_EQ(loaded.result, kFitsRead);
  EXPECT_TRUE(framesEqual(frame, saved));
  EXPECT_FALSE(d.unsignedFits);
  EXPECT_EQ(d.object, "NGC 7000");
  EXPECT_DOUBLE_EQ(d.pixelWidth, 0.009);
  EXPECT_DOUBLE_EQ(d.pixelHeight, 0.011);
  EXPECT_DOUBLE_EQ(d.exposureSeconds, 0.0);
  EXPECT_DOUBLE_EQ(d.focalLength, 0.0);
  EXPECT_DOUBLE_EQ(d.aperture, 0.0);
  EXPECT_EQ(d.filterName, "None");
}

TEST_F(FitsReaderTest, TextValuesEndAtAQuoteAndFitTheirFields) {
  d.object = "It's here";
  d.dateObs = "2024-05-06 and more";
  d.observer = "two\nlines";
  ASSERT_EQ(save(file("x.fit")), 0);
  ASSERT_EQ(loadImageFile(file("x.fit")).result, kFitsRead);
  EXPECT_EQ(d.object, "It");
  EXPECT_EQ(d.dateObs, "2024-05-06 ");  // 11 characters at most
  EXPECT_EQ(d.observer, "two\nlines");
}

TEST_F(FitsReaderTest, RawLoadResetsTheDetailsButKeepsOriginPixelSizesAndFlags) {
  fillDetails();
  d.eightBit = true;
  d.timeDifferenceHours = 3;
  writeFile(file("~raw"), std::string(660000, '\x01'));
  const ImageLoadResult loaded = loadImageFile(file("~raw"));
  EXPECT_EQ(loaded.kind, ImageFileKind::Pk);
  EXPECT_EQ(frame[123], 0x0101);
  EXPECT_EQ(d.object, "");
  EXPECT_EQ(d.historyText, "");
  EXPECT_EQ(d.instrument, "Orbilux CCD");
  EXPECT_EQ(d.filterName, "None");
  EXPECT_DOUBLE_EQ(d.exposureSeconds, 0.0);
  EXPECT_EQ(historyList().count(), 0);
  EXPECT_EQ(d.origin, "Backyard");
  EXPECT_DOUBLE_EQ(d.pixelWidth, 0.00645);
  EXPECT_TRUE(d.eightBit);
  EXPECT_EQ(d.timeDifferenceHours, 3);
  EXPECT_TRUE(p.ui.messageTexts().empty());
}

TEST(FitsRecognition, OnlyTheFiveExactSizesAreKnown) {
  EXPECT_EQ(imageFileKind(668160), ImageFileKind::Fits);
  EXPECT_EQ(imageFileKind(173160), ImageFileKind::Fits);
  EXPECT_EQ(imageFileKind(81200), ImageFileKind::Fits);
  EXPECT_EQ(imageFileKind(665280), ImageFileKind::OldFits);
  EXPECT_EQ(imageFileKind(660000), ImageFileKind::Pk);
  for (long long size : {-1LL, 0LL, 337360LL, 668161LL, 659999LL})
    EXPECT_EQ(imageFileKind(size), ImageFileKind::Unrecognised) << size;
}

TEST(FitsAutosaveNumber, ImgThenDigitsUpToTheFirstPoint) {
  EXPECT_EQ(autosaveNumberFromName("IMG12.FIT"), 12);
  EXPECT_EQ(autosaveNumberFromName("img7.fit"), 7);
  EXPECT_EQ(autosaveNumberFromName("ImG65530.FIT"), 65530);
  EXPECT_EQ(autosaveNumberFromName("IMG12"), 12);
  EXPECT_EQ(autosaveNumberFromName("IMG.FIT"), 0);
  EXPECT_EQ(autosaveNumberFromName("IMG1x2.FIT"), 1);
  EXPECT_EQ(autosaveNumberFromName("IMG70000.FIT"), 70000 % 65536);
  EXPECT_EQ(autosaveNumberFromName("c:\\AUTOSAVE\\IMG13.FIT"), std::nullopt);
  EXPECT_EQ(autosaveNumberFromName("/data/IMG13.FIT"), std::nullopt);
  EXPECT_EQ(autosaveNumberFromName("~img3"), std::nullopt);
  EXPECT_EQ(autosaveNumberFromName("IM"), std::nullopt);
}

TEST(FitsRealParse, ReadsAsMuchAsFormsANumber) {
  EXPECT_DOUBLE_EQ(parseFitsReal("   6.4500000000E-03"), 0.00645);
  EXPECT_DOUBLE_EQ(parseFitsReal("-1.5E+00"), -1.5);
  EXPECT_DOUBLE_EQ(parseFitsReal("+2.5"), 2.5);
  EXPECT_DOUBLE_EQ(parseFitsReal("1.5E+00xyz"), 1.5);
  EXPECT_DOUBLE_EQ(parseFitsReal("12 34"), 12.0);
  EXPECT_DOUBLE_EQ(parseFitsReal("abc"), 0.0);
  EXPECT_DOUBLE_EQ(parseFitsReal("+-3"), 0.0);
  EXPECT_DOUBLE_EQ(parseFitsReal(""), 0.0);
  // Numbers past a double's range: too large is infinity, too small 0.
  EXPECT_EQ(parseFitsReal("+9.9999999999E+999"), HUGE_VAL);
  EXPECT_EQ(parseFitsReal("-1.0E400"), -HUGE_VAL);
  EXPECT_EQ(parseFitsReal("1.0000000000E-400"), 0.0);
}

}  // namespace
}  // namespace qlm
