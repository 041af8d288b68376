#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "files/fits_writer.h"
#include "files_test_util.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// A Python with astropy: $QLM_T4_PYTHON, Debian's /usr/bin/python3 (python3-astropy), or python3.
std::optional<std::string> pythonWithAstropy() {
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("QLM_T4_PYTHON")) candidates.emplace_back(env);
  candidates.insert(candidates.end(), {"/usr/bin/python3", "python3"});
  for (const auto& python : candidates) {
    const std::string probe = "'" + python + "' -c 'import astropy.io.fits, numpy' >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return python;
  }
  return std::nullopt;
}

// Reads a FITS file with astropy; writes its pixels as little-endian unsigned 16-bit values and its
// header values as KEY=value lines.
constexpr const char* kReader = R"(import sys, warnings
import numpy as np
from astropy.io import fits
warnings.simplefilter('ignore')
with fits.open(sys.argv[1]) as hdul:
    header = hdul[0].header.copy()
    data = np.asarray(hdul[0].data).astype(np.int64) % 65536
with open(sys.argv[2], 'wb') as f:
    f.write(data.astype('<u2').tobytes())
with open(sys.argv[3], 'w') as f:
    f.write('NAXIS1=%d\nNAXIS2=%d\n' % (data.shape[1], data.shape[0]))
    for key in ['OBJECT', 'TELESCOP', 'INSTRUME', 'OBSERVER', 'ORIGIN', 'DATE-OBS', 'TIME-OBS', 'FILTER']:
        f.write('%s=%s\n' % (key, header[key]))
    for key in ['BZERO', 'BSCALE', 'PIXWIDTH', 'PIXHEIGH', 'SATURATE', 'EXPTIME', 'FOCALLEN', 'APERTURE']:
        f.write('%s=%r\n' % (key, float(header[key])))
    f.write('HISTORY=%d\n' % len(header['HISTORY']))
    f.write('HISTORY1=%s\n' % header['HISTORY'][0])
    f.write('COMMENT1=%s\n' % header['COMMENT'][0])
)";

struct InteropCase {
  const char* name;
  bool unsignedFits;
  int binning;  // 0 full frame, 2 half size
};

class FitsInteropTest : public ::testing::TestWithParam<InteropCase> {
 protected:
  std::filesystem::path file(const std::string& name) const { return p.home.path() / name; }
  test::TestPlatform p;
};

TEST_P(FitsInteropTest, AstropyReadsTheSamePixelsAndHeaderValues) {
  const auto python = pythonWithAstropy();
  if (!python) GTEST_SKIP() << "skipped: no python3 with astropy (scripts/setup.sh installs python3-astropy)";
  const InteropCase& c = GetParam();
  FitsDetails& d = fitsDetails();
  d.object = "M 42";
  d.telescope = "SCT 8in";
  d.observer = "Night Owl";
  d.origin = "Garden";
  d.dateObs = "2024-02-29";
  d.timeObs = "23:59:58";
  d.filterName = "OIII";
  d.commentText = "Windy";
  d.exposureSeconds = 45.5;
  d.focalLength = 80;
  d.aperture = 50.25;
  d.pixelWidth = 0.00645;
  d.pixelHeight = 0.0074;
  d.unsignedFits = c.unsignedFits;
  historyList().append("Dark Frame Subtracted");
  Frame& frame = imageBuffers().CurrentFrame;
  test::fillScrambled(frame, 42);
  frame[0] = 0;
  frame[1] = 65535;
  if (c.binning != 0) {
    historyList().clear();
    frameState().binned = true;
    fileBinning() = c.binning;
  }
  ASSERT_EQ(writeFitsFile(file("i.fit"), frame, d.object, d.observer, d.dateObs, d.telescope, d.instrument,
                          d.commentText, d.historyText, false),
            0);
  test::writeFile(file("reader.py"), kReader);
  const std::string command = "'" + *python + "' " + file("reader.py").string() + " " +
                              file("i.fit").string() + " " + file("pixels.raw").string() + " " +
                              file("header.txt").string();
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  std::map<std::string, std::string> header;
  std::istringstream lines(test::readFile(file("header.txt")));
  for (std::string line; std::getline(lines, line);)
    header[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
  const int step = c.binning == 0 ? 1 : c.binning;
  const int width = 660 / step;
  const int height = c.binning == 0 ? 500 : 250;
  EXPECT_EQ(header["NAXIS1"], std::to_string(width));
  EXPECT_EQ(header["NAXIS2"], std::to_string(height));
  EXPECT_EQ(header["OBJECT"], "M 42");
  EXPECT_EQ(header["TELESCOP"], "SCT 8in");
  EXPECT_EQ(header["INSTRUME"], "Orbilux CCD");
  EXPECT_EQ(header["OBSERVER"], "Night Owl");
  EXPECT_EQ(header["ORIGIN"], "Garden");
  EXPECT_EQ(header["DATE-OBS"], "2024-02-29");
  EXPECT_EQ(header["TIME-OBS"], "23:59:58");
  EXPECT_EQ(header["FILTER"], "OIII");
  EXPECT_EQ(std::stod(header["BZERO"]), c.unsignedFits ? 0.0 : 32768.0);
  EXPECT_EQ(std::stod(header["BSCALE"]), 1.0);
  EXPECT_EQ(std::stod(header["SATURATE"]), 65535.0);
  EXPECT_DOUBLE_EQ(std::stod(header["PIXWIDTH"]), 0.00645);
  EXPECT_DOUBLE_EQ(std::stod(header["PIXHEIGH"]), 0.0074);
  EXPECT_DOUBLE_EQ(std::stod(header["EXPTIME"]), 45.5);
  EXPECT_DOUBLE_EQ(std::stod(header["FOCALLEN"]), 80.0);
  EXPECT_DOUBLE_EQ(std::stod(header["APERTURE"]), 50.25);
  EXPECT_EQ(header["HISTORY"], "19");  // 15 entries and four free-text cards
  EXPECT_NE(header["HISTORY1"].find(c.binning == 0 ? "'Dark Frame Subtracted'" : "''"), std::string::npos)
      << header["HISTORY1"];
  EXPECT_NE(header["COMMENT1"].find("'Windy"), std::string::npos) << header["COMMENT1"];

  const std::string pixels = test::readFile(file("pixels.raw"));
  ASSERT_EQ(pixels.size(), static_cast<std::size_t>(2 * width * height));
  int mismatches = 0;
  for (int r = 0; r < height; ++r) {
    for (int col = 0; col < width; ++col) {
      const std::size_t at = 2 * static_cast<std::size_t>(r * width + col);
      const unsigned value = test::byteAt(pixels, at) | test::byteAt(pixels, at + 1) << 8;
      if (value != test::pixel(frame, r * step, col * step)) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, FitsInteropTest,
                         ::testing::Values(InteropCase{"Bzero32768", false, 0},
                                           InteropCase{"Bzero0", true, 0}, InteropCase{"HalfSize", false, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qlm
