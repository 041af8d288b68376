#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/frame.h"
#include "image/live_stack.h"

namespace qlm {

// The forms "Save Stack" offers.
enum class LiveStackFormat {
  FloatFits,  // 32-bit float FITS (BITPIX -32): the mean as it is
  Fits16,     // the program's 16-bit FITS: the mean rounded
  Tiff,       // the program's 8-bit TIFF of the picture as shown (auto-stretched)
};

// The rules of the live stack window: a series stacked frame by frame as the camera panel finishes
// each one, the line under the picture and the save. The Qt window only shows and forwards.
class LiveStackModel {
 public:
  // A new series: no frames yet.
  void start();
  // A finished frame of the series; `star` is the picked star, if any.
  LiveStack::Verdict addFrame(const Frame& frame, std::optional<std::pair<int, int>> star = std::nullopt);
  // "Frames: 7   Rejected: 1   SNR: 45.2", and the last frame's verdict after it.
  std::string statusText() const;
  // The picture: the mean auto-stretched, one byte per element, 660 x 500.
  std::vector<std::uint8_t> picture() const { return autoStretch(stack_.mean()); }
  // Saves the stack with the program's FITS details; false when it could not be written.
  bool save(const std::filesystem::path& path, LiveStackFormat format) const;
  const LiveStack& stack() const { return stack_; }

 private:
  LiveStack stack_;
  int frames_ = 0;
  std::string last_;
  double seconds_ = 0.0;  // the exposures of the frames kept
};

}  // namespace qlm
