#pragma once
#include <cstdint>
#include <optional>
#include <utility>

namespace qlm {

// The sharpness of one star, in pixels of the image measured.
struct StarMeasure {
  double peak = 0.0;  // brightest element of the star
  double x = 0.0;     // flux-weighted centre, pixel centres at whole numbers
  double y = 0.0;
  double background = 0.0;  // per element: median of a ring around the star
  double flux = 0.0;        // background-subtracted sum inside the measuring radius
  double hfr = 0.0;         // half-flux radius: the circle about the centre holding half of `flux`, less the
                            // widening that the pixels' own width adds
  double fwhm = 0.0;        // full width at half maximum of a fitted pixel-integrated Gaussian
};

// Measures the star nearest (x, y) in a width x height image of 16-bit elements (row stride `width`):
// the brightest point of the 3 x 3-smoothed image within `search` pixels of (x, y) that stands five
// noise widths above the local background with lit neighbours (so a lone hot pixel is not taken), the
// background from a ring around it, the centre, HFR and FWHM. The light of other stars nearby (any
// star parted from this one by a valley) is masked: pixels nearer another star count as their mirror
// image through this star's centre. Nothing when no star stands above the background there or the
// star is too close to the edge to measure.
std::optional<StarMeasure> measureStar(const std::uint16_t* pixels, int width, int height, int x, int y,
                                       int search = 10);
// The same on an image of floats (a float stack).
std::optional<StarMeasure> measureStar(const float* pixels, int width, int height, int x, int y,
                                       int search = 10);

}  // namespace qlm

namespace qlm {

// The brightest star of a width x height image whose centre lies at least `margin` pixels inside every
// edge: the largest 3 x 3 sum among the points that stand out as measureStar's stars do (five noise
// widths above the image's sky, lit neighbours; a lone hot pixel is no star). Nothing when none does.
std::optional<std::pair<int, int>> brightestStar(const std::uint16_t* pixels, int width, int height,
                                                 int margin);

}  // namespace qlm
