#include "guiding/phd2_log.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "guiding/guide_log.h"
#include "platform/version.h"

namespace qlm {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The rows of one leg: its start (step 0) and each position after it, measured from the start.
void addLeg(Phd2Calibration& c, const char* direction, double x0, double y0,
            std::initializer_list<std::pair<double, double>> after) {
  c.steps.push_back({direction, 0, 0.0, 0.0, x0, y0});
  int step = 0;
  for (const auto& [x, y] : after)
    c.steps.push_back({direction, ++step, x - x0, y - y0, x, y});
}

// A value as "%.3f" writes it, without the "-0.000" of a tiny negative one.
double tidy(double v) {
  return std::abs(v) < 0.0005 ? 0.0 : v;
}

std::string pixelScaleText(const std::optional<double>& scale) {
  return scale ? formatted("%.2f arc-sec/px", *scale) : std::string("unknown");
}

}  // namespace

double phd2AngleDegrees(double x, double y) {
  if (x == 0.0 && y == 0.0) return 0.0;
  return std::atan2(y, x) * 180.0 / kPi;
}

std::string phd2Time(std::time_t seconds) {
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

Phd2Calibration phd2GuiderCalibration(const GuiderTrainingPositions& p, const GuiderTraining& r,
                                      int t_seconds, std::time_t start_seconds) {
  Phd2Calibration c;
  c.start_seconds = start_seconds;
  c.camera = "Guider head";
  c.pulse_ms = 1000 * (t_seconds < 1 ? 1 : t_seconds);
  c.lock_x = p.x[0];
  c.lock_y = p.y[0];
  const auto& x = p.x;
  const auto& y = p.y;
  addLeg(c, "West", x[0], y[0], {{x[1], y[1]}, {x[2], y[2]}, {x[3], y[3]}});
  addLeg(c, "East", x[3], y[3], {{x[4], y[4]}});
  addLeg(c, "Backlash", x[5], y[5], {{x[6], y[6]}});
  addLeg(c, "North", x[6], y[6], {{x[7], y[7]}});
  addLeg(c, "South", x[7], y[7], {{x[8], y[8]}});
  c.west_angle_deg = phd2AngleDegrees(r.west_x, r.west_y);
  c.west_rate = std::hypot(r.west_x, r.west_y);
  c.north_angle_deg = phd2AngleDegrees(r.north_x, r.north_y);
  c.north_rate = std::hypot(r.north_x, r.north_y);
  return c;
}

Phd2Calibration phd2MainCalibration(const MainTrainingPositions& p, const MainTraining& r, int tm_seconds,
                                    std::time_t start_seconds) {
  Phd2Calibration c;
  c.start_seconds = start_seconds;
  c.camera = "Main head, guide window";
  c.pulse_ms = 1000 * (tm_seconds < 1 ? 1 : tm_seconds);
  const auto& x = p.x;
  const auto& y = p.y;
  // The Dec legs run before x0 is measured (it is taken after the last South pulse), the RA legs after
  // the last y.
  c.lock_x = x[0];
  c.lock_y = y[0];
  addLeg(c, "North", x[0], y[0], {{x[0], y[1]}, {x[0], y[2]}});
  addLeg(c, "South", x[0], y[2], {{x[0], y[3]}, {x[0], y[4]}});
  addLeg(c, "East", x[0], y[4], {{x[1], y[4]}, {x[2], y[4]}});
  addLeg(c, "West", x[2], y[4], {{x[3], y[4]}, {x[4], y[4]}});
  // The main camera is not turned: each axis lies along the sensor's, its sign as the star moved.
  c.west_angle_deg = x[4] >= x[3] ? 0.0 : 180.0;
  c.west_rate = r.ra_rate;
  c.north_angle_deg = y[2] >= y[1] ? 90.0 : -90.0;
  c.north_rate = r.dec_rate;
  return c;
}

std::string phd2OpeningLine(std::time_t seconds) {
  return formatted("PHD2 version QLM_T4_USB %s, Log version 2.5. Log enabled at %s\n", kVersion,
                   phd2Time(seconds).c_str());
}

std::string phd2CalibrationText(const Phd2Calibration& c) {
  std::string t = "\nCalibration Begins at " + phd2Time(c.start_seconds) + "\n";
  t += "Equipment Profile = QLM_T4_USB\n";
  t += "Camera = " + c.camera + "\n";
  t += formatted("Calibration step = %d ms\n", c.pulse_ms);
  t += formatted("Lock position = %.3f, %.3f, Star position = %.3f, %.3f\n", c.lock_x, c.lock_y, c.lock_x,
                 c.lock_y);
  t += "Direction,Step,dx,dy,x,y,Dist\n";
  for (const Phd2CalibrationStep& s : c.steps)
    t += formatted("%s,%d,%.3f,%.3f,%.3f,%.3f,%.3f\n", s.direction, s.step, tidy(s.dx), tidy(s.dy), s.x, s.y,
                   std::hypot(s.dx, s.dy));
  t += formatted("West calibration complete. Angle = %.1f deg, Rate = %.3f px/sec, Parity = N/A\n",
                 c.west_angle_deg, c.west_rate);
  t += formatted("North calibration complete. Angle = %.1f deg, Rate = %.3f px/sec, Parity = N/A\n",
                 c.north_angle_deg, c.north_rate);
  t += "Calibration complete, mount = " + c.camera + ".\n";
  return t;
}

std::string phd2GuidingHeaderText(const Phd2GuidingHeader& h) {
  std::string t = "\nGuiding Begins at " + phd2Time(h.start_seconds) + "\n";
  t += "Dither = both axes, Image noise reduction = none, Guide-frame time lapse = 0\n";
  const std::string focal = h.focal_length_mm > 0 ? formatted("%.0f mm", h.focal_length_mm) : "unknown";
  t += "Pixel scale = " + pixelScaleText(h.pixel_scale) + ", Binning = 1, Focal length = " + focal + "\n";
  t += "Equipment Profile = QLM_T4_USB\n";
  t += "Camera = " + h.camera + "\n";
  t += formatted("Exposure = %d ms\n", h.exposure_ms);
  const std::string axes = formatted(
      "%s, xAngle = %.1f, xRate = %.3f, yAngle = %.1f, yRate = %.3f, parity = N/A/N/A",
      h.guiding ? "guiding enabled" : "guiding disabled", h.x_angle_deg, h.x_rate, h.y_angle_deg, h.y_rate);
  // The viewer reads the axes from the line of the device that corrects.
  t += (h.ao ? "AO = AO unit, connected, " : "Mount = " + h.mount + ", connected, ") + axes + "\n";
  t += "X guide algorithm = " + h.x_algorithm + "\n";
  t += "Y guide algorithm = " + h.y_algorithm + "\n";
  t += formatted("Backlash comp = RA %d px, Dec %d px\n", h.ra_backlash_px, h.dec_backlash_px);
  t += formatted("Max RA duration = %d, Max DEC duration = %d, DEC guide mode = Auto\n", h.max_ra_ms,
                 h.max_dec_ms);
  t += "Dec = Unknown, Hour angle = Unknown, Pier side = Unknown, Rotator pos = N/A\n";
  t += formatted("Lock position = %.3f, %.3f, Star position = %.3f, %.3f\n", h.lock_x, h.lock_y, h.star_x,
                 h.star_y);
  t += "Frame,Time,mount,dx,dy,RARawDistance,DECRawDistance,RAGuideDistance,DECGuideDistance,RADuration,"
       "RADirection,DECDuration,DECDirection,XStep,YStep,StarMass,SNR,ErrorCode\n";
  return t;
}

std::string phd2FrameLine(const Phd2Frame& f) {
  if (f.dropped)
    return formatted("%d,%.3f,\"DROP\",,,,,,,,,,,,,%.0f,%.2f,%d,\"%s\"\n", f.frame, f.time_s, f.star_mass,
                     f.snr, f.error_code, f.status.c_str());
  std::string t =
      formatted("%d,%.3f,\"%s\",%.3f,%.3f,%.3f,%.3f,%.3f,%.3f,", f.frame, f.time_s, f.ao ? "AO" : "Mount",
                tidy(f.dx), tidy(f.dy), tidy(f.ra_raw), tidy(f.dec_raw), tidy(f.ra_guide), tidy(f.dec_guide));
  if (f.ao) {
    t += formatted(",,,,%d,%d,", f.ra_ms, f.dec_ms);
  } else {
    const auto dir = [](int ms, char d) { return ms > 0 && d != 0 ? std::string(1, d) : std::string(); };
    t += formatted("%d,%s,%d,%s,,,", f.ra_ms, dir(f.ra_ms, f.ra_dir).c_str(), f.dec_ms,
                   dir(f.dec_ms, f.dec_dir).c_str());
  }
  t += formatted("%.0f,%.2f,%d\n", f.star_mass, f.snr, f.error_code);
  return t;
}

std::string phd2DitherLine(double dx, double dy, double lock_x, double lock_y) {
  return formatted("INFO: DITHER by %.3f, %.3f, new lock pos = %.3f, %.3f\n", dx, dy, lock_x, lock_y);
}

std::string phd2SettlingLine(Phd2Settling state, double distance_px) {
  const char* what = state == Phd2Settling::Started    ? "Settling started"
                     : state == Phd2Settling::Complete ? "Settling complete"
                                                       : "Settling failed, settle timed out";
  return formatted("INFO: SETTLING STATE CHANGE, %s, distance = %.2f px\n", what, distance_px);
}

std::string phd2EndText(const Phd2Summary& s) {
  std::string t = "Guiding Ends at " + phd2Time(s.end_seconds) + "\n";
  const double total = std::hypot(s.rms_ra_px, s.rms_dec_px);
  t += formatted("Frames = %d, dropped = %d, corrections = %d\n", s.frames, s.dropped, s.corrections);
  t += formatted("RMS RA = %.3f px, Dec = %.3f px, Total = %.3f px", s.rms_ra_px, s.rms_dec_px, total);
  if (s.pixel_scale) {
    const double k = *s.pixel_scale;
    t += formatted(" (RA = %.2f, Dec = %.2f, Total = %.2f arc-sec)", s.rms_ra_px * k, s.rms_dec_px * k,
                   total * k);
  } else {
    t += " (pixel scale unknown)";
  }
  t += "\n";
  return t;
}

std::string phd2ClosingLine(std::time_t seconds) {
  return "\nLog closed at " + phd2Time(seconds) + "\n";
}

}  // namespace qlm
