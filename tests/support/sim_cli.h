#pragma once
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "support/test_home.h"

namespace qlm::test {

// The command-line tool (tests linked with it) on the simulated camera and mount with the virtual clock, in a
// fresh data folder whose drive method is the relay socket (`b`), as guiding needs.
class SimCliTest : public ::testing::Test {
 protected:
  SimCliTest() { EXPECT_EQ(run({"settings", "set", "drive_method", "b"}), 0) << err.str(); }
  // Runs one command; its output is in `out` and `err`.
  int run(std::vector<std::string> args) {
    std::vector<std::string> all = {"--home", home.path().string(), "--simulate", "--virtual-clock"};
    all.insert(all.end(), args.begin(), args.end());
    out.str("");
    err.str("");
    return runCli(all, out, err);
  }
  // The number after "name: " in the output.
  double value(const std::string& name) {
    const std::string text = out.str();
    const std::size_t at = text.find(name + ": ");
    EXPECT_NE(at, std::string::npos) << name << " in " << text;
    return at == std::string::npos ? -1 : std::stod(text.substr(at + name.size() + 2));
  }

  TempHome home;
  std::ostringstream out;
  std::ostringstream err;
};

}  // namespace qlm::test
