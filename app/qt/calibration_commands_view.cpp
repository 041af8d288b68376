#include "app/qt/calibration_commands_view.h"

#include <QPointer>

#include "app/calibration_commands.h"
#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "image/qt/merge_dialog.h"

namespace qlm {

void connectCalibrationCommands(TQLM_T4Window& w) {
  w.setCommandHandler(cmd::kSubtractDark, subtractDarkCommand);
  w.setCommandHandler(cmd::kApplyFlatField, applyFlatFieldCommand);
  w.setCommandHandler(cmd::kMerge, mergeCommand);

  // One dialog for the window's life, shown while merging.
  auto* dialog = new TMergeDialog(mergeModel(), &w);
  dialog->on_merge = mergeButtonCommand;
  dialog->on_cancel = mergeCancelCommand;
  dialog->on_changed = mergeChoicesChanged;
  MergeView& view = mergeView();
  QPointer<TMergeDialog> d(dialog);
  view.open = [d] {
    if (!d) return;
    d->refresh();
    d->show();
    d->raise();
  };
  view.refresh = [d] {
    if (d) d->refresh();
  };
  view.close = [d] {
    if (d) d->hide();
  };
}

}  // namespace qlm
