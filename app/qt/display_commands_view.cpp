#include "app/qt/display_commands_view.h"

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "app/view_commands.h"
#include "image/qt/label_dialog.h"
#include "image/qt/max_dialog.h"
#include "platform/qt/qt_ui.h"

namespace qlm {

void connectDisplayCommands(TQLM_T4Window& w) {
  w.setCommandHandler(cmd::kFitToWindow, fitToWindowCommand);
  w.setCommandHandler(cmd::kCentreImage, centreImageCommand);
  w.setCommandHandler(cmd::kFalseColour, falseColourCommand);
  w.setCommandHandler(cmd::kAutoContrast, autoContrastCommand);
  w.setCommandHandler(cmd::kUseMaxPalette, [] { setMaxPaletteCommand(true); });
  w.setCommandHandler(cmd::kDontUseMaxPalette, [] { setMaxPaletteCommand(false); });
  w.setCommandHandler(cmd::kMaxPaletteStretch, maxPaletteDialogCommand);
  w.setCommandHandler(cmd::kMirrorImage, mirrorCommand);
  w.setCommandHandler(cmd::kFlipImage, flipCommand);
  w.setCommandHandler(cmd::kLabel, labelCommand);
  w.setCommandHandler(cmd::kUndoLastFilter, undoCommand);
  w.setCommandHandler(cmd::kSaveUnexpandedBinned, saveUnexpandedBinnedCommand);
  w.ui().registerPanel(LabelModel::kPanelName, runLabelDialog);
  w.ui().registerPanel(MaxModel::kPanelName, runMaxDialog);
}

}  // namespace qlm
