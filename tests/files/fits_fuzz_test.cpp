#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>

#include "files/fits_reader.h"
#include "files/fits_writer.h"
#include "files/pk.h"
#include "files_test_util.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// Feeds the readers random, mutated and truncated files. Every input is written to one file in the
// test's temporary folder before it is read, so an input that crashes a reader is left there to be
// copied into tests/data/fits_corpus/. QLM_T4_FUZZ_ITERATIONS runs a longer campaign.
class FitsFuzzTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* n = std::getenv("QLM_T4_FUZZ_ITERATIONS")) {
      iterations_ = std::max(1, std::atoi(n));
      std::cerr << "fuzz inputs are written to " << input() << '\n';
    }
  }
  std::filesystem::path input() const { return p.home.path() / "fuzz-input.bin"; }

  // Reads the current input every way the program can, and checks what the readers leave behind.
  void feed() {
    const FitsReadTarget t = programFitsTarget();
    for (int form : {kFitsOldForm, kFitsFullForm}) {
      const int result = readFits(input(), form, t);
      EXPECT_TRUE(result == kFitsRead || result == kFitsShortRead || result == kFitsNotOurs) << result;
      checkRecords();
    }
    const ImageLoadResult loaded = loadImageFile(input());
    EXPECT_LE(loaded.result, kFitsNotOurs);
    checkRecords();
    p.ui.clearCalls();
  }
  void checkRecords() const {
    const FitsDetails& d = fitsDetails();
    for (const std::string* text :
         {&d.object, &d.observer, &d.origin, &d.telescope, &d.instrument, &d.filterName})
      EXPECT_LE(text->size(), kFitsLongTextChars);
    EXPECT_LE(d.dateObs.size(), kFitsDateChars);
    EXPECT_LE(d.timeObs.size(), kFitsTimeChars);
    EXPECT_LE(d.historyText.size(), kFitsFreeTextChars);
    EXPECT_LE(d.commentText.size(), kFitsFreeTextChars);
    for (int i = 0; i < HistoryList::kEntries; ++i)
      EXPECT_LE(historyList().entry(i).size(), 39u);
    EXPECT_TRUE(fileBinning() == 0 || fileBinning() == 2 || fileBinning() == 3) << fileBinning();
  }
  // A file of the program's own shape and the given size, as a base for mutations.
  std::string validFile(long long size) {
    fitsDetails().object = "Fuzz";
    fitsDetails().historyText = "base";
    frameState().binned = true;
    fileBinning() = size == kFitsHalfFileSize ? 2 : size == kFitsThirdFileSize ? 3 : 0;
    test::fillScrambled(imageBuffers().CurrentFrame, static_cast<std::uint32_t>(size));
    const auto& d = fitsDetails();
    EXPECT_EQ(writeFitsFile(input(), imageBuffers().CurrentFrame, d.object, d.observer, d.dateObs,
                            d.telescope, d.instrument, d.commentText, d.historyText, false),
              0);
    std::string bytes = test::readFile(input());
    if (size == kFitsOldFileSize) bytes = bytes.substr(0, 36 * 80) + bytes.substr(5760);
    bytes.resize(static_cast<std::size_t>(size), '\0');
    return bytes;
  }

  test::TestPlatform p;
  std::mt19937 rng_{20240607};
  int iterations_ = 20;
};

// Bytes that steer the card parser: quotes, NULs, digits of the shape cards, blanks, line ends.
constexpr char kInteresting[] = {'\'', '\0', '1',  '2', '3', '5', '6', '8',
                                 '0',  ' ',  '\n', '+', '-', 'E', '.'};

TEST_F(FitsFuzzTest, NoInputOfARecognisedSizeCrashesAReader) {
  for (long long size :
       {kFitsFullFileSize, kFitsHalfFileSize, kFitsThirdFileSize, kFitsOldFileSize, kPkFileSize}) {
    const std::string base = validFile(size);
    for (int it = 0; it < iterations_; ++it) {
      std::string bytes = base;
      if (it % 3 == 0) {
        // Random header: every byte of both header blocks.
        for (std::size_t i = 0; i < 5760 && i < bytes.size(); ++i)
          bytes[i] = static_cast<char>(rng_());
      } else {
        // A valid header with some bytes changed to ones the parser looks at.
        const int changes = 1 + static_cast<int>(rng_() % 64);
        for (int k = 0; k < changes; ++k) {
          const std::size_t at = rng_() % 5760;
          bytes[at] = rng_() % 2 ? kInteresting[rng_() % sizeof kInteresting] : static_cast<char>(rng_());
        }
      }
      test::writeFile(input(), bytes);
      SCOPED_TRACE("size " + std::to_string(size) + " iteration " + std::to_string(it));
      feed();
    }
  }
}

TEST_F(FitsFuzzTest, TruncatedFilesReportShortReadsAndNeverCrash) {
  for (long long size : {kFitsFullFileSize, kFitsHalfFileSize, kFitsThirdFileSize, kFitsOldFileSize}) {
    const std::string base = validFile(size);
    const int header = size == kFitsOldFileSize ? 2880 : 5760;
    const int form = size == kFitsOldFileSize ? kFitsOldForm : kFitsFullForm;
    std::vector<std::size_t> cuts = {0, 1, 79, 80, 81, 159, 400, 2879, 2880, 2881, 5759, 5760, 5761};
    for (int it = 0; it < iterations_; ++it)
      cuts.push_back(rng_() % static_cast<std::size_t>(size - 2400));  // short of the data's end
    for (std::size_t cut : cuts) {
      if (cut >= static_cast<std::size_t>(size - 2400)) continue;
      test::writeFile(input(), base.substr(0, cut));
      SCOPED_TRACE("size " + std::to_string(size) + " cut " + std::to_string(cut));
      EXPECT_EQ(readFits(input(), form, programFitsTarget()), kFitsShortRead) << "header " << header;
      feed();
    }
  }
}

TEST_F(FitsFuzzTest, RandomFilesOfOtherSizesNeverCrash) {
  for (int it = 0; it < 4 * iterations_; ++it) {
    std::string bytes(rng_() % 12000, '\0');
    for (char& b : bytes)
      b = static_cast<char>(rng_());
    test::writeFile(input(), bytes);
    SCOPED_TRACE("iteration " + std::to_string(it));
    feed();
  }
}

TEST_F(FitsFuzzTest, RegressionCorpusStillReads) {
  const char* data = std::getenv("QLM_T4_TEST_DATA");
  ASSERT_NE(data, nullptr) << "QLM_T4_TEST_DATA is not set";
  const std::filesystem::path corpus = std::filesystem::path(data) / "fits_corpus";
  ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".bin") continue;
    std::filesystem::copy_file(entry.path(), input(), std::filesystem::copy_options::overwrite_existing);
    SCOPED_TRACE(entry.path().filename().string());
    feed();
    ++files;
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace qlm
