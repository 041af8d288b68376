#include "image/autoprocess.h"

#include "capture/capture_links.h"
#include "image/auto_model.h"
#include "image/convolve.h"
#include "image/display.h"
#include "image/median_unsharp.h"
#include "image/stretch.h"
#include "platform/platform.h"

namespace qlm {

int autoStretchPower(const Settings& s) {
  if (s.apply_weak_stretch) return kWeakStretchPower;
  if (s.apply_strong_stretch) return kStrongStretchPower;
  if (s.auto_stretch_user) return s.user_stretch_value;
  return 0;
}

void runAutoProcessing(const Settings& s) {
  ImageBuffers& b = imageBuffers();
  if (const int power = autoStretchPower(s); power > 0) {
    const int level = backgroundLevelB1(b.CurrentFrame, b);
    displayState().background_level = level;
    if (s.remove_background) removeBackground(level, false);
    nonLinearStretch(power, false);
  }
  if (s.high_pass_low_power) {
    const KernelFilter& k = kernelFilter(2);
    convolve(k.radius, 2, k.divisor, false);
    historyList().append(k.history);
  }
  if (s.unsharp_mask) unsharpMask(s.unsharp_dia, s.unsharp_power, true);
  refreshDisplay();
  platform().ui->setCursor(CursorShape::Arrow);
}

void setAutoProcessingCommand() {
  AutoModel model(settings());
  platform().ui->runPanel(AutoModel::kPanelName, model);
}

void connectProcessingLinks() {
  captureLinks().auto_process = [] { runAutoProcessing(settings()); };
}

}  // namespace qlm
