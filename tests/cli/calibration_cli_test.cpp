#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "files/fits_image.h"
#include "files/pk.h"
#include "image/star_measure.h"
#include "sim/sky_renderer.h"
#include "support/test_home.h"

namespace qlm {
namespace {

constexpr std::size_t at(int row, int col) {
  return static_cast<std::size_t>(row) * kFrameWidth + static_cast<std::size_t>(col);
}

class CalibrationCliTest : public ::testing::Test {
 protected:
  int run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", home.path().string()});
    err.str("");
    out.str("");
    return runCli(args, out, err);
  }
  std::string file(const std::string& name) const { return (home.path() / name).string(); }
  void write(const std::string& name, const Frame& f) { ASSERT_TRUE(saveRawImage(file(name), f)); }
  std::unique_ptr<Frame> read(const std::string& name) {
    auto f = std::make_unique<Frame>();
    EXPECT_TRUE(loadRawImage(file(name), *f));
    return f;
  }
  // A simulated frame of the default sky, shifted by (dx, dy) pixels, exposed for `seconds`.
  std::unique_ptr<Frame> sky(double dx, double dy, std::uint64_t n, double seconds = 2.0, bool stars = true) {
    static const sim::SkyRenderer renderer;
    static const sim::SkyRenderer empty(sim::SkyConfig{}, {});
    auto f = std::make_unique<Frame>();
    f->fill(0);
    sim::RenderRequest r;
    r.width = kFrameWidth;
    r.height = 494;
    r.exposure_s = seconds;
    r.shift_x_px = dx;
    r.shift_y_px = dy;
    r.frame = n;
    (stars ? renderer : empty).render(sim::mainHeadConfig(), r, f->data());
    return f;
  }

