#include "guiding/ao_unit.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "camera/link.h"
#include "files/settings.h"
#include "image/centroid.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr std::uint32_t kRelayLeadMs = 10;
constexpr std::uint32_t kSettleMs = 300;
constexpr std::uint32_t kCentraliseRelayMs = 100;
constexpr int kErrorLimit = 8000;  // 8 pixels, thousandths
constexpr int kErrorThreshold = 30;
constexpr int kTrainingCount = 25;
constexpr const char* kPanelCaption = "Auto Guider Camera Control";

Clock& clock() {
  return *platform().clock;
}

void waitUntil(std::uint32_t t0, std::uint32_t ms) {
  Clock& c = clock();
  while (c.millis() - t0 < ms)
    c.idle(1);
}

void wait(std::uint32_t ms) {
  waitUntil(clock().millis(), ms);
}

// Puts `text` into the AO command text and sends its first n characters.
void send(const std::string& text, std::size_t n) {
  settings().ao_command = text;
  SendAOCommand(n);
}

void sendRelay(std::uint8_t value) {
  send(std::string(1, static_cast<char>(value)), 1);
}

bool relayMode() {
  return settings().ao_through_relays;
}

// The tilt change of a step in direction character `d`.
void track(AOState& s, char d, int n) {
  switch (d) {
    case 'N':
      s.tilt_y = static_cast<std::int16_t>(s.tilt_y + n);
      break;
    case 'S':
      s.tilt_y = static_cast<std::int16_t>(s.tilt_y - n);
      break;
    case 'T':
      s.tilt_x = static_cast<std::int16_t>(s.tilt_x + n);
      break;
    case 'W':
      s.tilt_x = static_cast<std::int16_t>(s.tilt_x - n);
      break;
    default:
      break;
  }
}

char opposite(char d) {
  switch (d) {
    case 'N':
      return 'S';
    case 'S':
      return 'N';
    case 'T':
      return 'W';
    default:
      return 'T';
  }
}

// Relay road of a step or manual move: 10 ms, the direction's value for n ms, the rest value, 300 ms.
void relayStep(char letter, int n) {
  const std::uint8_t value = aoRelayValue(letter);
  if (value != kAORelayNone) {
    waitUntil(clock().millis(), kRelayLeadMs);
    const std::uint32_t t1 = clock().millis();
    sendRelay(value);
    waitUntil(t1, n > 0 ? static_cast<std::uint32_t>(n) : 0);
    sendRelay(kAORelayRest);
  }
  wait(kSettleMs);
}

char slotLetter(DirectionSlot slot) {
  return settings().ao_direction_letters[static_cast<std::size_t>(slot)];
}

void saveQuietly() {
  saveSettings();  // a failed save of a panel button is not shown
}

}  // namespace

AOState& aoState() {
  static AOState state;
  return state;
}

void resetAOState(AOState& s) {
  s = AOState{};
}

char aoDirectionChar(char letter) {
  switch (letter) {
    case 'n':
      return 'N';
    case 's':
      return 'S';
    case 'e':
      return 'T';
    case 'w':
      return 'W';
    default:
      return 0;
  }
}

std::uint8_t aoRelayValue(char letter) {
  switch (letter) {
    case 'e':
      return kAORelayEast;
    case 'n':
      return kAORelayNorth;
    case 's':
      return kAORelaySouth;
    case 'w':
      return kAORelayWest;
    default:
      return kAORelayNone;
  }
}

std::string aoCommandText(char command, char direction, int count) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%.5d", count);
  std::string text{command, direction};
  return text + digits;
}

void AOStep(AOState& s) {
  if (relayMode()) {
    relayStep(s.letter, s.count);
    return;
  }
  const char d = aoDirectionChar(s.letter);
  if (d == 0) return;
  track(s, d, s.count);
  send(aoCommandText(kAOGuideStep, d, s.count), kAOCommandBytes);
  if (std::abs(s.tilt_y) > kAOTiltLimit || std::abs(s.tilt_x) > kAOTiltLimit) {
    send(aoCommandText(kAOMountMove, opposite(d), kAOBumpCount), kAOCommandBytes);
    ++s.bumps;
  }
}

