#include "image/conditional_median.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

namespace qlm {
namespace {

// Images of any width with any run of rows: odd and even row counts, row lengths that are not whole
// groups of lanes, narrow and wide, with many ties (few levels) or none (the full range).
class ConditionalMedianTest : public ::testing::TestWithParam<std::tuple<int, int, int, int>> {};

// The selection straight from its definition: the window sorted, max, capped min and middle value.
std::vector<std::uint16_t> reference(const std::vector<std::uint16_t>& in, int width, int r, int tenths,
                                     int first_row, int last_row) {
  std::vector<std::uint16_t> out(in.size(), 0);
  for (int i = first_row; i <= last_row; ++i) {
    for (int j = r; j <= width - 1 - r; ++j) {
      std::vector<int> w;
      for (int y = i - r; y <= i + r; ++y) {
        for (int x = j - r; x <= j + r; ++x)
          w.push_back(in[static_cast<std::size_t>(y * width + x)]);
      }
      std::sort(w.begin(), w.end());
      const int med = w[w.size() / 2];
      const int range = w.back() - std::min(w.front(), 65000);
      const int v = in[static_cast<std::size_t>(i * width + j)];
      out[static_cast<std::size_t>(i * width + j)] =
          static_cast<std::uint16_t>(10 * std::abs(med - v) > range * tenths ? med : v);
    }
  }
  return out;
}

TEST_P(ConditionalMedianTest, MatchesTheDefinitionOnEveryProcessedElement) {
  const auto [r, width, rows, levels] = GetParam();
  const int height = rows + 2 * r + 1;
  std::mt19937 gen(static_cast<unsigned>(r * 1000 + width + rows + levels));
  std::uniform_int_distribution<int> dist(0, levels - 1);
  std::vector<std::uint16_t> in(static_cast<std::size_t>(width * height));
  for (auto& v : in)
    v = static_cast<std::uint16_t>(dist(gen) * (65535 / (levels - 1)));
  for (const int tenths : {0, 3, 6}) {
    const int first = r + 1;  // one untouched row above the run
    const int last = first + rows - 1;
    std::vector<std::uint16_t> out(in.size(), 0);
    conditionalMedian(in.data(), out.data(), width, r, tenths, 65000, first, last);
    EXPECT_EQ(out, reference(in, width, r, tenths, first, last)) << "tenths " << tenths;
  }
}

INSTANTIATE_TEST_SUITE_P(RadiusWidthRowsLevels, ConditionalMedianTest,
                         ::testing::Combine(::testing::Values(1, 2, 3), ::testing::Values(40, 77, 660),
                                            ::testing::Values(1, 4, 7), ::testing::Values(3, 65536)));

}  // namespace
}  // namespace qlm
