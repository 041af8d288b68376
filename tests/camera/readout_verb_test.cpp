#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "cli/cli.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class ReadoutVerbTest : public ::testing::Test {
 protected:
  int run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), {"--home", home.path().string()});
    return runCli(args, out, err);
  }
  std::string file(const std::string& name) const { return (home.path() / name).string(); }
  std::vector<std::uint16_t> values(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::uint16_t> v(bytes.size() / 2);
    for (std::size_t i = 0; i < v.size(); ++i)
      v[i] = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return v;
  }
  test::TempHome home;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(ReadoutVerbTest, SimulatedBinnedReadoutWritesAStarField) {
  ASSERT_EQ(run({"--simulate", "readout", "--mode", "binned", "--exposure-ms", "500", file("out.raw")}), 0)
      << err.str();
  const auto v = values("out.raw");
  ASSERT_EQ(v.size(), 330000u);
  EXPECT_TRUE(std::all_of(v.begin(), v.begin() + 3300, [](auto x) { return x == 0; }));  // rows 0-4
  std::vector<std::uint16_t> sensor(v.begin() + 3960, v.end());
  std::sort(sensor.begin(), sensor.end());
  const int median = sensor[sensor.size() / 2];
  EXPECT_GT(median, 500);
  EXPECT_GT(sensor.back(), median + 10000);  // stars
  EXPECT_NE(err.str().find("Camera Found"), std::string::npos);
}

struct ModeCase {
  const char* mode;
  std::size_t values;
};

class ReadoutModeTest : public ReadoutVerbTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ReadoutModeTest, EachModeSavesItsArrayShape) {
  ASSERT_EQ(run({"readout", "--simulate", "--mode", GetParam().mode, "--exposure-ms", "1500", file("a.raw")}),
            0)
      << err.str();
  EXPECT_EQ(values("a.raw").size(), GetParam().values);
}

INSTANTIATE_TEST_SUITE_P(Modes, ReadoutModeTest,
                         ::testing::Values(ModeCase{"full", 330000}, ModeCase{"binned", 330000},
                                           ModeCase{"focus", 16384}, ModeCase{"guider", 145000}),
                         [](const auto& info) { return std::string(info.param.mode); });

TEST_F(ReadoutVerbTest, SimulatedExposuresTakeNoRealTime) {
  // Ten virtual minutes.
  ASSERT_EQ(run({"--simulate", "readout", "--mode", "full", "--exposure-ms", "600000", file("long.raw")}), 0);
  const auto v = values("long.raw");
  EXPECT_EQ(*std::max_element(v.begin(), v.end()), 65535);  // bright stars saturate
}

TEST_F(ReadoutVerbTest, SimulatorFaultKeysFailTheReadoutWithoutAFile) {
  EXPECT_EQ(run({"--simulate", "--sim", "fault.unplug_ms=800", "readout", "--mode", "full", "--exposure-ms",
                 "2000", file("gone.raw")}),
            1);
  EXPECT_FALSE(std::filesystem::exists(file("gone.raw")));
  EXPECT_NE(err.str().find("USB"), std::string::npos);
  EXPECT_EQ(run({"--simulate", "--sim", "fault.transfer_kind=melt", "readout", "--mode", "full",
                 "--exposure-ms", "500", file("ok.raw")}),
            2);
  EXPECT_FALSE(std::filesystem::exists(file("ok.raw")));
}

TEST_F(ReadoutVerbTest, BadArgumentsAreRefused) {
  EXPECT_EQ(run({"--simulate", "readout", "--mode", "sideways", "--exposure-ms", "5", file("x.raw")}), 2);
  EXPECT_EQ(run({"--simulate", "readout", "--mode", "full", "--exposure-ms", "5s", file("x.raw")}), 2);
  EXPECT_EQ(run({"--simulate", "readout", "--mode", "full", file("x.raw")}), 2);
  EXPECT_EQ(run({"--simulate", "readout", "--mode", "full", "--exposure-ms", "5"}), 2);
  EXPECT_EQ(run({"--simulate", "readout", "--mode"}), 2);
}

TEST_F(ReadoutVerbTest, NoCameraIsAFailure) {
  // Without --simulate the USB bus is searched; this machine has no camera.
  EXPECT_EQ(run({"readout", "--mode", "full", "--exposure-ms", "5", file("x.raw")}), 1);
  EXPECT_NE(err.str().find("Sorry, No camera found on USB"), std::string::npos);
}

}  // namespace
}  // namespace qlm
