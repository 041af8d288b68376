#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "cli/cli.h"
#include "image/analysis_views.h"
#include "sim/sky_renderer.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// A PK raw frame: a background of 0x0900, a 9 x 9 block of 0x4000 at (100, 100), 0x2500 at (200, 100),
// and in row 300 a ramp whose column j holds j x 99.
std::vector<std::uint16_t> testFrame() {
  std::vector<std::uint16_t> f(660 * 500, 0x0900);
  for (int y = 96; y <= 104; ++y)
    for (int x = 96; x <= 104; ++x) {
      f[static_cast<std::size_t>(y * 660 + x)] = 0x4000;
      f[static_cast<std::size_t>(y * 660 + x + 100)] = 0x2500;
    }
  for (int x = 0; x < 660; ++x)
    f[static_cast<std::size_t>(300 * 660 + x)] = static_cast<std::uint16_t>(x * 99);
  return f;
}

void writeRaw(const std::filesystem::path& p, const std::vector<std::uint16_t>& f) {
  std::ofstream out(p, std::ios::binary);
  for (const std::uint16_t v : f) {
    out.put(static_cast<char>(v & 0xFF));
    out.put(static_cast<char>(v >> 8));
  }
}

// Decodes a PNG into colours 0xRRGGBB.
Raster readPng(const std::filesystem::path& p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, p.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return {};
  Raster r(static_cast<int>(image.width), static_cast<int>(image.height), 0);
  for (int y = 0; y < r.height(); ++y)
    for (int x = 0; x < r.width(); ++x) {
      const png_byte* c = &bytes[static_cast<std::size_t>(y * r.width() + x) * 3];
      r.set(x, y, (Colour{c[0]} << 16) | (Colour{c[1]} << 8) | c[2]);
    }
  return r;
}

class AnalysisCliTest : public ::testing::Test {
 protected:
  AnalysisCliTest() { writeRaw(in, testFrame()); }
  int run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), {"--home", home.path().string()});
    return runCli(args, out, err);
  }
  test::TempHome home;
  std::filesystem::path in = home.path() / "in.raw";
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(AnalysisCliTest, HistogramPrintsThePaintCounters) {
  ASSERT_EQ(run({"histogram", in.string()}), 0) << err.str();
  std::istringstream lines(out.str());
  std::vector<int> counts;
  int value = 0;
  int count = 0;
  while (lines >> value >> count) {
    EXPECT_EQ(value, static_cast<int>(counts.size()));
    counts.push_back(count);
  }
  ASSERT_EQ(counts.size(), 256u);
  // Each block lies inside rows 6-489, columns 5-654; the ramp of row 300 adds columns 166-168 to bin
  // 0x40 and 93-95 to bin 0x25. The background's count saturates the 16-bit counter.
  EXPECT_EQ(counts[0x40], 84);
  EXPECT_EQ(counts[0x25], 84);
  EXPECT_EQ(counts[0x09], 65535);
  EXPECT_EQ(counts[0x0A], 3);
}

TEST_F(AnalysisCliTest, PlotsAreTheDialogPicturesPixelForPixel) {
  auto frame = std::make_unique<Frame>();
  const auto values = testFrame();
  std::copy(values.begin(), values.end(), frame->begin());
  const auto png = home.path() / "plot.png";
  ASSERT_EQ(run({"plot", "row", in.string(), png.string(), "--row", "300"}), 0) << err.str();
  EXPECT_EQ(readPng(png).pixels(), drawRowPlot(*frame, 300).pixels());
  ASSERT_EQ(run({"plot", "row", in.string(), png.string()}), 0);
  EXPECT_EQ(readPng(png).pixels(), drawRowPlot(*frame, 250).pixels());
  ASSERT_EQ(run({"plot", "3d", in.string(), png.string()}), 0);
  EXPECT_EQ(readPng(png).pixels(), drawPlot3d(*frame).pixels());
  ASSERT_EQ(run({"plot", "histogram", in.string(), png.string()}), 0);
  const Raster hist = readPng(png);
  EXPECT_EQ(hist.at(8 + 0x09, 1), kSecondPen);  // the background bin is cut
  EXPECT_EQ(hist.at(8 + 0x40, 210 - 84 / 5 + 1), kFirstPen);
  EXPECT_EQ(hist.at(8 + 0x40, 210 - 84 / 5), kDialogFace);
  EXPECT_EQ(run({"plot", "bars", in.string(), png.string()}), 2);
  EXPECT_EQ(run({"plot", "row", in.string(), png.string(), "--row", "500"}), 2);
}

TEST_F(AnalysisCliTest, PhotometryPrintsTheDialogFields) {
  ASSERT_EQ(run({"photometry", in.string(), "--object", "100,100", "--comparison", "200,100", "--background",
                 "400,400"}),
            0)
      << err.str();
  // 0x4000 - 0x0900 = 14,080 against 0x2500 - 0x0900 = 7,168: -2.5 log10(1.964) = -0.73.
  EXPECT_EQ(
      out.str(),
      "object mean:   16384\ncomparison mean:    9472\nbackground:    2304\nmagnitude difference: -0.73\n");
  // No background click: the paint's level, (0x09 + 0x25 + 0x40) / 3 = 36, x 256. Single pixel at the
  // block's corner.
  ASSERT_EQ(run({"photometry", in.string(), "--object", "96,96", "--aperture", "0"}), 0) << err.str();
  EXPECT_EQ(out.str(),
            "object mean:   16384\ncomparison mean:       0\nbackground:    9216\nmagnitude difference: \n");
  // A click whose aperture would leave the frame is refused as the window refuses it.
  EXPECT_EQ(run({"photometry", in.string(), "--object", "3,100"}), 1);
  EXPECT_NE(err.str().find("Sorry, outside Image area - try again"), std::string::npos);
  EXPECT_EQ(run({"photometry", in.string(), "--object", "100,100", "--aperture", "5"}), 2);
}

TEST_F(AnalysisCliTest, StarMeasuresASimulatedStar) {
  sim::SkyRenderer sky(sim::SkyConfig{}, {sim::Star{330.4, 240.2, 80000.0}});
  sim::HeadConfig head = sim::mainHeadConfig();
  head.hot_pixel_count = 0;
  sim::RenderRequest req;
  req.width = 660;
  req.height = 494;
  req.exposure_s = 0.5;
  req.focuser_steps = 5300;
  req.frame = 3;
  std::vector<std::uint16_t> frame(660 * 500, 0);
  sky.render(head, req, frame.data() + 6 * 660);  // sensor row y lands in frame row y + 6
  writeRaw(in, frame);
  ASSERT_EQ(run({"star", in.string(), "333", "244"}), 0) << err.str();
  std::istringstream lines(out.str());
  std::string name;
  double peak = 0, hfr = 0, fwhm = 0;
  lines >> name >> peak >> name >> hfr >> name >> fwhm;
  EXPECT_EQ(name, "fwhm:");
  const double truth = sky.fwhmHeadPx(head, 5300);
  EXPECT_NEAR(fwhm, truth, 0.05 * truth);
  EXPECT_NEAR(2 * hfr, truth, 0.05 * truth);
  EXPECT_GT(peak, 2000);
  EXPECT_EQ(run({"star", in.string(), "30"}), 2);
}

}  // namespace
}  // namespace qlm
