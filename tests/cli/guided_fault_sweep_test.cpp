// One camera fault (fail, short, unplug) at a sample of the transfers of `guide` and `capture --guided`
// on the simulator; scripts/fault_sweep.sh runs every transfer. A run that met the fault gives at most
// one message of its own and exits non-zero; a run that exits 0 gave none and kept its guide log whole;
// a guided photo that was kept is the photo asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cli/cli.h"
#include "files/fits_image.h"
#include "guiding/guide_log.h"
#include "support/test_home.h"

namespace qlm {
namespace {

struct Verb {
  const char* name;
  std::vector<std::string> args;
  int transfers;  // the fault-free run's count
};

const Verb kGuide{"guide", {"guide", "guider", "--seconds", "30", "--log", "run.csv"}, 105};
const Verb kGuidedPhoto{"guided_photo", {"capture", "--guided", "--count", "5", "--autosave"}, 53};

struct Outcome {
  int status = 0;
  std::string out;
  std::vector<std::string> messages;  // standard-error lines
  double photo_exposure = -1;         // the kept photo's EXPTIME and mean level, -1 without one
  double photo_mean = -1;
  long log_rows = -1;
};

Outcome runVerb(const Verb& verb, const std::vector<std::string>& sim_keys) {
  test::TempHome home;
  std::ostringstream out, err;
  const std::string root = home.path().string();
  const std::vector<std::string> base = {"--home", root};
  for (auto setting : {std::vector<std::string>{"settings", "set", "show_interface_details", "0"},
                       std::vector<std::string>{"settings", "set", "drive_method", "b"}}) {
    setting.insert(setting.begin(), base.begin(), base.end());
    EXPECT_EQ(runCli(setting, out, err), 0);
  }
  std::vector<std::string> args = {"--home", root, "--simulate", "--virtual-clock"};
  for (const std::string& key : sim_keys)
    args.insert(args.end(), {"--sim", key});
  for (const std::string& a : verb.args)
    args.push_back(a == "run.csv" ? (home.path() / a).string() : a);
  out.str("");
  err.str("");
  Outcome r;
  r.status = runCli(args, out, err);
  r.out = out.str();
  std::istringstream lines(err.str());
  for (std::string l; std::getline(lines, l);)
    if (!l.empty()) r.messages.push_back(l);
  if (std::filesystem::exists(home.path() / "run.csv"))
    r.log_rows = static_cast<long>(readGuideLog((home.path() / "run.csv").string()).size());
  if (std::filesystem::exists(home.path() / "autosave" / "IMG1.FIT")) {
    std::string error;
    const auto photo = readFitsImage(home.path() / "autosave" / "IMG1.FIT", error);
    EXPECT_TRUE(photo.has_value()) << error;
    if (photo) {
      r.photo_exposure = photo->details.exposureSeconds;
      r.photo_mean = std::accumulate(photo->pixels.begin(), photo->pixels.end(), 0.0) /
                     static_cast<double>(photo->pixels.size());
    }
  }
  return r;
}

// The number after "name: " in a run's output, -1 without it.
long printed(const Outcome& r, const std::string& name) {
  const std::size_t at = r.out.find(name + ": ");
  return at == std::string::npos ? -1 : std::stol(r.out.substr(at + name.size() + 2));
}

class GuidedFaultSweep : public ::testing::TestWithParam<std::tuple<Verb, std::string>> {};

TEST_P(GuidedFaultSweep, OneMessageNoSuccessAfterALossAndNoWrongPhoto) {
  const auto& [verb, kind] = GetParam();
  const Outcome clean = runVerb(verb, {});
  ASSERT_EQ(clean.status, 0) << clean.out;
  const std::set<std::string> usual(clean.messages.begin(), clean.messages.end());  // the pick's box
  // Every seventh transfer from an offset that moves with the kind, so the three kinds together cover
  // three transfers in seven across the run.
  const int offset = kind == "fail" ? 0 : kind == "short" ? 2 : 4;
  for (int i = offset; i < verb.transfers; i += 7) {
    SCOPED_TRACE(std::string(verb.name) + " " + kind + " at transfer " + std::to_string(i));
    const Outcome r = runVerb(verb, {"fault.transfer=" + std::to_string(i), "fault.transfer_kind=" + kind});
    const auto own = std::count_if(r.messages.begin(), r.messages.end(),
                                   [&](const std::string& m) { return usual.count(m) == 0; });
    EXPECT_LE(own, 1) << r.out;
    if (r.status == 0) {
      EXPECT_EQ(own, 0) << "a success after a message";
      if (r.log_rows >= 0) {
        EXPECT_EQ(r.log_rows, printed(r, "frames"));
      }
    }
    if (r.photo_exposure >= 0) {
      EXPECT_EQ(r.photo_exposure, clean.photo_exposure);
      EXPECT_NEAR(r.photo_mean, clean.photo_mean, 0.1 * clean.photo_mean);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EachKind, GuidedFaultSweep,
                         ::testing::Combine(::testing::Values(kGuide, kGuidedPhoto),
                                            ::testing::Values("fail", "short", "unplug")),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param);
                         });

}  // namespace
}  // namespace qlm
