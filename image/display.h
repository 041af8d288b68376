#pragma once
#include "image/frame.h"

namespace qlm {

// Display state kept between refreshes.
struct DisplayState {
  int background_level = 0;  // 0-256: from B1 with auto contrast on, else from B2 of the last paint
};

DisplayState& displayState();
void resetDisplayState(DisplayState& s);

// Background level for auto contrast (B1): the lowest most frequent high byte of elements
// 10,240-25,599.
int backgroundLevelB1(const Frame& frame, ImageBuffers& b);
// Background level after a paint (B2): mean of the three most frequent high bytes of rows 6-489,
// columns 5-654.
int backgroundLevelB2(const Frame& frame, ImageBuffers& b);

// Refreshes the display of the program-wide CurrentFrame: display bytes, palette, temporary bitmap,
// and a repaint of the window. Every operation that changes CurrentFrame calls it.
void refreshDisplay();

}  // namespace qlm
