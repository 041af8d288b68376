#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/cli.h"
#include "cli/operations.h"
#include "platform/version.h"
#include "support/test_home.h"

namespace qlm {
namespace {

std::string readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliTest : public ::testing::Test {
 protected:
  int run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), {"--home", home.path().string()});
    return runCli(args, out, err);
  }
  std::filesystem::path file(const std::string& name) const { return home.path() / name; }
  void writeRaw(const std::string& name, unsigned seed) {
    std::string bytes(660000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<char>((i * seed) >> 3);
    std::ofstream(file(name), std::ios::binary) << bytes;
  }
  test::TempHome home;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(CliTest, HelpListsTheVerbs) {
  EXPECT_EQ(runCli({"--help"}, out, err), 0);
  for (const char* verb : {"process", "render", "info", "settings", "readout", "capture"})
    EXPECT_NE(out.str().find(std::string("\n  ") + verb + " "), std::string::npos) << verb;
  EXPECT_NE(out.str().find("--home DIR"), std::string::npos);
  out.str("");
  EXPECT_EQ(runCli({"process", "--help"}, out, err), 0);
  EXPECT_NE(out.str().find("Usage: qlm_t4_cli process [OPTIONS] IN [OUT...]"), std::string::npos)
      << out.str();
}

TEST_F(CliTest, VersionNeedsNoVerbAndStartsNothing) {
  const auto root = home.path() / "not_created";
  EXPECT_EQ(runCli({"--home", root.string(), "--version"}, out, err), 0) << err.str();
  EXPECT_EQ(out.str(), std::string("qlm_t4_cli ") + kVersion + "\n");
  EXPECT_FALSE(std::filesystem::exists(root));
}

TEST_F(CliTest, GlobalOptionsMayFollowTheVerb) {
  writeRaw("a.raw", 7u);
  EXPECT_EQ(
      runCli({"process", file("a.raw").string(), file("b.raw").string(), "--home", home.path().string()}, out,
             err),
      0)
      << err.str();
  EXPECT_EQ(readAll(file("a.raw")), readAll(file("b.raw")));
}

TEST_F(CliTest, ProcessWithoutOperationsCopiesARawFileExactly) {
  writeRaw("a.raw", 2654435761u);
  EXPECT_EQ(run({"process", file("a.raw").string(), file("b.raw").string()}), 0) << err.str();
  EXPECT_EQ(readAll(file("a.raw")), readAll(file("b.raw")));
}

TEST_F(CliTest, UndoRestoresTheStartUpRamp) {
  writeRaw("a.raw", 7);
  ASSERT_EQ(run({"process", file("a.raw").string(), file("b.raw").string(), "--op", "undo"}), 0) << err.str();
  const std::string b = readAll(file("b.raw"));
  ASSERT_EQ(b.size(), 660000u);
  // Row 3 of the ramp is 186 everywhere, little-endian.
  EXPECT_EQ(static_cast<unsigned char>(b[2 * (3 * 660 + 5)]), 186);
  EXPECT_EQ(static_cast<unsigned char>(b[2 * (3 * 660 + 5) + 1]), 0);
}

TEST_F(CliTest, StartCreatesAMissingDataRoot) {
  const auto root = home.path() / "new_root";
  writeRaw("a.raw", 3);
  std::vector<std::string> args{"--home", root.string(), "process", file("a.raw").string(),
                                (root / "b.raw").string()};
  EXPECT_EQ(runCli(args, out, err), 0) << err.str();
  EXPECT_TRUE(std::filesystem::exists(root / "b.raw"));
}

TEST_F(CliTest, RefusesBadInputWithoutWritingAnything) {
  std::ofstream(file("wrong.raw"), std::ios::binary) << "not an image";
  EXPECT_NE(run({"process", file("wrong.raw").string(), file("out.raw").string()}), 0);
  EXPECT_NE(err.str().find("You didn't choose a valid PK or suitable FITs File"), std::string::npos);
  EXPECT_NE(run({"process", file("missing.raw").string(), file("out.raw").string()}), 0);
  writeRaw("a.raw", 5);
  EXPECT_EQ(run({"process", file("a.raw").string(), file("out.raw").string(), "--op", "nosuch"}), 2);
  EXPECT_EQ(run({"process", file("a.raw").string(), file("out.raw").string(), "--op", "undo:1"}), 2);
  EXPECT_EQ(run({"process", file("a.raw").string()}), 2);
  EXPECT_EQ(run({"nosuchverb"}), 2);
  EXPECT_FALSE(std::filesystem::exists(file("out.raw")));
}

TEST(CliOperations, SplitKeepsEverythingAfterLabelAsOneText) {
  EXPECT_EQ(splitOperation("normal:10:200"), (std::vector<std::string>{"normal", "10", "200"}));
  EXPECT_EQ(splitOperation("label:M31: 12:30 UT"), (std::vector<std::string>{"label", "M31: 12:30 UT"}));
  EXPECT_EQ(splitOperation("sine"), (std::vector<std::string>{"sine"}));
  EXPECT_EQ(splitOperation("power:"), (std::vector<std::string>{"power", ""}));
  int v = 0;
  EXPECT_TRUE(parseIntArg("5", 0, 5, v));
  EXPECT_EQ(v, 5);
  EXPECT_FALSE(parseIntArg("6", 0, 5, v));
  EXPECT_FALSE(parseIntArg("2x", 0, 5, v));
  EXPECT_FALSE(parseIntArg("", 0, 5, v));
}

}  // namespace
}  // namespace qlm
