#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace qlm {

// The program-wide settings record: every lasting setting, stored as the fixed 1,402-byte settings
// file. Fields keep their initial (start-up) values until the file is read.
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
};

Settings& settings();
void resetSettings(Settings& s);

}  // namespace qlm
