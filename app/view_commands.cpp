#include "app/view_commands.h"

#include <ctime>

#include "app/window_model.h"
#include "image/display.h"
#include "image/label.h"
#include "image/label_model.h"
#include "image/max_model.h"
#include "image/view_ops.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {
// Binning indicator values above this mean an unexpanded 3 x 3 or 4 x 4 image is held.
constexpr int kUnexpandedBinning = 12;
}  // namespace

void mirrorCommand() {
  platform().ui->setCursor(CursorShape::Wait);
  mirrorImage(imageBuffers().CurrentFrame, imageBuffers().SecondFrame);
  refreshDisplay();
  platform().ui->setCursor(CursorShape::Arrow);
}

void flipCommand() {
  platform().ui->setCursor(CursorShape::Wait);
  flipImage(imageBuffers().CurrentFrame, imageBuffers().SecondFrame);
  refreshDisplay();
  platform().ui->setCursor(CursorShape::Arrow);
}

void fitToWindowCommand() {
  toggleFitToWindow(frameState(), mouseModes().photometry);
  refreshDisplay();
}

void centreImageCommand() {
  toggleCentreImage(frameState(), mouseModes().photometry);
  refreshDisplay();
}

void falseColourCommand() {
  frameState().false_colour = !frameState().false_colour;
  refreshDisplay();
}

void autoContrastCommand() {
  frameState().auto_contrast = !frameState().auto_contrast;
  refreshDisplay();
}

void setMaxPaletteCommand(bool on) {
  frameState().max_palette_stretch = on;
  refreshDisplay();
}

void maxPaletteDialogCommand() {
  MaxModel model(frameState().max_palette_stretch, displayState().stretch_display_power,
                 [] { refreshDisplay(); });
  platform().ui->runPanel(MaxModel::kPanelName, model);
}

void labelCommand() {
  LabelModel model;
  if (platform().ui->runPanel(LabelModel::kPanelName, model) != kPanelOk) return;
  model.accept();
  std::tm utc{};
  if (model.autoDate()) {
    // The process time zone is the user's UT offset, so the local calendar reading is UT.
    const std::time_t now = platform().clock->calendarSeconds();
    localtime_r(&now, &utc);
  }
  drawLabel(imageBuffers().CurrentFrame, labelLine(model.text(), model.autoDate() ? &utc : nullptr));
  refreshDisplay();
}

void undoCommand() {
  undoLastFilter(imageBuffers().CurrentFrame, imageBuffers().UndoFrame, historyList());
  refreshDisplay();
}

void saveUnexpandedBinnedCommand() {
  if (frameState().binning_indicator > kUnexpandedBinning) return;  // never produced by this camera
  ShowMessage(68);
}

}  // namespace qlm
