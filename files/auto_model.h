#pragma once
#include <string>

#include "files/settings.h"
#include "image/autoprocess.h"
#include "platform/ui.h"

namespace qlm {

// The rules of the "Auto-Processing Choices" dialog. Radio buttons and check boxes change the settings
// at once; the three number fields are read only by Save.
class AutoModel : public PanelModel {
 public:
  static constexpr const char* kPanelName = "Auto-Processing Choices";
  enum class Stretch { None, Weak, Strong, User };

  explicit AutoModel(Settings& s);

  Stretch stretch() const;
  void chooseStretch(Stretch choice);
  void setRemoveBackground(bool on) { s_.remove_background = on; }
  void setHighPass(bool on) { s_.high_pass_low_power = on; }
  void setUnsharp(bool on) { s_.unsharp_mask = on; }
  const Settings& settings() const { return s_; }

  // The number fields as typed: the user stretch power (2-29), "dia." (2-6) and "power" (1-6).
  std::string user_power_text;
  std::string dia_text;
  std::string power_text;

  // Save: each field inside its range is stored. When all three are, the settings file is written
  // ("Unable to save INI file, please check disk space" on failure) and true closes the dialog;
  // otherwise a beep and false. The fields show the stored values afterwards.
  bool save();
  void help() const;

 private:
  void showStored();
  Settings& s_;
};

// The power of the chosen stretch (weak, else strong, else the user value), 0 for "No Auto Stretch".
int autoStretchPower(const Settings& s);
// The auto-processing chain the settings choose.
AutoProcessChoice autoProcessChoice(const Settings& s);

// "Set Auto Processing": the "Auto-Processing Choices" panel on the program-wide settings.
void setAutoProcessingCommand();

}  // namespace qlm
