#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// The process verb with the stretch and filter operations, on raw files in a temporary data root.
class ProcessStretchTest : public ::testing::Test {
 protected:
  int process(const std::vector<std::string>& ops) {
    std::vector<std::string> args = {"--home", home.path().string(), "process", in().string(),
                                     out().string()};
    for (const auto& op : ops) {
      args.push_back("--op");
      args.push_back(op);
    }
    out_text.str("");
    err_text.str("");
    return runCli(args, out_text, err_text);
  }
  std::filesystem::path in() const { return home.path() / "in.raw"; }
  std::filesystem::path out() const { return home.path() / "out.raw"; }
  // Writes the input frame: `value(index)` for each of the 330,000 elements.
  template <typename F>
  void writeInput(F value) {
    std::string bytes(660000, '\0');
    for (int i = 0; i < 330000; ++i) {
      const int v = value(i);
      bytes[static_cast<std::size_t>(2 * i)] = static_cast<char>(v & 0xff);
      bytes[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>(v >> 8);
    }
    std::ofstream(in(), std::ios::binary) << bytes;
  }
  std::vector<int> output() const {
    std::ifstream f(out(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<int> v;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
      v.push_back(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return v;
  }
  std::vector<int> input() const {
    std::ifstream f(in(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<int> v;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
      v.push_back(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return v;
  }
  test::TempHome home;
  std::ostringstream out_text;
  std::ostringstream err_text;
};

int noise(int i) {
  return static_cast<int>((static_cast<unsigned>(i) * 2654435761u) >> 18) % 40000 + 1000;
}

TEST_F(ProcessStretchTest, InvertTwiceGivesBackAnEvenFrame) {
  writeInput([](int i) { return 2 * (noise(i) / 2); });
  ASSERT_EQ(process({"invert", "invert"}), 0) << err_text.str();
  EXPECT_EQ(output(), input());
}

TEST_F(ProcessStretchTest, NormalStretchAndAntilogReachTheTopEvenValue) {
  writeInput([](int i) { return i % 2 ? 65535 : 65279; });
  ASSERT_EQ(process({"normal:0:255"}), 0) << err_text.str();
  EXPECT_EQ(output()[1], 65534);
  EXPECT_EQ(output()[2], 65278);
  ASSERT_EQ(process({"antilog"}), 0);
  EXPECT_EQ(output()[1], 65534);
}

TEST_F(ProcessStretchTest, OperationsThatChangeNothing) {
  writeInput(noise);
  for (const char* op : {"median:3:10", "power:1.0", "power:1", "normal:40:40", "autoprocess"}) {
    ASSERT_EQ(process({op}), 0) << op << ": " << err_text.str();
    EXPECT_EQ(output(), input()) << op;
  }
}

TEST_F(ProcessStretchTest, EveryFilterRuns) {
  writeInput(noise);
  for (const char* op : {"kernel:0", "kernel:5", "gradient", "median:1:1", "unsharp:7:7", "sine", "log",
                         "nonlinear:25", "power:2.5", "background"}) {
    ASSERT_EQ(process({op}), 0) << op << ": " << err_text.str();
    EXPECT_NE(output(), input()) << op;
  }
}

TEST_F(ProcessStretchTest, AChainAndUndo) {
  writeInput(noise);
  ASSERT_EQ(process({"kernel:2", "unsharp:3:1"}), 0);
  const std::vector<int> both = output();
  ASSERT_EQ(process({"kernel:2", "unsharp:3:1", "undo"}), 0);
  const std::vector<int> undone = output();
  ASSERT_EQ(process({"kernel:2"}), 0);
  EXPECT_EQ(undone, output());
  EXPECT_NE(both, output());
}

TEST_F(ProcessStretchTest, BadArgumentsFailWithAReason) {
  writeInput(noise);
  for (const char* op : {"kernel:6", "median:4:5", "median:1:11", "unsharp:0:1", "power:3.1", "power:0.05",
                         "power:x", "nonlinear:51", "normal:0:301"}) {
    EXPECT_NE(process({op}), 0) << op;
    EXPECT_NE(err_text.str().find("Operation '"), std::string::npos) << op << ": " << err_text.str();
  }
  EXPECT_NE(process({"median:1"}), 0);
  EXPECT_NE(process({"sine:1"}), 0);
}

}  // namespace
}  // namespace qlm
