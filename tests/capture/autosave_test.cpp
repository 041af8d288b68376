#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/file_commands.h"
#include "capture_fixture.h"
#include "files/autosave.h"
#include "files/fits_details.h"

namespace qlm {
namespace {

// The header card that starts with `key`, as the file holds it (80 characters).
std::string card(const std::filesystem::path& file, const std::string& key) {
  std::ifstream in(file, std::ios::binary);
  std::string header(5760, '\0');
  in.read(header.data(), static_cast<std::streamsize>(header.size()));
  for (std::size_t at = 0; at + 80 <= header.size(); at += 80) {
    if (header.compare(at, key.size(), key) == 0) return header.substr(at, 80);
  }
  return {};
}

// Autosave after each finished frame, on a pinned UT rule; the virtual calendar starts at
// 1700000000 = 2023-11-14 22:13:20 UT.
class AutosaveTest : public test::CaptureTest {
 protected:
  std::filesystem::path saved(int n) const {
    return p.paths().autosaveDir() / ("IMG" + std::to_string(n) + ".FIT");
  }
  ScopedMachineZone utc_{0};
};

TEST_F(AutosaveTest, SeriesSavesNumberedFilesStampedAtTheExposureMidpoint) {
  takePhoto(exposure(ql::kSeconds, 30, [](QlModel& panel) {
    panel.press(ql::kContinuous);
    panel.press(ql::kAutoSave);
    setExposures(panel, 3);
  }));
  ASSERT_EQ(frames, 3);
  for (int n = 1; n <= 3; ++n) {
    ASSERT_TRUE(std::filesystem::exists(saved(n))) << n;
    EXPECT_EQ(std::filesystem::file_size(saved(n)), 668160u);
    EXPECT_EQ(card(saved(n), "EXPTIME").substr(0, 29), "EXPTIME =    3.0000000000E+01") << n;
    EXPECT_EQ(card(saved(n), "DATE-OBS").substr(0, 22), "DATE-OBS= '2023-11-14'");
  }
  EXPECT_FALSE(std::filesystem::exists(saved(4)));
  // Frame 1 ran from 0 to 30 s: its midpoint is 15 s after the start.
  EXPECT_EQ(card(saved(1), "TIME-OBS").substr(0, 20), "TIME-OBS= '22:13:35'");
  EXPECT_EQ(settings().autosave_counter, 3);
}

TEST_F(AutosaveTest, MergedRunSavesOneFileWithTheSummedExposure) {
  takePhoto(exposure(ql::kSeconds, 2, [](QlModel& panel) {
    panel.press(ql::kAutoSave);
    setExposures(panel, 3);
  }));
  ASSERT_TRUE(std::filesystem::exists(saved(1)));
  EXPECT_FALSE(std::filesystem::exists(saved(2)));
  EXPECT_EQ(card(saved(1), "EXPTIME").substr(0, 29), "EXPTIME =    6.0000000000E+00");
  // Three 2-second exposures from 22:13:20: the midpoint of the whole run.
  EXPECT_EQ(card(saved(1), "TIME-OBS").substr(0, 20), "TIME-OBS= '22:13:23'");
}

TEST_F(AutosaveTest, NoFileWithoutAutoSave) {
  takePhoto(exposure(ql::kTenths, 5));
  EXPECT_EQ(frames, 1);
  EXPECT_FALSE(std::filesystem::exists(saved(1)));
}

// Two programs autosaving into one folder at once: each file name is claimed by exactly one of them,
// so no frame replaces another.
TEST_F(AutosaveTest, TwoProcessesSavingIntoOneFolderKeepEveryFrame) {
  constexpr int kFrames = 30;
  std::vector<pid_t> children;
  for (int c = 0; c < 2; ++c) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      int failed = 0;
      for (int i = 0; i < kFrames; ++i)
        failed += autosaveFrame(imageBuffers().CurrentFrame, 1700000000, 1700000001).status != 0 ? 1 : 0;
      ::_exit(failed == 0 ? 0 : 1);
    }
    ASSERT_GT(pid, 0);
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(p.paths().autosaveDir()))
    files += e.path().extension() == ".FIT" ? 1 : 0;
  EXPECT_EQ(files, 2 * kFrames);
}

}  // namespace
}  // namespace qlm
