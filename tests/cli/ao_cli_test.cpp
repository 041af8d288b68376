#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "guiding/guide_log.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// train and guide with the AO unit on the simulated camera, mount and unit, with the virtual clock.
class AOCliTest : public ::testing::Test {
 protected:
  AOCliTest() { EXPECT_EQ(run({"settings", "set", "drive_method", "b"}), 0) << err.str(); }
  test::TempHome home;
  std::ostringstream out;
  std::ostringstream err;
  const std::string log = (home.path() / "ao.csv").string();

  int run(std::vector<std::string> args) {
    std::vector<std::string> all = {"--home", home.path().string(), "--simulate", "--virtual-clock"};
    all.insert(all.end(), args.begin(), args.end());
    out.str("");
    err.str("");
    return runCli(all, out, err);
  }
  double value(const std::string& name) {
    const std::string text = out.str();
    const std::size_t at = text.find(name + ": ");
    EXPECT_NE(at, std::string::npos) << name << " in " << text;
    return at == std::string::npos ? -1 : std::stod(text.substr(at + name.size() + 2));
  }
  // The largest |tilt| of either axis in the guide log.
  int largestLoggedTilt() {
    int largest = 0;
    for (const GuideLogRow& r : readGuideLog(log)) {
      EXPECT_TRUE(r.ao.has_value());
      if (r.ao) largest = std::max({largest, std::abs(r.ao->first), std::abs(r.ao->second)});
    }
    return largest;
  }
};

TEST_F(AOCliTest, TrainedUnitHoldsTheStarTenMinutesAtLeastAsWellAsTheTelescope) {
  ASSERT_EQ(run({"train", "guider", "--device", "ao"}), 0) << err.str();
  const int lr = static_cast<int>(value("lr gain steps/px"));
  EXPECT_TRUE(lr >= 4 && lr <= 6) << lr;  // 25 steps of 0.76" on the 3.8"/px guider: 5 pixels
  ASSERT_EQ(run({"settings", "show"}), 0);
  EXPECT_NE(out.str().find("ao_default_lr_gain: " + std::to_string(lr) + "\n"), std::string::npos);

  ASSERT_EQ(run({"guide", "guider", "--device", "telescope", "--seconds", "600"}), 0) << err.str();
  const double telescope = value("true rms px");
  EXPECT_EQ(out.str().find("bumps"), std::string::npos);
  ASSERT_EQ(run({"guide", "guider", "--device", "ao", "--seconds", "600", "--log", log}), 0) << err.str();
  EXPECT_GT(value("frames"), 200);
  EXPECT_LE(value("true rms px"), telescope);
  EXPECT_LE(largestLoggedTilt(), 150);  // the unit's travel
}

TEST_F(AOCliTest, DriftBeyondFiftyStepsBumpsTheMountWithinTheTravel) {
  // 0.2"/s for 300 s is 60", 79 steps of 0.76": the tilt alone cannot follow it.
  ASSERT_EQ(run({"--sim", "drift_ra_arcsec_per_s=0.2", "--sim", "ao_travel_steps=150", "guide", "guider",
                 "--device", "ao", "--seconds", "300", "--log", log}),
            0)
      << err.str();
  EXPECT_GT(value("bumps"), 0);
  EXPECT_LE(largestLoggedTilt(), 150);
  EXPECT_LT(value("true rms px"), 1.0);
}

TEST_F(AOCliTest, SilentUnitEndsGuidingAndTrainingWithTheMessage) {
  EXPECT_EQ(run({"--sim", "fault.ao=silent", "guide", "guider", "--device", "ao", "--seconds", "60"}), 1);
  EXPECT_NE(err.str().find("Return from AO"), std::string::npos) << err.str();
  EXPECT_EQ(out.str().find("frames:"), std::string::npos);
  EXPECT_EQ(run({"--sim", "fault.ao=silent", "train", "guider", "--device", "ao"}), 1);
  EXPECT_NE(err.str().find("Return from AO"), std::string::npos);
  EXPECT_EQ(run({"guide", "main", "--device", "ao", "--seconds", "5"}), 2);
}

}  // namespace
}  // namespace qlm
