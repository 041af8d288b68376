#pragma once
#include <functional>
#include <string>

#include "capture/capture_state.h"
#include "platform/ui.h"

namespace qlm {

// The camera control panel's name as the Ui knows it (its window title).
inline constexpr const char* kCameraPanelName = "QLM_T4 Control Interface";
inline constexpr const char* kCameraHelpCaption = "QLM_T4_USB - Control PL Camera";

// Control identifiers of the camera control panel.
namespace ql {
inline constexpr int kTakePhoto = 1;
inline constexpr int kCancel = 2;
inline constexpr int kHelp = 9;
inline constexpr int kDelaySeconds = 10;
inline constexpr int kDelayMinutes = 11;
inline constexpr int kAutoguidePhoto = 12;
inline constexpr int kGotoAutoguider = 13;
inline constexpr int kCameraMode = 14;
inline constexpr int kAutoguiderStatus = 15;
inline constexpr int kExposureScroll = 104;
inline constexpr int kValueBox = 105;
inline constexpr int kAverage = 106;
inline constexpr int kFocusStart = 107;
inline constexpr int kFocusStop = 108;
inline constexpr int kMaxValue = 109;
inline constexpr int kExposuresScroll = 111;
inline constexpr int kExposuresBox = 112;
inline constexpr int kAutoDark = 113;
inline constexpr int kDarkName = 114;
inline constexpr int kAltSlew = 115;
inline constexpr int kAutoSave = 116;
inline constexpr int kDelayBefore = 117;
inline constexpr int kContinuous = 118;
inline constexpr int kDelayScroll = 119;
inline constexpr int kDelayBox = 120;
inline constexpr int kLastFile = 122;
inline constexpr int kAutoFlat = 123;
inline constexpr int kFlatName = 124;
inline constexpr int kAutoProcess = 125;
inline constexpr int kAutochange = 126;
inline constexpr int kLiveStack = 127;
inline constexpr int kStretchScroll = 128;
inline constexpr int kDither = 130;        // "Dither between frames" of a guided series
inline constexpr int kDitherScroll = 131;  // its amount in half pixels
inline constexpr int kDitherBox = 132;
inline constexpr int kStretchBox = 129;
inline constexpr int kThousandths = 171;
inline constexpr int kHundredths = 172;
inline constexpr int kTenths = 173;
inline constexpr int kSeconds = 174;
inline constexpr int kMinutes = 175;
inline constexpr int kHighResolution = 301;
inline constexpr int kBinned = 302;
inline constexpr int kFilterFirst = 315;
inline constexpr int kFilterNext = 316;
inline constexpr int kFilterPrev = 317;
inline constexpr int kFilterPosition = 318;
inline constexpr int kFilterName = 319;
inline constexpr int kSubDir = 710;
}  // namespace ql

// Scroll-bar actions: the two arrows ("up" is the left or top arrow), paging, and a dragged thumb.
enum class ScrollAction { LineUp, LineDown, PageUp, PageDown, Thumb };

// Everything the panel shows, as the last refresh left it.
struct QlView {
  std::string value_text;  // 105: the count
  std::string max_value_text;
  std::string hfr_text;  // HFR and FWHM (pixels) of the star in the last focus exposure; empty without one
  std::string fwhm_text;
  std::string exposures_text;
  std::string delay_text;
  std::string last_file_text;
  std::string stretch_text;
  std::string camera_mode;
  std::string autoguider_status;
  std::string dark_name;
  std::string flat_name;
  std::string filter_position;
  std::string filter_name;
  std::string sub_dir;
  int exposure_range_max = 300;  // scroll ranges start at 0 except the stretch (1)
  int exposure_pos = 1;
  int exposures_pos = 1;
  int delay_pos = 0;
  int stretch_pos = 14;
  int unit_button = ql::kSeconds;  // the checked radio buttons
  int readout_button = ql::kHighResolution;
  int delay_unit_button = ql::kDelaySeconds;
  bool average = false;
  bool continuous = false;
  bool delay_before = false;
  bool auto_dark = false;
  bool auto_flat = false;
  bool auto_process = false;
  bool auto_save = false;
  bool alt_slew = false;
  bool autochange = false;
  bool live_stack = false;
  bool dither = false;
  std::string dither_text;   // 132: the amount, guider pixels
  int dither_pos = 6;        // the amount in half pixels, 1 to 16
  std::string focus_bitmap;  // the focus window's bitmap file when it exists, drawn at (363, 70)
};

// The rules of the camera control panel (`TQLDialog` shows them): what each control does to the
// program-wide capture values and what the panel shows afterwards. The view forwards every control
// action here and redisplays view().
class QlModel final : public PanelModel {
 public:
  explicit QlModel(CaptureSettings& settings = captureSettings(), SequenceState& sequence = sequenceState());

  // A button, radio button or check box was pressed. Returns the identifier the panel closes with
  // (take-photo 1, cancel 2), or 0 while it stays open.
  int press(int id);
  // A scroll bar moved; `thumb` is the position for ScrollAction::Thumb.
  void scroll(int id, ScrollAction action, int thumb = 0);
  // The user's text in the value box (105).
  void setValueText(std::string text) { value_text_ = std::move(text); }
  const std::string& valueText() const { return value_text_; }

  // Reads the value box unless a button set the count, then rebuilds view() from the program values.
  void refresh();
  // The program changed the count (focus mode's autochange): the next refresh shows it instead of
  // reading the box back.
  void keepCount() { program_set_ = true; }
  const QlView& view() const { return view_; }

  // Focus mode ("Start") runs inside the press; by default the program's focus mode.
  std::function<void(QlModel&)> focus_runner;
  // Called after every refresh so that an open view can redisplay (focus mode refreshes as it runs).
  std::function<void()> on_refresh;

  static const char* helpText();
  // The range button of an exposure unit letter ('q', 'h', 't', 's', anything else minutes).
  static int unitButton(char unit);
  // The value box rule: a positive whole number up to 65535, else 0 (the count stays as it is).
  static int parseValue(const std::string& text);

 private:
  int takePhoto();
  void chooseRange(char unit, int count, int maximum);
  void scrollExposure(ScrollAction action);
  void moveFilter(int position);
  bool* toggleFor(int id);

  CaptureSettings& s_;
  SequenceState& seq_;
  std::string value_text_;
  bool program_set_ = false;  // a range button or arrow set the count: the next refresh keeps it
  QlView view_;
};

}  // namespace qlm
