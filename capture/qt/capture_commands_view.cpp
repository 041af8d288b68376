#include "capture/qt/capture_commands_view.h"

#include <QPointer>
#include <memory>
#include <optional>
#include <utility>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "app/window_model.h"
#include "capture/capture_state.h"
#include "capture/qt/live_stack_window.h"
#include "capture/qt/ql_dialog.h"
#include "capture/sequence.h"
#include "guiding/qt/autoguider_commands_view.h"
#include "image/centroid.h"
#include "image/frame.h"
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
    // "Live Stack": each finished frame of the series goes to the live stack window, which a new
    // command starts afresh; aligned on the picked star when there is one.
    auto first = std::make_shared<bool>(true);
    front.frame_finished = [w, first] {
      if (!w || !captureSettings().live_stack) return;
      auto* live = w->findChild<TLiveStackDialog*>("live_stack");
      if (live == nullptr) live = new TLiveStackDialog(w);
      if (*first) live->start();
      *first = false;
      live->show();
      const CentroidResult& pick = centroidState().main;
      std::optional<std::pair<int, int>> star;
      if (pick.x > 0 && pick.y > 0) star = std::make_pair(pick.x, pick.y);
      live->addFrame(imageBuffers().CurrentFrame, star);
    };
    front.refuse_stack_without_star = true;
    takePhotoCommand(front);
  });
}

}  // namespace qlm
