#include "files/qt/file_commands_view.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/command_table.h"
#include "app/file_commands.h"
#include "app/qt/fits_dialog.h"
#include "app/qt/main_window.h"
#include "files/qt/ini_dialog.h"
#include "platform/qt/qt_ui.h"

namespace qlm {

namespace {

// "DELETE FILE DIALOG": the question, the chosen path, OK and Cancel.
int runDeleteFileDialog(PanelModel& model, QWidget* parent) {
  QDialog dialog(parent);
  dialog.setObjectName(kDeleteFilePanel);
  dialog.setWindowTitle(kDeleteFilePanel);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel("Delete this file?", &dialog));
  auto* path = new QLineEdit(QString::fromStdString(static_cast<DeleteFileModel&>(model).path), &dialog);
  path->setObjectName("Path");
  path->setReadOnly(true);
  path->setMinimumWidth(360);
  layout->addWidget(path);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  return dialog.exec() == QDialog::Accepted ? kPanelOk : kPanelCancel;
}

}  // namespace

void connectFileCommands(TQLM_T4Window& w) {
  w.ui().registerPanel(IniModel::kPanelName, runIniDialog);
  w.ui().registerPanel(FitsModel::kPanelName, runFitsDialog);
  w.ui().registerPanel(kDeleteFilePanel, runDeleteFileDialog);
  w.setCommandHandler(cmd::kOpen, openCommand);
  w.setCommandHandler(cmd::kSave, saveCommand);
  w.setCommandHandler(cmd::kSaveAsTiff, saveAsTiffCommand);
  w.setCommandHandler(cmd::kSaveAsFits, saveAsFitsCommand);
  w.setCommandHandler(cmd::kQuickSaveFits, quickSaveCommand);
  w.setCommandHandler(cmd::kLoadNextAutosaved, loadNextAutosavedCommand);
  w.setCommandHandler(cmd::kDeleteFile, deleteFileCommand);
  w.setCommandHandler(cmd::kEditAutosaveFitsText, editAutosaveFitsTextCommand);
  w.setCommandHandler(cmd::kSelectDarkFrame, selectDarkFrameCommand);
  w.setCommandHandler(cmd::kSelectFlatfield, selectFlatfieldCommand);
  w.setCommandHandler(cmd::kProgramDefaults, programDefaultsCommand);
  w.setCommandHandler(cmd::kProcessingHistory, processingHistoryCommand);
  w.setCommandHandler(cmd::kFitsDetails, showCurrentFitsDetailsCommand);
}

}  // namespace qlm
