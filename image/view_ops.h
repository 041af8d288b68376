#pragma once
#include "image/frame.h"

namespace qlm {

// Mirrors the frame left to right below its label band, through `scratch` (the program's SecondFrame).
void mirrorImage(Frame& frame, Frame& scratch);
// Flips the frame top to bottom below its label band, through `scratch`; the label band stays.
void flipImage(Frame& frame, Frame& scratch);

}  // namespace qlm
