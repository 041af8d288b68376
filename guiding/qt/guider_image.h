#pragma once
#include <QImage>

#include "image/display.h"
#include "image/frame.h"

namespace qlm {

// The 500 x 290 guider frame as the panels draw it: the guider display bytes under the guider palette.
QImage guiderQImage(const GuiderFrame& frame, GuiderDisplaySettings& settings);

}  // namespace qlm
