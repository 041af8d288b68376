#include "guiding/autoguider_model.h"

#include <cstdio>
#include <utility>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "guiding/ao_unit.h"
#include "guiding/guide_algorithm.h"
#include "guiding/guide_star.h"
#include "guiding/guider.h"
#include "guiding/telescope.h"
#include "image/frame.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

AutoguiderModel::AutoguiderModel() {
  refresh();
}

void AutoguiderModel::refresh() {
  const Settings& s = settings();
  const GuiderCameraState& g = guiderCameraState();
  const CalibrationState& c = calibrationState();
  view_.unit = g.unit;
  view_.count = g.count;
  view_.one_sec_pause = g.one_sec_pause;
  view_.ignore_backlash = s.ignore_backlash;
  view_.ignore_ra_angle = s.ignore_ra_angle;
  view_.swap_ns = s.direction_letters[kNorthSlot] == 's';
  view_.swap_ew = s.direction_letters[kEastSlot] == 'w';
  view_.dark_in_use = g.dark_in_use;
  view_.median = g.hot_pixel_filter;
  view_.stretch = guiderCameraState().display.apply_stretch;
  view_.log_format = g.log_format;
  if (!g.dark_available) {
    view_.dark_text = "No darkframe has been taken";
  } else {
    view_.dark_text = g.dark_label + (g.dark_in_use ? "darkframe being used" : "darkframe available");
  }
  view_.values_text = valuesStatusText();
  view_.training_step = c.training_step;
  view_.default_values[0] = s.guider_ra_rate;
  view_.default_values[1] = s.guider_dec_rate;
  view_.default_values[2] = s.guider_ra_backlash;
  view_.default_values[3] = s.guider_dec_backlash;
  view_.default_angle = s.default_ra_angle;
  view_.latest_available = c.trained_available;
  view_.latest_values[0] = c.trained.ra_rate;
  view_.latest_values[1] = c.trained.dec_rate;
  view_.latest_values[2] = c.trained.ra_backlash;
  view_.latest_values[3] = c.trained.dec_backlash;
  view_.latest_angle = c.trained.theta * 180.0 / 3.14159265358979323846;  // degrees, as the default
  view_.ao_com = s.ao_port == 1 ? 1 : (s.ao_port == 0 ? 2 : 0);
  view_.ao_swap_ud = aoUpDownSwapped();
  view_.ao_swap_lr = aoLeftRightSwapped();
  view_.ao_relays = s.ao_through_relays;
  view_.guide_device = s.guide_device;
  view_.ao_values_text = aoStatusText();
  view_.algorithm = guideAlgorithmSettings().algorithm;
  view_.ao_default_gains[0] = s.ao_default_lr_gain;
  view_.ao_default_gains[1] = s.ao_default_ud_gain;
  view_.ao_latest_gains[0] = s.ao_latest_lr_gain;
  view_.ao_latest_gains[1] = s.ao_latest_ud_gain;
  view_.ao_tilt[0] = aoState().tilt_x;
  view_.ao_tilt[1] = aoState().tilt_y;
}

void AutoguiderModel::setAODefaultFields(int lr_gain, int ud_gain) {
  view_.ao_default_gains[0] = lr_gain;
  view_.ao_default_gains[1] = ud_gain;
}

void AutoguiderModel::setDefaultFields(int ra_rate, int dec_rate, int ra_backlash, int dec_backlash,
                                       double ra_angle) {
  view_.default_values[0] = ra_rate;
  view_.default_values[1] = dec_rate;
  view_.default_values[2] = ra_backlash;
  view_.default_values[3] = dec_backlash;
  view_.default_angle = ra_angle;
}

namespace {

void chooseUnit(GuiderCameraState& g, char unit) {
  g.unit = unit;
  g.count = unit == 's' ? 1 : 5;
  g.count_max = unit == 'h' ? 500 : (unit == 't' ? 100 : 10);
}

GuiderProcessing processingNow() {
  const GuiderCameraState& g = guiderCameraState();
  GuiderProcessing p;
  p.dark_subtraction = g.dark_in_use && g.dark_available;
  p.dark_capture_in_progress = g.dark_capture;
  p.hot_pixel_filter = g.hot_pixel_filter;
  p.dark = &imageBuffers().GuiderFrames[2];
  return p;
}

// A camera unplugged (or never found) while the panel is open is looked for again by the next action
// that needs it; false when it is still missing (discovery has said so).
bool cameraReady() {
  if (linkState().camera_present == 0) FindCamera();
  return linkState().camera_present != 0;
}

}  // namespace

