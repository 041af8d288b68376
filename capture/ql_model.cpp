#include "capture/ql_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "camera/link.h"
#include "camera/readout.h"
#include "capture/capture_front_end.h"
#include "capture/sequence.h"
#include "files/settings.h"
#include "guiding/guider.h"
#include "image/display.h"
#include "image/frame.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {

std::string cameraModeText(const CaptureSettings& s) {
  if (s.continuous) return s.exposures == 1 ? "Continuous Imaging" : "Series Imaging";
  return s.exposures == 1 ? "Single Image" : "Auto Merging";
}

std::string autoguiderStatusText() {
  // The guider head is carried by the camera's one USB device: found with it or not at all.
  if (linkState().camera_present == 0) return "Guider Camera not detected";
  return guiderGuidingRunning() ? "Already Autoguiding" : "Guider Camera available";
}

std::string sharpnessText(double pixels) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", pixels);
  return text;
}

}  // namespace

QlModel::QlModel(CaptureSettings& settings, SequenceState& sequence)
    : focus_runner([](QlModel& panel) { runFocusMode(panel); }),
      s_(settings),
      seq_(sequence),
      value_text_(std::to_string(settings.count)) {
  refresh();
}

int QlModel::unitButton(char unit) {
  switch (unit) {
    case 'q':
      return ql::kThousandths;
    case 'h':
      return ql::kHundredths;
    case 't':
      return ql::kTenths;
    case 's':
      return ql::kSeconds;
    default:
      return ql::kMinutes;
  }
}

const char* QlModel::helpText() {
  return "Select exposure range using Radio buttons on left of dialog Window \nSelect anti-smear status "
         "using checkbox\nVary exposure time using scroll arrows,and take exposure by pressing the 'Take "
         "Photo' button\n\nThe Focus mode allows repeated exposures of 0.01 to 10 seconds to be made, and "
         "displays the value of the most saturated pixel. In a starfield, altering the focus until the "
         "maximum value is returned will give a good indication of best focus.\n\nIt is posssible to use "
         "an 'slew and sum' mode, which will automatically sum images together, taking into account small "
         "amounts of drift in the telescope drive. To do this simply change the number of exposures from 1 "
         "to any value less than 100.\n\nPress Right Hand mouse button anywhere in QLM_T4_USB Window to "
         "pematurely terminate an exposure.\n\nThe delay option gives an audible 10 second countdown to "
         "the exposure start\n\nIf multiple is used to control Continuous mode Slew&Sum is disabled";
}

int QlModel::parseValue(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  long value = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    value = value * 10 + (text[i] - '0');
    if (value > 65535) return 0;
  }
  while (i < text.size() && text[i] == ' ')
    ++i;
  if (digits == 0 || i != text.size()) return 0;
  return static_cast<int>(value);
}

bool* QlModel::toggleFor(int id) {
  switch (id) {
    case ql::kAverage:
      return &s_.average_multiple;
    case ql::kContinuous:
      return &s_.continuous;
    case ql::kDelayBefore:
      return &s_.delay_before;
    case ql::kAutoDark:
      return &s_.auto_dark;
    case ql::kAutoFlat:
      return &s_.auto_flat;
    case ql::kAutoProcess:
      return &s_.auto_process;
    case ql::kAutoSave:
      return &s_.auto_save;
    case ql::kAltSlew:
      return &s_.alternative_slew;
    case ql::kAutochange:
      return &s_.autochange;
    case ql::kLiveStack:
      return &s_.live_stack;
    case ql::kDither:
      return &s_.dither;
    default:
      return nullptr;
  }
}

int QlModel::takePhoto() {
  const int value = parseValue(value_text_);
  if (value == 0) return 0;
  s_.count = value;
  seq_.focus_stop = true;  // a running focus mode ends before the panel closes
  return ql::kTakePhoto;
}

void QlModel::chooseRange(char unit, int count, int maximum) {
  s_.unit = unit;
  s_.count = count;
  s_.count_max = maximum;
  program_set_ = true;
}

