// Every file writer, failing at each of its writes in turn (a disk that fills up at that chunk): the
// file that was there keeps its bytes, no temporary file is left, and the failure is reported.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "files/fits_details.h"
#include "files/fits_writer.h"
#include "files/pk.h"
#include "files/settings.h"
#include "files/tiff.h"
#include "image/bitmap_writer.h"
#include "platform/atomic_file.h"
#include "support/test_home.h"

namespace qlm {
namespace {

struct WriterCase {
  const char* name;
  // Writes the file at `path`; true when the writer said it succeeded.
  std::function<bool(const std::filesystem::path&)> write;
};

std::string readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool writeBitmap(const std::filesystem::path& path) {
  static std::array<std::uint8_t, 660 * 500> pixels{};
  static std::array<std::uint8_t, 660 * 500> scratch{};
  BitmapPalette palette{};
  return writeBitmapFile(path, pixels.data(), 660, 500, palette, scratch.data(), 50) == kBitmapOk;
}

class WriterSweepTest : public ::testing::TestWithParam<WriterCase> {
 protected:
  void TearDown() override { AtomicFile::setFailAtWriteForTesting(-1); }
  test::TestPlatform p;
};

TEST_P(WriterSweepTest, AFailureAtAnyWriteKeepsTheOldFileAndIsReported) {
  const auto path = p.home.path() / "target";
  // A clean run counts the writer's write calls.
  AtomicFile::setFailAtWriteForTesting(-1);
  ASSERT_TRUE(GetParam().write(path));
  const long long calls = AtomicFile::writeCallsForTesting();
  ASSERT_GT(calls, 1);
  const std::string old = "the file that was there";
  for (long long k = 0; k < calls; ++k) {
    SCOPED_TRACE("failing write " + std::to_string(k) + " of " + std::to_string(calls));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << old;
    AtomicFile::setFailAtWriteForTesting(k);
    EXPECT_FALSE(GetParam().write(path));
    EXPECT_EQ(readAll(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(p.home.path()), {}), 1)
        << "a temporary file was left behind";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Writers, WriterSweepTest,
    ::testing::Values(WriterCase{"Fits",
                                 [](const std::filesystem::path& path) {
                                   const FitsDetails& d = fitsDetails();
                                   return writeFitsFile(path, imageBuffers().CurrentFrame, d.object,
                                                        d.observer, d.dateObs, d.telescope, d.instrument,
                                                        d.commentText, d.historyText, false) == 0;
                                 }},
                      WriterCase{"Pk",
                                 [](const std::filesystem::path& path) {
                                   return saveRawImage(path, imageBuffers().CurrentFrame);
                                 }},
                      WriterCase{"Tiff",
                                 [](const std::filesystem::path& path) {
                                   return writeTiffFile(path, imageBuffers().CurrentFrame);
                                 }},
                      WriterCase{"Settings",
                                 [](const std::filesystem::path& path) {
                                   return saveSettings(path, settings(), fitsDetails()) == kSettingsOk;
                                 }},
                      WriterCase{"Bitmap", writeBitmap}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qlm
