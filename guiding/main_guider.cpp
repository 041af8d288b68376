#include "guiding/main_guider.h"

#include <array>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "guiding/guide_star.h"
#include "guiding/telescope.h"
#include "image/display.h"
#include "image/frame.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {

void call(const std::function<void()>& f) {
  if (f) f();
}

// The first telescope use of a run: a settings file that cannot be read is reported and written anew,
// then the telescope port is chosen.
void firstTelescopeUse(int message) {
  if (telescopeState().port_selected) return;
  if (loadSettings() != kSettingsOk) {
    ShowMessage(message);
    saveSettings();
  }
  SelectTelescopePort();
}

std::uint16_t* guideImage() {
  return imageBuffers().CurrentFrame.data();
}

// One guide-window frame (the guiding focus exposure) with the guider panel's exposure. False when the
// camera delivered no frame (the link has shown its message): the training or the run ends.
bool takeGuideFrame() {
  const GuiderCameraState& g = guiderCameraState();
  if (GuidingFocusExposure(g.unit, g.count, guideImage())) return true;
  guidingState().camera_failed = true;
  return false;
}

// Draws the guide window just read in the main window, as the 128 x 128 picture.
void showGuideFrame() {
  displayState().guide_window_shown = true;
  refreshDisplay();
}

int centre(int x, int y) {
  return FindCentre(x, y, guideImage(), centroidState().working_radius, centreConditions());
}

void pulse(char letter, int ms, PulseRoad road) {
  TelescopeState& t = telescopeState();
  t.current_direction = letter;
  t.pulse_length_ms = ms;
  GuidePulse(road, t);
}

void endMainState() {
  GuidingState& g = guidingState();
  g.main_running = false;
  g.main_active = false;
  guideStarState().guide_window_set = false;
  displayState().guide_window_shown = false;
  if (linkState().camera_present != 0) SetGuideRelays(0);
}

}  // namespace

bool TrainMain(const GuidingView& view) {
  const Settings& s = settings();
  if (s.drive_method == 'n') return false;
  firstTelescopeUse(23);
  GuidingState& g = guidingState();
  CalibrationState& cal = calibrationState();
  const PulseRoad road = trainingPulseRoad(s.drive_method);
  if (s.drive_method == 'b' && !g.main_training_run && !g.cycle_run) {
    for (Direction d : {Direction::North, Direction::South, Direction::East, Direction::West})
      pulse(directionLetter(d), 100, road);
  }
  g.main_training_run = true;
  PlaceGuideWindow();
  CentroidState& c = centroidState();
  // This first measurement runs before the training is marked active and the mask radius is taken:
  // it uses the centroid form and the radius as they stand.
  centre(c.main.x, c.main.y);
  cal.main_training_active = true;
  g.main_active = true;
  c.working_radius = s.mask_radius;
  const int tm = s.main_training_seconds < 1 ? 1 : s.main_training_seconds;
  const int ldec = 1000 * tm - s.main_dec_hysteresis;
  const int lra = 1000 * tm - s.main_ra_hysteresis;
  MainTrainingPositions p;
  p.y[0] = c.main.y;
  constexpr std::array<Direction, 8> kOrder = {Direction::North, Direction::North, Direction::South,
                                               Direction::South, Direction::East,  Direction::East,
                                               Direction::West,  Direction::West};
  Ui& ui = *platform().ui;
  g.camera_failed = false;
  // Any camera fault (a lost pulse, a frame not read) makes the measured rates wrong: no results.
  const std::uint64_t faults = linkState().faults;
  for (int i = 0; i < 8; ++i) {
    const Direction d = kOrder[static_cast<std::size_t>(i)];
    pulse(directionLetter(d), i < 4 ? ldec : lra, road);
    ui.pumpEvents();
    // No frame, or a second pass whose window left the image: no results.
    bool measured = takeGuideFrame();
    if (measured) {
      showGuideFrame();
      call(view.refresh);
      centre(c.main.x, c.main.y);
      measured = centre(c.main.x, c.main.y) == 0;
    }
    if (!measured || linkState().faults != faults) {
      cal.main_training_active = false;
      endMainState();
      return false;
    }
    if (i < 4) p.y[static_cast<std::size_t>(i + 1)] = c.main.y;
    if (i == 3) p.x[0] = c.main.x;
    if (i >= 4) p.x[static_cast<std::size_t>(i - 3)] = c.main.x;
  }
  const MainTraining r = mainTrainingResults(p, tm);
  ShowMessage(kCallerTextMessage, mainTrainingText(r));
  bool trained = false;
  if (r.ra_rate == 0 || r.dec_rate == 0) {
    ShowMessage(kCallerTextMessage, kTrainingNoMovementText);
  } else {
    Settings& w = settings();
    w.main_ra_rate = r.ra_rate;
    w.main_dec_rate = r.dec_rate;
    w.main_ra_backlash = r.ra_backlash;
    w.main_dec_backlash = r.dec_backlash;
    saveSettings();  // a failed save is not shown here
    trained = true;
  }
  cal.main_training_active = false;
  endMainState();
  return trained;
}