  test::TempHome home;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(CalibrationCliTest, ProcessSubtractsADarkAppliesAFlatAndMergesAnImage) {
  auto f = std::make_unique<Frame>();
  f->fill(1000);
  write("in", *f);
  f->fill(200);
  write("dark", *f);
  f->fill(400);
  (*f)[at(300, 300)] = 200;  // twice as sensitive there
  write("flat", *f);
  f->fill(50);
  (*f)[at(104, 112)] = 7000;
  write("other", *f);
  ASSERT_EQ(run({"process", file("in"), file("out"), "--op", "dark:" + file("dark"), "--op",
                 "flat:" + file("flat"), "--op", "merge:" + file("other") + ":100:100:112:104"}),
            0)
      << err.str();
  const auto out = read("out");
  EXPECT_EQ((*out)[at(10, 10)], 850);     // 1000 - 200, flat-fielded to itself, plus 50
  EXPECT_EQ((*out)[at(300, 300)], 1650);  // 800 / 200 x 400 + 50
  EXPECT_EQ((*out)[at(100, 100)], 7800);  // the merge mark lands on the base mark

  ASSERT_EQ(run({"process", file("in"), file("out2"), "--op",
                 "merge:" + file("other") + ":0:0:0:0:average:superimpose"}),
            0);
  EXPECT_EQ((*read("out2"))[at(100, 100)], 525);
  EXPECT_EQ(run({"process", file("in"), file("out3"), "--op", "dark:" + file("nothing")}), 1);
  EXPECT_NE(err.str().find("Sorry, you didn't choose a PK File"), std::string::npos);
  EXPECT_EQ(run({"process", file("in"), file("out3"), "--op", "merge:" + file("other") + ":1:2:3:x"}), 1);
}

TEST_F(CalibrationCliTest, StackAlignsFramesOnTheStarAndStopsWhereItIsLost) {
  std::vector<std::string> inputs;
  for (int i = 0; i < 4; ++i) {
    inputs.push_back("f" + std::to_string(i));
    write(inputs.back(), *sky(2.0 * i, -1.0 * i, static_cast<std::uint64_t>(i)));
  }
  std::vector<std::string> args = {"stack", file("stack"), "--star", "331,251"};
  for (const auto& in : inputs)
    args.push_back(file(in));
  ASSERT_EQ(run(args), 0) << err.str();
  const auto one = measureStar(sky(6, -3, 9)->data(), kFrameWidth, kFrameHeight, 336, 247);
  const auto four = measureStar(read("stack")->data(), kFrameWidth, kFrameHeight, 336, 247);
  ASSERT_TRUE(one && four);
  EXPECT_NEAR(four->x, one->x, 0.3);  // the stack lies where the last frame has the star
  EXPECT_NEAR(four->flux, 4 * one->flux, 0.2 * 4 * one->flux);
  EXPECT_LT(four->fwhm, one->fwhm * 1.2);

  write("faint", *sky(8, -4, 5, 0.4));
  args.push_back(file("faint"));
  args[1] = file("lost");
  EXPECT_EQ(run(args), 3);
  EXPECT_NE(err.str().find("Sorry. Guide star lost."), std::string::npos);
  const auto lost = read("lost");
  EXPECT_TRUE(std::equal(lost->begin(), lost->begin() + kFrameElements, read("stack")->begin()));
}

// Without --star the brightest star that can be tracked is picked and named; the float stack is the
// exact mean that the 16-bit average rounds, read back by the readers of star and info. Frames without
// a star give no stack at all (exit 3), and star says "no star" there.
TEST_F(CalibrationCliTest, StackPicksItsStarAndWritesAFloatMean) {
  std::vector<std::string> args = {"stack", file("mean.fit"), "--average"};
  for (int i = 0; i < 4; ++i) {
    write("f" + std::to_string(i), *sky(1.0 * i, 0.5 * i, static_cast<std::uint64_t>(i)));
    args.push_back(file("f" + std::to_string(i)));
  }
  ASSERT_EQ(run(args), 0) << err.str();
  EXPECT_EQ(out.str().rfind("star: ", 0), 0u);
  EXPECT_EQ(err.str(), "");  // no "Find centre failed"
  args[1] = file("mean32.fit");
  args.push_back("--float");
  ASSERT_EQ(run(args), 0) << err.str();
  std::string why;
  const auto fits = readFitsImage(file("mean32.fit"), why);
  ASSERT_TRUE(fits) << why;
  EXPECT_EQ(fits->bitpix, -32);
  ASSERT_EQ(run({"info", file("mean32.fit")}), 0);
  EXPECT_NE(out.str().find("FORMAT: FITS (BITPIX -32)\nSIZE: 660 x 500\n"), std::string::npos);
  ASSERT_EQ(run({"process", file("mean.fit"), file("mean.raw")}), 0);
  const auto rounded = read("mean.raw");
  int off = 0;
  for (int i = 0; i < kFrameElements; ++i)
    if (std::abs((*rounded)[static_cast<std::size_t>(i)] - fits->pixels[static_cast<std::size_t>(i)]) > 0.5f)
      ++off;
  EXPECT_EQ(off, 0);
  ASSERT_EQ(run({"star", file("mean32.fit"), "331", "251"}), 0) << err.str();
  EXPECT_NE(out.str().find("hfr: 1."), std::string::npos) << out.str();

  for (int i = 0; i < 2; ++i)
    write("e" + std::to_string(i), *sky(0, 0, static_cast<std::uint64_t>(i), 2.0, false));
  EXPECT_EQ(run({"stack", file("none.fit"), file("e0"), file("e1")}), 3);
  EXPECT_NE(err.str().find("Sorry. Cannot find suitable guide star"), std::string::npos);
  EXPECT_EQ(run({"star", file("e0"), "331", "251"}), 1);
  EXPECT_EQ(out.str(), "no star\n");
}

// Calibrating while stacking gives the very stack of the frames calibrated into a folder first, with
// the 16-bit stack still made when the last frame's star is lost; a chain that cannot run saves nothing.
TEST_F(CalibrationCliTest, StackCalibratesEachInputAsProcessDoes) {
  auto dark = std::make_unique<Frame>();
  dark->fill(120);
  (*dark)[at(251, 330)] = 9000;  // a hot pixel beside the star: uncalibrated frames would not match
  write("dark", *dark);
  std::filesystem::create_directory(file("cal"));
  std::vector<std::string> raw = {"stack", file("one"), "--star", "331,251", "--average"};
  std::vector<std::string> calibrated = {"stack", file("two"), "--star", "331,251", "--average"};
  for (int i = 0; i < 4; ++i) {
    auto f = sky(1.0 * i, 0.5 * i, static_cast<std::uint64_t>(i), i == 3 ? 0.3 : 2.0);
    for (std::size_t k = 0; k < static_cast<std::size_t>(kFrameElements); ++k)
      (*f)[k] = static_cast<std::uint16_t>(std::min(65535, (*f)[k] + (*dark)[k]));
    write("in" + std::to_string(i), *f);
    raw.push_back(file("in" + std::to_string(i)));
    calibrated.push_back(file("cal/in" + std::to_string(i)));
  }
  ASSERT_EQ(run({"process", raw[5], raw[6], raw[7], raw[8], "--out-dir", file("cal"), "--op",
                 "dark:" + file("dark")}),
            0)
      << err.str();
  raw.insert(raw.end(), {"--op", "dark:" + file("dark")});
  EXPECT_EQ(run(raw), 3);  // the faint last frame loses the star
  EXPECT_EQ(run(calibrated), 3);
  const auto one = read("one");
  EXPECT_TRUE(std::equal(one->begin(), one->begin() + kFrameElements, read("two")->begin()));

  raw[1] = file("bad");
  raw.back() = "dark:" + file("nothing");
  EXPECT_EQ(run(raw), 1);
  EXPECT_FALSE(std::filesystem::exists(file("bad")));
  raw.back() = "nosuch";
  EXPECT_EQ(run(raw), 2);
}

// A batch: every input calibrated into the folder under its own name; a bad one is named and skipped.
TEST_F(CalibrationCliTest, ProcessCalibratesABatchIntoAFolder) {
  auto f = std::make_unique<Frame>();
  f->fill(300);
  write("dark", *f);
  for (int i = 0; i < 3; ++i) {
    f->fill(static_cast<std::uint16_t>(1000 + i));
    write("in" + std::to_string(i) + ".raw", *f);
  }
  std::filesystem::create_directory(file("cal"));
  EXPECT_EQ(run({"process", file("in0.raw"), file("missing.raw"), file("in2.raw"), "--out-dir", file("cal"),
                 "--op", "dark:" + file("dark")}),
            1);
  EXPECT_NE(err.str().find("Skipped " + file("missing.raw")), std::string::npos) << err.str();
  EXPECT_EQ((*read("cal/in0.raw"))[at(200, 200)], 700);
  EXPECT_EQ((*read("cal/in2.raw"))[at(200, 200)], 702);
  EXPECT_EQ(run({"process", file("in1.raw"), file("nofolder/out.fit")}), 1);
  EXPECT_NE(err.str().find(file("nofolder/out.fit") + ": No such file or directory"), std::string::npos)
      << err.str();
}

}  // namespace
}  // namespace qlm
