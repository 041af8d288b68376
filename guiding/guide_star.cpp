#include "guiding/guide_star.h"

#include <cstdio>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "guiding/guider.h"
#include "guiding/telescope.h"
#include "image/frame.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {
constexpr int kRefinePasses = 3;
constexpr int kGuideWindowHalf = 64;
}  // namespace

GuideStarState& guideStarState() {
  static GuideStarState state;
  return state;
}

void resetGuideStarState(GuideStarState& s) {
  s = GuideStarState{};
}

CentreConditions centreConditions(const GuideStarState& s) {
  CentreConditions c;
  c.main_guiding_or_training = guidingState().main_active || calibrationState().main_training_active;
  c.guide_window_set = s.guide_window_set;
  c.guider_pick_armed = s.guider_pick_armed;
  c.ignore_drift = settings().ignore_drift;
  c.frame_width = kFrameWidth;
  c.frame_height = kFrameHeight;
  return c;
}

std::optional<GuiderPointerReadout> guiderPointerReadout(int client_x, int client_y,
                                                         const std::uint16_t* guider_image) {
  if (client_x < 11 || client_x > 509 || client_y < 46 || client_y > 334) return std::nullopt;
  const int x = client_x - kGuiderImageLeft;
  const int y = client_y - kGuiderImageTop;
  return GuiderPointerReadout{x, y, guider_image[y * kGuiderWidth + x] / 256};
}

void armGuiderPick(GuideStarState& s) {
  s.guider_pick_armed = true;
  platform().ui->setCursor(CursorShape::Cross);
}

std::string pickedStarText(int x, int y) {
  char text[64];
  std::snprintf(text, sizeof text, "x position = %5d\ny position = %5d", x, y);
  return text;
}

bool guiderPickRelease(int px, int py, const std::uint16_t* guider_image, int r, const PickHooks& hooks,
                       GuideStarState& s, CentroidState& c) {
  TelescopeState& scope = telescopeState();
  if (scope.moving) {
    SetGuideRelays(0);
    scope.moving = false;
  }
  if (!s.guider_pick_armed) return false;
  if (px < r + kGuiderImageLeft || px > 510 - r || py < r + kGuiderImageTop || py > 335 - r) {
    ShowMessage(2);
    return false;
  }
  for (int pass = 0; pass < kRefinePasses; ++pass) {
    const auto noted = hooks.pointer ? hooks.pointer() : std::nullopt;
    // A window that does not fit (its message shown) ends the pick: the star picked before stays, and
    // the pick stays armed for another click.
    if (FindGuiderCentre(px - kGuiderImageLeft, py - kGuiderImageTop, guider_image, r, c) != 0) return false;
    const int star_x = c.guider.x + kGuiderImageLeft;
    const int star_y = c.guider.y + kGuiderImageTop;
    if (noted && hooks.move_pointer)
      hooks.move_pointer(noted->first + star_x - px, noted->second + star_y - py);
    px = star_x;
    py = star_y;
  }
  guiderGuideStar() = GuiderStar{c.guider.x, c.guider.y};
  if (hooks.refresh) hooks.refresh();
  ShowMessage(kCallerTextMessage, pickedStarText(c.guider.x, c.guider.y));
  s.guider_pick_armed = false;
  platform().ui->setCursor(CursorShape::Arrow);
  return true;
}

bool mainPickCentre(int& x, int& y, int r, const std::uint16_t* image, CentroidState& c) {
  const int failed = FindCentre(x, y, image, r, centreConditions(), c);
  x = c.main.x;
  y = c.main.y;
  return failed == 0;
}

void setMainGuideStar(int x, int y, GuideStarState& s) {
  s.main_x = x;
  s.main_y = y;
}

GuideWindowPlacement guideWindowPlacement(int gx, int gy, int width, int height, bool binned) {
  constexpr int h = kGuideWindowHalf;
  auto origin = [](int g, int size) { return g <= h ? 0 : (g < size - h ? g - h : size - 2 * h); };
  GuideWindowPlacement p;
  p.origin_x = origin(gx, width);
  p.origin_y = origin(gy, height);
  p.star_x = gx - p.origin_x;
  p.star_y = gy - p.origin_y;
  const int k = binned ? 2 : 1;
  p.yoffset = (k * p.origin_y) % 30;
  p.xoffset = (k * p.origin_x) % 4;
  p.result_x = k * p.star_x + p.xoffset;
  p.result_y = k * p.star_y - p.yoffset;
  return p;
}

void PlaceGuideWindow(GuideStarState& s, CentroidState& c) {
  s.kept_main_result = c.main;
  const GuideWindowPlacement p =
      guideWindowPlacement(s.main_x, s.main_y, kFrameWidth, kFrameHeight, frameState().binned);
  readoutState().focus_x = p.origin_x;
  readoutState().focus_y = p.origin_y;
  c.main.x = p.result_x;
  c.main.y = p.result_y;
  char text[160];
  std::snprintf(text, sizeof text,
                "xcent=%5d, ycent = %5d, focus_x = %5d, focus_y = %5d,  xoffset = %5d, yoffset = %5d",
                p.result_x, p.result_y, p.origin_x, p.origin_y, p.xoffset, p.yoffset);
  ShowMessage(kCallerTextMessage, text);
  s.guide_window_set = true;
}

}  // namespace qlm
