#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/frame.h"

namespace qlm {

// The running stack shown while a series is taken: every frame aligned on one star by whole pixels
// (no resampling blur) and added to wide sums, so the stack is the float mean of the frames kept. A
// frame whose star is lost, or whose star's HFR is above 1.5 x the median HFR of the frames kept so
// far, is rejected and counted; the series goes on.
class LiveStack {
 public:
  struct Verdict {
    bool added = false;
    double hfr = 0.0;    // of the alignment star in this frame (0 when it was not found)
    std::string reason;  // why a frame was rejected: "star lost", "no star", "hfr 2.10 > 1.5 x 1.32"
  };

  LiveStack();

  // Back to no frames.
  void reset();
  // Adds one 660 x 500 frame (already dark-subtracted and flat-fielded as the series does it). The
  // first frame sets the star: the one near `star` when given (the pick), else the brightest that can
  // be followed; later frames look for it within 15 pixels of where it was last seen.
  Verdict add(const std::uint16_t* frame, std::optional<std::pair<int, int>> star = std::nullopt);

  int added() const { return added_; }
  int rejected() const { return rejected_; }
  // The mean of the frames kept, per element (kFrameElements, in the first frame's place); zeros before
  // the first frame. Elements a shift left uncovered in some frames are the mean of those covering them.
  const std::vector<float>& mean() const { return mean_; }
  // The mean as a 16-bit frame, each element rounded and clamped to 0-65535.
  void toFrame(Frame& out) const;
  // Signal-to-noise of the alignment star in the mean: its light within an aperture of twice the median
  // HFR (at least 3 pixels) over the sky noise of that aperture (a ring 8-14 pixels out). 0 without a
  // frame.
  double snr() const;
  // Where the star stands in the mean (first frame's place).
  std::pair<double, double> starPosition() const { return {ref_x_, ref_y_}; }

 private:
  void refreshMean();

  std::vector<double> sum_;
  std::vector<std::uint16_t> depth_;
  std::vector<float> mean_;
  std::vector<double> hfrs_;
  bool started_ = false;
  double ref_x_ = 0.0;  // the star in the first frame
  double ref_y_ = 0.0;
  double last_x_ = 0.0;  // where it was last seen
  double last_y_ = 0.0;
  int added_ = 0;
  int rejected_ = 0;
};

// An automatic display stretch of a float image: the black point a little below the sky
// (median - 2.8 sigma), the white point at the brightest element, and a midtone curve that puts the sky
// at a quarter of full scale. One byte per element.
std::vector<std::uint8_t> autoStretch(const std::vector<float>& image);

}  // namespace qlm
