#include "image/stretch_model.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "platform/platform.h"

namespace qlm {

int stepWithin(int value, BarAction action, int thumb, int lo, int hi) {
  switch (action) {
    case BarAction::LineUp:
    case BarAction::PageUp:
      return value > lo ? value - 1 : value;
    case BarAction::LineDown:
    case BarAction::PageDown:
      return value < hi ? value + 1 : value;
    case BarAction::Thumb:
      return std::clamp(thumb, lo, hi);
  }
  return value;
}

bool parseFieldValue(const std::string& text, int lo, int hi, int& value) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first])))
    ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1])))
    --last;
  if (first == last) return false;
  int v = 0;
  const char* end = text.data() + last;
  const auto [ptr, ec] = std::from_chars(text.data() + first, end, v);
  if (ec != std::errc() || ptr != end || v < lo || v > hi) return false;
  value = v;
  return true;
}

void StretchModel::scrollBlack(BarAction action, int thumb) {
  switch (action) {
    case BarAction::LineUp:
      if (black_ > 0) --black_;
      break;
    case BarAction::LineDown:
      if (black_ < 255 && white_ - black_ > 1) ++black_;
      break;
    case BarAction::PageUp:
      if (black_ > 9) black_ -= 10;
      break;
    case BarAction::PageDown:
      if (black_ < 246 && white_ - black_ > 10) black_ += 10;
      break;
    case BarAction::Thumb:
      if (thumb < white_) black_ = std::clamp(thumb, 0, 255);
      break;
  }
}

void StretchModel::scrollWhite(BarAction action, int thumb) {
  switch (action) {
    case BarAction::LineUp:
      if (white_ - black_ > 1) --white_;
      break;
    case BarAction::LineDown:
      if (white_ < 300) ++white_;
      break;
    case BarAction::PageUp:
      if (white_ > 9 && white_ - black_ > 10) white_ -= 10;
      break;
    case BarAction::PageDown:
      if (white_ <= 290) white_ += 10;
      break;
    case BarAction::Thumb:
      if (thumb > black_) white_ = std::clamp(thumb, 1, 300);
      break;
  }
}

StretchModel::Bar StretchModel::bar(int value) const {
  const int h = counters_[static_cast<std::size_t>(std::clamp(value, 0, 255))] / 5;
  return Bar{std::min(h, kBarLimit), h > kBarLimit};
}

void PowerModel::scroll(BarAction action) {
  // Arrows only: 0.1 per step between 0.1 and 3.0; the thumb and page areas do nothing.
  if (action == BarAction::LineDown && tenths_ < 30) ++tenths_;
  if (action == BarAction::LineUp && tenths_ > 1) --tenths_;
}

std::string PowerModel::text() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%1.1f", tenths_ / 10.0);
  return buf;
}

void PowerModel::help() const {
  platform().ui->messageBox("QLM_T4_USB - Power Law Stretch",
                            "Use controls to vary power from 0.1 to 3.0, where powers greater than 1 will "
                            "increase contrast, and powers less than 1 will reduce contrast.",
                            MessageButtons::Ok, MessageIcon::None);
}

void NonLinearModel::scroll(BarAction action, const std::string& typed) {
  parseFieldValue(typed, 1, 50, power_);
  if (action == BarAction::LineUp && power_ > 2) --power_;
  if (action == BarAction::LineDown && power_ < 50) ++power_;
}

bool NonLinearModel::accept(const std::string& typed) {
  if (parseFieldValue(typed, 1, 50, power_)) return true;
  power_ = 25;
  return false;
}

void NonLinearModel::help() const {
  platform().ui->messageBox("QLM_T4_USB - NonLiniar Filter", "Use controls to vary the Power from 2 to 50",
                            MessageButtons::Ok, MessageIcon::None);
}

}  // namespace qlm
