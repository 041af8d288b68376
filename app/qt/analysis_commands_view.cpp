#include "app/qt/analysis_commands_view.h"

#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <algorithm>

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

// Places a new view beside the main window, not over the picture it is clicked on: to the right, else
// below, left or above, whichever first has room on the screen; without room anywhere, in the screen
// corner farthest from the picture's top-left.
void placeBesideWindow(QWidget* dialog, const QWidget* window) {
  const QScreen* screen = window->screen();
  if (screen == nullptr) return;
  const QRect free = screen->availableGeometry();
  const QRect w = window->frameGeometry();
  dialog->adjustSize();
  const QSize size = dialog->frameGeometry().size().expandedTo(dialog->size());
  constexpr int kGap = 8;
  const QPoint candidates[] = {{w.right() + kGap, w.top()},
                               {w.left(), w.bottom() + kGap},
                               {w.left() - kGap - size.width(), w.top()},
                               {w.left(), w.top() - kGap - size.height()}};
  for (const QPoint& p : candidates) {
    if (free.contains(QRect(p, size))) {
      dialog->move(p);
      return;
    }
  }
  dialog->move(std::max(free.left(), free.right() - size.width()),
               std::max(free.top(), free.bottom() - size.height()));
}

template <typename Dialog, typename... Args>
Dialog* showDialog(QWidget* window, Args&&... args) {
  QPointer<Dialog>& d = openDialog<Dialog>();
  if (d.isNull()) {
    d = new Dialog(std::forward<Args>(args)...);
    placeBesideWindow(d, window);
  }
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
  hooks.open_histogram = [window] { showDialog<THistDialog>(window, window); };
  hooks.open_row_plot = [window] { showDialog<TRowDialog>(window, window); };
  hooks.open_photometry = [window] { showDialog<TPHDialog>(window, photometryModel(), window); };
  hooks.open_plot3d = [window] {
    QPointer<T3DDialog> d = showDialog<T3DDialog>(window, window);
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
