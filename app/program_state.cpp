#include "app/program_state.h"

#include "camera/link.h"
#include "camera/readout.h"

#include "app/analysis_commands.h"
#include "app/calibration_commands.h"
#include "app/file_commands.h"
#include "app/window_model.h"
#include "capture/capture_front_end.h"
#include "capture/capture_state.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "guiding/ao_unit.h"
#include "guiding/guide_star.h"
#include "guiding/guider.h"
#include "guiding/telescope.h"
#include "image/analysis_views.h"
#include "image/centroid.h"
#include "image/display.h"
#include "image/frame.h"
#include "image/label_model.h"

namespace qlm {

void resetProgramState() {
  resetImageBuffers();
  historyList().clear();
  resetFrameState(frameState());
  resetDisplayState(displayState());
  resetMouseModes(mouseModes());
  resetAnalysisViews(analysisViews());
  photometryModel().start();
  mergeModel() = MergeModel{};
  LabelModel::rememberedAutoDate() = false;
  resetSettings(settings());
  resetFileCommandState(fileCommandState());
  fitsDetails() = FitsDetails{};
  fileBinning() = 0;
  resetLocalTimeRule(localTimeRule());
  resetCaptureSettings(captureSettings());
  resetSequenceState(sequenceState());
  resetLinkState(linkState());
  resetReceiveBuffer();
  resetReadoutState(readoutState());
  resetCentroidState(centroidState());
  resetTelescopeState(telescopeState());
  resetGuidingState();
  resetGuideStarState(guideStarState());
  resetAOState(aoState());
}

}  // namespace qlm
