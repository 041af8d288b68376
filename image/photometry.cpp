#include "image/photometry.h"

#include <cmath>
#include <cstdio>

namespace qlm {

namespace {
std::string format(const char* fmt, double v) {
  char text[64];
  std::snprintf(text, sizeof text, fmt, v);
  return text;
}

std::size_t index(PhotometrySlot s) {
  return static_cast<std::size_t>(s);
}
}  // namespace

std::int32_t apertureSum(const Frame& frame, int x, int y, int a) {
  std::int32_t sum = 0;
  for (int row = y - a; row <= y + a; ++row) {
    if (row < 0 || row >= kFrameHeight) continue;
    for (int col = x - a; col <= x + a; ++col)
      if (col >= 0 && col < kFrameWidth) sum += frame[static_cast<std::size_t>(row) * kFrameWidth + col];
  }
  return sum;
}

void PhotometryModel::start() {
  *this = PhotometryModel{};
}

void PhotometryModel::chooseAperture(int radius) {
  bool known = false;
  for (const auto& b : kApertureButtons)
    known = known || b.radius == radius;
  if (!known) return;
  radius_ = radius;
  xs_ = {};
  ys_ = {};
  sums_ = {};
  background_measured_ = false;
  object_star_.reset();
}

void PhotometryModel::chooseSlot(PhotometrySlot slot) {
  slot_ = slot;
  if (slot == PhotometrySlot::Background) background_measured_ = true;
}

void PhotometryModel::click(const Frame& frame, int x, int y) {
  const std::size_t i = index(slot_);
  xs_[i] = x;
  ys_[i] = y;
  sums_[i] = apertureSum(frame, x, y, radius_);
  if (slot_ == PhotometrySlot::Object)
    object_star_ = measureStar(frame.data(), kFrameWidth, kFrameHeight, x, y);
}

void PhotometryModel::pointer(int x, int y, std::uint16_t value) {
  cursor_x_ = x;
  cursor_y_ = y;
  cursor_value_ = value;
}

std::optional<double> PhotometryModel::magnitudeDifference() const {
  const double o = sum(PhotometrySlot::Object);
  const double c = sum(PhotometrySlot::Comparison);
  const double b = background_measured_ ? sum(PhotometrySlot::Background) : 0.0;
  if (o == 0 || c == 0 || o <= b || c <= b) return std::nullopt;
  return -2.5 * std::log10((o - b) / (c - b));
}

PhotometryFields PhotometryModel::fields(int background_level) const {
  PhotometryFields f;
  const double n = (2.0 * radius_ + 1) * (2.0 * radius_ + 1);
  auto pos = [&](PhotometrySlot s, std::string& fx, std::string& fy) {
    fx = std::to_string(xs_[index(s)]);
    fy = std::to_string(ys_[index(s)]);
  };
  pos(PhotometrySlot::Object, f.object_x, f.object_y);
  pos(PhotometrySlot::Comparison, f.comparison_x, f.comparison_y);
  pos(PhotometrySlot::Background, f.background_x, f.background_y);
  f.cursor_x = std::to_string(cursor_x_);
  f.cursor_y = std::to_string(cursor_y_);
  f.cursor_value = format("%6.0f", cursor_value_);
  f.object_mean = format("%7.0f", sum(PhotometrySlot::Object) / n);
  f.comparison_mean = format("%7.0f", sum(PhotometrySlot::Comparison) / n);
  f.background =
      format("%7.0f", background_measured_ ? sum(PhotometrySlot::Background) / n : background_level * 256.0);
  if (const auto m = magnitudeDifference()) f.magnitude = format("%2.2f", *m);
  if (object_star_) {
    f.object_hfr = format("%.2f", object_star_->hfr);
    f.object_fwhm = format("%.2f", object_star_->fwhm);
  }
  return f;
}

}  // namespace qlm