void AOMove(char letter, AOState& s) {
  s.letter = letter;
  s.count = kAOManualCount;
  if (relayMode()) {
    relayStep(letter, s.count);
    return;
  }
  const char d = aoDirectionChar(letter);
  if (d == 0) return;
  track(s, d, s.count);
  send(aoCommandText(kAOMountMove, d, s.count), kAOCommandBytes);
}

void RecentreAO(AOState& s) {
  if (relayMode()) {
    sendRelay(kAORelayNone);
  } else {
    if (s.tilt_y != 0) {
      send(aoCommandText(kAOGuideStep, s.tilt_y < 1 ? 'N' : 'S', std::abs(s.tilt_y)), kAOCommandBytes);
      wait(kSettleMs);
    }
    if (s.tilt_x != 0) {
      send(aoCommandText(kAOGuideStep, s.tilt_x < 1 ? 'T' : 'W', std::abs(s.tilt_x)), kAOCommandBytes);
      wait(kSettleMs);
    }
  }
  s.tilt_x = 0;
  s.tilt_y = 0;
}

void CentraliseAO(AOState& s) {
  if (relayMode()) {
    sendRelay(kAORelayRest);
    wait(kCentraliseRelayMs);
    sendRelay(kAORelayNone);
  } else {
    send(std::string(1, kAOCentre), 1);
  }
  s.tilt_x = 0;
  s.tilt_y = 0;
}

AOCorrection aoCorrection(int dx, int dy) {
  AOCorrection c;
  if (std::abs(dx) > kErrorLimit || std::abs(dy) > kErrorLimit) {
    c.too_far = true;
    return c;
  }
  const Settings& st = settings();
  if (std::abs(dx) > kErrorThreshold) {
    c.ra.considered = true;
    c.ra.letter = slotLetter(dx > 0 ? kWestSlot : kEastSlot);
    c.ra.count = std::abs(dx * st.ao_default_lr_gain) / 1000;
  }
  if (std::abs(dy) > kErrorThreshold) {
    c.dec.considered = true;
    c.dec.letter = slotLetter(dy > 0 ? kNorthSlot : kSouthSlot);
    c.dec.count = std::abs(dy * st.ao_default_ud_gain) / 1000;
  }
  return c;
}

AOCorrection AOCorrect(int dx, int dy, bool send_steps, AOState& s) {
  const AOCorrection c = aoCorrection(dx, dy);
  if (!send_steps) return c;
  Ui& ui = *platform().ui;
  for (const AOAxis* axis : {&c.ra, &c.dec}) {
    if (!axis->sent()) continue;
    s.letter = axis->letter;
    s.count = axis->count;
    ui.beep();
    AOStep(s);
    ui.beep();
  }
  return c;
}

AOTrainingVectors aoTrainingVectors(const AOTrainingPositions& p) {
  AOTrainingVectors v;
  v.lx = ((p.x[1] - p.x[0]) + (p.x[1] - p.x[2])) / 2;
  v.ly = ((p.y[1] - p.y[0]) + (p.y[1] - p.y[2])) / 2;
  v.ux = ((p.x[3] - p.x[2]) + (p.x[3] - p.x[4])) / 2;
  v.uy = ((p.y[3] - p.y[2]) + (p.y[3] - p.y[4])) / 2;
  return v;
}

AOGains aoTrainingGains(const AOTrainingPositions& p) {
  auto gain = [](int vx, int vy) {
    const double length = std::sqrt(static_cast<double>(vx) * vx + static_cast<double>(vy) * vy);
    // A star that did not move gives an infinite quotient, which the gain cannot hold: it becomes 1.
    const int g = length > 0.0 ? static_cast<int>(kTrainingCount / length) : 0;
    return g == 0 ? 1 : g;
  };
  const AOTrainingVectors v = aoTrainingVectors(p);
  return {gain(v.lx, v.ly), gain(v.ux, v.uy)};
}

