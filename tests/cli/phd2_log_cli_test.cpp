#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "guiding/guide_log.h"
#include "support/phd2_log_reader.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// The PHD2 guide log of guide and capture --guided on the simulator, read back as PHD2 Log Viewer
// reads it and held against the CSV log of the same run.
class Phd2LogCliTest : public ::testing::Test {
 protected:
  std::ostringstream out;
  std::ostringstream err;

  int run(const test::TempHome& home, std::vector<std::string> args) {
    std::vector<std::string> all = {"--home", home.path().string(), "--simulate", "--virtual-clock"};
    all.insert(all.end(), args.begin(), args.end());
    out.str("");
    err.str("");
    return runCli(all, out, err);
  }
  void setUpHome(const test::TempHome& home) {
    ASSERT_EQ(run(home, {"settings", "set", "drive_method", "b"}), 0) << err.str();
  }
  double value(const std::string& name) {
    const std::string text = out.str();
    const std::size_t at = text.find(name + ": ");
    EXPECT_NE(at, std::string::npos) << name << " in " << text;
    return at == std::string::npos ? -1 : std::stod(text.substr(at + name.size() + 2));
  }
  static double rmsAbout(const std::vector<double>& v) {
    double s = 0, s2 = 0;
    for (double x : v) {
      s += x;
      s2 += x * x;
    }
    const double n = static_cast<double>(v.size());
    return std::sqrt(n * s2 - s * s) / n;
  }
  static std::string header(const test::Phd2Section& s, const std::string& prefix) {
    for (const std::string& line : s.header)
      if (line.rfind(prefix, 0) == 0) return line;
    return {};
  }
};

TEST_F(Phd2LogCliTest, SameRunGivesTheCsvsFramesAndRms) {
  test::TempHome csv_home, phd2_home;
  setUpHome(csv_home);
  setUpHome(phd2_home);
  const std::string csv = (csv_home.path() / "g.csv").string();
  const std::string phd2 = (phd2_home.path() / "g.txt").string();
  const std::vector<std::string> guide = {"guide", "guider", "--train", "--seconds", "120"};
  auto args = guide;
  args.insert(args.end(), {"--log", csv});
  ASSERT_EQ(run(csv_home, args), 0) << err.str();
  const std::string csv_out = out.str();
  args = guide;
  args.insert(args.end(), {"--log", phd2, "--log-format", "phd2"});
  ASSERT_EQ(run(phd2_home, args), 0) << err.str();
  EXPECT_EQ(out.str(), csv_out);  // the same run on the simulator

  const std::vector<GuideLogRow> rows = readGuideLog(csv);
  const test::Phd2Log log = test::readPhd2Log(phd2);
  EXPECT_NE(log.version_line.find("Log version 2.5"), std::string::npos) << log.version_line;
  // The training's steps: four West, two East, two Backlash, two North, two South.
  ASSERT_EQ(log.calibrations.size(), 1u);
  std::map<std::string, int> steps;
  for (const auto& [direction, dx] : log.calibrations[0])
    ++steps[direction];
  EXPECT_EQ(steps, (std::map<std::string, int>{
                       {"West", 4}, {"East", 2}, {"Backlash", 2}, {"North", 2}, {"South", 2}}));
  EXPECT_LT(log.calibrations[0][3].second, -5.0);  // three West pulses took the star towards -x

  ASSERT_EQ(log.sessions.size(), 1u);
  const test::Phd2Section& s = log.sessions[0];
  EXPECT_TRUE(s.guiding_enabled);
  EXPECT_TRUE(s.ended);
  EXPECT_NE(header(s, "Pixel scale = ").find("unknown"), std::string::npos);
  EXPECT_FALSE(header(s, "X guide algorithm = ").empty());
  ASSERT_EQ(s.entries.size(), rows.size());
  std::vector<double> ra, dec;
  int pulses = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const test::Phd2Entry& e = s.entries[i];
    EXPECT_EQ(e.frame, rows[i].frame);
    EXPECT_TRUE(e.included);
    // "Ignore RA Angle" is on: RA and Dec lie along the sensor's axes, the offset is star minus lock.
    EXPECT_NEAR(e.dx, -rows[i].dx / 1000.0, 1e-9);
    EXPECT_NEAR(e.ra_raw, rows[i].dx / 1000.0, 1e-9);
    EXPECT_NEAR(e.dec_raw, rows[i].dy / 1000.0, 1e-9);
    EXPECT_EQ(std::abs(e.ra_duration), rows[i].ra_ms);
    EXPECT_EQ(std::abs(e.dec_duration), rows[i].dec_ms);
    pulses += rows[i].ra_ms > 0;
    ra.push_back(rows[i].dx / 1000.0);
    dec.push_back(rows[i].dy / 1000.0);
  }
  EXPECT_GT(pulses, 0);
  EXPECT_NEAR(s.rms(true), rmsAbout(ra), 1e-9);
  EXPECT_NEAR(s.rms(false), rmsAbout(dec), 1e-9);
  EXPECT_GT(s.rms(true), 0.0);
}

