#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_setup.h"

namespace qlm::indi {

// What the INDI driver asks of the camera, free of INDI itself so that it can be tested on its own:
// one open camera (the USB camera or the simulated rig), the main and guider head exposures split into
// a start and a finish so that the event loop stays free while the sensor integrates, relay pulses
// split the same way, the filter wheel and the AO unit. Every byte goes through the core's link,
// readout, telescope and AO routines on the platform's transport.
//
// Time: the USB camera runs on the computer's clock. The simulated rig runs on a virtual clock that
// moves only by what the camera and the driver wait, exactly as the command-line tool's simulator
// does, so that the same requests give the same pixels; the driver paces those waits with its own
// timers so that a client still sees an exposure take its time.

// A message the core showed (the text of a message box) or a line of the session's own.
using MessageSink = std::function<void(const std::string&)>;

// Readout shapes of the main head.
enum class MainMode { Full, Binned, Window };

// Sizes of the images the session hands out.
inline constexpr int kMainWidth = 660;  // the sensor, without the frame's six leading rows
inline constexpr int kMainHeight = 494;
inline constexpr int kWindowSize = 128;
inline constexpr int kGuideWidth = 500;
inline constexpr int kGuideHeight = 290;

// One image: width x height values, row by row.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint16_t> pixels;
};

// Logical guide directions of the relay port and the AO unit.
enum class Axis { NorthSouth = 0, EastWest = 1 };
enum class GuideDir { North, South, East, West };

class T4Session {
 public:
  explicit T4Session(MessageSink sink);
  ~T4Session();
  T4Session(const T4Session&) = delete;
  T4Session& operator=(const T4Session&) = delete;

  // Opens the camera: the settings file of the data root is loaded, then the camera is looked for.
  // With `simulate` the simulated rig is switched on the first time (its keys from `sim_keys`,
  // "KEY=VALUE KEY=VALUE") and kept across reconnects, with its cable plugged in again. Returns an
  // empty text on success, else why it failed.
  std::string connect(bool simulate, const std::string& sim_keys);
  // Releases the relays and closes the camera. The simulated rig is kept; `forget_simulator` drops it
  // (the next simulated connect switches a new one on).
  void disconnect(bool forget_simulator = false);
  bool connected() const { return connected_; }
  bool simulated() const { return sim_ != nullptr; }
  sim::SimSystem* simulator() { return sim_.get(); }
  Clock& clock() { return *clock_; }

  // --- Main head ---
  // Starts a main exposure of `ms` milliseconds: the clears and status poll that start it. `x`, `y`
  // place the 128 x 128 window (sensor pixels) in Window mode. False when the camera cannot be reached.
  bool startMain(std::uint32_t ms, MainMode mode, int x = 0, int y = 0);
  // Wall milliseconds the driver should let pass after the start before it finishes the exposure:
  // the exposure itself on a camera that times it here or on the paced simulator, 0 when the camera
  // times it itself (up to 1000 ms) or the simulator is not paced.
  std::uint32_t mainWallMs() const;
  // On the computer's clock: sends the flushing clears that are due by now (call it now and then).
  void tickMain();
  // Waits out what is left of the exposure on the session's clock and reads the frame. Nothing (after
  // a message) when the frame did not arrive.
  std::optional<Image> finishMain();
  void abortMain() { main_active_ = false; }
  bool mainActive() const { return main_active_; }

  // --- Guider head (exposures in hundredths of a second, as the guider counts them) ---
  bool startGuide(std::uint32_t ms);
  std::uint32_t guideWallMs() const;
  std::optional<Image> finishGuide();
  void abortGuide() { guide_active_ = false; }
  bool guideActive() const { return guide_active_; }
  // The exposure the guider really takes for a request of `ms`.
  static std::uint32_t guiderMs(std::uint32_t ms);

  // --- Relay port (ST4) ---
  // Closes the relay of the direction (letters and swaps from the settings) on its axis. False when
  // the camera cannot be reached.
  bool startPulse(GuideDir dir, std::uint32_t ms);
  std::uint32_t pulseWallMs(Axis axis) const;
  // Opens that axis's relay again once its time is up on the session's clock.
  void finishPulse(Axis axis);
  bool pulseActive(Axis axis) const { return pulses_[static_cast<int>(axis)].active; }

  // --- Filter wheel ---
  int filterCount() const;
  std::vector<std::string> filterNames() const;
  void setFilterNames(const std::vector<std::string>& names);
  // Turns the wheel; false for a slot the wheel message cannot reach (only 1 to 7 exist).
  bool selectFilter(int slot);
  int currentFilter() const;

  // --- AO unit ---
  // Tilts by `steps` towards `dir` (cut at the travel); returns the steps sent.
  int aoStep(GuideDir dir, int steps);
  void aoCentre();
  int aoTiltX() const;  // east +
  int aoTiltY() const;  // north +
  int aoTravel() const { return ao_travel_; }
  void setAOTravel(int steps) { ao_travel_ = steps; }
  bool aoAtLimitNS() const;
  bool aoAtLimitWE() const;

  // Whether the simulator's waits are paced by the driver's timers (true) or taken at once.
  void setPaced(bool paced) { paced_ = paced; }
  bool paced() const { return paced_; }
  // Pulls or plugs the simulated camera's cable.
  void setCablePulled(bool pulled);

  // The last message the core showed during the session (empty when none).
  const std::string& lastMessage() const { return last_message_; }

 private:
  class SessionUi;
  bool cameraReady();
  // The exposure wait of the main head from t0 up to `upto` ms, flushing as a capture does.
  void mainWait(std::uint32_t upto);
  // On the simulator's clock: before a wait jumps it to `until`, opens the relays of every pulse that
  // ends by then at its own end, so that an exposure finishing meanwhile does not lengthen a pulse.
  void settlePulses(std::uint32_t until);

  MessageSink sink_;
  std::unique_ptr<SessionUi> ui_;
  std::unique_ptr<Clock> real_clock_;
  std::unique_ptr<VirtualClock> virtual_clock_;
  Clock* clock_ = nullptr;
  std::unique_ptr<sim::SimSystem> sim_;
  std::unique_ptr<Transport> usb_;
  std::unique_ptr<ScopedPlatform> scoped_;
  bool connected_ = false;
  bool paced_ = true;
  std::string last_message_;

  bool main_active_ = false;
  MainMode main_mode_ = MainMode::Full;
  std::uint32_t main_ms_ = 0;
  std::uint32_t main_t0_ = 0;
  std::uint32_t main_flush_ = 0;

  bool guide_active_ = false;
  std::uint32_t guide_ms_ = 0;
  std::uint32_t guide_t0_ = 0;

  struct Pulse {
    bool active = false;
    std::uint16_t bit = 0;
    std::uint32_t ms = 0;
    std::uint32_t t0 = 0;
  };
  Pulse pulses_[2];
  int ao_travel_ = 150;
};

// Splits "KEY=VALUE KEY=VALUE" into its settings; empty parts are skipped.
std::vector<std::string> splitSimKeys(const std::string& text);

}  // namespace qlm::indi
