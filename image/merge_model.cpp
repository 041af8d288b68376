#include "image/merge_model.h"

#include <charconv>

#include "image/frame.h"

namespace qlm {

void MergeModel::start() {
  active_ = true;
  base_marking_ = true;
  average_ = false;
  base_x_ = base_y_ = merge_x_ = merge_y_ = 0;
}

void MergeModel::mark(int x, int y) {
  if (base_marking_) {
    base_x_ = x;
    base_y_ = y;
  } else {
    merge_x_ = x;
    merge_y_ = y;
  }
}

void MergeModel::setSuperimpose(bool on) {
  superimpose_ = on;
  if (on) centre_ = false;
}

void MergeModel::setCentre(bool on) {
  centre_ = on;
  if (on) superimpose_ = false;
}

int& MergeModel::ref(Field f) {
  switch (f) {
    case Field::BaseX:
      return base_x_;
    case Field::BaseY:
      return base_y_;
    case Field::MergeX:
      return merge_x_;
    case Field::MergeY:
      break;
  }
  return merge_y_;
}

int MergeModel::value(Field f) const {
  return const_cast<MergeModel*>(this)->ref(f);
}

std::string MergeModel::text(Field f) const {
  return std::to_string(value(f));
}

void MergeModel::setText(Field f, const std::string& text) {
  int v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || ptr != end) return;
  const bool column = f == Field::BaseX || f == Field::MergeX;
  if (v < 0 || v > (column ? kFrameWidth - 1 : kLastRow)) return;  // marks are frame positions
  ref(f) = v;
}

std::optional<MergeModel::Combine> MergeModel::merge() {
  if (base_marking_) return std::nullopt;
  active_ = false;
  Combine c{merge_x_ - base_x_, merge_y_ - base_y_, average_};
  if (superimpose_) c.dx = c.dy = 0;
  superimpose_ = false;
  average_ = false;
  return c;
}

}  // namespace qlm
