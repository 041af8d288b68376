#include "image/stretch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "image/display.h"
#include "image/stretch_model.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr int kChunks = 20;
constexpr int kChunkElements = (kFrameElements - kLabelElements) / kChunks;  // 16,170

// The table application's own table: one entry per element value, entry v = table[v / 2] x 2, so that
// mapping an element is one look-up, and sixteen look-ups are gathered before they are stored
// together, so that no table read waits behind a store to the frame.
using ValueTable = std::array<std::uint16_t, 65536>;

void expandTable(const StretchCurve& t, ValueTable& values) {
  for (std::size_t i = 0; i < t.size(); ++i) {
    const auto v = static_cast<std::uint16_t>(t[i] << 1);
    values[2 * i] = v;
    values[2 * i + 1] = v;
  }
}

// Maps elements [first, last) of `e` through the value table, copying each element's old value into
// `undo` on the way (the undo snapshot in the same pass).
void mapRange(const ValueTable& values, std::uint16_t* e, std::uint16_t* undo, int first, int last) {
  constexpr int kBlock = 16;
  int i = first;
  for (; i + kBlock <= last; i += kBlock) {
    std::uint16_t mapped[kBlock];
    std::memcpy(undo + i, e + i, sizeof mapped);
    for (int k = 0; k < kBlock; ++k)
      mapped[k] = values[e[i + k]];
    std::memcpy(e + i, mapped, sizeof mapped);
  }
  for (; i < last; ++i) {
    undo[i] = e[i];
    e[i] = values[e[i]];
  }
}

// Fills the table, applies it under the wait cursor and refreshes when asked.
template <typename Fill>
void runTableStretch(Fill fill, bool refresh) {
  ImageBuffers& b = imageBuffers();
  Ui& ui = *platform().ui;
  fill(b.StretchTable);
  ui.setCursor(CursorShape::Wait);
  applyStretchCurve(b.StretchTable, b.CurrentFrame, b.UndoFrame);
  if (refresh) refreshDisplay();
  ui.setCursor(CursorShape::Arrow);
}

}  // namespace

void applyStretchCurve(const StretchCurve& t, Frame& current, Frame& undo) {
  Ui& ui = *platform().ui;
  ui.progressOpen("CONTRAST STRETCH");
  static auto* values = new ValueTable;
  expandTable(t, *values);
  // The undo snapshot is taken element by element as the table application reads the frame.
  countUndoSnapshot();
  if (labelled(current.data())) {
    std::copy_n(current.begin(), kLabelElements, undo.begin());
  } else {
    mapRange(*values, current.data(), undo.data(), 0, kLabelElements);
  }
  // The chunks exist only to move the progress bar 20 times.
  for (int c = 0; c < kChunks; ++c) {
    ui.progressSet(c * 12);
    const int first = kLabelElements + c * kChunkElements;
    mapRange(*values, current.data(), undo.data(), first, first + kChunkElements);
  }
  ui.progressClose();
}

std::string normalStretchText(int black, int white) {
  return "Normal Stretch : max " + std::to_string(2 * white) + " , min : " + std::to_string(2 * black);
}

std::string powerStretchText(int power_tenths) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%1.1f", power_tenths / 10.0);
  return std::string("Power Stretch :  ") + buf;
}

std::string backgroundRemovedText(int level) {
  return "Background Removed : min " + std::to_string(2 * level - 4);
}

std::string nonLinearStretchText(int power) {
  return "Non-Linear Stretch : power " + std::to_string(power);
}

void normalStretch(int black, int white) {
  if (black >= white) return;
  runTableStretch([&](StretchCurve& t) { fillNormalCurve(t, black, white); }, true);
  historyList().append(normalStretchText(black, white));
}

void powerStretch(int power_tenths) {
  if (power_tenths == 10) return;
  runTableStretch([&](StretchCurve& t) { fillPowerCurve(t, power_tenths / 10.0); }, true);
  historyList().append(powerStretchText(power_tenths));
}

void sineStretch() {
  runTableStretch(fillSineCurve, true);
  historyList().append("Sine Stretch");
}

void logStretch() {
  runTableStretch(fillLogCurve, true);
  historyList().append("Log Stretch");
}

void antilogStretch() {
  runTableStretch(fillAntilogCurve, true);
  historyList().append("Antilog Stretch");
}

void invertImage() {
  runTableStretch(fillInvertCurve, true);
  historyList().append("Invert Image to Negative");
}

void removeBackground(int level, bool refresh) {
  if (level < 3) return;
  ImageBuffers& b = imageBuffers();
  takeUndoSnapshot(b.CurrentFrame, b.UndoFrame);
  runTableStretch([&](StretchCurve& t) { fillBackgroundCurve(t, level); }, refresh);
  historyList().append(backgroundRemovedText(level));
}

void nonLinearStretch(int power, bool refresh) {
  runTableStretch([&](StretchCurve& t) { fillNonLinearCurve(t, power); }, refresh);
  historyList().append(nonLinearStretchText(power));
}

void normalStretchCommand() {
  StretchModel model(imageBuffers().HistogramCounters);
  if (platform().ui->runPanel(StretchModel::kPanelName, model) != kPanelOk) return;
  normalStretch(model.black(), model.white());
}

void powerStretchCommand() {
  PowerModel model;
  if (platform().ui->runPanel(PowerModel::kPanelName, model) != kPanelOk) return;
  powerStretch(model.tenths());
}

void nonLinearStretchCommand() {
  NonLinearModel model;
  if (platform().ui->runPanel(NonLinearModel::kPanelName, model) != kPanelOk) return;
  nonLinearStretch(model.power(), true);
}

void removeBackgroundCommand() {
  removeBackground(displayState().background_level, true);
}

}  // namespace qlm
