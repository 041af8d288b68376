#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/atomic_file.h"
#include "support/test_home.h"

namespace qlm {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Outputs of the command line on a disk that fails: no old file lost, no failure reported as success.
class OutputFaultsTest : public ::testing::Test {
 protected:
  OutputFaultsTest() {
    std::ofstream(in, std::ios::binary) << std::string(660000, '\x41');  // a PK frame
  }
  ~OutputFaultsTest() override { AtomicFile::setFailAtWriteForTesting(-1); }
  int run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), {"--home", home.path().string()});
    return runCli(args, out, err);
  }
  test::TempHome home;
  fs::path in = home.path() / "in.raw";
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(OutputFaultsTest, RenderOnAFullDiskKeepsTheOldOutput) {
  const fs::path bmp = home.path() / "out.bmp";
  ASSERT_EQ(run({"render", in.string(), bmp.string()}), 0) << err.str();  // a first run makes the settings
  AtomicFile::setFailAtWriteForTesting(-1);
  ASSERT_EQ(run({"render", in.string(), bmp.string()}), 0) << err.str();
  const long long calls = AtomicFile::writeCallsForTesting();  // the last one copies the bitmap out
  std::ofstream(bmp, std::ios::binary) << "old picture";
  AtomicFile::setFailAtWriteForTesting(calls - 1);
  EXPECT_EQ(run({"render", in.string(), bmp.string()}), 1);
  EXPECT_EQ(contents(bmp), "old picture");
  EXPECT_EQ(err.str(), "Cannot write " + bmp.string() + ": No space left on device\n");
}

TEST_F(OutputFaultsTest, ProcessRefusesAReadOnlyOutputAndWritesThroughALink) {
  const fs::path locked = home.path() / "locked.raw";
  std::ofstream(locked) << "keep";
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(run({"process", in.string(), locked.string()}), 1);
  EXPECT_EQ(contents(locked), "keep");
  EXPECT_NE(err.str().find("read-only"), std::string::npos) << err.str();

  const fs::path target = home.path() / "target.raw";
  const fs::path link = home.path() / "link.raw";
  fs::create_symlink(target.filename(), link);  // a relative, dangling link
  ASSERT_EQ(run({"process", in.string(), link.string()}), 0) << err.str();
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::file_size(target), 660000u);
}

TEST_F(OutputFaultsTest, AnOutputNameOfTheSystemsLongestLengthIsSaved) {
  const fs::path name = home.path() / (std::string(251, 'n') + ".raw");
  ASSERT_EQ(run({"process", in.string(), name.string()}), 0) << err.str();
  EXPECT_EQ(fs::file_size(name), 660000u);
}

// A FIFO would block a reader that opens it: it is refused like any file of the wrong size.
TEST_F(OutputFaultsTest, AFifoGivenAsInputOrSettingsFileIsRefusedWithoutWaiting) {
  const fs::path fifo = home.path() / "pipe.raw";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(run({"process", fifo.string(), (home.path() / "o.raw").string()}), 1);
  const fs::path ini = home.path() / "autosave" / "QLM_T4.ini";  // the run above created it
  fs::remove(ini);
  ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);
  EXPECT_EQ(run({"settings", "show"}), 0);
}

// Temporary files left by a process killed while writing are removed by the next start; those of
// a running process are not.
TEST_F(OutputFaultsTest, StaleTemporaryFilesOfDeadProcessesAreRemovedAtStart) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);
  const std::string dead = std::to_string(child);
  const std::string alive = std::to_string(::getppid());
  fs::create_directories(home.path() / "autosave");
  const std::vector<fs::path> stale = {home.path() / (".qlm_" + dead + "_3.tmp"),
                                       home.path() / "autosave" / ("IMG4.FIT.tmp" + dead + "_0")};
  const fs::path live = home.path() / (".qlm_" + alive + "_1.tmp");
  for (const fs::path& p : stale)
    std::ofstream(p) << "part";
  std::ofstream(live) << "part";
  EXPECT_EQ(run({"settings", "show"}), 0);
  for (const fs::path& p : stale)
    EXPECT_FALSE(fs::exists(p)) << p;
  EXPECT_TRUE(fs::exists(live));
}

}  // namespace
}  // namespace qlm
