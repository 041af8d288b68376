#include "sim/sim_setup.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>

namespace qlm::sim {

namespace {

// A key's text form and how a value is stored.
struct KeyRule {
  const char* name;
  const char* unit;
  const char* meaning;
  std::function<std::string(const SimOptions&)> show;
  std::function<bool(SimOptions&, const std::string&)> set;
};

std::string number(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

bool parseDouble(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

// A real-valued key between lo and hi.
KeyRule real(const char* name, const char* unit, const char* meaning,
             std::function<double&(SimOptions&)> field, double lo, double hi) {
  auto get = [field](const SimOptions& o) {
    SimOptions copy = o;
    return number(field(copy));
  };
  auto set = [field, lo, hi](SimOptions& o, const std::string& text) {
    double v = 0.0;
    if (!parseDouble(text, v) || v < lo || v > hi) return false;
    field(o) = v;
    return true;
  };
  return {name, unit, meaning, get, set};
}

KeyRule whole(const char* name, const char* unit, const char* meaning, std::function<int&(SimOptions&)> field,
              int lo, int hi) {
  auto get = [field](const SimOptions& o) {
    SimOptions copy = o;
    return std::to_string(field(copy));
  };
  auto set = [field, lo, hi](SimOptions& o, const std::string& text) {
    double v = 0.0;
    if (!parseDouble(text, v) || v != std::floor(v) || v < lo || v > hi) return false;
    field(o) = static_cast<int>(v);
    return true;
  };
  return {name, unit, meaning, get, set};
}

// An on/off key.
KeyRule onOff(const char* name, const char* meaning, std::function<bool&(SimOptions&)> field) {
  auto get = [field](const SimOptions& o) {
    SimOptions copy = o;
    return std::string(field(copy) ? "on" : "off");
  };
  auto set = [field](SimOptions& o, const std::string& text) {
    if (text != "on" && text != "off") return false;
    field(o) = text == "on";
    return true;
  };
  return {name, "on|off", meaning, get, set};
}

const char* faultName(ReplyFault f) {
  switch (f) {
    case ReplyFault::Silent:
      return "silent";
    case ReplyFault::Short:
      return "short";
    case ReplyFault::Garbage:
      return "garbage";
    default:
      return "none";
  }
}

const char* modelName(MountModel m) {
  switch (m) {
    case MountModel::Lx200:
      return "lx200";
    case MountModel::Autostar:
      return "autostar";
    default:
      return "auto";
  }
}

const char* transferFaultName(SimTransport::TransferFault f) {
  switch (f) {
    case SimTransport::TransferFault::Short:
      return "short";
    case SimTransport::TransferFault::Unplug:
      return "unplug";
    default:
      return "fail";
  }
}

const std::vector<KeyRule>& rules() {
  static const std::vector<KeyRule> list = {
      {"seed", "integer", "star field, hot pixels, seeing and noise",
       [](const SimOptions& o) { return std::to_string(o.camera.sky.seed); },
       [](SimOptions& o, const std::string& t) {
         char* end = nullptr;
         errno = 0;
         const unsigned long long v = std::strtoull(t.c_str(), &end, 10);
         if (t.empty() || t[0] == '-' || errno != 0 || end != t.c_str() + t.size()) return false;
         o.camera.sky.seed = v;
         return true;
       }},
      real(
          "clouds_at_s", "s", "clouds hide the stars from this time after switch-on (-1: never)",
          [](SimOptions& o) -> double& { return o.camera.clouds_at_s; }, -1, 1e7),
      real(
          "clouds_for_s", "s",
          "the clouds pass after this long (-1: they stay); they come at clouds_at_s, else 60 s after "
          "switch-on",
          [](SimOptions& o) -> double& { return o.camera.clouds_for_s; }, -1, 1e7),
      real(
          "clouds_transmission", "share", "share of the starlight that gets through the clouds",
          [](SimOptions& o) -> double& { return o.camera.clouds_transmission; }, 0, 1),
      whole(
          "stars", "count", "stars scattered over the field",
          [](SimOptions& o) -> int& { return o.camera.sky.star_count; }, 0, 100000),
      real(
          "seeing_px", "main px rms", "frame-to-frame wander of the image",
          [](SimOptions& o) -> double& { return o.camera.sky.seeing_jitter_px; }, 0, 100),
      onOff("cap", "the telescope capped: no sky and no stars, dark current and hot pixels only",
            [](SimOptions& o) -> bool& { return o.camera.sky.capped; }),
      onOff("flat_field", "an even light source in front of the telescope (no stars), through the optics",
            [](SimOptions& o) -> bool& { return o.camera.sky.flat_field; }),
      real(
          "flat_field_e_per_s", "e/s per px", "brightness of the flat_field light",
          [](SimOptions& o) -> double& { return o.camera.sky.flat_field_e_per_s; }, 0, 1e8),
      real(
          "vignetting", "share", "light lost at the main head's corners (falls off as distance squared)",
          [](SimOptions& o) -> double& { return o.camera.main_head.vignetting; }, 0, 1),
      whole(
          "dust", "count", "dust shadows (soft discs) on the main head",
          [](SimOptions& o) -> int& { return o.camera.main_head.dust_motes; }, 0, 1000),
      real(
          "main_arcsec_per_px", "arcsec/px", "plate scale of the main head",
          [](SimOptions& o) -> double& { return o.mount.main_arcsec_per_px; }, 0.01, 1000),
      real(
          "guider_arcsec_per_px", "arcsec/px", "plate scale of the guider head",
          [](SimOptions& o) -> double& { return o.guider_arcsec_per_px; }, 0.01, 1000),
      real(
          "guider_rotation_deg", "degrees", "turn of the guider head against the main head",
          [](SimOptions& o) -> double& { return o.camera.guider_head.rotation_deg; }, -360, 360),
      real(
          "ra_h", "hours", "RA the mount points at when switched on",
          [](SimOptions& o) -> double& { return o.mount.start_ra_hours; }, 0, 24),
      real(
          "dec_deg", "degrees", "Dec the mount points at when switched on",
          [](SimOptions& o) -> double& { return o.mount.start_dec_deg; }, -90, 90),
      real(
          "pe_arcsec", "arcsec peak to peak", "periodic error in RA (a sum of sines)",
          [](SimOptions& o) -> double& { return o.mount.pe_peak_to_peak_arcsec; }, 0, 3600),
      real(
          "pe_period_s", "s", "period of the periodic error's main term",
          [](SimOptions& o) -> double& { return o.mount.pe_period_s; }, 0, 86400),
      real(
          "drift_ra_arcsec_per_s", "arcsec/s", "tracking drift in RA",
          [](SimOptions& o) -> double& { return o.mount.drift_ra_arcsec_per_s; }, -3600, 3600),
      real(
          "drift_dec_arcsec_per_s", "arcsec/s", "drift in Dec",
          [](SimOptions& o) -> double& { return o.mount.drift_dec_arcsec_per_s; }, -3600, 3600),
      real(
          "dec_backlash_arcsec", "arcsec", "play taken up on every Dec reversal",
          [](SimOptions& o) -> double& { return o.mount.dec_backlash_arcsec; }, 0, 3600),
      real(
          "guide_rate", "x sidereal", "rate of guide pulses and the Guide rate",
          [](SimOptions& o) -> double& { return o.mount.guide_rate_x; }, 0, 10000),
      real(
          "centre_rate", "x sidereal", "the Centre rate of manual moves",
          [](SimOptions& o) -> double& { return o.mount.centre_rate_x; }, 0, 10000),
      real(
          "find_rate", "x sidereal", "the Find rate of manual moves",
          [](SimOptions& o) -> double& { return o.mount.find_rate_x; }, 0, 10000),
      real(
          "slew_rate", "x sidereal", "the Slew rate of manual moves and go-to",
          [](SimOptions& o) -> double& { return o.mount.slew_rate_x; }, 0.01, 10000),
      real(
          "focuser_steps", "steps", "focuser position when switched on",
          [](SimOptions& o) -> double& { return o.mount.focuser_steps; }, -1e6, 1e6),
      real(
          "best_focus_steps", "steps", "focuser position of the sharpest image",
          [](SimOptions& o) -> double& { return o.camera.sky.best_focus_steps; }, -1e6, 1e6),
      real(
          "focus_fast_steps_per_s", "steps/s", "focuser speed after \"#:FF#\"",
          [](SimOptions& o) -> double& { return o.mount.focus_fast_steps_per_s; }, 0, 1e6),
      real(
          "focus_slow_steps_per_s", "steps/s", "focuser speed after \"#:FS#\"",
          [](SimOptions& o) -> double& { return o.mount.focus_slow_steps_per_s; }, 0, 1e6),
      whole(
          "mount_port", "camera serial port", "port the mount listens on (0 is the program's Com 1)",
          [](SimOptions& o) -> int& { return o.mount_port; }, 0, 1),
      whole(
          "wheel_port", "camera serial port", "port the filter wheel listens on",
          [](SimOptions& o) -> int& { return o.wheel_port; }, 0, 1),
      {"mount", "auto|lx200|autostar",
       "the mount that answers (auto: the one the program's drive method names; an Autostar answers 5 ms "
       "late)",
       [](const SimOptions& o) { return std::string(modelName(o.mount.model)); },
       [](SimOptions& o, const std::string& t) {
         for (MountModel m : {MountModel::Auto, MountModel::Lx200, MountModel::Autostar}) {
           if (t != modelName(m)) continue;
           o.mount.model = m;
           return true;
         }
         return false;
       }},
      real(
          "reply_delay_ms", "ms", "time the mount takes to answer (-1: as the mount model answers)",
          [](SimOptions& o) -> double& { return o.mount_reply_delay_ms; }, -1, 10000),
      real(
          "ao_step_arcsec", "arcsec", "image shift of one AO tilt step",
          [](SimOptions& o) -> double& { return o.ao.step_arcsec; }, 0, 3600),
      whole(
          "ao_travel_steps", "steps", "AO tilt limit of travel either side of centre",
          [](SimOptions& o) -> int& { return o.ao.travel_steps; }, 0, 99999),
      real(
          "ao_mount_arcsec_per_count", "arcsec", "mount move per count of an AO mount move (M)",
          [](SimOptions& o) -> double& { return o.ao.mount_arcsec_per_count; }, 0, 3600),
      real(
          "ao_relay_steps_per_ms", "steps/ms", "AO tilt speed while a relay input is held",
          [](SimOptions& o) -> double& { return o.ao.relay_steps_per_ms; }, 0, 1000),
      whole(
          "ao_port", "camera serial port", "port the AO unit listens on (0 is the program's Com 2)",
          [](SimOptions& o) -> int& { return o.ao_port; }, 0, 1),
      whole(
          "ao_relays", "0|1", "1: the AO unit is on the relay socket instead of the mount's guide port",
          [](SimOptions& o) -> int& { return o.ao_relays; }, 0, 1),
      {"fault.ao", "none|silent|noecho",
       "silent: the AO unit hears nothing and never answers; noecho: it moves but never echoes",
       [](const SimOptions& o) {
         return std::string(o.ao.silent ? "silent" : (o.ao.echo ? "none" : "noecho"));
       },
       [](SimOptions& o, const std::string& t) {
         if (t != "none" && t != "silent" && t != "noecho") return false;
         o.ao.silent = t == "silent";
         o.ao.echo = t != "noecho";
         return true;
       }},
      {"fault.mount_reply", "none|silent|short|garbage", "how the mount answers",
       [](const SimOptions& o) { return std::string(faultName(o.mount.reply_fault)); },
       [](SimOptions& o, const std::string& t) {
         for (ReplyFault f : {ReplyFault::None, ReplyFault::Silent, ReplyFault::Short, ReplyFault::Garbage}) {
           if (t != faultName(f)) continue;
           o.mount.reply_fault = f;
           return true;
         }
         return false;
       }},
      real(
          "fault.unplug_ms", "ms", "the camera's cable is pulled this long after switch-on (-1: never)",
          [](SimOptions& o) -> double& { return o.camera.unplug_ms; }, -1, 4e9),
      whole(
          "fault.write_fails", "count", "the camera's first N writes fail",
          [](SimOptions& o) -> int& { return o.write_fails; }, 0, 1000000000),
      whole(
          "fault.read_fails", "count", "the camera's first N reads fail",
          [](SimOptions& o) -> int& { return o.read_fails; }, 0, 1000000000),
      whole(
          "fault.transfer", "transfer number",
          "this camera transfer (writes and reads counted together from 0) meets fault.transfer_kind (-1: "
          "none)",
          [](SimOptions& o) -> int& { return o.fault_transfer; }, -1, 2147483647),
      {"fault.transfer_kind", "fail|short|unplug",
       "fail: an I/O error; short: half the bytes; unplug: the cable is pulled just before it",
       [](const SimOptions& o) { return std::string(transferFaultName(o.fault_transfer_kind)); },
       [](SimOptions& o, const std::string& t) {
         using F = SimTransport::TransferFault;
         for (F f : {F::Fail, F::Short, F::Unplug}) {
           if (t != transferFaultName(f)) continue;
           o.fault_transfer_kind = f;
           return true;
         }
         return false;
       }},
  };
  return list;
}

}  // namespace

SimOptions defaultSimOptions() {
  SimOptions o;
  o.mount.drift_ra_arcsec_per_s = 0.02;
  o.mount.drift_dec_arcsec_per_s = 0.01;
  return o;
}

std::vector<SimKey> simKeys() {
  const SimOptions defaults = defaultSimOptions();
  std::vector<SimKey> keys;
  for (const KeyRule& r : rules())
    keys.push_back({r.name, r.unit, r.show(defaults), r.meaning});
  return keys;
}

std::string simHelpText() {
  std::string text = "Simulator settings (--sim KEY=VALUE, repeatable):\n";
  for (const SimKey& k : simKeys()) {
    std::string line = "  " + k.name + "=" + k.default_value;
    line.resize(std::max<std::size_t>(line.size() + 1, 36), ' ');
    text += line + "[" + k.unit + "] " + k.meaning + "\n";
  }
  return text;
}

std::string applySimSetting(SimOptions& options, std::string_view key_value) {
  const std::size_t eq = key_value.find('=');
  if (eq == std::string_view::npos)
    return "simulator setting '" + std::string(key_value) + "' needs KEY=VALUE";
  const std::string key(key_value.substr(0, eq));
  const std::string value(key_value.substr(eq + 1));
  for (const KeyRule& r : rules()) {
    if (key != r.name) continue;
    if (!r.set(options, value))
      return "bad value '" + value + "' for simulator setting " + key + " [" + r.unit + "]";
    return {};
  }
  return "unknown simulator setting '" + key + "' (see --sim-help)";
}

namespace {
SimCameraConfig cameraFor(const SimOptions& o, std::uint32_t start_ms) {
  SimCameraConfig c = o.camera;
  c.start_ms = start_ms;
  c.guider_head.scale = o.guider_arcsec_per_px / o.mount.main_arcsec_per_px;
  c.focuser_steps = o.mount.focuser_steps;
  return c;
}
}  // namespace

namespace {
MountConfig mountFor(const SimOptions& o) {
  MountConfig m = o.mount;
  m.reply_delay_ms = o.mount_reply_delay_ms < 0 ? -1 : static_cast<int>(o.mount_reply_delay_ms);
  return m;
}
}  // namespace

SimSystem::SimSystem(const SimOptions& options, std::uint32_t start_ms, std::time_t start_calendar)
    : options_(options),
      transport_(cameraFor(options, start_ms)),
      mount_(mountFor(options), start_ms, start_calendar),
      ao_(options.ao, &mount_, options.mount.main_arcsec_per_px) {
  transport_.attachSerial(options_.mount_port, mount_);
  transport_.attachSerial(options_.wheel_port, wheel_);
  if (options_.ao_relays != 0) {
    transport_.attachRelays(ao_);
  } else {
    transport_.attachRelays(mount_);
    transport_.attachSerial(options_.ao_port, ao_);
  }
  transport_.setImageShiftSource([this](std::uint32_t at_ms) {
    return ImageShift{mount_.shiftXPxAt(at_ms) + ao_.shiftXPxAt(at_ms),
                      mount_.shiftYPxAt(at_ms) + ao_.shiftYPxAt(at_ms)};
  });
  transport_.setFocuserSource([this](std::uint32_t at_ms) { return mount_.focuserAt(at_ms); });
  if (options_.write_fails > 0) transport_.failWrites(options_.write_fails);
  if (options_.read_fails > 0) transport_.failReads(options_.read_fails);
  if (options_.fault_transfer >= 0)
    transport_.faultAtTransfer(static_cast<std::uint64_t>(options_.fault_transfer),
                               options_.fault_transfer_kind);
}

}  // namespace qlm::sim
