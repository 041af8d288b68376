#include "guiding/qt/autoguider_commands_view.h"

#include <QPointer>

#include "app/command_table.h"
#include "app/guiding_commands.h"
#include "app/qt/main_window.h"
#include "camera/link.h"
#include "guiding/autoguider_model.h"
#include "guiding/main_guider.h"
#include "guiding/qt/autoguider_dialog.h"
#include "guiding/qt/guiding_info_window.h"
#include "guiding/qt/guiding_window.h"
#include "guiding/telescope.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "platform/qt/qt_ui.h"
#include "sim/sim_transport.h"

namespace qlm {

namespace {
QPointer<QWidget>& mainWindow() {
  static QPointer<QWidget> w;
  return w;
}
TGuidingWindow& guidingWindow() {
  static QPointer<TGuidingWindow> window;
  if (window.isNull()) window = new TGuidingWindow(mainWindow());
  return *window;
}
// "Guiding Info", the window of main-camera guiding.
TGuidingInfoWindow& guidingInfoWindow() {
  static QPointer<TGuidingInfoWindow> window;
  if (window.isNull()) window = new TGuidingInfoWindow(mainWindow());
  return *window;
}
// The simulated camera is wired to the simulated mount through its autoguider socket.
bool onSimulator() {
  return dynamic_cast<sim::SimTransport*>(platform().transport) != nullptr;
}
}  // namespace

GuidingView guidingWindowView() {
  return guidingWindow().view();
}

void connectAutoguiderCommands(TQLM_T4Window& window) {
  mainWindow() = &window;
  window.ui().registerPanel(kAutoguiderPanelName, [](PanelModel& model, QWidget* parent) {
    TGQLDialog dialog(static_cast<AutoguiderModel&>(model), parent);
    return dialog.exec();
  });
  window.setCommandHandler(cmd::kAutoguiderCamera, [w = QPointer<TQLM_T4Window>(&window)] {
    if (linkState().camera_present == 0) FindCamera();
    SelectTelescopePort();
    AutoguiderModel model;
    platform().ui->runPanel(kAutoguiderPanelName, model);
    GuidingState& g = guidingState();
    const bool start = g.start_request;
    const bool main_camera = g.goto_main_request;
    g.start_request = false;
    g.goto_main_request = false;
    if (!w) return;
    if (main_camera) w->runCommand(cmd::kCameraInterface);
    if (start) w->runCommand(cmd::kStartAutoGuidingFromPanel);
  });
  window.setCommandHandler(cmd::kTrainAutoGuiding, [] {
    if (linkState().camera_present == 0) FindCamera();
    if (!ensureDriveMethod(onSimulator())) return;
    TrainMain();
  });
  window.setCommandHandler(cmd::kStartAutoGuiding, [] {
    if (linkState().camera_present == 0) FindCamera();
    if (!ensureDriveMethod(onSimulator())) return;
    runMainGuiding(guidingInfoWindow().view());
  });
  window.setCommandHandler(cmd::kStartAutoGuidingFromPanel, [] {
    if (linkState().camera_present != 0 && !ensureDriveMethod(onSimulator())) return;
    runGuiderGuiding(guiderGuideStar(), guidingWindow().view());
  });
}

}  // namespace qlm