void QlModel::moveFilter(int position) {
  readoutState().filter_position = static_cast<std::uint16_t>(position);
  MoveFilterWheel(position);
}

int QlModel::press(int id) {
  if (bool* flag = toggleFor(id)) {
    *flag = !*flag;
    refresh();
    return 0;
  }
  const int filters = settings().number_of_filters;
  const int position = readoutState().filter_position;
  switch (id) {
    case ql::kTakePhoto:
      seq_.guided_exposure = false;
      return takePhoto();
    case ql::kAutoguidePhoto: {
      if (guiderGuidingRunning()) {
        ShowMessage(59);
        return 0;
      }
      const int r = takePhoto();
      if (r != 0) seq_.guided_exposure = guiderGuideStar().has_value();
      return r;
    }
    case ql::kGotoAutoguider:
      if (guiderGuidingRunning()) {
        ShowMessage(59);
        return 0;
      }
      if (settings().drive_method == 'n') {
        ShowMessage(kCallerTextMessage, "Please select a telescope drive method before using autoguider");
        return 0;
      }
      seq_.goto_autoguider = true;
      seq_.focus_stop = true;
      return ql::kCancel;
    case ql::kCancel:
      seq_.focus_stop = true;
      return ql::kCancel;
    case ql::kHelp:
      platform().ui->messageBox(kCameraHelpCaption, helpText(), MessageButtons::Ok, MessageIcon::None);
      return 0;
    case ql::kThousandths:
      chooseRange('q', 5, 500);
      break;
    case ql::kHundredths:
      chooseRange('h', 5, 500);
      break;
    case ql::kTenths:
      chooseRange('t', 5, 100);
      break;
    case ql::kSeconds:
      chooseRange('s', 1, 300);
      break;
    case ql::kMinutes:
      chooseRange('m', 1, 90);
      break;
    case ql::kDelaySeconds:
      s_.delay_in_minutes = false;
      break;
    case ql::kDelayMinutes:
      s_.delay_in_minutes = true;
      break;
    case ql::kFocusStart:
      refresh();  // a count typed just before "Start" is the one focus mode uses
      if (focus_runner) focus_runner(*this);
      return 0;
    case ql::kFocusStop:
      seq_.focus_stop = true;
      return 0;
    case ql::kHighResolution:
      frameState().binned = false;
      s_.readout_mode = 1;
      break;
    case ql::kBinned:
      frameState().binned = true;
      s_.readout_mode = 2;
      break;
    case ql::kFilterFirst:
      moveFilter(1);
      break;
    case ql::kFilterNext:
      moveFilter(position < filters ? position + 1 : 1);
      break;
    case ql::kFilterPrev:
      moveFilter(position < 2 ? filters : position - 1);
      break;
    default:
      return 0;
  }
  refresh();
  return 0;
}

void QlModel::scrollExposure(ScrollAction action) {
  // The arrows step from what the box shows; a box without a number steps from the count.
  int base = parseValue(value_text_);
  if (base == 0) base = s_.count;
  if (action == ScrollAction::LineUp && s_.count > s_.count_min) {
    s_.count = base - 1 < s_.count_min ? s_.count_min : base - 1;
    program_set_ = true;
  } else if (action == ScrollAction::LineDown && s_.count < s_.count_max) {
    s_.count = base + 1;
    program_set_ = true;
  }
}

