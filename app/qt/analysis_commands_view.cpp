#include "app/qt/analysis_commands_view.h"

#include <QPointer>
#include <QTimer>

#include "app/analysis_commands.h"
#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "image/qt/analysis_dialog.h"

namespace qlm {

namespace {
template <typename Dialog>
QPointer<Dialog>& openDialog() {
  static QPointer<Dialog> dialog;
  return dialog;
}

template <typename Dialog, typename... Args>
Dialog* showDialog(Args&&... args) {
  QPointer<Dialog>& d = openDialog<Dialog>();
  if (d.isNull()) d = new Dialog(std::forward<Args>(args)...);
  d->show();
  d->raise();
  return d;
}
}  // namespace

void connectAnalysisCommands(TQLM_T4Window& w) {
  TQLM_T4Window* window = &w;
  w.setCommandHandler(cmd::kHistogram, histogramCommand);
  w.setCommandHandler(cmd::kIntensityPlot3d, plot3dCommand);
  w.setCommandHandler(cmd::kRowPlot, rowPlotCommand);
  w.setCommandHandler(cmd::kPhotometry, photometryCommand);

  AnalysisViewHooks& hooks = analysisViewHooks();
  hooks.open_histogram = [window] { showDialog<THistDialog>(window); };
  hooks.open_row_plot = [window] { showDialog<TRowDialog>(window); };
  hooks.open_photometry = [window] { showDialog<TPHDialog>(photometryModel(), window); };
  hooks.open_plot3d = [window] {
    QPointer<T3DDialog> d = showDialog<T3DDialog>(window);
    // Built once shown, so the user sees it grow trace by trace.
    QTimer::singleShot(0, d, [d] {
      if (!d.isNull()) d->build();
    });
  };
  hooks.row_changed = [] {
    if (auto d = openDialog<TRowDialog>()) d->rowChanged();
  };
  hooks.photometry_changed = [] {
    if (auto d = openDialog<TPHDialog>()) d->display();
  };
  connectAnalysisClicks();
}

}  // namespace qlm