void AutoguiderModel::takeDark() {
  GuiderCameraState& g = guiderCameraState();
  ImageBuffers& b = imageBuffers();
  g.dark_capture = true;
  g.dark_available = false;
  const bool read = GuiderExposure(g.unit, g.count, b.GuiderFrames[0], processingNow());
  g.dark_capture = false;
  if (!read) return;  // the camera said why; the last light frame is no dark
  if (!drawGuiderImage()) return;
  b.GuiderFrames[2] = b.GuiderFrames[0];
  char label[16];
  std::snprintf(label, sizeof label, "%2d", g.count);
  g.dark_label =
      std::string(label) + (g.unit == 'h' ? " hundredth " : (g.unit == 't' ? " tenth " : " second "));
  g.dark_available = true;
}

int AutoguiderModel::press(GuiderControl c) {
  GuiderCameraState& g = guiderCameraState();
  Settings& s = settings();
  GuidingState& guiding = guidingState();
  int result = 0;
  switch (c) {
    case GuiderControl::Train:
    case GuiderControl::TakeDark:
    case GuiderControl::CentraliseAO:
    case GuiderControl::StartGuiding:
      if (!cameraReady()) return 0;
      break;
    default:
      break;
  }
  switch (c) {
    case GuiderControl::Hundredths:
      chooseUnit(g, 'h');
      break;
    case GuiderControl::Tenths:
      chooseUnit(g, 't');
      break;
    case GuiderControl::Seconds:
      chooseUnit(g, 's');
      break;
    case GuiderControl::ExposureUp:
      if (g.count < g.count_max) ++g.count;
      break;
    case GuiderControl::ExposureDown:
      if (g.count > 1) --g.count;
      break;
    case GuiderControl::Start:
      break;  // the view runs runExposures()
    case GuiderControl::Stop:
      stop_ = true;
      break;
    case GuiderControl::OneSecPause:
      g.one_sec_pause = !g.one_sec_pause;
      break;
    case GuiderControl::SelectGuideStar:
      // The pick and the training measure with the mask radius, as guiding does: the radius left by
      // start-up (4) or by photometry is too small to find the star again after a long pulse.
      centroidState().working_radius = s.mask_radius;
      armGuiderPick();
      break;
    case GuiderControl::Train:
      centroidState().working_radius = s.mask_radius;
      TrainGuider(guiderGuideStar());
      break;
    case GuiderControl::UseDefault:
      view_.use_default_label = toggleUseDefault();
      break;
    case GuiderControl::ChangeDefaults:
      changeDefaults(view_.default_values[0], view_.default_values[1], view_.default_values[2],
                     view_.default_values[3], view_.default_angle);
      break;
    case GuiderControl::SaveLatest:
      saveLatest();
      break;
    case GuiderControl::IgnoreBacklash:
      s.ignore_backlash = !s.ignore_backlash;
      break;
    case GuiderControl::IgnoreRaAngle:
      s.ignore_ra_angle = !s.ignore_ra_angle;
      break;
    case GuiderControl::SwapNorthSouth:
      std::swap(s.direction_letters[kNorthSlot], s.direction_letters[kSouthSlot]);
      saveSettings();  // a failed save of a panel button is not shown
      break;
    case GuiderControl::SwapEastWest:
      std::swap(s.direction_letters[kEastSlot], s.direction_letters[kWestSlot]);
      saveSettings();  // a failed save of a panel button is not shown
      break;
    case GuiderControl::TakeDark:
      takeDark();
      break;
    case GuiderControl::ApplyDark:
      g.dark_in_use = !g.dark_in_use && g.dark_available;
      break;
    case GuiderControl::MedianFilter:
      g.hot_pixel_filter = !g.hot_pixel_filter;
      break;
    case GuiderControl::Stretch:
      guiderCameraState().display.apply_stretch = !guiderCameraState().display.apply_stretch;
      break;
    case GuiderControl::CsvGuideLog:
      g.log_format = GuideLogFormat::Csv;
      break;
    case GuiderControl::Phd2GuideLog:
      g.log_format = GuideLogFormat::Phd2;
      break;
    case GuiderControl::StartGuiding:
      guiding.start_request = true;
      result = kPanelOk;
      break;
    case GuiderControl::GotoMainCamera:
      guiding.goto_main_request = true;
      result = kPanelOk;
      break;
    case GuiderControl::Close:
      stop_ = true;
      result = kPanelCancel;
      break;
    case GuiderControl::AOCom1:
      aoSelectCom(1);
      break;
    case GuiderControl::AOCom2:
      aoSelectCom(2);
      break;
    case GuiderControl::AOSwapUpDown:
      aoSwapUpDown();
      break;
    case GuiderControl::AOSwapLeftRight:
      aoSwapLeftRight();
      break;
    case GuiderControl::AOTrain:
      trainAO();
      break;
    case GuiderControl::AOMode:
      aoToggleMode();
      break;
    case GuiderControl::GuidingMode:
      aoToggleGuideDevice();
      break;
    case GuiderControl::AOUseDefault:
      aoUseDefault();
      break;
    case GuiderControl::AOChangeDefaults:
      aoChangeDefaults(view_.ao_default_gains[0], view_.ao_default_gains[1]);
      break;
    case GuiderControl::AOSaveLatest:
      aoSaveLatest();
      break;
    case GuiderControl::CentraliseAO:
      CentraliseAO();
      break;
    case GuiderControl::AlgorithmClassic:
    case GuiderControl::AlgorithmPredictive:
      guideAlgorithmSettings().algorithm =
          c == GuiderControl::AlgorithmPredictive ? GuideAlgorithm::Predictive : GuideAlgorithm::Classic;
      saveGuideAlgorithmSettings();  // as the settings file: a failed save of a panel button is not shown
      break;
  }
  refresh();
  return result;
}

