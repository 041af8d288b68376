// The analysis verbs' sub-commands: histogram, plot, photometry and star.
#include <cstdlib>
#include <memory>
#include <string>

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

// "X,Y" as a point; anything else is a usage error.
Point pointArg(const std::string& text) {
  const auto comma = text.find(',');
  Point p;
  if (comma == std::string::npos || !parseInt(text.substr(0, comma), p.x) ||
      !parseInt(text.substr(comma + 1), p.y))
    throw CLI::ValidationError("'" + text + "' is not a position X,Y");
  return p;
}

}  // namespace

void addAnalysisVerbs(CLI::App& app, CliRun& run) {
  auto histogram = std::make_shared<HistogramArgs>();
  CLI::App* sub =
      addVerb(app, "histogram", "the 256 display-value counters a paint leaves, one VALUE COUNT line each");
  sub->add_option("IN", histogram->in, "image file to load (PK or FITS)")->required();
  sub->callback(
      [&run, histogram] { run.start([&] { return runHistogramVerb(*histogram, run.out, run.err); }); });

  auto plot = std::make_shared<PlotArgs>();
  sub = addVerb(app, "plot", "the picture of the histogram, row plot or 3-D plot dialog, as PNG");
  sub->add_option("KIND", plot->kind, "histogram, row or 3d")
      ->required()
      ->check(CLI::IsMember({"histogram", "row", "3d"}));
  sub->add_option("IN", plot->in, "image file to load (PK or FITS)")->required();
  sub->add_option("OUT", plot->out, "PNG file to write")->required();
  sub->add_option("--row", plot->row, "row of the row plot (default 250)");
  sub->callback([&run, plot] { run.start([&] { return runPlotVerb(*plot, run.out, run.err); }); });

  auto photometry = std::make_shared<PhotometryArgs>();
  sub = addVerb(app, "photometry", "object and comparison means, background and magnitude difference");
  sub->add_option("IN", photometry->in, "image file to load (PK or FITS)")->required();
  sub->add_option_function<std::string>(
         "--object", [photometry](const std::string& t) { photometry->object = pointArg(t); },
         "object star position")
      ->required()
      ->type_name("X,Y");
  sub->add_option_function<std::string>(
         "--comparison", [photometry](const std::string& t) { photometry->comparison = pointArg(t); },
         "comparison star position")
      ->type_name("X,Y");
  sub->add_option_function<std::string>(
         "--background", [photometry](const std::string& t) { photometry->background = pointArg(t); },
         "background position")
      ->type_name("X,Y");
  sub->add_option("--aperture", photometry->aperture, "aperture 0, 2, 3, 4, 6 or 8 (default 4)");
  sub->callback(
      [&run, photometry] { run.start([&] { return runPhotometryVerb(*photometry, run.out, run.err); }); });

  auto star = std::make_shared<StarArgs>();
  sub = addVerb(app, "star", "peak, HFR and FWHM (pixels) of the star near X,Y");
  sub->add_option("IN", star->in, "image file to load (PK or FITS)")->required();
  sub->add_option("X", star->x, "column")->required();
  sub->add_option("Y", star->y, "row")->required();
  sub->callback([&run, star] { run.start([&] { return runStarVerb(*star, run.out, run.err); }); });
}

}  // namespace qlm
