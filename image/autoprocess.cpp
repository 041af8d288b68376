#include "image/autoprocess.h"

#include "image/convolve.h"
#include "image/display.h"
#include "image/median_unsharp.h"
#include "image/stretch.h"
#include "platform/platform.h"

namespace qlm {

void runAutoProcessing(const AutoProcessChoice& c) {
  ImageBuffers& b = imageBuffers();
  if (const int power = c.stretch_power; power > 0) {
    const int level = backgroundLevelB1(b.CurrentFrame, b);
    displayState().background_level = level;
    if (c.remove_background) removeBackground(level, false);
    nonLinearStretch(power, false);
  }
  if (c.high_pass_low_power) {
    const KernelFilter& k = kernelFilter(2);
    convolve(k.radius, 2, k.divisor, false);
    historyList().append(k.history);
  }
  if (c.unsharp_mask) unsharpMask(c.unsharp_dia, c.unsharp_power, true);
  refreshDisplay();
  platform().ui->setCursor(CursorShape::Arrow);
}

}  // namespace qlm
