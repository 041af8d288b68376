#include "app/program_state.h"

#include "image/display.h"
#include "image/frame.h"

namespace qlm {

void resetProgramState() {
  initialiseImageBuffers(imageBuffers());
  historyList().clear();
  resetFrameState(frameState());
  resetDisplayState(displayState());
}

}  // namespace qlm
