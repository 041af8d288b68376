#pragma once
#include <cstdint>
#include <utility>
#include <vector>

namespace qlm::sim {

// The simulated sky and the two camera heads that look at it. Sky coordinates are main-sensor pixels:
// (0, 0) is the centre of the main sensor's top-left pixel, x grows to the right and y downwards.

struct Star {
  double x_px = 0.0;  // sky position, main-sensor pixels
  double y_px = 0.0;
  double flux_e_per_s = 0.0;  // electrons per second the main head collects from the whole star
};

struct SkyConfig {
  std::uint64_t seed = 0x51A4C0DEULL;  // star field, hot pixels, seeing and noise all follow from it
  int star_count = 140;
  // Area the stars are scattered over, sky coordinates (covers both heads' views).
  double field_left_px = -150.0;
  double field_top_px = -150.0;
  double field_right_px = 810.0;
  double field_bottom_px = 650.0;
  // Beyond that area, stars of the same density out to this half size about the main sensor's centre,
  // so that a guider turned any way, or a mount moved far, still sees a star field.
  double outer_field_half_px = 1500.0;
  double brightest_star_e_per_s = 300000.0;
  double faintest_star_e_per_s = 1500.0;
  // A bright star in the middle of the default focus window, so focus mode and guiding find one.
  bool bright_star_at_centre = true;
  double sky_background_e_per_s = 40.0;  // per main-sensor pixel
  double best_focus_steps = 5000.0;      // focuser position of the sharpest image
  double best_fwhm_px = 2.6;             // star full width at half maximum at best focus, sky pixels
  double fwhm_px_per_step = 0.004;       // FWHM growth per focuser step away from best focus, sky pixels
  double seeing_jitter_px = 0.15;        // rms wander of the whole image from frame to frame, sky pixels
  // What the telescope looks at: the sky, or with `capped` nothing at all (dark current and hot pixels
  // only, for taking darks), or with `flat_field` an even light with no stars (for taking flats).
  bool capped = false;
  bool flat_field = false;
  double flat_field_e_per_s = 20000.0;  // the flat light per main-sensor pixel before the optics
};

struct HeadConfig {
  int width_px = 660;  // sensor size, head pixels
  int height_px = 494;
  // Where the head looks: head pixel (0, 0) lies at sky (origin_x_px, origin_y_px); one head pixel
  // spans `scale` sky pixels; the head's x axis is turned by rotation_deg from the sky's x axis.
  double origin_x_px = 0.0;
  double origin_y_px = 0.0;
  double scale = 1.0;
  double rotation_deg = 0.0;
  double throughput = 1.0;  // share of the main head's electrons this head collects per star
  double gain_e_per_adu = 1.5;
  double bias_adu = 900.0;
  double read_noise_e = 12.0;
  double dark_current_e_per_s = 0.5;  // per pixel
  int hot_pixel_count = 12;
  double hot_pixel_e_per_s = 4000.0;
  // The optics in front of the head: the share of the light lost at the sensor's corners (falling
  // off as the square of the distance from the centre) and out-of-focus dust shadows (soft discs).
  double vignetting = 0.0;
  int dust_motes = 0;
  bool follows_focuser = true;     // false: stars stay at best focus whatever the focuser does
  std::uint64_t noise_stream = 0;  // keeps the heads' noise apart
};

HeadConfig mainHeadConfig();
HeadConfig guiderHeadConfig();

// One frame to render: a window of the head (unbinned head pixels), its binning and the conditions.
struct RenderRequest {
  int x0 = 0;
  int y0 = 0;
  int width = 0;
  int height = 0;
  int hbin = 1;
  int vbin = 1;
  double exposure_s = 0.0;
  double focuser_steps = 5000.0;
  double shift_x_px = 0.0;  // displacement of the whole sky image (pointing), sky pixels
  double shift_y_px = 0.0;
  std::uint64_t frame = 0;    // chooses this frame's noise and seeing wander
  bool noise = true;          // false: no shot noise, read noise or wander (exact profiles)
  double transmission = 1.0;  // share of the starlight that reaches the sensor (clouds dim it)
};

struct HeadPoint {
  double x = 0.0;
  double y = 0.0;
};

// Renders frames of the sky. Every method is const and depends only on its inputs and the
// configuration, so the same request always gives the same pixels.
class SkyRenderer {
 public:
  explicit SkyRenderer(const SkyConfig& config = {});
  SkyRenderer(const SkyConfig& config, std::vector<Star> stars);

  const SkyConfig& config() const { return config_; }
  const std::vector<Star>& stars() const { return stars_; }

  // Star FWHM in head pixels at a focuser position.
  double fwhmHeadPx(const HeadConfig& head, double focuser_steps) const;
  // Where a sky point lands on a head (head pixel coordinates, pixel centres at whole numbers).
  HeadPoint skyToHead(const HeadConfig& head, double x_px, double y_px) const;
  // The seeing wander of the whole image in one frame (sky pixels; none when `noise` is off).
  HeadPoint wander(const HeadConfig& head, std::uint64_t frame, bool noise = true) const;
  // The head's hot pixels, as (x, y).
  std::vector<std::pair<int, int>> hotPixels(const HeadConfig& head) const;
  // The share of the light the optics pass to head pixel (x, y): vignetting and dust, 1 without them.
  double opticsShare(const HeadConfig& head, int x, int y) const;

  // Writes (width / hbin) x (height / vbin) 16-bit values, row by row. Pixels outside the sensor
  // collect no light; the analogue converter clamps at 0 and 65535.
  void render(const HeadConfig& head, const RenderRequest& request, std::uint16_t* out) const;

 private:
  SkyConfig config_;
  std::vector<Star> stars_;
};

// The star field a configuration scatters.
std::vector<Star> scatterStars(const SkyConfig& config);

}  // namespace qlm::sim
