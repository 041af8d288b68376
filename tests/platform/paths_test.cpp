#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/paths.h"
#include "support/test_home.h"

namespace qlm {
namespace {

struct TypedCase {
  const char* typed;
  const char* expected;  // relative to R unless it starts with '/'; empty: refused
};

class TypedPathTest : public ::testing::TestWithParam<TypedCase> {};

TEST_P(TypedPathTest, MapsOntoTheDataRoot) {
  const Paths paths("/data/root");
  const auto mapped = paths.mapTyped(GetParam().typed);
  const std::string expected = GetParam().expected;
  if (expected.empty()) {
    EXPECT_FALSE(mapped.has_value());
  } else {
    ASSERT_TRUE(mapped.has_value());
    EXPECT_EQ(*mapped, expected[0] == '/' ? std::filesystem::path(expected)
                                          : std::filesystem::path("/data/root") / expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, TypedPathTest,
                         ::testing::Values(TypedCase{"c:\\AUTOSAVE", "AUTOSAVE"}, TypedCase{"C:/a/b", "a/b"},
                                           TypedCase{"c:\\a\\b\\", "a/b"}, TypedCase{"c:\\", "/data/root"},
                                           TypedCase{"d:\\images", ""}, TypedCase{"/abs/path", "/abs/path"},
                                           TypedCase{"name", "name"}, TypedCase{"a\\b/c", "a/b/c"}),
                         [](const ::testing::TestParamInfo<TypedCase>& info) {
                           return "Case" + std::to_string(info.index);
                         });

TEST(Paths, FixedFilesLiveUnderTheRoot) {
  const Paths paths("/r");
  EXPECT_EQ(paths.settingsFile(), "/r/autosave/QLM_T4.ini");
  EXPECT_EQ(paths.autosaveDir(), "/r/autosave");
  EXPECT_EQ(paths.darkDefault(), "/r/dark.def");
  EXPECT_EQ(paths.flatDefault(), "/r/flat.def");
  EXPECT_EQ(paths.displayBitmap(), "/r/qlmt4.bmp");
  EXPECT_EQ(paths.focusBitmap(), "/r/qlmt4f.bmp");
  EXPECT_EQ(paths.guiderBitmap(), "/r/QLM_T4G.bmp");
  EXPECT_EQ(paths.printBitmap(), "/r/QLMT4.bmp");
}

TEST(Paths, RootComesFromTheArgumentThenTheEnvironmentThenHome) {
  const char* saved_env = std::getenv("QLM_T4_HOME");
  const std::string saved = saved_env != nullptr ? saved_env : "";
  ::setenv("QLM_T4_HOME", "/from/env", 1);
  EXPECT_EQ(Paths::resolveRoot(std::string("/from/arg")), "/from/arg");
  EXPECT_EQ(Paths::resolveRoot(), "/from/env");
  ::unsetenv("QLM_T4_HOME");
  ::setenv("HOME", ::getenv("HOME") != nullptr ? ::getenv("HOME") : "/home/u", 1);
  EXPECT_EQ(Paths::resolveRoot(), std::filesystem::path(::getenv("HOME")) / "QLM_T4");
  if (saved_env != nullptr) ::setenv("QLM_T4_HOME", saved.c_str(), 1);
}

TEST(Paths, EnsureRootCreatesAMissingRoot) {
  test::TempHome home;
  const Paths paths(home.path() / "deeper" / "R");
  EXPECT_FALSE(std::filesystem::exists(paths.root()));
  EXPECT_TRUE(paths.ensureRoot());
  EXPECT_TRUE(std::filesystem::is_directory(paths.root()));
  EXPECT_TRUE(paths.ensureRoot());
}

TEST(Paths, EnsureRootFailsWhereAFileStands) {
  test::TempHome home;
  const auto blocker = home.path() / "file";
  {
    std::FILE* f = std::fopen(blocker.c_str(), "w");
    std::fclose(f);
  }
  EXPECT_FALSE(Paths(blocker / "R").ensureRoot());
}

}  // namespace
}  // namespace qlm
