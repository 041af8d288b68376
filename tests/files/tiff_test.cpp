#include <gtest/gtest.h>

#include "files/tiff.h"
#include "files_test_util.h"
#include "platform/atomic_file.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using test::byteAt;
using test::readFile;

class TiffTest : public ::testing::Test {
 protected:
  void TearDown() override { AtomicFile::setFailAfterBytesForTesting(-1); }
  std::filesystem::path file(const std::string& name) const { return p.home.path() / name; }
  test::TestPlatform p;
  Frame& frame = imageBuffers().CurrentFrame;
};

// The 246 bytes before the pixels, written out by hand.
std::string expectedHeader() {
  const unsigned char bytes[] = {
      0x49, 0x49, 42,   0,    8,    0,    0,    0,  // byte order, 42, first directory at 8
      13,   0,                                      // 13 entries
      0xFE, 0,    4,    0,    1,    0,    0,    0,    0,    0,    0,    0,  // NewSubfileType LONG 0
      0x00, 1,    3,    0,    1,    0,    0,    0,    0x94, 0x02, 0,    0,  // ImageWidth 660
      0x01, 1,    3,    0,    1,    0,    0,    0,    0xF4, 0x01, 0,    0,  // ImageLength 500
      0x02, 1,    3,    0,    1,    0,    0,    0,    8,    0,    0,    0,  // BitsPerSample 8
      0x03, 1,    3,    0,    1,    0,    0,    0,    1,    0,    0,    0,  // Compression none
      0x06, 1,    3,    0,    1,    0,    0,    0,    1,    0,    0,    0,  // Photometric black is zero
      0x11, 1,    4,    0,    10,   0,    0,    0,    186,  0,    0,    0,  // StripOffsets at 186
      0x15, 1,    3,    0,    1,    0,    0,    0,    1,    0,    0,    0,  // SamplesPerPixel 1
      0x16, 1,    4,    0,    1,    0,    0,    0,    50,   0,    0,    0,  // RowsPerStrip 50
      0x17, 1,    3,    0,    10,   0,    0,    0,    226,  0,    0,    0,  // StripByteCounts at 226
      0x1A, 1,    5,    0,    1,    0,    0,    0,    170,  0,    0,    0,  // XResolution at 170
      0x1B, 1,    5,    0,    1,    0,    0,    0,    178,  0,    0,    0,  // YResolution at 178
      0x28, 1,    3,    0,    1,    0,    0,    0,    3,    0,    0,    0,  // ResolutionUnit centimetre
      0,    0,    0,    0,                                                  // no next directory
      0xFE, 1,    0,    0,    6,    0,    0,    0,                          // 510 / 6
      0,    1,    0,    0,    4,    0,    0,    0,                          // 256 / 4
      0xF6, 0,    0,    0,    0xDE, 0x81, 0,    0,    0xC6, 0x02, 1,    0,  // strips at 246, 33,246, 66,246
      0xAE, 0x83, 1,    0,    0x96, 0x04, 2,    0,    0x7E, 0x85, 2,    0,    0x66, 0x06,
      3,    0,    0x4E, 0x87, 3,    0,    0x36, 0x08, 4,    0,    0x1E, 0x89, 4,    0,  // ... 297,246
      0xE8, 0x80, 0xE8, 0x80, 0xE8, 0x80, 0xE8, 0x80, 0xE8, 0x80,  // ten counts of 33,000
      0xE8, 0x80, 0xE8, 0x80, 0xE8, 0x80, 0xE8, 0x80, 0xE8, 0x80};
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

TEST_F(TiffTest, HeaderBytesAreTheFixedLayout) {
  const std::string expected = expectedHeader();
  ASSERT_EQ(expected.size(), 246u);
  ASSERT_TRUE(writeTiffFile(file("a.tif"), frame));
  const std::string bytes = readFile(file("a.tif"));
  ASSERT_EQ(bytes.size(), 330246u);
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(byteAt(bytes, i), byteAt(expected, i)) << "offset " << i;
  EXPECT_EQ(std::string(tiffHeader().begin(), tiffHeader().end()), expected);
}

TEST_F(TiffTest, PixelsAreTheUnstretchedHighBytesRowByRow) {
  test::fillScrambled(frame, 2);
  frame[0] = 0xAB12;
  frame[kFrameElements - 1] = 0x00FF;
  ASSERT_TRUE(writeTiffFile(file("p.tif"), frame));
  const std::string bytes = readFile(file("p.tif"));
  EXPECT_EQ(byteAt(bytes, 246), 0xABu);
  EXPECT_EQ(byteAt(bytes, 330245), 0u);
  for (std::size_t i :
       {std::size_t{1}, std::size_t{659}, std::size_t{660}, std::size_t{33000}, std::size_t{200001}})
    EXPECT_EQ(byteAt(bytes, 246 + i), static_cast<unsigned>(frame[i] >> 8u)) << i;
}

class TiffFailingWriteTest : public TiffTest, public ::testing::WithParamInterface<long long> {};

TEST_P(TiffFailingWriteTest, FailureAtAnyWriteKeepsTheOldFile) {
  test::writeFile(file("keep.tif"), "old tiff");
  AtomicFile::setFailAfterBytesForTesting(GetParam());
  EXPECT_FALSE(writeTiffFile(file("keep.tif"), frame));
  EXPECT_EQ(readFile(file("keep.tif")), "old tiff");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(p.home.path()))
    ++entries;
  EXPECT_EQ(entries, 1);
}

// Inside the first ten bytes, an entry, the next-directory word, a rational, the strip offsets and
// counts, the first pixel chunk, and one byte short of the end.
INSTANTIATE_TEST_SUITE_P(Stages, TiffFailingWriteTest,
                         ::testing::Values(0, 9, 10, 100, 166, 175, 190, 230, 246, 6845, 330245));

}  // namespace
}  // namespace qlm
