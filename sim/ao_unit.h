#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/serial_device.h"

namespace qlm::sim {

class Mount;

struct AOConfig {
  double step_arcsec = 0.76;  // image shift of one tilt step
  int travel_steps = 150;     // the tilt stops at +/- this many steps from centre on each axis
  // A mount move "M" + direction + count moves the mount by count x this (0.01: 100 gives 1").
  double mount_arcsec_per_count = 0.01;
  double relay_steps_per_ms = 1.0;  // tilt speed while a relay input is held (relay wiring)
  bool silent = false;              // a dead unit: it hears nothing and never answers
  bool echo = true;                 // false: it moves as told but never answers "H"
};

// One command the unit understood, for tests: "GW00010", "MT00100", "K", "H", "relay 7" ...
struct AOEvent {
  std::uint32_t at_ms = 0;
  std::string text;
};

// A simulated AO unit. On a serial port it reads 7-byte commands "G" (tilt), "M" (move the mount) with a
// direction 'N', 'S', 'T' (east) or 'W' and five digits, the single byte "K" (centre) and "H" (answered
// "H"); other bytes are skipped. On the relay socket the value 7, 11, 13 or 14 tilts east, north, south
// or west while it is held (one step per millisecond), 15 is the rest state and 0 centres. The tilt
// shifts the image on both heads: a north step moves it as a north guide pulse of the mount does, an east
// step as a west pulse does (the unit's east/west is the mirror of the mount's).
class AOUnit final : public SerialDevice, public RelayDevice {
 public:
  AOUnit(const AOConfig& config, Mount* mount, double main_arcsec_per_px);

  void receive(const std::uint8_t* data, std::size_t n, std::uint32_t at_ms) override;
  std::size_t reply(std::uint8_t* out, std::size_t n, std::uint32_t at_ms) override;
  void relays(std::uint16_t value, std::uint32_t at_ms) override;

  // Tilt in steps at a moment (east +x, north +y), and the image shift it gives, main-sensor pixels.
  int tiltXAt(std::uint32_t at_ms) const;
  int tiltYAt(std::uint32_t at_ms) const;
  double shiftXPxAt(std::uint32_t at_ms) const;
  double shiftYPxAt(std::uint32_t at_ms) const;
  int tiltX() const { return tilt_x_; }
  int tiltY() const { return tilt_y_; }

  const std::vector<AOEvent>& events() const { return events_; }  // the latest 4,096 of a run
  // Command texts in order (events without their times).
  std::vector<std::string> commands() const;
  void clearLog() { events_.clear(); }
  int mountMoves() const { return mount_moves_; }
  int largestTilt() const { return largest_tilt_; }  // the largest |tilt| reached on either axis
  int stopsAtTravel() const { return stops_; }       // steps cut short by the limit of travel
  const AOConfig& config() const { return config_; }
  void setSilent(bool silent) { config_.silent = silent; }
  void setEcho(bool echo) { config_.echo = echo; }

 private:
  void execute(const std::string& command, std::uint32_t at_ms);
  void tilt(char direction, int steps, std::uint32_t at_ms);
  void record(std::uint32_t at_ms);

  AOConfig config_;
  Mount* mount_;
  double main_arcsec_per_px_;
  int tilt_x_ = 0;
  int tilt_y_ = 0;
  struct Sample {
    std::uint32_t at_ms;
    int x;
    int y;
  };
  std::deque<Sample> history_;
  std::string command_;  // the serial command being read
  std::string output_;   // the answer waiting to be read
  std::uint16_t relay_value_ = 15;
  std::uint32_t relay_since_ms_ = 0;
  int mount_moves_ = 0;
  int largest_tilt_ = 0;
  int stops_ = 0;
  std::vector<AOEvent> events_;
};

}  // namespace qlm::sim
