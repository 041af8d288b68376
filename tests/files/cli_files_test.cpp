#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <sstream>

#include "cli/cli.h"
#include "files/fits_writer.h"
#include "files_test_util.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using test::readFile;

class CliFilesTest : public ::testing::Test {
 protected:
  int run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), {"--home", home.path().string()});
    return runCli(args, out, err);
  }
  std::string file(const std::string& name) const { return (home.path() / name).string(); }
  void writeRaw(const std::string& name) {
    std::string bytes(660000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<char>((i * 40503u) >> 5);
    test::writeFile(file(name), bytes);
  }
  // The value of "KEY: value" in the last output.
  std::string value(const std::string& key) const {
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);)
      if (line.rfind(key + ": ", 0) == 0) return line.substr(key.size() + 2);
    return "<missing>";
  }

  test::TempHome home;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(CliFilesTest, RawToFitsAndBackIsExact) {
  writeRaw("a.raw");
  ASSERT_EQ(run({"process", file("a.raw"), file("a.fit")}), 0) << err.str();
  EXPECT_EQ(readFile(file("a.fit")).size(), 668160u);
  ASSERT_EQ(run({"process", file("a.fit"), file("b.raw")}), 0) << err.str();
  EXPECT_EQ(readFile(file("b.raw")), readFile(file("a.raw")));
}

TEST_F(CliFilesTest, FitsSaveFillsAnEmptyDateFromTheLocalDate) {
  writeRaw("a.raw");
  const auto localDate = [] {
    const std::time_t now = std::time(nullptr);
    std::tm f{};
    localtime_r(&now, &f);
    char text[32];
    std::snprintf(text, sizeof text, "20%02d-%02d-%02d", f.tm_year % 100, f.tm_mon + 1, f.tm_mday);
    return std::string(text);
  };
  const std::string before = localDate();
  ASSERT_EQ(run({"process", file("a.raw"), file("d.FITS")}), 0) << err.str();
  const std::string after = localDate();
  ASSERT_EQ(run({"info", file("d.FITS")}), 0) << err.str();
  const std::string date = value("DATE-OBS");
  EXPECT_TRUE(date == before || date == after) << date;
  EXPECT_EQ(value("TIME-OBS"), "");
}

TEST_F(CliFilesTest, InfoPrintsTheDetailsAndHistory) {
  {
    test::TestPlatform p;
    FitsDetails& d = fitsDetails();
    d.object = "M 13";
    d.observer = "Me";
    d.dateObs = "2024-06-01";
    d.commentText = "line one\nline two";
    d.exposureSeconds = 12.5;
    d.unsignedFits = false;
    historyList().append("Dark Frame Subtracted");
    historyList().append("Sine Stretch");
    ASSERT_EQ(writeFitsFile(file("h.fit"), imageBuffers().CurrentFrame, d.object, d.observer, d.dateObs,
                            d.telescope, d.instrument, d.commentText, d.historyText, false),
              0);
  }
  ASSERT_EQ(run({"info", file("h.fit")}), 0) << err.str();
  EXPECT_EQ(value("FORMAT"), "FITS");
  EXPECT_EQ(value("SIZE"), "660 x 500");
  EXPECT_EQ(value("OBJECT"), "M 13");
  EXPECT_EQ(value("OBSERVER"), "Me");
  EXPECT_EQ(value("DATE-OBS"), "2024-06-01");
  EXPECT_EQ(value("INSTRUME"), "Orbilux CCD");
  EXPECT_EQ(value("EXPTIME"), "12.5");
  EXPECT_EQ(value("BZERO"), "32768");
  EXPECT_EQ(value("COMMENT TEXT"), "line one\\nline two");
  EXPECT_EQ(value("HISTORY 1"), "Dark Frame Subtracted");
  EXPECT_EQ(value("HISTORY 2"), "Sine Stretch");
  EXPECT_EQ(value("HISTORY 3"), "<missing>");
}

TEST_F(CliFilesTest, InfoOnARawFileShowsTheResetDetails) {
  writeRaw("~r");
  ASSERT_EQ(run({"info", file("~r")}), 0) << err.str();
  EXPECT_EQ(value("FORMAT"), "PK raw");
  EXPECT_EQ(value("OBJECT"), "");
  EXPECT_EQ(value("FILTER"), "None");
  EXPECT_EQ(value("HISTORY 1"), "<missing>");
  EXPECT_EQ(run({"info"}), 2);
}

TEST_F(CliFilesTest, TiffExportByExtensionInAnyCase) {
  writeRaw("a.raw");
  ASSERT_EQ(run({"process", file("a.raw"), file("a.TIF")}), 0) << err.str();
  ASSERT_EQ(run({"process", file("a.raw"), file("a.tiff")}), 0) << err.str();
  const std::string tif = readFile(file("a.TIF"));
  ASSERT_EQ(tif.size(), 330246u);
  EXPECT_EQ(tif, readFile(file("a.tiff")));
  EXPECT_EQ(test::byteAt(tif, 246 + 1), test::byteAt(readFile(file("a.raw")), 3));  // high byte of pixel 1
}

TEST_F(CliFilesTest, RefusedOrShortFitsStopsWithTheProgramsMessage) {
  writeRaw("a.raw");
  ASSERT_EQ(run({"process", file("a.raw"), file("a.fit")}), 0) << err.str();
  std::string bytes = readFile(file("a.fit"));
  bytes.replace(80, 32, "BITPIX  =                    8 /");
  test::writeFile(file("refused.fit"), bytes);
  EXPECT_EQ(run({"process", file("refused.fit"), file("out.raw")}), 1);
  EXPECT_NE(err.str().find("Unable to load FITS file, File was not saved by this program"),
            std::string::npos);
  bytes = readFile(file("a.fit"));
  bytes.replace(320, 32, "NAXIS2  =                  500 /");
  bytes.replace(240, 32, "NAXIS1  =                  660 /");
  bytes.resize(173160);
  test::writeFile(file("short.fit"), bytes);
  EXPECT_EQ(run({"info", file("short.fit")}), 1);
  EXPECT_NE(err.str().find("Unable to load FITS file"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(file("out.raw")));
}

TEST_F(CliFilesTest, FailedFitsOrTiffSaveReportsDiskSpace) {
  writeRaw("a.raw");
  for (const char* name : {"no/such/x.fit", "no/such/x.tif"}) {
    EXPECT_EQ(run({"process", file("a.raw"), file(name)}), 1);
    EXPECT_NE(err.str().find("Unable to create file, check disk space"), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace qlm
