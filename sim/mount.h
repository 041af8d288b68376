#pragma once
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sim/serial_device.h"

namespace qlm::sim {

inline constexpr double kSiderealArcsecPerS = 15.041;             // the sky's turn, arcseconds per second
inline constexpr std::time_t kDefaultStartCalendar = 1700000000;  // 2023-11-14, the virtual clock's start

// How the mount answers, for fault tests.
enum class ReplyFault {
  None,     // the replies an LX200 gives
  Silent,   // never answers
  Short,    // answers only the first half of each reply, without its '#'
  Garbage,  // answers bytes of noise, as long as the real reply, without '#'
};

// Which mount answers: an LX200 answers at once, an Autostar hand controller a few milliseconds late
// (the program reads an Autostar's replies a second time, 10 ms later). Auto: the mount the program's
// drive method names (setModelSource), else an LX200.
enum class MountModel { Auto, Lx200, Autostar };
inline constexpr std::uint32_t kAutostarReplyDelayMs = 5;

struct MountConfig {
  double start_ra_hours = 0.0;  // where the mount points at switch-on
  double start_dec_deg = 0.0;
  double main_arcsec_per_px = 1.9;  // plate scale of the main head (sky pixels)
  // Periodic error in RA: a sum of sines (fundamental and second harmonic), scaled to this peak-to-peak.
  double pe_peak_to_peak_arcsec = 8.0;
  double pe_period_s = 480.0;
  double drift_ra_arcsec_per_s = 0.0;  // tracking drift
  double drift_dec_arcsec_per_s = 0.0;
  double dec_backlash_arcsec = 6.0;  // play of the Dec gears, taken up on every reversal
  // Rates in multiples of the sidereal rate: guide (relays and "#:RG#"), centre, find and slew.
  double guide_rate_x = 0.5;
  double centre_rate_x = 8.0;
  double find_rate_x = 64.0;
  double slew_rate_x = 480.0;
  double focuser_steps = 5000.0;  // focuser position at switch-on
  double focus_fast_steps_per_s = 200.0;
  double focus_slow_steps_per_s = 20.0;
  ReplyFault reply_fault = ReplyFault::None;
  MountModel model = MountModel::Auto;
  // Milliseconds a reply takes to become readable; negative: as the model answers.
  int reply_delay_ms = -1;
};

// Where the mount points (arcseconds) at one moment.
struct MountPointing {
  double ra_arcsec = 0.0;  // RA as an angle (15 arcseconds per second of time), 0 to 1,296,000
  double dec_arcsec = 0.0;
};

// One command or relay change the mount received, for tests.
struct MountEvent {
  std::uint32_t at_ms = 0;
  std::string text;  // the command between "#:" and "#" ("Me", "LM 0031" ...), "relays N" or "ao move"
};

// A telescope mount speaking the LX200 command set on a camera serial port, with a guide port on the
// relay socket. Time is the clock readings the camera passes with each byte; the mount integrates its
// motion between them. It keeps a record of every byte and command it received.
class Mount final : public SerialDevice, public RelayDevice {
 public:
  // `start_calendar` is the calendar time (seconds since the epoch, UT) at `start_ms`: the planets of
  // the object library stand where they are on that date.
  explicit Mount(const MountConfig& config = {}, std::uint32_t start_ms = 0,
                 std::time_t start_calendar = kDefaultStartCalendar);

  void receive(const std::uint8_t* data, std::size_t n, std::uint32_t at_ms) override;
  std::size_t reply(std::uint8_t* out, std::size_t n, std::uint32_t at_ms) override;
  void relays(std::uint16_t value, std::uint32_t at_ms) override;
  // A move that something else drove at `at_ms` (the AO unit through its own mount cable): the RA axis
  // and the Dec motor turn by these arcseconds at once (east and north positive; Dec play applies).
  void guideBy(double ra_arcsec, double dec_arcsec, std::uint32_t at_ms);

  // Where the mount's axes are at `at_ms` (what it reports), and where the telescope really points:
  // the axes plus periodic error and drift.
  MountPointing axesAt(std::uint32_t at_ms);
  MountPointing pointingAt(std::uint32_t at_ms);
  // The displacement of the sky image on the main head, main-head pixels, against the start pointing.
  double shiftXPxAt(std::uint32_t at_ms);
  double shiftYPxAt(std::uint32_t at_ms);
  double focuserAt(std::uint32_t at_ms);

  // Periodic error alone (arcseconds in RA) at a time after switch-on.
  double periodicErrorArcsec(double t_s) const;
  // Rate of a rate letter ('G', 'C', 'M', 'S'), arcseconds per second.
  double rateArcsecPerS(char letter) const;

  void setReplyFault(ReplyFault fault) { config_.reply_fault = fault; }
  // With the model Auto, which mount answers is asked of `source` at every reply.
  void setModelSource(std::function<MountModel()> source) { model_source_ = std::move(source); }
  MountModel model() const;
  std::uint32_t replyDelayMs() const;
  std::time_t calendarAt(std::uint32_t at_ms) const;
  const MountConfig& config() const { return config_; }
  // What the mount received: the latest 64 KB of bytes and 4,096 events of a run (the oldest half is
  // dropped when either is full).
  const std::string& receivedBytes() const { return received_bytes_; }
  const std::vector<MountEvent>& events() const { return events_; }
  // Received command texts in order, each with its "#:" and "#" ("#:RG#" ...).
  std::vector<std::string> commands() const;
  void clearLog() {
    received_bytes_.clear();
    events_.clear();
  }
  bool slewing() const { return slewing_; }

 private:
  struct Axes {
    double ra = 0.0;         // RA axis, arcseconds
    double dec_motor = 0.0;  // Dec motor, arcseconds
    double dec = 0.0;        // Dec axis behind the gear play
    double focuser = 0.0;
  };
  struct Sample {
    std::uint32_t at_ms;
    Axes axes;
  };
  void advance(std::uint32_t at_ms);
  Axes axesAfter(const Axes& from, double dt_s) const;
  Axes axesInterpolated(std::uint32_t at_ms);
  void execute(const std::string& command, std::uint32_t at_ms);
  void answer(const std::string& text, std::uint32_t at_ms);
  double secondsSinceStart(std::uint32_t at_ms) const;

  MountConfig config_;
  std::function<MountModel()> model_source_;
  std::uint32_t start_ms_;
  std::time_t start_calendar_;
  double start_ra_arcsec_;
  double start_dec_arcsec_;
  double pe_scale_ = 0.0;

  Axes axes_;
  std::uint32_t last_ms_;
  std::deque<Sample> history_;
  // Motion in hand: manual moves (-1, 0, +1 per axis) at the chosen rate, guide relays, slews, focus.
  char rate_letter_ = 'S';
  int move_ra_ = 0;
  int move_dec_ = 0;
  std::uint16_t relay_bits_ = 0;
  bool slewing_ = false;
  double target_ra_ = 0.0;
  double target_dec_ = 0.0;
  bool have_target_ = false;
  std::string target_name_;
  bool library_miss_ = false;  // the last selection named an object the library lacks
  double focus_rate_ = 0.0;    // steps per second, signed
  bool focus_fast_ = false;

  // Command parser and the answer waiting to be read.
  bool after_hash_ = false;
  bool collecting_ = false;
  std::string command_;
  std::deque<std::pair<std::uint32_t, char>> output_;  // each byte with the time it becomes readable
  std::uint64_t garbage_state_ = 0x2545F4914F6CDD1DULL;

  std::string received_bytes_;
  std::vector<MountEvent> events_;
};

}  // namespace qlm::sim
