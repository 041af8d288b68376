#include "image/stretch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "image/display.h"
#include "image/stretch_model.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr int kTopEntry = kStretchTableSize - 1;  // 32767
constexpr int kChunks = 20;
constexpr int kChunkElements = (kFrameElements - kLabelElements) / kChunks;  // 16,170

std::uint16_t limited(double v) {
  return static_cast<std::uint16_t>(std::min<double>(kTopEntry, std::trunc(v)));
}

// Maps elements [first, last) through the table.
void mapRange(const StretchCurve& t, Frame& f, int first, int last) {
  for (int i = first; i < last; ++i) {
    auto& e = f[static_cast<std::size_t>(i)];
    e = static_cast<std::uint16_t>(t[e >> 1] << 1);
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

bool fillNormalCurve(StretchCurve& t, int black, int white) {
  if (black >= white) return false;
  const int b = black * 128;
  const int w = white * 128;
  const double s = 255.0 / (white - black);
  const int top = std::min(w, kStretchTableSize);
  for (int i = 0; i < kStretchTableSize; ++i) {
    if (i < b) {
      t[static_cast<std::size_t>(i)] = 0;
    } else if (i < top) {
      t[static_cast<std::size_t>(i)] = limited((i - b) * s);
    } else {
      t[static_cast<std::size_t>(i)] = kTopEntry;
    }
  }
  return true;
}

void fillPowerCurve(StretchCurve& t, double power) {
  const double scale = std::pow(32768.0, power - 1.0);
  for (int i = 0; i < kStretchTableSize; ++i)
    t[static_cast<std::size_t>(i)] = limited(std::pow(static_cast<double>(i), power) / scale);
}

void fillSineCurve(StretchCurve& t) {
  // The factor 1 / 10432 runs the argument from -1.5706 to +1.5705 rad.
  for (int i = 0; i < kStretchTableSize; ++i) {
    const double v = (std::sin((i - 16384) * 0.00009585889570552147) + 1.0) * 16383.0;
    t[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(std::trunc(v));
  }
}

void fillLogCurve(StretchCurve& t) {
  for (int i = 0; i < kStretchTableSize; ++i)
    t[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(std::trunc(std::log(i + 1.0) * 3151.0));
}

void fillAntilogCurve(StretchCurve& t) {
  for (int i = 0; i < kStretchTableSize; ++i)
    t[static_cast<std::size_t>(i)] = limited(std::exp(i / 3151.0) - 1.0);
}

void fillInvertCurve(StretchCurve& t) {
  for (int i = 0; i < kStretchTableSize; ++i)
    t[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(kTopEntry - i);
}

void fillNonLinearCurve(StretchCurve& t, int power) {
  const double p = power;
  for (int i = 0; i < kStretchTableSize; ++i) {
    const double e = i / 32768.0;
    t[static_cast<std::size_t>(i)] =
        static_cast<std::uint16_t>(std::trunc(p * 32768.0 * e / (e * (p - 1.0) + 1.0)));
  }
}

void fillBackgroundCurve(StretchCurve& t, int level) {
  const int k = level * 128 - 256;
  const double s = 255.0 / (257 - level);
  for (int i = 0; i < kStretchTableSize; ++i)
    t[static_cast<std::size_t>(i)] = i < k ? 0 : limited((i - k) * s);
}

void applyStretchCurve(const StretchCurve& t, Frame& current, Frame& undo) {
  Ui& ui = *platform().ui;
  ui.progressOpen("CONTRAST STRETCH");
  takeUndoSnapshot(current, undo);
  if (!labelled(current.data())) mapRange(t, current, 0, kLabelElements);
  // The chunks exist only to move the progress bar 20 times.
  for (int c = 0; c < kChunks; ++c) {
    ui.progressSet(c * 12);
    const int first = kLabelElements + c * kChunkElements;
    mapRange(t, current, first, first + kChunkElements);
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
