#include "image/max_model.h"

#include <algorithm>

namespace qlm {

MaxModel::MaxModel(bool& active, double& power, std::function<void()> refresh)
    : active_(active), power_(power), refresh_(std::move(refresh)) {}

void MaxModel::changed() {
  if (refresh_) refresh_();
}

void MaxModel::toggleActivate() {
  active_ = !active_;
  changed();
}

void MaxModel::lineUp() {
  if (power_ > kMinPower) power_ -= 1;
  changed();
}

void MaxModel::lineDown() {
  if (power_ < kMaxPower) power_ += 1;
  changed();
}

void MaxModel::pageUp() {
  power_ = kMinPower;
  changed();
}

void MaxModel::pageDown() {
  power_ = kMaxPower;
  changed();
}

void MaxModel::thumb(int position) {
  power_ = std::clamp(position, kMinPower, kMaxPower);
  changed();
}

}  // namespace qlm