TEST_F(Phd2LogCliTest, CloudsGiveDropRowsOutsideTheRmsAndThePixelScaleIsGiven) {
  test::TempHome home;
  setUpHome(home);
  ASSERT_EQ(run(home, {"settings", "set", "focal_length", "20"}), 0) << err.str();  // inches
  const std::string phd2 = (home.path() / "clouds.txt").string();
  ASSERT_EQ(run(home, {"--sim", "clouds_at_s=20", "--sim", "clouds_for_s=30", "guide", "guider", "--seconds",
                       "100", "--log", phd2, "--log-format", "phd2"}),
            0)
      << err.str();
  const double lost = value("lost frames");
  EXPECT_GT(lost, 5);
  const test::Phd2Log log = test::readPhd2Log(phd2);
  EXPECT_TRUE(log.calibrations.empty());  // no training in this run
  ASSERT_EQ(log.sessions.size(), 1u);
  const test::Phd2Section& s = log.sessions[0];
  EXPECT_EQ(static_cast<double>(s.entries.size()), value("frames"));
  int dropped = 0;
  for (const test::Phd2Entry& e : s.entries) {
    EXPECT_EQ(e.dropped, !e.included);
    dropped += e.dropped;
  }
  EXPECT_EQ(dropped, lost);
  // 206265 x 0.0074 mm / 508 mm.
  EXPECT_NEAR(s.pixel_scale, 3.00, 0.005);
}

TEST_F(Phd2LogCliTest, UnguidedMainCameraAndGuidedCaptureLogs) {
  test::TempHome home;
  setUpHome(home);
  const std::string main_log = (home.path() / "main.txt").string();
  ASSERT_EQ(run(home, {"guide", "main", "--train", "--seconds", "60", "--no-corrections", "--log", main_log,
                       "--log-format", "phd2"}),
            0)
      << err.str();
  const test::Phd2Log log = test::readPhd2Log(main_log);
  ASSERT_EQ(log.calibrations.size(), 1u);
  EXPECT_EQ(log.calibrations[0].size(), 12u);  // four legs of a start and two pulses
  ASSERT_EQ(log.sessions.size(), 1u);
  EXPECT_FALSE(log.sessions[0].guiding_enabled);
  EXPECT_EQ(static_cast<double>(log.sessions[0].entries.size()), value("frames"));
  for (const test::Phd2Entry& e : log.sessions[0].entries)
    EXPECT_EQ(e.ra_duration, 0);                     // nothing sent
  EXPECT_EQ(log.sessions[0].max_ra_duration, 1250);  // 5 px at 4 px/s

  ASSERT_EQ(run(home, {"capture", "--guided", "--frames", "3", "--count", "5", "--dither", "3", "--seed", "7",
                       "--log-format", "phd2"}),
            0)
      << err.str();
  const double guide_frames = value("guide frames");
  std::vector<std::filesystem::path> logs;
  for (const auto& e : std::filesystem::directory_iterator(home.path() / "guidelogs"))
    logs.push_back(e.path());
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].extension(), ".txt");
  EXPECT_EQ(logs[0].filename().string().rfind("PHD2_GuideLog_", 0), 0u) << logs[0];
  const test::Phd2Log captured = test::readPhd2Log(logs[0].string());
  ASSERT_EQ(captured.sessions.size(), 1u);
  EXPECT_EQ(static_cast<double>(captured.sessions[0].entries.size()), guide_frames);
  // Two dithers between three frames, each with its settling started and complete.
  const std::vector<std::string>& infos = captured.sessions[0].infos;
  ASSERT_EQ(infos.size(), 6u);
  for (std::size_t i : {0u, 3u}) {
    EXPECT_EQ(infos[i].rfind("DITHER by ", 0), 0u) << infos[i];
    EXPECT_EQ(infos[i + 1].rfind("SETTLING STATE CHANGE, Settling started", 0), 0u) << infos[i + 1];
    EXPECT_EQ(infos[i + 2].rfind("SETTLING STATE CHANGE, Settling complete", 0), 0u) << infos[i + 2];
  }
  EXPECT_EQ(run(home, {"capture", "--log-format", "phd2"}), 2);  // a log form without guiding
}

}  // namespace
}  // namespace qlm
