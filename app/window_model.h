#pragma once
#include <functional>
#include <string>

#include "image/frame.h"

namespace qlm {

// The main window's mouse modes and what they have marked on the picture. Coordinates named image
// (x, y) are frame columns and rows; client coordinates are pixels of the window's image area.
struct MouseModes {
  bool photometry = false;
  bool row_plot = false;
  bool merge_marking = false;
  bool pick = false;          // main-window guide-star pick armed
  bool focus_centre = false;  // the next click places the focus window
  bool refine = false;        // refine the next click onto a star's centroid (three passes)
  bool merge_refine = false;  // refinement for merge marks (the merge dialog's choice)
  int radius = 4;             // measuring radius r: half-width of the measuring box, pixels
  int left = 0;               // horizontal scroll offset of the view, pixels
  int top = 0;                // vertical scroll offset
  int selected_row = 250;     // row plot's row
  int last_click_x = -1;      // image point of the last button release on the picture (-1: none yet)
  int last_click_y = -1;
  // Overlays drawn over the picture.
  bool guide_star_shown = false;
  int guide_x = 0;
  int guide_y = 0;
  bool focus_cross_shown = false;
  int focus_origin_x = 0;  // focus window origin last chosen by a click; the cross is at origin + 64
  int focus_origin_y = 0;
  bool selection_shown = false;  // rectangle marking a selected area (image coordinates, inclusive)
  int selection_x0 = 0;
  int selection_y0 = 0;
  int selection_x1 = 0;
  int selection_y1 = 0;
};

MouseModes& mouseModes();
void resetMouseModes(MouseModes& m);

// What other parts do with a click once the dispatcher has accepted it. Empty hooks do nothing; an
// empty find_centre leaves the point where it was.
struct ClickHooks {
  std::function<void(int row)> row_plot;                   // the row plot's selected row changed
  std::function<void(int x, int y)> merge_mark;            // a merge mark at image (x, y)
  std::function<void(int x, int y, int r)> photometry;     // sum the (2r + 1)^2 box at image (x, y)
  std::function<bool(int& x, int& y, int r)> find_centre;  // one centroid pass; false: window outside
  std::function<void(int x, int y)> move_pointer;          // put the screen pointer on image (x, y)
  std::function<void(int x, int y)> set_focus_origin;      // the focus window origin chosen by a click
  std::function<void(int x, int y)> guide_star_picked;     // the main guide star chosen by a pick
  std::function<void()> repaint;                           // redraw the window (overlays changed)
  std::function<void(int x, int y)> pointer_moved;         // photometry: the pointer is over image (x, y)
};
ClickHooks& clickHooks();

// Mode entry. Each returns the number of the message that refuses it (shown by the caller), or 0.
int photometryRefusal(const MouseModes& m, const FrameState& f);  // 35, 36 or 37
int rowPlotRefusal(const MouseModes& m, const FrameState& f);     // 35 or 38
int mergeRefusal(const MouseModes& m, const FrameState& f);       // 35, 30 or 31
int pickRefusal(const FrameState& f);                             // 33

// The commands' mode changes: each shows its refusal and returns false, or sets the mode and returns
// true. Photometry starts with radius 4; the row plot at row 250.
bool enterPhotometry(MouseModes& m, const FrameState& f);
bool enterRowPlot(MouseModes& m, const FrameState& f);
bool enterMerge(MouseModes& m, const FrameState& f);
// Pick Guide Star toggles the pick; arming it switches refinement on and takes the guide-star mask
// radius setting as the measuring radius.
// The mask radius a pick works with: the settings' value within the panel's choices (7 to 15), so a
// damaged settings file cannot make a window reach outside the frame.
inline constexpr int kSmallestMaskRadius = 7;
inline constexpr int kLargestMaskRadius = 15;
int pickRadius(int mask_radius);
bool togglePick(MouseModes& m, const FrameState& f, int mask_radius);
// Focus Frame Centre: the next click places the focus window; no refinement.
void enterFocusCentre(MouseModes& m);

// True when client (x, y) lies far enough inside the image for a box of radius r; the accepted band
// is shifted by 25 pixels while the pick is armed.
bool clickInBounds(const MouseModes& m, int x, int y);

// The focus window origin for a click at image (x, y), for a frame of width x height.
struct FocusOrigin {
  int x;
  int y;
};
FocusOrigin focusOriginForClick(int x, int y, int width, int height);
// "Default Focus Frame Centre": the origin that centres the window.
FocusOrigin defaultFocusOrigin(int width, int height);

// Pointer movement at client (x, y): while photometry runs and the point lies inside the image
// (client x, y above 1; image x below 659, y below 499) the photometry hook hears of it.
void dispatchPointerMove(const MouseModes& m, int x, int y, const ClickHooks& hooks);

enum class ClickResult { Ignored, OutOfBounds, RowPlot, Merge, FocusCentre, Pick, Photometry };

// Left-button release at client (x, y): routes the click to the active mode (message 2 when it is out
// of bounds). A right-button release during photometry switches refinement on and calls this too.
ClickResult dispatchClick(MouseModes& m, int x, int y, const ClickHooks& hooks, int frame_width = kFrameWidth,
                          int frame_height = kFrameHeight);

// Where the picture goes in a client area: stretched over it, or copied 1:1 with its top-left corner
// at (x, y) before scrolling.
struct PaintLayout {
  bool stretched;
  int x;
  int y;
};
PaintLayout paintLayout(const FrameState& f, int client_width, int client_height);
// The window background colour of the settings letter: 'l' light grey, 'g' grey, 'r' red (others
// light grey).
struct Rgb {
  int red;
  int green;
  int blue;
};
Rgb windowBackground(char letter);

// Scroll range in one direction: how far the picture exceeds the client area (0 when fitting).
int scrollRange(bool fit_to_window, int picture, int client);

}  // namespace qlm
