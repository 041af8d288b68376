#pragma once
#include <optional>
#include <ostream>
#include <string>

namespace qlm {

// histogram IN
struct HistogramArgs {
  std::string in;
};
// plot histogram|row|3d IN OUT.png [--row N]
struct PlotArgs {
  std::string kind;  // "histogram", "row" or "3d"
  std::string in;
  std::string out;
  int row = 250;
};
struct Point {
  int x = 0;
  int y = 0;
};
// photometry IN --object X,Y [--comparison X,Y] [--background X,Y] [--aperture A]
struct PhotometryArgs {
  std::string in;
  Point object;
  std::optional<Point> comparison;
  std::optional<Point> background;
  int aperture = 4;
};
// star IN X Y
struct StarArgs {
  std::string in;
  int x = 0;
  int y = 0;
};

// Each loads IN as the open command does, then: the 256 display-value counters that a paint leaves, one
// "VALUE COUNT" line each; the picture of the matching dialog as PNG; the photometry dialog's object
// mean, comparison mean, background and magnitude difference after the clicks in that order; the
// star's peak, HFR and FWHM. 0 on success, 1 when the work failed (message on `err`), 2 for bad
// arguments.
int runHistogramVerb(const HistogramArgs& args, std::ostream& out, std::ostream& err);
int runPlotVerb(const PlotArgs& args, std::ostream& out, std::ostream& err);
int runPhotometryVerb(const PhotometryArgs& args, std::ostream& out, std::ostream& err);
int runStarVerb(const StarArgs& args, std::ostream& out, std::ostream& err);

}  // namespace qlm
