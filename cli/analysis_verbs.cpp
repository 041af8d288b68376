#include "cli/analysis_verbs.h"

#include <cstdio>
#include <optional>

#include "app/window_model.h"
#include "cli/image_io.h"
#include "cli/png_file.h"
#include "image/analysis_views.h"
#include "image/display.h"
#include "image/photometry.h"
#include "image/star_measure.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"

namespace qlm {

namespace {
// Loads IN and leaves what a paint of it leaves: the histogram counters and the background level.
bool loadAndPaint(const std::string& in) {
  if (!cliLoadImage(in)) return false;
  afterPaint();
  return true;
}

// A photometry click as the main window takes it: out-of-bounds clicks are refused with message 2.
bool click(PhotometryModel& model, PhotometrySlot slot, const Point& p) {
  MouseModes modes;
  modes.photometry = true;
  modes.radius = model.radius();
  if (!clickInBounds(modes, p.x, p.y)) {
    ShowMessage(2);
    return false;
  }
  model.chooseSlot(slot);
  model.click(imageBuffers().CurrentFrame, p.x, p.y);
  return true;
}
}  // namespace

int runHistogramVerb(const HistogramArgs& args, std::ostream& out, std::ostream&) {
  if (!loadAndPaint(args.in)) return 1;
  const auto& counters = imageBuffers().HistogramCounters;
  for (int v = 0; v < 256; ++v)
    out << v << ' ' << counters[static_cast<std::size_t>(v)] << '\n';
  return 0;
}

int runPlotVerb(const PlotArgs& args, std::ostream&, std::ostream& err) {
  if (args.kind != "histogram" && args.kind != "row" && args.kind != "3d") {
    err << "plot draws histogram, row or 3d, not '" << args.kind << "'\n";
    return 2;
  }
  if (args.row < 0 || args.row > kLastRow) {
    err << "--row must be 0 to " << kLastRow << '\n';
    return 2;
  }
  if (!loadAndPaint(args.in)) return 1;
  const ImageBuffers& b = imageBuffers();
  Raster picture;
  if (args.kind == "histogram") picture = drawHistogram(b.HistogramCounters);
  if (args.kind == "row") picture = drawRowPlot(b.CurrentFrame, args.row);
  if (args.kind == "3d") picture = drawPlot3d(b.CurrentFrame);
  if (isReadOnlyFile(resolveLinks(args.out))) {
    err << args.out << ": This file is set to read-only.\n";
    return 1;
  }
  if (!writePng(args.out, picture)) {
    err << "Cannot write " << describeWriteFailure(AtomicFile::lastFailure()) << '\n';
    return 1;
  }
  return 0;
}

int runPhotometryVerb(const PhotometryArgs& args, std::ostream& out, std::ostream& err) {
  PhotometryModel model;
  model.start();
  if (args.aperture != model.radius()) model.chooseAperture(args.aperture);
  if (model.radius() != args.aperture) {
    err << "--aperture must be 0, 2, 3, 4, 6 or 8\n";
    return 2;
  }
  if (!loadAndPaint(args.in)) return 1;
  if (!click(model, PhotometrySlot::Object, args.object)) return 1;
  if (args.comparison && !click(model, PhotometrySlot::Comparison, *args.comparison)) return 1;
  if (args.background && !click(model, PhotometrySlot::Background, *args.background)) return 1;
  const PhotometryFields f = model.fields(displayState().background_level);
  out << "object mean: " << f.object_mean << '\n'
      << "comparison mean: " << f.comparison_mean << '\n'
      << "background: " << f.background << '\n'
      << "magnitude difference: " << f.magnitude << '\n';
  return 0;
}

int runStarVerb(const StarArgs& args, std::ostream& out, std::ostream& err) {
  std::optional<FitsImage> foreign;
  const auto bad_position = [&](int w, int h) {
    if (args.x >= 0 && args.x < w && args.y >= 0 && args.y < h) return false;
    err << "X must be 0 to " << w - 1 << " and Y 0 to " << h - 1 << '\n';
    return true;
  };
  // A FITS image from elsewhere may be of any size: its own size bounds the position.
  if ((args.x < 0 || args.y < 0) && bad_position(kFrameWidth, kFrameHeight)) return 2;
  if (!cliLoadAnyImage(args.in, err, foreign)) return 1;
  const int w = foreign ? foreign->width : kFrameWidth;
  const int h = foreign ? foreign->height : kFrameHeight;
  if (bad_position(w, h)) return 2;
  const auto m = foreign ? measureStar(foreign->pixels.data(), w, h, args.x, args.y)
                         : measureStar(imageBuffers().CurrentFrame.data(), w, h, args.x, args.y);
  if (!m) {
    out << "no star\n";
    return 1;
  }
  char text[96];
  std::snprintf(text, sizeof text, "peak: %.0f\nhfr: %.2f\nfwhm: %.2f\n", m->peak, m->hfr, m->fwhm);
  out << text;
  return 0;
}

}  // namespace qlm
