// The analysis verbs read from the words after the verb name.
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/analysis_verbs.h"
#include "cli/verbs.h"

namespace qlm {

namespace {
bool parseInt(const std::string& text, int& value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || end != text.c_str() + text.size() || v < -1000000 || v > 1000000) return false;
  value = static_cast<int>(v);
  return true;
}

bool parsePoint(const std::string& text, Point& p) {
  const auto comma = text.find(',');
  return comma != std::string::npos && parseInt(text.substr(0, comma), p.x) &&
         parseInt(text.substr(comma + 1), p.y);
}

int usage(std::ostream& err, const char* text) {
  err << "usage: " << text << '\n';
  return 2;
}
}  // namespace

int runHistogramWords(const std::vector<std::string>& words, const CliOptions&, std::ostream& out,
                      std::ostream& err) {
  if (words.size() != 1) return usage(err, "histogram IN");
  return runHistogramVerb({words[0]}, out, err);
}

int runPlotWords(const std::vector<std::string>& words, const CliOptions&, std::ostream& out,
                 std::ostream& err) {
  constexpr const char* kUsage = "plot histogram|row|3d IN OUT.png [--row N]";
  PlotArgs args;
  std::vector<std::string> plain;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--row") {
      if (i + 1 >= words.size() || !parseInt(words[i + 1], args.row)) return usage(err, kUsage);
      ++i;
    } else {
      plain.push_back(words[i]);
    }
  }
  if (plain.size() != 3) return usage(err, kUsage);
  args.kind = plain[0];
  args.in = plain[1];
  args.out = plain[2];
  return runPlotVerb(args, out, err);
}

int runPhotometryWords(const std::vector<std::string>& words, const CliOptions&, std::ostream& out,
                       std::ostream& err) {
  constexpr const char* kUsage =
      "photometry IN --object X,Y [--comparison X,Y] [--background X,Y] [--aperture A]";
  PhotometryArgs args;
  bool have_object = false;
  std::vector<std::string> plain;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    const bool takes_value =
        w == "--object" || w == "--comparison" || w == "--background" || w == "--aperture";
    if (!takes_value) {
      plain.push_back(w);
      continue;
    }
    if (i + 1 >= words.size()) return usage(err, kUsage);
    const std::string& v = words[++i];
    Point p;
    if (w == "--aperture") {
      if (!parseInt(v, args.aperture)) return usage(err, kUsage);
    } else if (!parsePoint(v, p)) {
      return usage(err, kUsage);
    } else if (w == "--object") {
      args.object = p;
      have_object = true;
    } else if (w == "--comparison") {
      args.comparison = p;
    } else {
      args.background = p;
    }
  }
  if (plain.size() != 1 || !have_object) return usage(err, kUsage);
  args.in = plain[0];
  return runPhotometryVerb(args, out, err);
}

int runStarWords(const std::vector<std::string>& words, const CliOptions&, std::ostream& out,
                 std::ostream& err) {
  StarArgs args;
  if (words.size() != 3 || !parseInt(words[1], args.x) || !parseInt(words[2], args.y))
    return usage(err, "star IN X Y");
  args.in = words[0];
  return runStarVerb(args, out, err);
}

}  // namespace qlm
