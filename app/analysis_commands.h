#pragma once
#include <functional>

#include "image/photometry.h"

namespace qlm {

// What the window does for the analysis views: show each modeless dialog, and redraw the row plot or
// the photometry fields after a click or a pointer move. Empty hooks do nothing.
struct AnalysisViewHooks {
  std::function<void()> open_histogram;
  std::function<void()> open_plot3d;
  std::function<void()> open_row_plot;
  std::function<void()> open_photometry;
  std::function<void()> row_changed;
  std::function<void()> photometry_changed;
};
AnalysisViewHooks& analysisViewHooks();

// The photometry dialog's rules, one for the program.
PhotometryModel& photometryModel();

// "&Histogram": opens the histogram view; while it is open, beeps, waits about a second handling
// window events, and beeps again.
void histogramCommand();
// "3-D &Intensity Plot": opens the 3-D view unless it is open or row mode is on.
void plot3dCommand();
// "Intensity Plot of Current R&ow": refused with message 35 during merging or photometry and 38
// outside standard geometry; ignored while a 3-D plot is open or row mode is on; else the up-arrow
// cursor, row 250, row mode on and the row view.
void rowPlotCommand();
// "&Photometry of Image": refused with 35, 36 or 37; else the dialog's start values, measuring radius
// 4 (also the centroid's working radius), photometry mode on, the cross cursor and the photometry view.
void photometryCommand();

// The views closing: the open flags and modes end, the arrow cursor comes back.
void histogramClosed();
void plot3dClosed();
void rowPlotFinished();
void photometryClosed();

// An aperture button of the photometry dialog: the dialog's radius, the click's measuring radius and,
// for apertures above a single pixel, the centroid's working radius.
void choosePhotometryAperture(int radius);

// Routes the main window's row-plot and photometry clicks and pointer moves to the views.
void connectAnalysisClicks();

}  // namespace qlm
