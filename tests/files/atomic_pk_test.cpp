#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "files/pk.h"
#include "platform/atomic_file.h"
#include "support/test_home.h"

namespace qlm {
namespace {

std::vector<char> readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PkFileTest : public ::testing::Test {
 protected:
  void TearDown() override { AtomicFile::setFailAfterBytesForTesting(-1); }
  test::TestPlatform p;
  Frame& frame = imageBuffers().CurrentFrame;
};

TEST_F(PkFileTest, SaveAndReloadGivesIdenticalPixelsLittleEndian) {
  for (std::size_t i = 0; i < kFrameElements; ++i)
    frame[i] = static_cast<std::uint16_t>(i * 2654435761u >> 16);
  frame[0] = 0xABCD;
  const auto path = p.home.path() / "~image";
  ASSERT_TRUE(saveRawImage(path, frame));
  const auto bytes = readAll(path);
  ASSERT_EQ(bytes.size(), 660000u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xCD);
  EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xAB);
  Frame copy = frame;
  frame.fill(0);
  ASSERT_TRUE(loadRawImage(path, frame));
  EXPECT_TRUE(std::equal(frame.begin(), frame.begin() + kFrameElements, copy.begin()));
  EXPECT_TRUE(p.ui.messageTexts().empty());
}

TEST_F(PkFileTest, ShortFileFillsWhatItHoldsAndKeepsTheRest) {
  const auto path = p.home.path() / "short";
  std::ofstream(path, std::ios::binary).write("\x01\x02\x03\x04\x05", 5);
  frame.fill(0x0909);
  ASSERT_TRUE(loadRawImage(path, frame));
  EXPECT_EQ(frame[0], 0x0201);
  EXPECT_EQ(frame[1], 0x0403);
  EXPECT_EQ(frame[2], 0x0905);  // an odd trailing byte is the low byte; the high byte stays
  EXPECT_EQ(frame[3], 0x0909);
  EXPECT_FALSE(loadRawImage(p.home.path() / "missing", frame));
}

class PkFailingWriteTest : public PkFileTest, public ::testing::WithParamInterface<long long> {};

TEST_P(PkFailingWriteTest, AFailedSaveReportsAndLeavesTheOldFileIntact) {
  const auto path = p.home.path() / "~keep";
  std::ofstream(path, std::ios::binary) << "old contents";
  AtomicFile::setFailAfterBytesForTesting(GetParam());
  EXPECT_FALSE(saveRawImage(path, frame));
  EXPECT_EQ(p.ui.messageTexts(), std::vector<std::string>{"Unable to create/overwrite PK File: " +
                                                          path.string() + ": No space left on device"});
  const auto bytes = readAll(path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old contents");
  // No temporary file is left behind.
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(p.home.path()))
    ++files;
  EXPECT_EQ(files, 1);
}

INSTANTIATE_TEST_SUITE_P(Stages, PkFailingWriteTest, ::testing::Values(0, 1, 13199, 13200, 330000, 659999));

TEST_F(PkFileTest, SaveIntoAMissingFolderFailsCleanly) {
  EXPECT_FALSE(saveRawImage(p.home.path() / "no" / "such" / "dir" / "f", frame));
  EXPECT_EQ(p.ui.messageTexts().size(), 1u);
}

struct CalibrationCase {
  const char* name;
  long long size;  // -1: no file
  int answer;
};

class PkCalibrationTest : public PkFileTest, public ::testing::WithParamInterface<CalibrationCase> {};

TEST_P(PkCalibrationTest, OnlyAFileOfExactlyThePkSizeIsRead) {
  const auto path = p.paths().darkDefault();
  if (GetParam().size >= 0) std::ofstream(path, std::ios::binary) << std::string(GetParam().size, '\x02');
  Frame& cache = imageBuffers().FlatCache;
  cache.fill(9);
  EXPECT_EQ(loadCalibrationFrame(path, cache), GetParam().answer);
  EXPECT_EQ(cache[1000], GetParam().answer == kCalibrationRead ? 0x0202 : 9);
  EXPECT_TRUE(p.ui.messageTexts().empty()) << "the caller reports the answer";
}

INSTANTIATE_TEST_SUITE_P(Cases, PkCalibrationTest,
                         ::testing::Values(CalibrationCase{"Pk", 660000, kCalibrationRead},
                                           CalibrationCase{"FullFits", 668160, kCalibrationNotPk},
                                           CalibrationCase{"OneByteShort", 659999, kCalibrationNotPk},
                                           CalibrationCase{"Missing", -1, kCalibrationNotPk}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PkFileTest, CalibrationAnswersAreReportedWithTheirOwnTexts) {
  reportCalibrationLoad(CalibrationKind::Dark, kCalibrationNotPk);
  reportCalibrationLoad(CalibrationKind::Flat, kCalibrationNotPk);
  reportCalibrationLoad(CalibrationKind::Dark, kCalibrationNoFileObject);
  reportCalibrationLoad(CalibrationKind::Flat, kCalibrationNoFileObject);
  reportCalibrationLoad(CalibrationKind::Dark, kCalibrationRead);
  EXPECT_EQ(p.ui.messageTexts(),
            (std::vector<std::string>{
                "Sorry, chosen Darkframe is not an PK File", "Sorry, chosen Flatfield is not a PK File",
                "Failed to Open Darkframe PK File", "Failed to Open Flatfield PK File"}));
}

TEST_F(PkFileTest, SecondImageMustBeAPkFile) {
  Frame& second = imageBuffers().SecondFrame;
  second.fill(4);
  std::ofstream(p.home.path() / "image.fit", std::ios::binary) << std::string(668160, '\x01');
  EXPECT_FALSE(loadSecondImage(p.home.path() / "image.fit", second));
  EXPECT_FALSE(loadSecondImage(p.home.path() / "missing", second));
  EXPECT_EQ(second[0], 4);
  EXPECT_EQ(p.ui.messageTexts(), (std::vector<std::string>{"Sorry, you didn't choose a PK File",
                                                           "Sorry, you didn't choose a PK File"}));
  std::ofstream(p.home.path() / "~dark", std::ios::binary) << std::string(660000, '\x01');
  EXPECT_TRUE(loadSecondImage(p.home.path() / "~dark", second));
  EXPECT_EQ(second[329999], 0x0101);
  EXPECT_EQ(p.ui.messageTexts().size(), 2u);
}

}  // namespace
}  // namespace qlm
