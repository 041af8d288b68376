#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "image/frame.h"
#include "image/star_measure.h"
#include "platform/ui.h"

namespace qlm {

// The aperture buttons of the photometry dialog, shown as diameters.
struct ApertureButton {
  const char* text;
  int radius;  // a: the aperture is (2a + 1) x (2a + 1)
};
inline constexpr std::array<ApertureButton, 6> kApertureButtons{{{"Single Pixel", 0},
                                                                 {"5 Pixels", 2},
                                                                 {"7 Pixels", 3},
                                                                 {"9 Pixels", 4},
                                                                 {"13 Pixels", 6},
                                                                 {"17 Pixels", 8}}};
inline constexpr int kStartAperture = 4;

// Which slot the next click fills.
enum class PhotometrySlot { Object, Comparison, Background };

// The texts of the photometry dialog's fields.
struct PhotometryFields {
  std::string object_x, object_y;
  std::string comparison_x, comparison_y;
  std::string background_x, background_y;
  std::string cursor_x, cursor_y, cursor_value;          // value "%6.0f"
  std::string object_mean, comparison_mean, background;  // "%7.0f" each
  std::string magnitude;                                 // "%2.2f", or empty
  std::string object_hfr, object_fwhm;                   // pixels "%.2f", empty without a star
};

// The rules of the "PHOTOMETRY" dialog (TPHDialog): aperture, slots and their sums over the frame,
// the cursor, and the magnitude difference.
class PhotometryModel : public PanelModel {
 public:
  static constexpr const char* kCaption = "PHOTOMETRY";
  static constexpr const char* kHelpCaption = "QLM_T4_USB - Control Photometry";
  static constexpr const char* kHelpText =
      "Select the value you wish to record when you next press the left mouse button";

  // Mode start: aperture radius 4, slot Object, every position and sum 0, no background measured.
  void start();
  // An aperture button: the radius (0, 2, 3, 4, 6 or 8); clears every position, sum and the
  // background mark. Other radii are ignored.
  void chooseAperture(int radius);
  // A slot button: only chooses which slot the next click fills; choosing Background marks the
  // background as measured at once.
  void chooseSlot(PhotometrySlot slot);
  // A click at frame (x, y): the chosen slot takes the position and the sum of `frame` over rows
  // y - a to y + a and columns x - a to x + a (the caller keeps the box inside the frame). An object
  // click also measures the star there for HFR and FWHM.
  void click(const Frame& frame, int x, int y);
  // The pointer is over frame (x, y), whose element is `value`.
  void pointer(int x, int y, std::uint16_t value);

  int radius() const { return radius_; }
  PhotometrySlot slot() const { return slot_; }
  std::int32_t sum(PhotometrySlot s) const { return sums_[static_cast<std::size_t>(s)]; }
  bool backgroundMeasured() const { return background_measured_; }
  // The magnitude difference, or nothing when the object or comparison sum is 0 or not above the
  // background sum (0 when no background has been measured).
  std::optional<double> magnitudeDifference() const;
  // Field texts; `background_level` is the display's background level (0-256), shown x 256 while no
  // background has been measured.
  PhotometryFields fields(int background_level) const;

 private:
  int radius_ = kStartAperture;
  PhotometrySlot slot_ = PhotometrySlot::Object;
  std::array<int, 3> xs_{};
  std::array<int, 3> ys_{};
  std::array<std::int32_t, 3> sums_{};
  bool background_measured_ = false;
  int cursor_x_ = 0;
  int cursor_y_ = 0;
  std::uint16_t cursor_value_ = 0;
  std::optional<StarMeasure> object_star_;
};

// The sum of `frame` over the (2a + 1)^2 box centred on (x, y); elements outside the frame count 0.
std::int32_t apertureSum(const Frame& frame, int x, int y, int a);

}  // namespace qlm
