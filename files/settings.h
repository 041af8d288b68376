#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace qlm {

struct FitsDetails;

// Slots of the four-letter direction tables (telescope and AO unit): the letter sent for logical East,
// West, North and South, in that order (start-up value "ewns").
enum DirectionSlot { kEastSlot = 0, kWestSlot = 1, kNorthSlot = 2, kSouthSlot = 3 };

// The program-wide settings record: every lasting setting, stored as the fixed 1,402-byte settings
// file. Fields keep their initial (start-up) values until the file is read. The FITS texts, aperture,
// focal length, time difference and unsigned flag that the file also carries live in FitsDetails.
struct Settings {
  // Camera link.
  bool ignore_camera_vid_pid = false;  // "Ignore Camera VID/PID"
  bool show_interface_details = true;  // "Show Interface Details"
  int telescope_port = 1;              // serial port number of the mount
  int filter_wheel_port = 1;           // serial port number of the filter wheel
  int ao_port = 0;                     // AO unit port: 1 for "Com 1", 0 for "Com 2"
  bool ao_through_relays = false;      // AO-through-relays flag ("AO Mode")
  std::string ao_command = "H";        // AO command text; its first character is the command letter
  bool filter_wheel_present = false;   // "Filter Wheel"
  int number_of_filters = 7;
  bool one_sec_delay_when_focussing = false;  // "1 sec delay when focussing"
  bool disable_interrupts_during_download = true;

  // Files: number of the last autosaved file, and the autosave directory (as typed, and the one used).
  std::uint16_t autosave_counter = 0;
  std::string autosave_dir_entered;           // "" when none was typed
  std::string autosave_dir = "c:\\AUTOSAVE";  // typed form; mapped onto the data root when used

  // Telescope ("Com Port for telescope", drive method 'n' none, 'l' LX200, 'a' Autostar, 'b' socket).
  char telescope_com = '1';
  char drive_method = 'n';
  std::array<char, 4> direction_letters = {'e', 'w', 'n', 's'};  // by DirectionSlot

  // Window background: 'l' light grey, 'g' grey, 'r' red.
  char window_background = 'l';

  // Guiding with the main camera: rates in pixels per second, backlash and hysteresis in pixels.
  int main_ra_rate = 2;
  int main_dec_rate = 2;
  int main_ra_backlash = 0;
  int main_dec_backlash = 0;
  int main_ra_hysteresis = 0;
  int main_dec_hysteresis = 0;
  // Guider camera defaults, same units.
  int guider_ra_rate = 6;
  int guider_dec_rate = 6;
  int guider_ra_backlash = 0;
  int guider_dec_backlash = 0;
  int guider_ra_hysteresis = 0;
  int guider_dec_hysteresis = 0;
  double default_ra_angle = 0.0;  // degrees; whole degrees in the file
  int mask_radius = 8;            // guide-star mask radius, pixels: 7, 8, 9, 11, 13 or 15
  bool ignore_drift = true;       // "Ignore drift < 1 pixel"
  bool ignore_backlash = true;    // "Ignore Backlash"
  bool ignore_ra_angle = true;    // "Ignore RA Angle"
  // Guide training times in seconds (1, 2, 4 or 8); not stored in the file.
  int main_training_seconds = 1;
  int guider_training_seconds = 2;

  // Auto-processing choices.
  bool apply_weak_stretch = false;
  bool apply_strong_stretch = false;
  bool auto_stretch_user = false;
  int user_stretch_value = 4;  // 1 to 36
  bool high_pass_low_power = false;
  bool unsharp_mask = false;
  int unsharp_dia = 3;    // 1 to 6
  int unsharp_power = 1;  // 1 to 6
  bool remove_background = false;

  // Filter wheel names: at most 9 characters each in the file, 8 in the defaults dialog.
  std::array<std::string, 8> filter_names = {"Blank",    "Filter 2", "Filter 3", "Filter 4",
                                             "Filter 5", "Filter 6", "Filter 7", "Filter 8"};
  bool auto_advance_when_imaging = false;  // "Auto-Advance when Imaging"

  // AO unit: gains in AO steps per pixel, guide device 'T' telescope or 'A' AO unit.
  int ao_default_lr_gain = 5;
  int ao_default_ud_gain = 5;
  int ao_latest_lr_gain = 5;
  int ao_latest_ud_gain = 5;
  char guide_device = 'T';
  std::array<char, 4> ao_direction_letters = {'e', 'w', 'n', 's'};  // by DirectionSlot

  // Stored words and flags with no other use.
  int reserved_word1 = 0;
  int reserved_word2 = 1;
  bool reserved_flag1 = false;
  bool reserved_flag2 = false;
  bool reserved_flag3 = false;
};

Settings& settings();
void resetSettings(Settings& s);

// Size of the settings file in bytes.
inline constexpr long long kSettingsFileSize = 1402;

// Results of loadSettings and saveSettings.
inline constexpr int kSettingsOk = 0;
inline constexpr int kSettingsShort = 2;       // the file ended early or could not be read
inline constexpr int kSettingsSaveFailed = 3;  // not creatable, or a write came up short

// Reads the settings file at `path` field by field into `s` and `fits`. A first run (the file's folder
// did not exist) creates the folder and writes the file instead. A file ending early gives 2; a file
// ending at offset 34, or holding an invalid value, is rewritten and the save's result returned.
int loadSettings(const std::filesystem::path& path, Settings& s, FitsDetails& fits);
// Writes the whole record; 0, or 3 when the file could not be written (the old file then stays).
int saveSettings(const std::filesystem::path& path, const Settings& s, const FitsDetails& fits);

// The same on the program-wide records and the data root's settings file.
int loadSettings();
int saveSettings();

// Where a typed directory points on this machine; the autosave folder in any letter case is the data
// root's autosave folder. Empty for a drive the machine lacks.
std::filesystem::path mapDirectory(const std::string& typed);
// The folder autosaved files go to, and the full name of autosaved file number `n` (IMG<n>.FIT).
std::filesystem::path autosaveFolder(const Settings& s);
std::filesystem::path autosaveFileName(const Settings& s, unsigned n);

}  // namespace qlm