bool runMainGuiding(const GuidingView& view) {
  if (settings().drive_method == 'n') return false;
  firstTelescopeUse(27);
  GuidingState& g = guidingState();
  CentroidState& c = centroidState();
  Ui& ui = *platform().ui;
  g.main_active = true;
  g.main_running = true;
  c.working_radius = settings().mask_radius;
  PlaceGuideWindow();
  g.main_stop = false;
  g.reference = c.main;
  g.main_first_frame = true;
  g.camera_failed = false;
  g.frames = 0;
  g.corrections = 0;
  const PulseRoad road = guidingPulseRoad(settings().drive_method);
  const auto pressed = [&] {
    if (!ui.pumpEvents().any()) return;
    endMainState();
    ui.beep();
    setDefaultFocusOrigin(readoutState());
    g.main_stop = true;
  };
  while (g.main_running) {
    pressed();
    if (!g.main_running) break;
    if (!takeGuideFrame()) break;
    if (g.main_first_frame) {
      centre(c.main.x, c.main.y);
      centre(c.main.x, c.main.y);
      g.reference = c.main;
      g.main_first_frame = false;
      call(view.open_window);
    }
    pressed();
    if (g.main_stop) continue;
    showGuideFrame();
    centre(g.reference.x, g.reference.y);  // a failure leaves the previous result
    g.dx = guideError(g.reference.x, g.reference.tx, c.main.x, c.main.tx);
    g.dy = guideError(g.reference.y, g.reference.ty, c.main.y, c.main.ty);
    GuideFrameRecord rec;
    rec.time_ms = platform().clock->millis();
    rec.frame = ++g.frames;
    rec.position = c.main;
    rec.dx = g.dx;
    rec.dy = g.dy;
    rec.correction = mainCorrection(g.dx, g.dy, mainParams(), g.last);
    g.cycle_run = true;
    const GuideCorrection& k = rec.correction;
    if (!k.too_far) {
      for (const AxisPulse* a : {&k.ra, &k.dec}) {
        if (!a->sent() || !view.send_pulses) continue;
        ui.beep();
        pulse(a->letter, a->ms, road);
        ui.beep();
      }
      if (view.send_pulses && (k.ra.sent() || k.dec.sent())) ++g.corrections;
    }
    call(view.refresh);  // the fields show this frame's measurement
    if (view.frame_done) view.frame_done(rec);
  }
  if (!g.camera_failed) ShowMessage(51);  // a failed camera has said why the run ended
  call(view.close_window);
  g.main_stop = false;
  setDefaultFocusOrigin(readoutState());
  c.main = guideStarState().kept_main_result;
  endMainState();
  return true;
}

}  // namespace qlm
