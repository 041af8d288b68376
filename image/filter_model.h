#pragma once
#include <string>

#include "image/stretch_model.h"
#include "platform/ui.h"

namespace qlm {

// The rules of the "Median Filter" dialog: radius 1-3 (start 1), power 1-10 tenths (start 6).
class MedianModel : public PanelModel {
 public:
  static constexpr const char* kPanelName = "Median Filter";

  int radius() const { return radius_; }
  int power() const { return power_; }
  void scrollRadius(BarAction action, int thumb = 0) { radius_ = stepWithin(radius_, action, thumb, 1, 3); }
  void scrollPower(BarAction action, int thumb = 0) { power_ = stepWithin(power_, action, thumb, 1, 10); }
  std::string radiusText() const { return std::to_string(radius_); }
  std::string powerText() const;  // "%1.1f" of power x 0.1
  void help() const;

 private:
  int radius_ = 1;
  int power_ = 6;
};

// The rules of the "Unsharp Mask Filter" dialog: radius 1-7 (start 3), power 1-7 (start 1).
class UnsharpModel : public PanelModel {
 public:
  static constexpr const char* kPanelName = "Unsharp Mask Filter";

  int radius() const { return radius_; }
  int power() const { return power_; }
  void scrollRadius(BarAction action, int thumb = 0) { radius_ = stepWithin(radius_, action, thumb, 1, 7); }
  void scrollPower(BarAction action, int thumb = 0) { power_ = stepWithin(power_, action, thumb, 1, 7); }
  std::string radiusText() const { return std::to_string(radius_); }
  std::string powerText() const { return std::to_string(power_); }
  void help() const;

 private:
  int radius_ = 3;
  int power_ = 1;
};

}  // namespace qlm
