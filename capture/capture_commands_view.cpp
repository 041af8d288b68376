#include "capture/capture_commands_view.h"

#include <QPointer>

#include "app/command_table.h"
#include "app/main_window.h"
#include "capture/capture_links.h"
#include "capture/ql_dialog.h"
#include "capture/sequence.h"
#include "platform/qt_ui.h"

namespace qlm {

void connectCaptureCommands(TQLM_T4Window& window) {
  window.ui().registerPanel(kCameraPanelName, [](PanelModel& model, QWidget* parent) {
    TQLDialog dialog(static_cast<QlModel&>(model), parent);
    return dialog.exec();
  });
  window.setCommandHandler(cmd::kCameraInterface, [] { takePhotoCommand(); });
  // "Go to Autoguider" hands over to the autoguider camera command after the panel has closed.
  captureLinks().open_autoguider = [w = QPointer<TQLM_T4Window>(&window)] {
    if (w) w->runCommand(cmd::kAutoguiderCamera);
  };
}

}  // namespace qlm
