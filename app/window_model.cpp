#include "app/window_model.h"

#include <algorithm>
#include <cstdio>

#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {
constexpr int kPickShift = 25;  // accepted band offset while the pick is armed
constexpr int kFocusHalf = 64;  // half size of the 128 x 128 focus window
constexpr int kRefinePasses = 3;

bool refused(int message) {
  if (message == 0) return false;
  ShowMessage(message);
  return true;
}

// Three centroid passes from image (x, y), each moving the screen pointer onto the star found.
void refine(int& x, int& y, int r, const ClickHooks& hooks) {
  for (int pass = 0; pass < kRefinePasses; ++pass) {
    if (hooks.find_centre) hooks.find_centre(x, y, r);
    if (hooks.move_pointer) hooks.move_pointer(x, y);
  }
}

std::string positionText(int x, int y) {
  char text[64];
  std::snprintf(text, sizeof text, "x position = %5d\ny position = %5d", x, y);
  return text;
}
}  // namespace

MouseModes& mouseModes() {
  static MouseModes modes;
  return modes;
}

void resetMouseModes(MouseModes& m) {
  m = MouseModes{};
}

ClickHooks& clickHooks() {
  static ClickHooks hooks;
  return hooks;
}

int photometryRefusal(const MouseModes& m, const FrameState& f) {
  if (m.merge_marking || m.row_plot) return 35;
  if (!standardGeometry(f)) return 36;
  if (m.photometry) return 37;
  return 0;
}

int rowPlotRefusal(const MouseModes& m, const FrameState& f) {
  if (m.merge_marking || m.photometry) return 35;
  if (!standardGeometry(f)) return 38;
  return 0;
}

int mergeRefusal(const MouseModes& m, const FrameState& f) {
  if (m.photometry || m.row_plot) return 35;
  if (!standardGeometry(f)) return 30;
  if (m.merge_marking) return 31;
  return 0;
}

int pickRefusal(const FrameState& f) {
  return standardGeometry(f) ? 0 : 33;
}

bool enterPhotometry(MouseModes& m, const FrameState& f) {
  if (refused(photometryRefusal(m, f))) return false;
  m.photometry = true;
  m.radius = 4;
  return true;
}

bool enterRowPlot(MouseModes& m, const FrameState& f) {
  if (refused(rowPlotRefusal(m, f))) return false;
  m.row_plot = true;
  m.selected_row = 250;
  return true;
}

bool enterMerge(MouseModes& m, const FrameState& f) {
  if (refused(mergeRefusal(m, f))) return false;
  m.merge_marking = true;
  return true;
}

int pickRadius(int mask_radius) {
  return std::clamp(mask_radius, kSmallestMaskRadius, kLargestMaskRadius);
}

bool togglePick(MouseModes& m, const FrameState& f, int mask_radius) {
  if (refused(pickRefusal(f))) return false;
  m.pick = !m.pick;
  if (m.pick) {
    m.refine = true;
    m.radius = pickRadius(mask_radius);
    platform().ui->setCursor(CursorShape::Arrow);
  }
  return true;
}

void enterFocusCentre(MouseModes& m) {
  m.focus_centre = true;
  m.refine = false;
}

bool clickInBounds(const MouseModes& m, int x, int y) {
  const int shift = m.pick ? kPickShift : 0;
  const int r = m.radius;
  return shift + r <= x && x <= kFrameWidth - 1 + shift - r && shift + r <= y && y <= kLastRow + shift - r;
}

FocusOrigin focusOriginForClick(int x, int y, int width, int height) {
  FocusOrigin o{};
  o.x = x < 67 ? 3 : (x <= width - 65 ? x - 65 : width - 65);
  o.y = y < 65 ? 1 : (y <= height - 65 ? y - kFocusHalf : height - 65);
  return o;
}

FocusOrigin defaultFocusOrigin(int width, int height) {
  return {width / 2 - kFocusHalf, height / 2 - kFocusHalf};
}

void dispatchPointerMove(const MouseModes& m, int x, int y, const ClickHooks& hooks) {
  if (!m.photometry || !hooks.pointer_moved) return;
  const int ix = x + m.left;
  const int iy = y + m.top;
  if (x > 1 && y > 1 && ix < kFrameWidth - 1 && iy < kLastRow) hooks.pointer_moved(ix, iy);
}

ClickResult dispatchClick(MouseModes& m, int x, int y, const ClickHooks& hooks, int frame_width,
                          int frame_height) {
  if (!m.photometry && !m.row_plot && !m.merge_marking && !m.pick && !m.focus_centre)
    return ClickResult::Ignored;
  if (!clickInBounds(m, x, y)) {
    ShowMessage(2);
    return ClickResult::OutOfBounds;
  }
  int ix = x + m.left;
  int iy = y + m.top;
  if (m.row_plot) {
    m.selected_row = iy;
    if (hooks.row_plot) hooks.row_plot(iy);
    return ClickResult::RowPlot;
  }
  if (m.merge_marking && !m.photometry && !m.pick && !m.focus_centre) {
    if (m.merge_refine) refine(ix, iy, m.radius, hooks);
    if (hooks.merge_mark) hooks.merge_mark(ix, iy);
    return ClickResult::Merge;
  }
  if (m.refine) {
    refine(ix, iy, m.radius, hooks);
    m.refine = false;  // the click uses up the refinement; arming the pick or a right click sets it again
  }
  if (m.focus_centre) {
    const FocusOrigin o = focusOriginForClick(ix, iy, frame_width, frame_height);
    m.focus_centre = false;
    m.focus_cross_shown = true;
    m.focus_origin_x = o.x;
    m.focus_origin_y = o.y;
    if (hooks.set_focus_origin) hooks.set_focus_origin(o.x, o.y);
    char text[128];
    std::snprintf(text, sizeof text, "x position = %5d\ny position = %5d\nleft = %5d\ntop = %5d",
                  o.x + kFocusHalf, o.y + kFocusHalf, m.left, m.top);
    ShowMessage(kCallerTextMessage, text);
    return ClickResult::FocusCentre;
  }
  if (m.pick) {
    m.guide_star_shown = true;
    m.guide_x = ix;
    m.guide_y = iy;
    if (hooks.guide_star_picked) hooks.guide_star_picked(ix, iy);
    ShowMessage(kCallerTextMessage, positionText(ix, iy));
    if (hooks.repaint) hooks.repaint();
    return ClickResult::Pick;
  }
  if (hooks.photometry) hooks.photometry(ix, iy, m.radius);
  return ClickResult::Photometry;
}

PaintLayout paintLayout(const FrameState& f, int client_width, int client_height) {
  if (f.fit_to_window) return {true, 0, 0};
  PaintLayout p{false, 0, 0};
  if (f.centre_image && client_width > kFrameWidth) p.x = (client_width - kFrameWidth) / 2;
  if (f.centre_image && client_height > kFrameHeight) p.y = (client_height - kFrameHeight) / 2;
  return p;
}

Rgb windowBackground(char letter) {
  switch (letter) {
    case 'g':
      return {90, 90, 90};
    case 'r':
      return {120, 40, 40};
    default:
      return {192, 192, 192};
  }
}

int scrollRange(bool fit_to_window, int picture, int client) {
  return fit_to_window ? 0 : std::max(0, picture - client);
}

}  // namespace qlm
