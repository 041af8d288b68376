#pragma once
#include <functional>
#include <string>

#include "guiding/guider.h"
#include "guiding/predictive_guide.h"
#include "platform/ui.h"

namespace qlm {

// The autoguider camera panel's name as the Ui knows it (its window title).
inline constexpr const char* kAutoguiderPanelName = "Auto Guider Camera Control";

// The panel's controls.
enum class GuiderControl {
  Hundredths,
  Tenths,
  Seconds,
  ExposureUp,
  ExposureDown,
  Start,
  Stop,
  OneSecPause,
  SelectGuideStar,
  Train,
  UseDefault,
  ChangeDefaults,
  SaveLatest,
  IgnoreBacklash,
  IgnoreRaAngle,
  SwapNorthSouth,
  SwapEastWest,
  TakeDark,
  ApplyDark,
  MedianFilter,
  Stretch,
  CsvGuideLog,  // the guide log's form: one of the two is on
  Phd2GuideLog,
  StartGuiding,
  GotoMainCamera,
  Close,
  // The AO group.
  AOCom1,
  AOCom2,
  AOSwapUpDown,
  AOSwapLeftRight,
  AOTrain,
  AOMode,
  GuidingMode,
  AOUseDefault,
  AOChangeDefaults,
  AOSaveLatest,
  CentraliseAO,
  // "Guide algorithm: Classic | Predictive" (kept beside the settings file).
  AlgorithmClassic,
  AlgorithmPredictive,
};

// What the panel shows.
struct AutoguiderView {
  char unit = 's';
  int count = 1;
  bool one_sec_pause = false;
  bool ignore_backlash = false;
  bool ignore_ra_angle = false;
  bool swap_ns = false;  // the North slot holds 's'
  bool swap_ew = false;  // the East slot holds 'w'
  bool dark_in_use = false;
  bool median = false;
  bool stretch = false;
  GuideLogFormat log_format = GuideLogFormat::Csv;
  std::string dark_text;    // "<label>darkframe being used" / "... available" / "No darkframe has been taken"
  std::string values_text;  // "Using Trained Vals" / "Using Default Vals"
  std::string use_default_label = "Use Default";
  int training_step = 0;
  // "Default" and "Latest" columns: RA rate, Dec rate, RA backlash, Dec backlash, RA angle.
  int default_values[4] = {0, 0, 0, 0};
  double default_angle = 0.0;
  int latest_values[4] = {0, 0, 0, 0};
  double latest_angle = 0.0;
  bool latest_available = false;
  // The AO group.
  int ao_com = 2;              // 1 while the AO port is 1 ("Com 1"), 2 while it is 0, 0 for any other port
  bool ao_swap_ud = false;     // the North AO slot holds 's'
  bool ao_swap_lr = false;     // the East AO slot holds 'w'
  bool ao_relays = false;      // "AO Mode": relay wiring ("Parallel"), else "Serial"
  char guide_device = 'T';     // "Guiding Mode": 'T' telescope, 'A' AO unit
  std::string ao_values_text;  // "Using Trained Vals" / "Using Default Vals"
  int ao_default_gains[2] = {5, 5};  // left/right, up/down (editable fields)
  int ao_latest_gains[2] = {5, 5};   // from the last AO training (shown)
  int ao_tilt[2] = {0, 0};           // net tilt x (east +), y (north +)
  GuideAlgorithm algorithm = GuideAlgorithm::Classic;
};

// The rules of the "Auto Guider Camera Control" panel; the Qt dialog forwards its controls here and
// shows view(). Closing buttons leave their request in the guiding state for the command that opened
// the panel.
class AutoguiderModel final : public PanelModel {
 public:
  AutoguiderModel();

  // A button or box; returns the panel result when the control closes the panel (kPanelOk), else 0.
  int press(GuiderControl c);
  // "Change Defaults" reads these first (the panel's default fields).
  void setDefaultFields(int ra_rate, int dec_rate, int ra_backlash, int dec_backlash, double ra_angle);
  // The AO group's "Change Defaults" reads these first (the default gain fields).
  void setAODefaultFields(int lr_gain, int ud_gain);
  // Move Telescope arrows. Guide device 'T': the press starts a manual move and the release ends it.
  // Guide device 'A': the press sends one AO move of 100 towards the AO letter of the logical
  // direction, the release nothing.
  void moveStart(char logical);  // 'e', 'w', 'n' or 's'
  void moveEnd();
  // The AO group's "Train": with a guide star picked and a unit that answers, the AO training, each step
  // exposed as the panel's exposures are (caption and refresh through `view`). True when completed.
  bool trainAO(const GuidingView& view = {});

  // Repeated guider exposures ("Start") until "Stop", a left button press or the panel closing. `shown`
  // runs after each exposure (draw the image).
  void runExposures(const std::function<void()>& shown);

  void refresh();
  const AutoguiderView& view() const { return view_; }

 private:
  void takeDark();
  AutoguiderView view_;
  bool stop_ = false;
};

}  // namespace qlm
