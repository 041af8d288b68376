#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/image_io.h"
#include "cli/verbs.h"
#include "files/fits_details.h"
#include "files/fits_reader.h"
#include "image/frame.h"
#include "platform/atomic_file.h"

namespace qlm {

namespace {

// A text on one line: control characters are written as escapes, trailing spaces dropped.
std::string oneLine(std::string_view text) {
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  std::string line;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      line += esc;
    } else {
      line += ch;
    }
  }
  return line;
}

// The shortest text that reads back as the same number, in every locale.
std::string number(double value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

const char* formatName(ImageFileKind kind) {
  switch (kind) {
    case ImageFileKind::Fits:
      return "FITS";
    case ImageFileKind::OldFits:
      return "FITS (one-block header)";
    case ImageFileKind::Pk:
      return "PK raw";
    case ImageFileKind::Unrecognised:
      break;
  }
  return "unrecognised";
}

}  // namespace

// Loads FILE as the open command does and prints its FITS details and processing history.
int runInfo(const std::filesystem::path& path, std::ostream& out, std::ostream& err) {
  std::optional<FitsImage> foreign;
  if (!cliLoadAnyImage(path, err, foreign)) return 1;
  const ImageFileKind kind = imageFileKind(fileSize(path));
  const FitsDetails& d = fitsDetails();
  if (foreign) {
    out << "FORMAT: FITS (BITPIX " << foreign->bitpix << ")\n";
    out << "SIZE: " << foreign->width << " x " << foreign->height << '\n';
  } else {
    const int binning = kind == ImageFileKind::Pk ? 0 : fileBinning();
    out << "FORMAT: " << formatName(kind) << '\n';
    out << "SIZE: " << (binning == 2 ? "330 x 250" : binning == 3 ? "220 x 166" : "660 x 500") << '\n';
  }
  const std::pair<const char*, const std::string*> texts[] = {
      {"OBJECT", &d.object},     {"TELESCOP", &d.telescope}, {"INSTRUME", &d.instrument},
      {"OBSERVER", &d.observer}, {"ORIGIN", &d.origin},      {"DATE-OBS", &d.dateObs},
      {"TIME-OBS", &d.timeObs},  {"FILTER", &d.filterName}};
  for (const auto& [key, value] : texts)
    out << key << ": " << oneLine(*value) << '\n';
  const std::pair<const char*, double> numbers[] = {{"EXPTIME", d.exposureSeconds},
                                                    {"FOCALLEN", d.focalLength},
                                                    {"APERTURE", d.aperture},
                                                    {"PIXWIDTH", d.pixelWidth},
                                                    {"PIXHEIGH", d.pixelHeight}};
  for (const auto& [key, value] : numbers)
    out << key << ": " << number(value) << '\n';
  if (!foreign) out << "BZERO: " << (d.unsignedFits ? 0 : 32768) << '\n';
  out << "HISTORY TEXT: " << oneLine(d.historyText) << '\n';
  out << "COMMENT TEXT: " << oneLine(d.commentText) << '\n';
  const HistoryList& history = historyList();
  for (int i = 0; i < HistoryList::kEntries; ++i) {
    const std::string entry = history.entry(i);
    if (!entry.empty()) out << "HISTORY " << i + 1 << ": " << oneLine(entry) << '\n';
  }
  return 0;
}

void addInfoVerb(CLI::App& app, CliRun& run) {
  auto file = std::make_shared<std::string>();
  CLI::App* sub = addVerb(app, "info", "print the FITS details and processing history of an image file");
  sub->add_option("FILE", *file, "image file to load (PK or FITS)")->required();
  sub->callback([&run, file] { run.start([&] { return runInfo(*file, run.out, run.err); }); });
}
}  // namespace qlm
