#include "app/analysis_commands.h"

#include "app/window_model.h"
#include "image/analysis_views.h"
#include "image/centroid.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {
constexpr std::uint32_t kSecondOpenWaitMs = 1000;

void call(const std::function<void()>& hook) {
  if (hook) hook();
}

// The photometry aperture is also the centroid's working radius (guider pick, trainings, stacking use
// it as they find it); the single-pixel aperture leaves it, since a centroid needs a window.
void takeApertureAsWorkingRadius(int radius) {
  if (radius > 0) centroidState().working_radius = radius;
}
}  // namespace

AnalysisViewHooks& analysisViewHooks() {
  static AnalysisViewHooks hooks;
  return hooks;
}

PhotometryModel& photometryModel() {
  static PhotometryModel model;
  return model;
}

void histogramCommand() {
  AnalysisViews& v = analysisViews();
  if (v.histogram_open) {
    Ui& ui = *platform().ui;
    Clock& clock = *platform().clock;
    ui.beep();
    const std::uint32_t start = clock.millis();
    while (clock.millis() - start < kSecondOpenWaitMs) {
      ui.pumpEvents();
      clock.idle(10);
    }
    ui.beep();
    return;
  }
  v.histogram_open = true;
  call(analysisViewHooks().open_histogram);
}

void plot3dCommand() {
  AnalysisViews& v = analysisViews();
  if (v.plot3d_open || mouseModes().row_plot) return;
  v.plot3d_open = true;
  call(analysisViewHooks().open_plot3d);
}

void rowPlotCommand() {
  MouseModes& m = mouseModes();
  if (const int message = rowPlotRefusal(m, frameState())) {
    ShowMessage(message);
    return;
  }
  if (analysisViews().plot3d_open || m.row_plot) return;
  platform().ui->setCursor(CursorShape::UpArrow);
  enterRowPlot(m, frameState());
  call(analysisViewHooks().open_row_plot);
}

void photometryCommand() {
  MouseModes& m = mouseModes();
  if (!enterPhotometry(m, frameState())) return;
  photometryModel().start();
  takeApertureAsWorkingRadius(photometryModel().radius());
  platform().ui->setCursor(CursorShape::Cross);
  call(analysisViewHooks().open_photometry);
}

void histogramClosed() {
  analysisViews().histogram_open = false;
}

void plot3dClosed() {
  analysisViews().plot3d_open = false;
}

void rowPlotFinished() {
  mouseModes().row_plot = false;
  platform().ui->setCursor(CursorShape::Arrow);
}

void photometryClosed() {
  mouseModes().photometry = false;
  platform().ui->setCursor(CursorShape::Arrow);
}

void choosePhotometryAperture(int radius) {
  PhotometryModel& model = photometryModel();
  model.chooseAperture(radius);
  mouseModes().radius = model.radius();
  takeApertureAsWorkingRadius(model.radius());
}

void connectAnalysisClicks() {
  ClickHooks& hooks = clickHooks();
  hooks.row_plot = [](int) { call(analysisViewHooks().row_changed); };
  hooks.photometry = [](int x, int y, int) {
    photometryModel().click(imageBuffers().CurrentFrame, x, y);
    call(analysisViewHooks().photometry_changed);
  };
  hooks.pointer_moved = [](int x, int y) {
    photometryModel().pointer(x, y,
                              imageBuffers().CurrentFrame[static_cast<std::size_t>(y) * kFrameWidth + x]);
    call(analysisViewHooks().photometry_changed);
  };
}

}  // namespace qlm
