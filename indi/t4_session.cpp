#include "indi/t4_session.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "guiding/ao_unit.h"
#include "guiding/lx200.h"
#include "guiding/telescope.h"
#include "image/frame.h"
#include "platform/usb_libusb.h"

namespace qlm::indi {

// The driver's Ui: a message box becomes a line for the INDI log (answered with its first button);
// everything that would need a window is silent or cancelled.
class T4Session::SessionUi final : public WindowlessUi {
 public:
  explicit SessionUi(T4Session& session) : session_(session) {}
  MessageAnswer messageBox(const std::string&, const std::string& text, MessageButtons buttons,
                           MessageIcon) override {
    session_.last_message_ = text;
    if (session_.sink_) session_.sink_(text);
    return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel ? MessageAnswer::Yes
                                                                                      : MessageAnswer::Ok;
  }

 private:
  T4Session& session_;
};

namespace {

// Busy-waits on `clock` until `ms` have passed since `t0` (the counter may wrap).
void waitUntil(Clock& clock, std::uint32_t t0, std::uint32_t ms) {
  while (clock.millis() - t0 < ms)
    clock.idle(1);
}

Direction logical(GuideDir d) {
  switch (d) {
    case GuideDir::North:
      return Direction::North;
    case GuideDir::South:
      return Direction::South;
    case GuideDir::East:
      return Direction::East;
    default:
      return Direction::West;
  }
}

Axis axisOf(GuideDir d) {
  return d == GuideDir::North || d == GuideDir::South ? Axis::NorthSouth : Axis::EastWest;
}

}  // namespace

std::vector<std::string> splitSimKeys(const std::string& text) {
  std::vector<std::string> keys;
  std::istringstream in(text);
  for (std::string part; in >> part;)
    keys.push_back(part);
  return keys;
}

T4Session::T4Session(MessageSink sink) : sink_(std::move(sink)), ui_(std::make_unique<SessionUi>(*this)) {}

T4Session::~T4Session() {
  disconnect(true);
}

std::string T4Session::connect(bool simulate, const std::string& sim_keys) {
  if (connected_) return {};
  if (simulate && !sim_) {
    sim::SimOptions options = sim::defaultSimOptions();
    for (const std::string& key : splitSimKeys(sim_keys)) {
      const std::string problem = sim::applySimSetting(options, key);
      if (!problem.empty()) return "QLM_T4_SIM: " + problem;
    }
    // The rig is switched on at virtual time 0, as the command-line tool's simulator is.
    virtual_clock_ = std::make_unique<VirtualClock>(0, RealClock().calendarSeconds());
    sim_ = std::make_unique<sim::SimSystem>(options, virtual_clock_->millis(),
                                            virtual_clock_->calendarSeconds());
    // The simulated mount answers as the mount the drive method names (an Autostar a few ms late).
    sim_->mount().setModelSource(
        [] { return settings().drive_method == 'a' ? sim::MountModel::Autostar : sim::MountModel::Lx200; });
  }
  if (!simulate) {
    sim_.reset();
    virtual_clock_.reset();
    if (!real_clock_) real_clock_ = std::make_unique<RealClock>();
    if (!usb_) usb_ = std::make_unique<LibusbTransport>();
  }
  clock_ = simulate ? static_cast<Clock*>(virtual_clock_.get()) : real_clock_.get();

  Platform p = platform();
  p.clock = clock_;
  p.ui = ui_.get();
  p.transport = simulate ? static_cast<Transport*>(&sim_->transport()) : usb_.get();
  scoped_ = std::make_unique<ScopedPlatform>(p);
  if (simulate) sim_->transport().setUnplugged(false);

  last_message_.clear();
  if (loadSettings() != kSettingsOk) sink_("The settings file could not be read; the defaults are in use");
  // A camera that was lost is looked for from scratch: the old handle is closed first.
  CloseCamera();
  resetLinkState(linkState());
  resetReadoutState(readoutState());
  resetAOState(aoState());
  FindCamera();
  if (linkState().camera_present == 0) {
    const std::string why = last_message_.empty() ? "Sorry, No camera found on USB" : last_message_;
    scoped_.reset();
    return why;
  }
  connected_ = true;
  return {};
}

void T4Session::disconnect(bool forget_simulator) {
  if (connected_) {
    main_active_ = guide_active_ = false;
    if (pulses_[0].active || pulses_[1].active) SetGuideRelays(0);
    pulses_[0] = pulses_[1] = Pulse{};
    CloseCamera();
    resetLinkState(linkState());
    connected_ = false;
  }
  scoped_.reset();
  if (forget_simulator) {
    sim_.reset();
    virtual_clock_.reset();
  }
}

void T4Session::setCablePulled(bool pulled) {
  if (sim_) sim_->transport().setUnplugged(pulled);
}

bool T4Session::cameraReady() {
  return connected_ && linkState().camera_present != 0 && linkState().camera_handle.has_value();
}

// --- Main head ---

bool T4Session::startMain(std::uint32_t ms, MainMode mode, int x, int y) {
  if (!cameraReady()) return false;
  main_mode_ = mode;
  main_ms_ = std::max<std::uint32_t>(ms, 1);
  frameState().binned = mode == MainMode::Binned;
  if (mode == MainMode::Window) {
    // The window origin goes to the camera as it stands (sensor pixels, never doubled here).
    readoutState().focus_x = std::clamp(x, 0, kMainWidth - kWindowSize);
    readoutState().focus_y = std::clamp(y, 0, kMainHeight - kWindowSize);
  }
  // The clears and status poll that start a capture; the exposure runs from here.
  const bool flushed = ClearSensor(kClearFlush, kMainHead);
  if (!ClearSensor(kClearStart, kMainHead) && !flushed) return false;
  StatusPoll();
  main_t0_ = clock_->millis();
  main_flush_ = main_ms_ <= 5000 ? main_ms_ + 5 : main_ms_ - 2000;
  main_active_ = true;
  return true;
}

std::uint32_t T4Session::mainWallMs() const {
  if (sim_) return paced_ ? main_ms_ : 0;
  return main_ms_ <= kCameraTimedMaxMs ? 0 : main_ms_;
}

void T4Session::mainWait(std::uint32_t upto) {
  while (clock_->millis() - main_t0_ < upto) {
    if (clock_->millis() - main_t0_ >= main_flush_) {
      ClearSensor(kClearFlush, kMainHead);
      main_flush_ += 2005;
    }
    clock_->idle(1);
  }
}

void T4Session::settlePulses(std::uint32_t until) {
  if (!sim_) return;  // on the computer's clock the driver's timers end the pulses
  for (;;) {
    const std::uint32_t now = clock_->millis();
    if (static_cast<std::int32_t>(until - now) <= 0) return;
    const auto left = [now](const Pulse& p) {
      const std::uint32_t gone = now - p.t0;
      return gone >= p.ms ? 0u : p.ms - gone;
    };
    Pulse* next = nullptr;
    for (Pulse& p : pulses_)
      if (p.active && p.bit != 0 && left(p) <= until - now && (next == nullptr || left(p) < left(*next)))
        next = &p;
    if (next == nullptr) return;
    waitUntil(*clock_, next->t0, next->ms);
    next->bit = 0;  // released; the driver's timer still reports the pulse done
    if (cameraReady())
      SetGuideRelays(static_cast<std::uint16_t>(pulses_[0].bit * pulses_[0].active |
                                                pulses_[1].bit * pulses_[1].active));
  }
}

void T4Session::tickMain() {
  if (!main_active_ || sim_ || main_ms_ <= kCameraTimedMaxMs) return;
  const std::uint32_t elapsed = clock_->millis() - main_t0_;
  if (elapsed >= main_flush_ && elapsed < main_ms_) mainWait(elapsed + 1);
}

std::optional<Image> T4Session::finishMain() {
  if (!main_active_) return std::nullopt;
  main_active_ = false;
  // Up to 1000 ms the camera times the exposure itself through the readout block. Pulses that end
  // within the exposure end on time on the simulator's clock.
  settlePulses(main_t0_ + main_ms_);
  if (main_ms_ > kCameraTimedMaxMs) mainWait(main_ms_);
  ImageBuffers& b = imageBuffers();
  Image image;
  if (main_mode_ == MainMode::Window) {
    if (!ReadFocusWindow(b.CurrentFrame.data(), main_ms_)) return std::nullopt;
    image.width = image.height = kWindowSize;
    image.pixels.assign(b.CurrentFrame.begin(), b.CurrentFrame.begin() + kFocusElements);
    return image;
  }
  const bool binned = main_mode_ == MainMode::Binned;
  if (!(binned ? ReadBinnedFrame(b.CurrentFrame, main_ms_) : ReadFullFrame(b.CurrentFrame, main_ms_)))
    return std::nullopt;
  const std::uint16_t* frame = b.CurrentFrame.data();
  if (binned) {
    // Each binned value sits at frame column 2c of frame row 6 + 2r after the expansion.
    image.width = kMainWidth / 2;
    image.height = kMainHeight / 2;
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    for (int r = 0; r < image.height; ++r)
      for (int c = 0; c < image.width; ++c)
        image.pixels[static_cast<std::size_t>(r) * image.width + c] =
            frame[static_cast<std::size_t>(kSensorTopRow + 2 * r) * kFrameWidth + 2 * c];
  } else {
    image.width = kMainWidth;
    image.height = kMainHeight;
    const std::uint16_t* sensor = frame + static_cast<std::size_t>(kSensorTopRow) * kFrameWidth;
    image.pixels.assign(sensor, sensor + static_cast<std::size_t>(kMainWidth) * kMainHeight);
  }
  return image;
}

// --- Guider head ---

std::uint32_t T4Session::guiderMs(std::uint32_t ms) {
  return guiderExposureMs('h', static_cast<int>(std::max<std::uint32_t>(1, (ms + 5) / 10)));
}

bool T4Session::startGuide(std::uint32_t ms) {
  if (!cameraReady()) return false;
  guide_ms_ = guiderMs(ms);
  if (!StartGuiderExposure()) return false;
  guide_t0_ = clock_->millis();
  guide_active_ = true;
  return true;
}

std::uint32_t T4Session::guideWallMs() const {
  return sim_ && !paced_ ? 0 : guide_ms_;
}

std::optional<Image> T4Session::finishGuide() {
  if (!guide_active_) return std::nullopt;
  guide_active_ = false;
  settlePulses(guide_t0_ + guide_ms_);
  waitUntil(*clock_, guide_t0_, guide_ms_);
  GuiderFrame& frame = imageBuffers().GuiderFrames[0];
  if (!ReadGuiderFrame(frame)) return std::nullopt;
  Image image;
  image.width = kGuideWidth;
  image.height = kGuideHeight;
  image.pixels.assign(frame.begin(), frame.begin() + kGuiderElements);
  return image;
}

// --- Relay port ---

bool T4Session::startPulse(GuideDir dir, std::uint32_t ms) {
  if (!cameraReady()) return false;
  const char letter = directionLetter(logical(dir));
  if (!lx200::isDirectionLetter(letter)) return false;
  Pulse& p = pulses_[static_cast<int>(axisOf(dir))];
  p.bit = lx200::relayBit(letter);
  p.ms = ms;
  p.active = true;
  SetGuideRelays(
      static_cast<std::uint16_t>(pulses_[0].bit * pulses_[0].active | pulses_[1].bit * pulses_[1].active));
  p.t0 = clock_->millis();
  return !linkState().device_gone;
}

std::uint32_t T4Session::pulseWallMs(Axis axis) const {
  return sim_ && !paced_ ? 0 : pulses_[static_cast<int>(axis)].ms;
}

void T4Session::finishPulse(Axis axis) {
  Pulse& p = pulses_[static_cast<int>(axis)];
  if (!p.active) return;
  settlePulses(p.t0 + p.ms);
  waitUntil(*clock_, p.t0, p.ms);
  p.active = false;
  p.bit = 0;
  if (cameraReady())
    SetGuideRelays(
        static_cast<std::uint16_t>(pulses_[0].bit * pulses_[0].active | pulses_[1].bit * pulses_[1].active));
}

// --- Filter wheel ---

int T4Session::filterCount() const {
  return std::clamp(settings().number_of_filters, 1, 8);
}

std::vector<std::string> T4Session::filterNames() const {
  const auto& names = settings().filter_names;
  return {names.begin(), names.begin() + filterCount()};
}

void T4Session::setFilterNames(const std::vector<std::string>& names) {
  Settings& s = settings();
  for (std::size_t i = 0; i < names.size() && i < s.filter_names.size(); ++i)
    s.filter_names[i] = names[i].substr(0, 9);  // the settings file holds 9 characters a name
  if (saveSettings() != kSettingsOk) sink_("The settings file could not be written");
}

bool T4Session::selectFilter(int slot) {
  if (!cameraReady() || slot < 1 || slot > 7 || slot > filterCount()) return false;
  MoveFilterWheel(slot);
  if (linkState().device_gone) return false;
  readoutState().filter_position = static_cast<std::uint16_t>(slot);
  return true;
}

int T4Session::currentFilter() const {
  return readoutState().filter_position;
}

// --- AO unit ---

int T4Session::aoStep(GuideDir dir, int steps) {
  if (!cameraReady() || steps <= 0) return 0;
  const Settings& s = settings();
  const char letter = s.ao_direction_letters[static_cast<std::size_t>(logical(dir))];
  const char d = aoDirectionChar(letter);
  if (d == 0) return 0;
  AOState& ao = aoState();
  // The unit's own axes: 'T' east and 'W' west on x, 'N' north and 'S' south on y.
  std::int16_t& tilt = (d == 'T' || d == 'W') ? ao.tilt_x : ao.tilt_y;
  const int sign = (d == 'T' || d == 'N') ? 1 : -1;
  const int room = ao_travel_ - sign * tilt;
  const int count = std::clamp(steps, 0, std::max(room, 0));
  if (count == 0) return 0;
  if (s.ao_through_relays) {
    // The unit tilts while its input is held, one step a millisecond.
    SetGuideRelays(aoRelayValue(letter));
    waitMs(*clock_, static_cast<std::uint32_t>(count));
    SetGuideRelays(kAORelayRest);
  } else {
    settings().ao_command = aoCommandText(kAOGuideStep, d, count);
    SendAOCommand(kAOCommandBytes);
  }
  tilt = static_cast<std::int16_t>(tilt + sign * count);
  return count;
}

void T4Session::aoCentre() {
  if (cameraReady()) CentraliseAO(aoState());
}

int T4Session::aoTiltX() const {
  return aoState().tilt_x;
}

int T4Session::aoTiltY() const {
  return aoState().tilt_y;
}

bool T4Session::aoAtLimitNS() const {
  return std::abs(aoState().tilt_y) >= ao_travel_;
}

bool T4Session::aoAtLimitWE() const {
  return std::abs(aoState().tilt_x) >= ao_travel_;
}

}  // namespace qlm::indi