void QlModel::scroll(int id, ScrollAction action, int thumb) {
  switch (id) {
    case ql::kExposureScroll:
      scrollExposure(action);
      break;
    case ql::kExposuresScroll:
      if (action == ScrollAction::LineUp && s_.exposures > 1) --s_.exposures;
      if (action == ScrollAction::LineDown && s_.exposures < 99) ++s_.exposures;
      break;
    case ql::kDelayScroll:
      if (action == ScrollAction::LineUp && s_.delay_between > 0) --s_.delay_between;
      if (action == ScrollAction::LineDown && s_.delay_between < 20) ++s_.delay_between;
      break;
    case ql::kDitherScroll: {
      // Half a guider pixel a step, from 0.5 to 8: larger moves would leave the guide window.
      const int old = static_cast<int>(std::lround(s_.dither_params.amount_px * 2.0));
      int p = std::clamp(old, 1, 16);
      if (action == ScrollAction::LineUp) p = std::max(1, p - 1);
      if (action == ScrollAction::LineDown) p = std::min(16, p + 1);
      if (action == ScrollAction::Thumb && thumb >= 1 && thumb <= 16) p = thumb;
      s_.dither_params.amount_px = p / 2.0;
      break;
    }
    case ql::kStretchScroll: {
      int& p = displayState().focus_stretch_power;
      if (action == ScrollAction::LineUp && p > 1) --p;
      if (action == ScrollAction::LineDown && p < 50) ++p;
      if (action == ScrollAction::PageUp) p = 1;
      if (action == ScrollAction::PageDown) p = 50;
      if (action == ScrollAction::Thumb && thumb >= 1 && thumb <= 50) p = thumb;
      break;
    }
    default:
      return;
  }
  refresh();
}

void QlModel::refresh() {
  view_.exposure_range_max = s_.count_max;
  if (!program_set_) {
    const int typed = parseValue(value_text_);
    if (typed != 0) s_.count = typed;
  }
  program_set_ = false;

  const Settings& set = settings();
  const ReadoutState& rs = readoutState();
  value_text_ = std::to_string(s_.count);
  view_.value_text = value_text_;
  view_.exposure_pos = s_.count;
  view_.delay_text = std::to_string(s_.delay_between);
  view_.last_file_text = std::to_string(set.autosave_counter);
  view_.exposures_text = std::to_string(s_.exposures);
  view_.max_value_text = std::to_string(rs.PeakValue);
  const auto& star = seq_.focus_star;
  view_.hfr_text = star ? sharpnessText(star->hfr) : std::string();
  view_.fwhm_text = star ? sharpnessText(star->fwhm) : std::string();
  view_.camera_mode = cameraModeText(s_);
  view_.autoguider_status = autoguiderStatusText();

  view_.exposures_pos = s_.exposures;
  view_.delay_pos = s_.delay_between;
  view_.stretch_pos = displayState().focus_stretch_power;
  view_.stretch_text = std::to_string(view_.stretch_pos);

  view_.dark_name = s_.dark_file;
  view_.flat_name = s_.flat_file;
  view_.filter_position = std::to_string(rs.filter_position);
  const int slot = rs.filter_position - 1;
  view_.filter_name = slot >= 0 && slot < static_cast<int>(set.filter_names.size())
                          ? set.filter_names[static_cast<std::size_t>(slot)]
                          : std::string();
  view_.sub_dir = set.autosave_dir;

  view_.unit_button = unitButton(s_.unit);
  view_.readout_button = s_.readout_mode == 2 ? ql::kBinned : ql::kHighResolution;
  view_.delay_unit_button = s_.delay_in_minutes ? ql::kDelayMinutes : ql::kDelaySeconds;
  view_.average = s_.average_multiple;
  view_.continuous = s_.continuous;
  view_.delay_before = s_.delay_before;
  view_.auto_dark = s_.auto_dark;
  view_.auto_flat = s_.auto_flat;
  view_.auto_process = s_.auto_process;
  view_.auto_save = s_.auto_save;
  view_.alt_slew = s_.alternative_slew;
  view_.autochange = s_.autochange;
  view_.live_stack = s_.live_stack;
  view_.dither = s_.dither;
  view_.dither_pos = static_cast<int>(std::lround(s_.dither_params.amount_px * 2.0));
  char amount[16];
  std::snprintf(amount, sizeof amount, "%.1f", s_.dither_params.amount_px);
  view_.dither_text = amount;

  std::error_code ec;
  const auto bitmap = platform().paths.focusBitmap();
  view_.focus_bitmap = std::filesystem::exists(bitmap, ec) ? bitmap.string() : std::string();
  if (on_refresh) on_refresh();
}

}  // namespace qlm
