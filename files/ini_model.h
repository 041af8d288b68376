#pragma once
#include <array>
#include <string>

#include "files/settings.h"
#include "platform/ui.h"

namespace qlm {

// The rules of "Set Program Defaults". The dialog edits the live settings directly: radio buttons and
// boxes change their setting at once; typed numbers and texts wait in `fields` until their Set button
// reads them. Every press ends with refresh(), which shows the settings again in every control.
class IniModel : public PanelModel {
 public:
  static constexpr const char* kPanelName = "TINIDialog";
  static constexpr int kHysteresisCap = 20;
  static constexpr int kBadFilterCountBecomes = 7;
  static constexpr std::size_t kFilterNameChars = 8;
  static constexpr std::size_t kDirectoryChars = 78;
  static constexpr int kMaskRadii[6] = {7, 8, 9, 11, 13, 15};
  static constexpr int kTrainingSeconds[4] = {1, 2, 4, 8};

  // Positions of the twelve numbers in `fields.slew`: the main camera column, then the autoguider's.
  enum Slew { kRaRate, kDecRate, kRaBacklash, kDecBacklash, kRaHysteresis, kDecHysteresis };
  static constexpr int kGuiderColumn = 6;

  // What the edit fields hold: shown values after a refresh, the user's typing in between.
  struct Fields {
    std::array<std::string, 12> slew;
    std::string filter_count;
    std::array<std::string, 8> filter_names;
    std::string autosave_dir;
  };

  explicit IniModel(Settings& s = settings());

  const Settings& values() const { return s_; }
  Fields fields;

  // Sets every field from the settings, and the telescope and filter-wheel port numbers from the com
  // setting.
  void refresh();

  // Radio buttons and boxes: the setting changes at once, then refresh.
  void setComPort(char com);  // '1' or '2'
  void toggleFilterWheel();
  void setBackground(char letter);  // 'l', 'r', 'g'
  void setMaskRadius(int pixels);
  void setMainTrainingTime(int seconds);
  void setGuiderTrainingTime(int seconds);
  void setDriveMethod(char method);  // 'n', 'l', 'a', 'b'
  void toggleSwapNorthSouth();
  void toggleSwapEastWest();
  void toggleIgnoreDrift();
  void toggleIgnoreBacklash();
  void toggleFocusDelay();
  void toggleDisableInterrupts();
  void toggleShowInterfaceDetails();
  void toggleIgnoreVidPid();
  void toggleAutoAdvance();

  // The three Set buttons.
  void setSlewValues();
  void setFilterDetails();
  void setAutoSaveDir();  // "Sorry, Invalid directory" when the folder cannot be used

  // How the boxes show the direction letters, and the text beside "Filter Wheel".
  bool swapNorthSouth() const { return s_.direction_letters[kNorthSlot] == 's'; }
  bool swapEastWest() const { return s_.direction_letters[kEastSlot] == 'w'; }
  std::string filterWheelText() const;

 private:
  void readSlewFields();

  Settings& s_;
};

// Reads a typed whole number as the dialog does: leading blanks, a sign and digits; 0 when the text
// holds no number, and the nearest int for one out of range.
int typedNumber(const std::string& text);

}  // namespace qlm
