#include "app/program_state.h"

#include "files/fits_details.h"
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
  fitsDetails() = FitsDetails{};
  fileBinning() = 0;
  resetLocalTimeRule(localTimeRule());
}

}  // namespace qlm