void AutoguiderModel::moveStart(char logical) {
  if (settings().guide_device == 'A') {
    const DirectionSlot slot = logical == 'e'   ? kEastSlot
                               : logical == 'w' ? kWestSlot
                               : logical == 'n' ? kNorthSlot
                                                : kSouthSlot;
    AOMove(settings().ao_direction_letters[static_cast<std::size_t>(slot)]);
    refresh();
    return;
  }
  const Direction d = logical == 'e'   ? Direction::East
                      : logical == 'w' ? Direction::West
                      : logical == 'n' ? Direction::North
                                       : Direction::South;
  StartManualMove(d);
}

void AutoguiderModel::moveEnd() {
  if (settings().guide_device == 'A') return;
  StopManualMove();
}

bool AutoguiderModel::trainAO(const GuidingView& view) {
  const std::optional<GuiderStar>& star = guiderGuideStar();
  if (!star || !cameraReady()) return false;
  AOTrainingView steps;
  steps.expose = [&view]() -> const std::uint16_t* {
    GuiderFrame& image = imageBuffers().GuiderFrames[0];
    StartGuiderExposure();
    const GuiderCameraState& g = guiderCameraState();
    // A frame the camera did not deliver (the link has shown its message) ends the training.
    if (!GuiderExposure(g.unit, g.count, image, processingNow())) return nullptr;
    drawGuiderImage();
    if (view.refresh) view.refresh();
    return image.data();
  };
  steps.caption = view.caption;
  steps.refresh = [this, &view] {
    refresh();
    if (view.refresh) view.refresh();
  };
  const bool trained = TrainAO(std::make_pair(star->x, star->y), steps);
  refresh();
  return trained;
}

void AutoguiderModel::runExposures(const std::function<void()>& shown) {
  GuiderCameraState& g = guiderCameraState();
  Ui& ui = *platform().ui;
  stop_ = false;
  if (!cameraReady()) return;
  StartGuiderExposure();
  StartGuiderExposure();
  ui.pumpEvents();  // the click on "Start" itself
  while (!stop_) {
    if (ui.pumpEvents().left_button) break;
    if (stop_) break;
    ui.setCursor(CursorShape::Wait);
    const bool read = GuiderExposure(g.unit, g.count, imageBuffers().GuiderFrames[0], processingNow());
    ui.setCursor(CursorShape::Arrow);
    if (!read) break;  // one message from the camera, not one per frame
    refresh();
    drawGuiderImage();
    if (shown) shown();
    if (stop_) break;
    ui.beep();
    if (g.one_sec_pause) waitMs(*platform().clock, 1000);
  }
}

}  // namespace qlm
