#include "guiding/main_guider.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "guiding/guide_algorithm.h"
#include "guiding/guide_star.h"
#include "guiding/telescope.h"
#include "image/centroid.h"
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

// The star on the guide window to a tenth of a pixel, measured from (x, y) as the centroid's second
// pass does, whatever form the main result takes; nothing when the window does not fit.
std::optional<std::pair<double, double>> tenthsAt(int x, int y) {
  CentroidResult r;
  if (measureCentroid(guideImage(), kFocusSize, kFocusSize, x, y, centroidState().working_radius,
                      CentroidForm::Tenths, r) != 0)
    return std::nullopt;
  return std::make_pair(r.x + r.tx / 10.0, r.y + r.ty / 10.0);
}

// A star stands in the guide window's centroid window at (x, y): its brightest pixel rises above the
// window's median by more than six times the noise (from the median absolute deviation) and 100 ADU.
bool starInWindow(int x, int y) {
  const int r = centroidState().working_radius;
  if (x - r < 0 || y - r < 0 || x + r + 1 > kFocusSize || y + r + 1 > kFocusSize) return false;
  std::vector<int> v;
  v.reserve(static_cast<std::size_t>((2 * r + 1) * (2 * r + 1)));
  for (int j = y - r; j <= y + r; ++j)
    for (int i = x - r; i <= x + r; ++i)
      v.push_back(guideImage()[j * kFocusSize + i]);
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  const int median = *mid;
  const int peak = *std::max_element(v.begin(), v.end());
  for (int& e : v)
    e = std::abs(e - median);
  std::nth_element(v.begin(), mid, v.end());
  const double sigma = 1.4826 * *mid;
  return peak - median > std::max(6.0 * sigma, 100.0);
}

