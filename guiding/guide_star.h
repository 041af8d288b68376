#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "image/centroid.h"

namespace qlm {

// Guide-star selection: the star picked on the guider image and on the main image, and the 128 x 128
// guide window that main-camera guiding reads around the main guide star.
struct GuideStarState {
  int main_x = 0;  // the star picked in the main window
  int main_y = 0;
  bool guider_pick_armed = false;
  bool guide_window_set = false;    // from now on the main centroid works on 128 x 128 images
  CentroidResult kept_main_result;  // the main result PlaceGuideWindow found, restored after guiding
};
// The star picked on the guider image, and whether one has been, is guiderGuideStar() (guiding/guider.h).

GuideStarState& guideStarState();
void resetGuideStarState(GuideStarState& s);

// FindCentre's conditions under the program-wide guide-star state, whether main-camera training or
// guiding is active, and the "Ignore drift < 1 pixel" setting.
CentreConditions centreConditions(const GuideStarState& s = guideStarState());

// What a pick asks of the window it runs in: the screen pointer, moved onto the star by each refinement
// pass, and a redraw of the panel. Without them the passes only measure.
struct PickHooks {
  std::function<std::optional<std::pair<int, int>>()> pointer;  // screen position, if known
  std::function<void(int x, int y)> move_pointer;               // put the pointer there
  std::function<void()> refresh;                                // redraw the panel
};

// --- Guider-panel pick (the guider image is drawn with its top-left corner at client (10, 45)) ---

inline constexpr int kGuiderImageLeft = 10;
inline constexpr int kGuiderImageTop = 45;

// What the panel shows while the pointer is over the guider image: image coordinates and the pixel
// value / 256. Nothing outside client x 11..509, y 46..334.
struct GuiderPointerReadout {
  int x = 0;
  int y = 0;
  int value = 0;
};
std::optional<GuiderPointerReadout> guiderPointerReadout(int client_x, int client_y,
                                                         const std::uint16_t* guider_image);

// "Select Guide Star": arms the pick and shows the cross cursor.
void armGuiderPick(GuideStarState& s = guideStarState());

// A left or right button release at client (px, py) of the guider panel. A running manual move is ended
// first (relays released). Unarmed: nothing more. Outside r + 10 <= px <= 510 - r and
// r + 45 <= py <= 335 - r: message 2 and the pick stays armed. Otherwise three guider centroid passes
// with radius r, each moving the pointer onto the star; the guider guide star (guiderGuideStar())
// becomes the result, the panel is refreshed, message 50 shows the star, the pick is disarmed and the arrow
// cursor restored. A pass whose window does not fit ends the pick there (the centroid's message shown):
// the previous star and the armed pick stay. Returns true when a star was picked.
bool guiderPickRelease(int px, int py, const std::uint16_t* guider_image, int r, const PickHooks& hooks,
                       GuideStarState& s = guideStarState(), CentroidState& c = centroidState());

// --- Main-window pick ---

// One refinement pass of the main-window pick on `image` (the current frame): FindCentre at (x, y) with
// radius r under the program-wide conditions; (x, y) becomes the main result. False when the window
// did not fit (the point then takes the result already held).
bool mainPickCentre(int& x, int& y, int r, const std::uint16_t* image, CentroidState& c = centroidState());

// The main guide star chosen by a main-window pick.
void setMainGuideStar(int x, int y, GuideStarState& s = guideStarState());

// "x position = %5d\ny position = %5d", the text of message 50 after a pick.
std::string pickedStarText(int x, int y);

// --- Guide window ---

// Where the 128 x 128 guide window goes for a guide star (gx, gy) on a width x height frame, and the
// reference position main-camera guiding measures against.
struct GuideWindowPlacement {
  int origin_x = 0;  // becomes the focus window origin
  int origin_y = 0;
  int star_x = 0;  // the star's place in the window
  int star_y = 0;
  int xoffset = 0;
  int yoffset = 0;
  int result_x = 0;  // the new main result: k x star + xoffset, k x star - yoffset
  int result_y = 0;
};
GuideWindowPlacement guideWindowPlacement(int gx, int gy, int width, int height, bool binned);

// Run at the start of main-camera training and guiding: keeps the main result, places the window
// around the main guide star (the focus window origin), makes the placement's position the main result,
// shows it in message 50 and sets the guide-window-set flag.
void PlaceGuideWindow(GuideStarState& s = guideStarState(), CentroidState& c = centroidState());

}  // namespace qlm
