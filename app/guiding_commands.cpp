#include "app/guiding_commands.h"

#include "app/window_model.h"
#include "files/settings.h"
#include "guiding/guide_star.h"
#include "image/centroid.h"
#include "image/frame.h"

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

}  // namespace qlm
