#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/console_ui.h"
#include "files/fits_image.h"
#include "platform/atomic_file.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// An unbuffered output that presses Ctrl+C once its `lines`-th line has been printed.
class InterruptAfterLines : public std::streambuf {
 public:
  explicit InterruptAfterLines(int lines) : left_(lines) {}
  const std::string& text() const { return text_; }

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    text_.push_back(static_cast<char>(c));
    if (c == '\n' && --left_ == 0) ConsoleUi::requestInterrupt();
    return c;
  }

 private:
  int left_;
  std::string text_;
};

class CaptureVerbTest : public ::testing::Test {
 protected:
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
  InterruptAfterLines counting(4);  // Ctrl+C during the fourth frame's wait
  std::ostream printed(&counting);
  const std::vector<std::string> args = {
      "--home", home.path().string(), "--simulate", "capture", "--unit", "h", "--count",
      "10",     "--continuous"};
  ASSERT_EQ(runCli(args, printed, err), 0) << err.str();
  std::istringstream in(counting.text());
  int n = 0;
  for (std::string l; std::getline(in, l);)
    ++n;
  EXPECT_EQ(n, 4);
}

TEST_F(CaptureVerbTest, ContinuousSaysItRepeatsAndMaxFramesBoundsIt) {
  ASSERT_EQ(run({"--unit", "s", "--count", "2", "--continuous", "--autosave", "--max-frames", "3"}), 0)
      << err.str();
  const auto l = lines();
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[2].rfind("frame 3: 2000 ms, saved ", 0), 0u) << l[2];
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path() / "autosave"), {}), 4);  // + .ini
  EXPECT_EQ(err.str().rfind("capture: --continuous repeats the exposures until Ctrl+C or 3 frames\n", 0), 0u);
  // A series ends by itself: no warning; a bound above it changes nothing.
  ASSERT_EQ(run({"--unit", "t", "--count", "2", "--continuous", "--frames", "2", "--max-frames", "5"}), 0);
  EXPECT_EQ(lines().size(), 2u);
  EXPECT_EQ(err.str().find("Ctrl+C"), std::string::npos) << err.str();
  EXPECT_EQ(run({"--max-frames", "0"}), 2);
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
  EXPECT_EQ(run({"--guided", "--focus", "3"}), 2);  // focus mode takes no photo to guide
}

TEST_F(CaptureVerbTest, NoCameraFailsWithTheMessage) {
  std::vector<std::string> args = {"--home", home.path().string(), "capture"};
  // Without --simulate the USB camera is looked for; the test machine has none.
  EXPECT_EQ(runCli(args, out, err), 1);
  EXPECT_NE(err.str().find("Sorry, No camera found on USB"), std::string::npos);
}

// A camera fault set with --sim keys ends the run with exit 1 and one message; only the frames read
// whole before the fault are printed and autosaved.
class CaptureFaultTest : public CaptureVerbTest,
                         public ::testing::WithParamInterface<std::pair<std::vector<std::string>, int>> {};

TEST_P(CaptureFaultTest, FailsWithOneMessageAndKeepsOnlyWholeFrames) {
  const auto& [keys, kept] = GetParam();
  std::vector<std::string> args = {"--home", home.path().string(), "--simulate"};
  for (const std::string& key : keys)
    args.insert(args.end(), {"--sim", key});
  args.insert(args.end(), {"capture", "--count", "2", "--autosave", "--continuous", "--frames", "3"});
  EXPECT_EQ(runCli(args, out, err), 1);
  EXPECT_EQ(static_cast<int>(lines().size()), kept) << out.str();
  int saved = 0;
  for (const auto& e : std::filesystem::directory_iterator(home.path() / "autosave"))
    saved += e.path().extension() == ".FIT" ? 1 : 0;
  EXPECT_EQ(saved, kept);
  std::istringstream errors(err.str());
  int messages = 0;
  for (std::string l; std::getline(errors, l);)
    messages += l.find("USB") != std::string::npos ? 1 : 0;
  EXPECT_EQ(messages, 1) << err.str();
}

INSTANTIATE_TEST_SUITE_P(
    SimulatorKeys, CaptureFaultTest,
    ::testing::Values(
        std::pair{std::vector<std::string>{"fault.unplug_ms=1500"}, 0},
        std::pair{std::vector<std::string>{"fault.transfer=5"}, 0},  // the first frame's read
        std::pair{std::vector<std::string>{"fault.transfer=5", "fault.transfer_kind=short"}, 0},
        std::pair{std::vector<std::string>{"fault.transfer=5", "fault.transfer_kind=unplug"}, 0},
        std::pair{std::vector<std::string>{"fault.unplug_ms=3000"}, 1},
        // The clears that start the first exposure: lost, or cut short.
        std::pair{std::vector<std::string>{"fault.transfer=0"}, 0},
        std::pair{std::vector<std::string>{"fault.transfer=1", "fault.transfer_kind=short"}, 0}));

// A frame whose autosave failed is not reported as saved, and the run fails with one message that
// names the file and the reason.
TEST_F(CaptureVerbTest, AFailedAutosaveIsNotReportedAsSaved) {
  AtomicFile::setFailAfterBytesForTesting(1000);
  const int status = run({"--unit", "q", "--count", "5", "--autosave"});
  AtomicFile::setFailAfterBytesForTesting(-1);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(lines(), std::vector<std::string>{"frame 1: 5 ms"});
  const std::string file = (home.path() / "autosave" / "IMG1.FIT").string();
  EXPECT_NE(
      err.str().find("Unable to create file, check disk space: " + file + ": No space left on device\n"),
      std::string::npos)
      << err.str();
  EXPECT_FALSE(std::filesystem::exists(file));
}

// The live stack of a series on the simulator: each frame is added with its star's HFR until a cloud
// hides the stars, after which frames are rejected, not the end of the run; the float mean is saved.
TEST_F(CaptureVerbTest, LiveStackAddsFramesAndRejectsThoseWithoutTheStar) {
  const std::string stack = (home.path() / "live.fit").string();
  out.str("");
  err.str("");
  ASSERT_EQ(
      runCli({"--home", home.path().string(), "--simulate", "--virtual-clock", "--sim", "clouds_at_s=14",
              "capture", "--unit", "s", "--count", "3", "--frames", "5", "--live-stack", stack},
             out, err),
      0)
      << err.str();
  const std::vector<std::string> l = lines();
  ASSERT_EQ(l.size(), 6u) << out.str();
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(l[static_cast<std::size_t>(i)].rfind("frame " + std::to_string(i + 1) + ": added, hfr 1.", 0),
              0u)
        << l[static_cast<std::size_t>(i)];
  EXPECT_EQ(l[4], "frame 5: rejected: star lost");
  const int added = std::stoi(l[5].substr(std::string("stacked: ").size()));
  EXPECT_EQ(l[5], "stacked: " + std::to_string(added) + " of 5");
  EXPECT_GE(added, 2);
  EXPECT_LE(added, 4);
  std::string why;
  const auto fits = readFitsImage(stack, why);
  ASSERT_TRUE(fits) << why;
  EXPECT_EQ(fits->bitpix, -32);
  EXPECT_DOUBLE_EQ(fits->details.exposureSeconds, 3.0 * added);
}

}  // namespace
}  // namespace qlm
