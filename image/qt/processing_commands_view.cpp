#include "image/qt/processing_commands_view.h"

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "files/auto_model.h"
#include "files/qt/auto_dialog.h"
#include "image/autoprocess.h"
#include "image/convolve.h"
#include "image/median_unsharp.h"
#include "image/qt/median_dialog.h"
#include "image/qt/nonlinear_dialog.h"
#include "image/qt/power_dialog.h"
#include "image/qt/stretch_dialog.h"
#include "image/qt/unsharp_dialog.h"
#include "image/stretch.h"
#include "platform/qt/qt_ui.h"

namespace qlm {

void connectProcessingCommands(TQLM_T4Window& w) {
  // Contrast menu.
  w.setCommandHandler(cmd::kNormalStretch, normalStretchCommand);
  w.setCommandHandler(cmd::kPowerLawStretch, powerStretchCommand);
  w.setCommandHandler(cmd::kSineStretch, sineStretch);
  w.setCommandHandler(cmd::kRemoveBackground, removeBackgroundCommand);
  w.setCommandHandler(cmd::kNonLinearStretch, nonLinearStretchCommand);
  w.setCommandHandler(cmd::kLogStretch, logStretch);
  w.setCommandHandler(cmd::kAntilogStretch, antilogStretch);
  w.setCommandHandler(cmd::kInvertImage, invertImage);
  // Filters menu: the six kernels by their table index, the gradient, median and unsharp mask.
  w.setCommandHandler(cmd::kLowPassSmoother, [] { kernelFilterCommand(0); });
  w.setCommandHandler(cmd::kGaussianSmoother, [] { kernelFilterCommand(1); });
  w.setCommandHandler(cmd::kHighPassLowPower, [] { kernelFilterCommand(2); });
  w.setCommandHandler(cmd::kHighPassHighPower, [] { kernelFilterCommand(3); });
  w.setCommandHandler(cmd::kSmootherSharper, [] { kernelFilterCommand(4); });
  w.setCommandHandler(cmd::kBasRelief, [] { kernelFilterCommand(5); });
  w.setCommandHandler(cmd::kGradientFilter, gradientFilterCommand);
  w.setCommandHandler(cmd::kMedianFilter, medianFilterCommand);
  w.setCommandHandler(cmd::kUnsharpMask, unsharpMaskCommand);
  // Edit menu.
  w.setCommandHandler(cmd::kSetAutoProcessing, setAutoProcessingCommand);

  w.ui().registerPanel(StretchModel::kPanelName, runStretchDialog);
  w.ui().registerPanel(PowerModel::kPanelName, runPowerDialog);
  w.ui().registerPanel(NonLinearModel::kPanelName, runNonLinearDialog);
  w.ui().registerPanel(MedianModel::kPanelName, runMedianDialog);
  w.ui().registerPanel(UnsharpModel::kPanelName, runUnsharpDialog);
  w.ui().registerPanel(AutoModel::kPanelName, runAutoDialog);
}

}  // namespace qlm
