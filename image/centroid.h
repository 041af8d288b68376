#pragma once
#include <cstdint>

namespace qlm {

// A star position to a tenth of a pixel: whole pixels (x, y) of the image and the first decimal digit
// of each (tx, ty, 0 to 9; both 0 in the nearest-pixel form).
struct CentroidResult {
  int x = 0;
  int y = 0;
  int tx = 0;
  int ty = 0;
};

enum class CentroidForm {
  Tenths,        // x = left + trunc(cx), tx = its first decimal digit
  NearestPixel,  // x = left + trunc(cx + 0.5), tx = 0
};

// The centroid's program-wide record: the last main-image and guider-image results and the working
// radius the picks, trainings and guiding loops hand to the centroid (start-up value 4).
struct CentroidState {
  CentroidResult main;
  CentroidResult guider;
  int working_radius = 4;
};

CentroidState& centroidState();
void resetCentroidState(CentroidState& s);

// What decides the image geometry and result form of FindCentre (the caller copies them from the
// guiding state and the settings; the defaults describe a plain measurement on the current frame).
struct CentreConditions {
  bool main_guiding_or_training = false;  // main-camera guiding or training is active
  bool guide_window_set = false;          // the 128 x 128 guide window has been placed
  bool guider_pick_armed = false;         // the guider panel's pick is armed
  bool ignore_drift = false;              // the "Ignore drift < 1 pixel" setting
  int frame_width = 660;                  // the current frame's size
  int frame_height = 500;
};

// Where FindCentre measures and puts its result under `when`.
struct CentreTarget {
  int width = 0;
  int height = 0;
  CentroidForm form = CentroidForm::NearestPixel;
  bool into_guider_result = false;
};
CentreTarget findCentreTarget(const CentreConditions& when);

// Background level of a window whose fullest histogram bin (16 values wide) is `bin`: the bin's
// lower edge raised by 4 %, computed as bin x 16.64 in 32-bit float and truncated (10 -> 166,
// 100 -> 1664, 255 -> 4243). Held in a wide integer, so bins of 3939 and more do not wrap.
std::int32_t centroidBackground(int bin);

// The centroid of the (2r + 1)^2 window centred on image pixel (x, y) of a width x height image (row
// stride = width). Returns 0 and writes `result` in `form`; returns 1 and leaves `result` alone when
// the window does not fit, after the box "Find centre failed - outside image area". A window with
// nothing above its mean level gives its top-left corner. Touches only the window.
int measureCentroid(const std::uint16_t* image, int width, int height, int x, int y, int r, CentroidForm form,
                    CentroidResult& result);

// The main-image centroid: measures on the image of findCentreTarget(when) and writes the main or the
// guider result of `state` in the form it names. 0 on success, 1 when the window does not fit.
int FindCentre(int x, int y, const std::uint16_t* image, int r, const CentreConditions& when = {},
               CentroidState& state = centroidState());

// The guider-image centroid: always the 500 x 290 guider image, tenths form, into the guider result.
int FindGuiderCentre(int x, int y, const std::uint16_t* image, int r, CentroidState& state = centroidState());

}  // namespace qlm
