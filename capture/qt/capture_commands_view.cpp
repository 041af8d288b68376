#include "capture/qt/capture_commands_view.h"

#include <QPointer>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "app/window_model.h"
#include "capture/qt/ql_dialog.h"
#include "capture/sequence.h"
#include "guiding/qt/autoguider_commands_view.h"
#include "platform/qt/qt_ui.h"

namespace qlm {

void connectCaptureCommands(TQLM_T4Window& window) {
  window.ui().registerPanel(kCameraPanelName, [](PanelModel& model, QWidget* parent) {
    TQLDialog dialog(static_cast<QlModel&>(model), parent);
    return dialog.exec();
  });
  window.setCommandHandler(cmd::kCameraInterface, [w = QPointer<TQLM_T4Window>(&window)] {
    CaptureFrontEnd front;
    front.pick_mode = [] { return mouseModes().pick; };
    front.set_pick_mode = [](bool on) { mouseModes().pick = on; };
    // "Go to Autoguider" hands over to the autoguider camera command after the panel has closed.
    front.open_autoguider = [w] {
      if (w) w->runCommand(cmd::kAutoguiderCamera);
    };
    front.guiding = guidingWindowView();
    takePhotoCommand(front);
  });
}

}  // namespace qlm
