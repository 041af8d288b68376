#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "files/fits_image.h"
#include "support/test_home.h"

namespace qlm {
namespace {

std::string card(const std::string& text) {
  std::string c = text;
  c.resize(80, ' ');
  return c;
}

// A 32-bit integer image as another program writes it (BZERO, BSCALE), and the same header promising
// more data than the file holds, or a size no memory should be set aside for.
TEST(FitsImageTest, ReadsScaledIntegersAndRefusesShortOrHugeFiles) {
  test::TempHome home;
  const auto write = [&](const std::string& name, const std::string& axes, int samples) {
    std::string h = card("SIMPLE  =                    T") + card("BITPIX  =                   32") +
                    card("NAXIS   =                    2") + axes + card("BZERO   =               1000.0") +
                    card("BSCALE  =                  0.5") + card("EXPTIME =                  3.5") +
                    card("END");
    h.resize(2880, ' ');
    for (int i = 0; i < samples; ++i) {
      const std::uint32_t v = static_cast<std::uint32_t>(i * 100 - 200);
      for (int b = 3; b >= 0; --b)
        h.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
    }
    std::ofstream(home.path() / name, std::ios::binary) << h;
    return home.path() / name;
  };
  const std::string two_by_three =
      card("NAXIS1  =                    2") + card("NAXIS2  =                    3");
  std::string why;
  const auto image = readFitsImage(write("int.fit", two_by_three, 6), why);
  ASSERT_TRUE(image) << why;
  EXPECT_EQ(image->bitpix, 32);
  EXPECT_EQ(image->width, 2);
  EXPECT_EQ(image->height, 3);
  EXPECT_EQ(image->pixels, (std::vector<float>{900, 950, 1000, 1050, 1100, 1150}));
  EXPECT_DOUBLE_EQ(image->details.exposureSeconds, 3.5);
  EXPECT_FALSE(readFitsImage(write("short.fit", two_by_three, 5), why));
  EXPECT_EQ(why, "is shorter than its header says");
  const std::string huge = card("NAXIS1  =                16384") + card("NAXIS2  =                16384");
  EXPECT_FALSE(readFitsImage(write("huge.fit", huge, 6), why));
  EXPECT_FALSE(readFitsImage(home.path() / "none.fit", why));
}

}  // namespace
}  // namespace qlm
