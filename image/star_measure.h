#pragma once
#include <cstdint>
#include <optional>

namespace qlm {

// The sharpness of one star, in pixels of the image measured.
struct StarMeasure {
  std::uint16_t peak = 0;  // brightest element of the star
  double x = 0.0;          // flux-weighted centre, pixel centres at whole numbers
  double y = 0.0;
  double background = 0.0;  // per element: median of a ring around the star
  double flux = 0.0;        // background-subtracted sum inside the measuring radius
  double hfr = 0.0;         // half-flux radius: the circle about the centre holding half of `flux`, less the
                            // widening that the pixels' own width adds
  double fwhm = 0.0;        // full width at half maximum of a fitted pixel-integrated Gaussian
};

// Measures the star nearest (x, y) in a width x height image of 16-bit elements (row stride `width`):
// the brightest point of the 3 x 3-smoothed image within `search` pixels of (x, y) (so a lone hot pixel
// is not taken), the background from a ring around it, the centre, HFR and FWHM. Nothing when no star
// stands above the background there or the star is too close to the edge to measure.
std::optional<StarMeasure> measureStar(const std::uint16_t* pixels, int width, int height, int x, int y,
                                       int search = 10);

}  // namespace qlm
