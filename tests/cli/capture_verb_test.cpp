#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_links.h"
#include "cli/cli.h"
#include "cli/console_ui.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class CaptureVerbTest : public ::testing::Test {
 protected:
  ~CaptureVerbTest() override { resetCaptureLinks(captureLinks()); }
  int run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), {"--home", home.path().string(), "--simulate", "capture"});
    return runCli(args, out, err);
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> v;
    std::istringstream in(out.str());
    for (std::string l; std::getline(in, l);)
      v.push_back(l);
    return v;
  }
  test::TempHome home;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(CaptureVerbTest, SeriesTakesTheAskedFramesOneLineEach) {
  ASSERT_EQ(run({"--unit", "s", "--count", "3", "--continuous", "--frames", "3"}), 0) << err.str();
  EXPECT_EQ(lines(), (std::vector<std::string>{"frame 1: 3000 ms", "frame 2: 3000 ms", "frame 3: 3000 ms"}));
}

TEST_F(CaptureVerbTest, FramesWithoutContinuousAreMergedIntoOne) {
  ASSERT_EQ(run({"--unit", "t", "--count", "5", "--frames", "3"}), 0) << err.str();
  EXPECT_EQ(lines(), (std::vector<std::string>{"frame 1: 500 ms"}));
}

TEST_F(CaptureVerbTest, ContinuousRunsUntilInterrupted) {
  int seen = 0;
  captureLinks().frame_finished = [&seen] {
    if (++seen == 4) ConsoleUi::requestInterrupt();  // Ctrl+C during the fourth frame's wait
  };
  ASSERT_EQ(run({"--unit", "h", "--count", "10", "--continuous"}), 0) << err.str();
  EXPECT_EQ(lines().size(), 4u);
}

TEST_F(CaptureVerbTest, FocusPrintsEachPeak) {
  ASSERT_EQ(run({"--unit", "h", "--count", "20", "--focus", "3"}), 0) << err.str();
  const auto l = lines();
  ASSERT_EQ(l.size(), 3u);
  for (std::size_t i = 0; i < l.size(); ++i) {
    EXPECT_EQ(l[i].rfind("focus " + std::to_string(i + 1) + ": peak ", 0), 0u) << l[i];
    EXPECT_GT(std::stoi(l[i].substr(l[i].rfind(' ') + 1)), 0);
  }
}

TEST_F(CaptureVerbTest, FocusWithMinutesTakesNothingAndFails) {
  EXPECT_EQ(run({"--unit", "m", "--focus", "2"}), 1);
  EXPECT_TRUE(out.str().empty());
}

TEST_F(CaptureVerbTest, BadArgumentsAreRefused) {
  EXPECT_EQ(run({"--unit", "x"}), 2);
  EXPECT_EQ(run({"--frames", "100"}), 2);
  EXPECT_EQ(run({"--count", "0"}), 2);
  EXPECT_EQ(run({"--shutter"}), 2);
}

TEST_F(CaptureVerbTest, NoCameraFailsWithTheMessage) {
  std::vector<std::string> args = {"--home", home.path().string(), "capture"};
  // Without --simulate the USB camera is looked for; the test machine has none.
  EXPECT_EQ(runCli(args, out, err), 1);
  EXPECT_NE(err.str().find("Sorry, No camera found on USB"), std::string::npos);
}

}  // namespace
}  // namespace qlm
