#include "image/view_ops.h"

#include <algorithm>

namespace qlm {

namespace {
std::uint16_t* row(Frame& f, int r) {
  return f.data() + static_cast<std::size_t>(r) * kFrameWidth;
}

void copyBack(Frame& frame, const Frame& scratch, int first_row) {
  const auto start = static_cast<std::size_t>(first_row) * kFrameWidth;
  std::copy(scratch.begin() + static_cast<std::ptrdiff_t>(start), scratch.begin() + kFrameElements,
            frame.begin() + static_cast<std::ptrdiff_t>(start));
}
}  // namespace

void mirrorImage(Frame& frame, Frame& scratch) {
  const int s = firstImageRow(frame.data());
  for (int r = s; r <= kLastRow; ++r)
    std::reverse_copy(row(frame, r), row(frame, r) + kFrameWidth, row(scratch, r));
  copyBack(frame, scratch, s);
}

void flipImage(Frame& frame, Frame& scratch) {
  const int s = firstImageRow(frame.data());
  for (int r = s; r <= kLastRow; ++r)
    std::copy_n(row(frame, r), kFrameWidth, row(scratch, s + kLastRow - r));
  copyBack(frame, scratch, s);
}

}  // namespace qlm