bool TrainAO(std::optional<std::pair<int, int>> star, const AOTrainingView& view, AOState& s) {
  if (!star) return false;
  struct Step {
    const char* caption;
    DirectionSlot slot;
    std::uint32_t wait_ms;
  };
  static constexpr Step kSteps[4] = {
      {"Auto Guider Camera Control - Training / slewing West", kWestSlot, 250},
      {"Auto Guider Camera Control - Training / slewing East", kEastSlot, 250},
      {"Auto Guider Camera Control - Training / slewing North", kNorthSlot, 250},
      {"Auto Guider Camera Control - Training / slewing South", kSouthSlot, 50},
  };
  auto caption = [&view](const std::string& text) {
    if (view.caption) view.caption(text);
  };
  s.training_in_progress = true;
  s.count = kTrainingCount;
  AOTrainingPositions p;
  p.x[0] = star->first;
  p.y[0] = star->second;
  CentroidState& c = centroidState();
  bool completed = true;
  const std::uint64_t faults = linkState().faults;  // a lost step or frame: no gains (the link said why)
  for (int i = 0; i < 4 && completed; ++i) {
    caption(kSteps[i].caption);
    s.letter = slotLetter(kSteps[i].slot);
    s.count = kTrainingCount;
    AOStep(s);
    wait(kSteps[i].wait_ms);
    const std::uint16_t* image = view.expose ? view.expose() : nullptr;
    if (image == nullptr) {
      completed = false;
      break;
    }
    FindGuiderCentre(p.x[0], p.y[0], image, c.working_radius, c);
    if (FindGuiderCentre(c.guider.x, c.guider.y, image, c.working_radius, c) != 0) {
      completed = false;
      break;
    }
    p.x[i + 1] = c.guider.x;
    p.y[i + 1] = c.guider.y;
  }
  completed = completed && linkState().faults == faults;
  if (completed) {
    const AOGains g = aoTrainingGains(p);
    settings().ao_latest_lr_gain = g.lr;
    settings().ao_latest_ud_gain = g.ud;
    s.trained_available = true;
    s.use_trained = true;
    s.trained_positions = p;
    saveQuietly();
  }
  s.training_in_progress = false;
  caption(kPanelCaption);
  if (view.refresh) view.refresh();
  return completed;
}

void aoSelectCom(int com) {
  settings().ao_port = com == 1 ? 1 : 0;
  saveQuietly();
}

void aoSwapUpDown() {
  auto& l = settings().ao_direction_letters;
  std::swap(l[kNorthSlot], l[kSouthSlot]);
  saveQuietly();
}

void aoSwapLeftRight() {
  auto& l = settings().ao_direction_letters;
  std::swap(l[kEastSlot], l[kWestSlot]);
  saveQuietly();
}

bool aoUpDownSwapped() {
  return settings().ao_direction_letters[kNorthSlot] == 's';
}

bool aoLeftRightSwapped() {
  return settings().ao_direction_letters[kEastSlot] == 'w';
}

void aoToggleMode() {
  settings().ao_through_relays = !settings().ao_through_relays;
  saveQuietly();
}

void aoToggleGuideDevice() {
  settings().guide_device = settings().guide_device == 'A' ? 'T' : 'A';
  saveQuietly();
}

void aoUseDefault(AOState& s) {
  s.use_trained = s.trained_available && !s.use_trained;
}

std::string aoStatusText(const AOState& s) {
  return s.trained_available && s.use_trained ? "Using Trained Vals" : "Using Default Vals";
}

void aoChangeDefaults(int lr_gain, int ud_gain) {
  settings().ao_default_lr_gain = lr_gain;
  settings().ao_default_ud_gain = ud_gain;
  saveQuietly();
}

void aoSaveLatest() {
  settings().ao_default_lr_gain = settings().ao_latest_lr_gain;
  settings().ao_default_ud_gain = settings().ao_latest_ud_gain;
  saveQuietly();
}

}  // namespace qlm
