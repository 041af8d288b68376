#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "files/fits_image.h"
#include "support/sim_cli.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// A dithered guided series on the simulated camera and mount with the virtual clock.
class DitherCliTest : public test::SimCliTest {
 protected:
  std::vector<std::string> ditherLines() const {
    std::vector<std::string> v;
    std::istringstream in(out.str());
    for (std::string l; std::getline(in, l);)
      if (l.rfind("dither ", 0) == 0) v.push_back(l);
    return v;
  }
  // The dither offset in the history of autosaved frame n.
  std::pair<double, double> historyOffset(int n) {
    std::string error;
    const auto image = readFitsImage(home.path() / "autosave" / ("IMG" + std::to_string(n) + ".FIT"), error);
    EXPECT_TRUE(image.has_value()) << error;
    double x = 99, y = 99;
    int found = 0;
    for (const std::string& h : image ? image->history : std::vector<std::string>{}) {
      const std::size_t at = h.find("Dither offset");  // the program's cards quote their text
      if (at != std::string::npos)
        found += std::sscanf(h.c_str() + at, "Dither offset x %lf y %lf guider px", &x, &y) == 2 ? 1 : 0;
    }
    EXPECT_EQ(found, 1) << "frame " << n;
    return {x, y};
  }
};

TEST_F(DitherCliTest, EachFrameWaitsForTheStarToSettleAtItsOffset) {
  const std::vector<std::string> args = {"capture",  "--guided", "--frames", "3", "--count",   "20",
                                         "--dither", "4",        "--seed",   "7", "--autosave"};
  ASSERT_EQ(run(args), 0) << err.str();
  const std::vector<std::string> lines = ditherLines();
  ASSERT_EQ(lines.size(), 2u) << out.str();
  std::pair<double, double> at = historyOffset(1);
  EXPECT_EQ(at, std::make_pair(0.0, 0.0));
  for (int k = 1; k <= 2; ++k) {
    int index = 0;
    double dx = 0, dy = 0, seconds = 0;
    ASSERT_EQ(std::sscanf(lines[k - 1].c_str(), "dither %d: dx %lf dy %lf, settled in %lf s", &index, &dx,
                          &dy, &seconds),
              4)
        << lines[k - 1];
    EXPECT_EQ(index, k);
    // Settled: at least the settle time, and well before the timeout on the default mount.
    EXPECT_GE(seconds, 10.0);
    EXPECT_LT(seconds, 30.0);
    EXPECT_LE(std::max(std::abs(dx), std::abs(dy)), 6.0);  // the move's limit
    // The next frame's history holds the offset the move led to, never beyond the amount (the default
    // mount guides along the sensor's axes).
    const auto next = historyOffset(k + 1);
    EXPECT_NEAR(next.first, at.first + dx, 0.11);
    EXPECT_NEAR(next.second, at.second + dy, 0.11);
    EXPECT_LE(std::max(std::abs(next.first), std::abs(next.second)), 4.05);
    at = next;
  }
  // The same seed dithers the same way; another seed does not.
  ASSERT_EQ(run(args), 0) << err.str();
  EXPECT_EQ(ditherLines(), lines);
  std::vector<std::string> other = args;
  other[9] = "8";
  ASSERT_EQ(run(other), 0) << err.str();
  EXPECT_NE(ditherLines(), lines);
}

TEST_F(DitherCliTest, ASettleThatTimesOutStillTakesTheFrame) {
  ASSERT_EQ(run({"capture", "--guided", "--frames", "3", "--count", "10", "--dither", "3", "--seed", "1",
                 "--settle", "0.5,30,2"}),
            0)
      << err.str();
  const std::vector<std::string> lines = ditherLines();
  ASSERT_EQ(lines.size(), 2u) << out.str();
  for (const std::string& l : lines)
    EXPECT_NE(l.find(", settle timed out"), std::string::npos) << l;
  EXPECT_NE(out.str().find("frame 3: 10000 ms"), std::string::npos) << out.str();
}

TEST_F(DitherCliTest, DitherOptionsAreRefusedWhereTheyMeanNothing) {
  EXPECT_EQ(run({"capture", "--frames", "3", "--count", "10", "--dither", "3"}), 2);  // unguided
  EXPECT_EQ(run({"capture", "--guided", "--frames", "3", "--settle", "1,10,60"}), 2);
  for (const char* bad : {"1,10", "0,10,60", "1,-1,60", "1,10,60,5", "a,b,c"})
    EXPECT_EQ(run({"capture", "--guided", "--dither", "3", "--settle", bad}), 2) << bad;
  EXPECT_EQ(run({"capture", "--guided", "--dither", "0"}), 2);
}

}  // namespace
}  // namespace qlm
