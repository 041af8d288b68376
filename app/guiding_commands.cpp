#include "app/guiding_commands.h"

#include "app/window_model.h"
#include "files/settings.h"
#include "guiding/guide_star.h"
#include "image/centroid.h"
#include "image/frame.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

void connectGuidingLinks() {
  ClickHooks& hooks = clickHooks();
  // One refinement pass on the frame shown; after a failed pass the point takes the result held.
  hooks.find_centre = [](int& x, int& y, int r) {
    return mainPickCentre(x, y, r, imageBuffers().CurrentFrame.data());
  };
  hooks.guide_star_picked = [](int x, int y) { setMainGuideStar(x, y); };
}

bool pickGuideStarCommand() {
  MouseModes& m = mouseModes();
  if (!togglePick(m, frameState(), settings().mask_radius)) return false;
  if (m.pick) centroidState().working_radius = m.radius;
  return true;
}

bool ensureDriveMethod(bool simulated) {
  Settings& s = settings();
  if (s.drive_method != 'n') return true;
  Ui& ui = *platform().ui;
  if (!simulated) {
    ShowMessage(kCallerTextMessage, kNoDriveMethodText);
    return false;
  }
  if (ui.messageBox("QLM_T4_USB", kOfferSocketDriveText, MessageButtons::YesNo, MessageIcon::Question) !=
      MessageAnswer::Yes)
    return false;
  s.drive_method = 'b';
  saveSettings();  // a failed save leaves the choice in effect for this run
  ui.repaint();    // the tool bar gains its Telescope Control button
  return true;
}

}  // namespace qlm
