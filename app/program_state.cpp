#include "app/program_state.h"

#include "files/settings.h"
#include "image/display.h"
#include "image/frame.h"

namespace qlm {

void resetProgramState() {
  initialiseImageBuffers(imageBuffers());
  historyList().clear();
  resetFrameState(frameState());
  resetDisplayState(displayState());
  resetSettings(settings());
}

}  // namespace qlm
