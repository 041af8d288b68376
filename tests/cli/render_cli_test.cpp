#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/cli.h"
#include "image/display.h"
#include "support/test_home.h"

namespace qlm {
namespace {

std::string readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A raw frame whose element (x, y) is ((x + 2y) mod 256) in its high byte; row 0 has 0x7F00.
void writeRaw(const std::filesystem::path& p) {
  std::string bytes(660000, '\0');
  for (int y = 0; y < 500; ++y) {
    for (int x = 0; x < 660; ++x) {
      const std::size_t i = 2 * static_cast<std::size_t>(y * 660 + x);
      bytes[i + 1] = static_cast<char>(y == 0 ? 0x7F : (x + 2 * y) & 0xFF);
    }
  }
  std::ofstream(p, std::ios::binary) << bytes;
}

unsigned char pixel(const std::string& bmp, int x, int y) {
  return static_cast<unsigned char>(bmp[1078 + static_cast<std::size_t>((499 - y) * 660 + x)]);
}

class RenderCliTest : public ::testing::Test {
 protected:
  RenderCliTest() { writeRaw(file("in.raw")); }
  int run(std::vector<std::string> args) {
    err.str("");
    args.insert(args.begin(), {"--home", home.path().string()});
    return runCli(args, out, err);
  }
  std::filesystem::path file(const std::string& name) const { return home.path() / name; }
  test::TempHome home;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(RenderCliTest, RenderWritesTheDisplayBitmap) {
  ASSERT_EQ(run({"render", file("in.raw").string(), file("out.bmp").string()}), 0) << err.str();
  const std::string bmp = readAll(file("out.bmp"));
  ASSERT_EQ(bmp.size(), 331078u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(pixel(bmp, 0, 0), 0x7F);
  EXPECT_EQ(pixel(bmp, 3, 10), 23);
  EXPECT_EQ(static_cast<unsigned char>(bmp[54 + 4 * 23]), 23) << "grey palette";
  EXPECT_EQ(readAll(home.path() / "qlmt4.bmp"), bmp);
}

TEST_F(RenderCliTest, FalseColourAndMaxPaletteChangeThePaletteAndBytes) {
  ASSERT_EQ(run({"render", file("in.raw").string(), file("fc.bmp").string(), "--false-colour"}), 0)
      << err.str();
  const std::string fc = readAll(file("fc.bmp"));
  EXPECT_EQ(static_cast<unsigned char>(fc[56 + 4 * 100]), 100);  // red = d
  EXPECT_EQ(static_cast<unsigned char>(fc[54 + 4 * 100]), 62);   // blue
  ASSERT_EQ(run({"render", file("in.raw").string(), file("mp.bmp").string(), "--max-palette", "10"}), 0)
      << err.str();
  const std::string mp = readAll(file("mp.bmp"));
  const auto table = maxPaletteTable(10);
  // The smallest non-zero byte is 1: byte 23 maps through entry 22.
  EXPECT_EQ(pixel(mp, 3, 10), table[22]);
}

TEST_F(RenderCliTest, AutoContrastUsesB1InPlaceOfThePaintLevel) {
  ASSERT_EQ(run({"render", file("in.raw").string(), file("ac.bmp").string(), "--auto-contrast"}), 0)
      << err.str();
  const std::string ac = readAll(file("ac.bmp"));
  // Elements 10,240-25,599 hold rows 15-38; the lowest most frequent byte there sets the black level.
  EXPECT_EQ(static_cast<unsigned char>(ac[56]), 0);
  EXPECT_NE(static_cast<unsigned char>(ac[56 + 4 * 255]), 0);
}

TEST_F(RenderCliTest, RefusesBadArguments) {
  EXPECT_EQ(run({"render", file("in.raw").string()}), 2);
  EXPECT_EQ(run({"render", file("in.raw").string(), file("o.bmp").string(), "--max-palette", "1"}), 2);
  EXPECT_EQ(run({"render", file("in.raw").string(), file("o.bmp").string(), "--max-palette"}), 2);
  EXPECT_NE(run({"render", file("missing.raw").string(), file("o.bmp").string()}), 0);
  EXPECT_FALSE(std::filesystem::exists(file("o.bmp")));
}

TEST_F(RenderCliTest, ProcessMirrorFlipAndLabel) {
  ASSERT_EQ(
      run({"process", file("in.raw").string(), file("m.raw").string(), "--op", "mirror", "--op", "flip"}), 0)
      << err.str();
  const std::string m = readAll(file("m.raw"));
  // Element (0, 0) now holds what was at (659, 499).
  EXPECT_EQ(static_cast<unsigned char>(m[1]), (659 + 998) & 0xFF);
  ASSERT_EQ(run({"process", file("in.raw").string(), file("l.raw").string(), "--op", "label:M 42: a/b"}), 0)
      << err.str();
  const std::string l = readAll(file("l.raw"));
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(static_cast<unsigned char>(l[2 * i]), 17) << "label marker";
  // Text "M 42: a/b" (9 characters) starts after (64 - 9) / 2 = 27 spaces: 'M' row 1 is 0x63.
  const std::size_t m_row1 = 660 + 27 * 8;
  EXPECT_EQ(static_cast<unsigned char>(l[2 * (m_row1 + 1) + 1]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(l[2 * (m_row1 + 2) + 1]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(l[2 * (m_row1 + 3) + 1]), 0x00);
  EXPECT_EQ(static_cast<unsigned char>(l[2 * (660 * 9 + 600) + 1]), 0x00) << "the band is cleared";
}

}  // namespace
}  // namespace qlm