// The first guide-window frame must show the star at the main result. When the camera puts the window's
// rows elsewhere than the placement expects, no star stands there: the brightest star of the window is
// taken instead and measured twice, so that training and guiding hold the star the user picked rather
// than empty sky. True when a star stands at the main result afterwards.
bool lockOnWindowStar() {
  CentroidState& c = centroidState();
  if (starInWindow(c.main.x, c.main.y)) return true;
  const auto star =
      brightestPickableStar(guideImage(), kFocusSize, kFocusSize, c.working_radius, c.working_radius + 2);
  if (!star) return false;
  c.main.x = star->first;
  c.main.y = star->second;
  centre(c.main.x, c.main.y);
  centre(c.main.x, c.main.y);
  return starInWindow(c.main.x, c.main.y);
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
  const std::time_t started = platform().clock->calendarSeconds();
  PlaceGuideWindow();
  CentroidState& c = centroidState();
  Ui& ui = *platform().ui;
  g.camera_failed = false;
  // Any camera fault (a lost pulse, a frame not read) makes the measured rates wrong: no results.
  const std::uint64_t faults = linkState().faults;
  const auto fail = [&] {
    cal.main_training_active = false;
    endMainState();
    return false;
  };
  // The first measurement is made on a guide-window frame: the frame in memory is the last full frame,
  // which does not show the star where the window puts it.
  if (!takeGuideFrame()) return fail();
  showGuideFrame();
  call(view.refresh);
  centre(c.main.x, c.main.y);
  cal.main_training_active = true;
  g.main_active = true;
  c.working_radius = s.mask_radius;
  lockOnWindowStar();
  MainTrainingPositions p;
  {
    const auto y0 = tenthsAt(c.main.x, c.main.y);
    if (!y0 || !starInWindow(c.main.x, c.main.y)) {
      if (y0) ShowMessage(kCallerTextMessage, kStarLostText);
      return fail();
    }
    p.y[0] = y0->second;
  }
  const int tm = s.main_training_seconds < 1 ? 1 : s.main_training_seconds;
  const int ldec = 1000 * tm - s.main_dec_hysteresis;
  const int lra = 1000 * tm - s.main_ra_hysteresis;
  constexpr std::array<Direction, 8> kOrder = {Direction::North, Direction::North, Direction::South,
                                               Direction::South, Direction::East,  Direction::East,
                                               Direction::West,  Direction::West};
  for (int i = 0; i < 8; ++i) {
    const Direction d = kOrder[static_cast<std::size_t>(i)];
    pulse(directionLetter(d), i < 4 ? ldec : lra, road);
    ui.pumpEvents();
    // No frame, or a second pass whose window left the image: no results.
    if (!takeGuideFrame()) return fail();
    showGuideFrame();
    call(view.refresh);
    centre(c.main.x, c.main.y);
    const int sx = c.main.x, sy = c.main.y;
    if (centre(sx, sy) != 0) return fail();
    const auto at = tenthsAt(sx, sy);
    if (!at) return fail();
    if (!starInWindow(c.main.x, c.main.y)) {
      ShowMessage(kCallerTextMessage, kStarLostText);
      return fail();
    }
    if (linkState().faults != faults) return fail();
    if (i < 4) p.y[static_cast<std::size_t>(i + 1)] = at->second;
    if (i == 3) p.x[0] = at->first;
    if (i >= 4) p.x[static_cast<std::size_t>(i - 3)] = at->first;
  }
  MainTraining r = mainTrainingResults(p, tm);
  ShowMessage(kCallerTextMessage, mainTrainingText(r));
  bool trained = false;
  if (r.nonsense) {
    ShowMessage(kCallerTextMessage, kTrainingNoMovementText);
  } else {
    if (!r.doubts.empty()) ShowMessage(kCallerTextMessage, r.doubts);
    // A slow mount moves less than a pixel a second: its rate counts as 1.
    Settings& w = settings();
    w.main_ra_rate = std::max(1, r.ra_rate);
    w.main_dec_rate = std::max(1, r.dec_rate);
    w.main_ra_backlash = r.ra_backlash;
    w.main_dec_backlash = r.dec_backlash;
    lastTrainingForLog(true) = phd2MainCalibration(p, r, tm, started);
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
  g.lost_frames = 0;
  g.star_lost = false;
  startPredictiveRun(predictiveMainParams());
  openGuideLog(view);
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
      lockOnWindowStar();
      g.reference = c.main;
      g.main_first_frame = false;
      call(view.open_window);
    }
    pressed();
    if (g.main_stop) continue;
    showGuideFrame();
    centre(g.reference.x, g.reference.y);  // a failure leaves the previous result
    GuideFrameRecord rec;
    rec.time_ms = platform().clock->millis();
    rec.frame = ++g.frames;
    rec.position = c.main;
    rec.pulses_sent = view.send_pulses;
    g.cycle_run = true;
    // No star where it is held (clouds): nothing is sent until it returns.
    rec.lost = !starInWindow(g.reference.x, g.reference.y);
    if (rec.lost) {
      ++g.lost_frames;
    } else {
      g.dx = guideError(g.reference.x, g.reference.tx, c.main.x, c.main.tx);
      g.dy = guideError(g.reference.y, g.reference.ty, c.main.y, c.main.ty);
      rec.dx = g.dx;
      rec.dy = g.dy;
      rec.correction = guideAlgorithmSettings().algorithm == GuideAlgorithm::Predictive
                           ? predictiveGuideCorrection(rec, g.reference, view.send_pulses, g.last)
                           : mainCorrection(g.dx, g.dy, mainParams(), g.last);
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
    }
    g.star_lost = rec.lost;
    call(view.refresh);  // the fields show this frame's measurement
    finishGuideFrame(rec, view);
  }
  closeGuideLog();
  if (!g.camera_failed) ShowMessage(51);  // a failed camera has said why the run ended
  call(view.close_window);
  g.main_stop = false;
  setDefaultFocusOrigin(readoutState());
  c.main = guideStarState().kept_main_result;
  endMainState();
  return true;
}

}  // namespace qlm
