#pragma once
#include "guiding/guider.h"

namespace qlm {

// Main-camera training and guiding on the 128 x 128 guide window around the main guide star.

// "Train Auto-Guiding": nothing with drive method None. Places the guide window, measures the star,
// sends eight pulses (north, north, south, south, east, east, west, west) of 1000 Tm ms less the
// hysteresis, and turns the moves into the main rates and backlash, saved in the settings file. A star
// that did not move, a star whose window left the image at a step's second centroid, or a frame the
// camera did not deliver keeps the previous values. True when trained.
bool TrainMain(const GuidingView& view = {});

// "Start Auto-Guiding": nothing with drive method None. Guides on the guide window until a key or mouse
// button press, then "AutoGuiding Terminated"; a frame the camera did not deliver ends it with the link's
// message alone (camera_failed set). True when it ran.
bool runMainGuiding(const GuidingView& view = {});

}  // namespace qlm
