#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace qlm {

// The program's side of the telescope mount: manual moves, focus, go-to, position reads and timed
// guide pulses, sent through the camera (serial pass-through and the guide relay socket) and timed on
// the platform clock. The texts themselves come from guiding/lx200.h. Every operation reads the drive
// method ('n' none, 'l' LX200, 'a' Autostar, 'b' autoguider socket) and the direction letters from the
// settings, and the serial port from the telescope state.

// Logical directions; the settings' direction letters turn them into the letters sent (so the swap
// settings apply).
enum class Direction { East = 0, West = 1, North = 2, South = 3 };

// The telescope state of one program run.
struct TelescopeState {
  int port = 1;                // camera serial port of every telescope command
  bool port_selected = false;  // SelectTelescopePort has run
  char current_direction = 'e';
  int pulse_length_ms = 0;
  std::string rate_command = "#:RS#";  // sent before every manual move on a text method
  std::string move_command;
  std::string focus_speed_command = "#:FS#";
  std::string focus_direction_command;
  bool moving = false;
  bool focusing = false;
  // What the mount answered, as far as it was received (at most 33 characters, without the '#').
  std::string object_info;  // reply to "#:LI#", "#:GR#", "#:GD#"
  std::string slew_reply;   // the reason a slew was refused; empty when it started
  std::string ra_text;
  std::string dec_text;
};

TelescopeState& telescopeState();
void resetTelescopeState(TelescopeState& s);

// The letter sent for a logical direction under the current settings.
char directionLetter(Direction d);

// Chooses the telescope port from the "Com Port for telescope" setting ('1' gives camera port 0,
// anything else 1), once per run; later calls change nothing.
void SelectTelescopePort(TelescopeState& s = telescopeState());

// The two roads of a timed correction pulse and which callers take which.
enum class PulseRoad { Relay, Text };
// Training: the relay road with the autoguider socket ('b'), the text road with every other method.
PulseRoad trainingPulseRoad(char drive_method);
// Guiding corrections: the text road only with the LX200 ('l'), the relay road otherwise.
PulseRoad guidingPulseRoad(char drive_method);

// One correction pulse of s.pulse_length_ms in direction s.current_direction (a letter e, w, n, s;
// the caller has applied the swaps). Relay road: 10 ms, relay bit, the pulse, relays 0, 300 ms.
// Text road: "#:RG#", 20 ms, move command, the pulse, quit command, 4 ms. Any other letter sends
// nothing and only waits the final wait. Returns when the final wait is over.
void GuidePulse(PulseRoad road, TelescopeState& s = telescopeState());

// Manual moves: a start while a move runs and a stop while none runs are ignored. Text methods send the
// rate command and the move command; the socket closes the direction's relay until the stop. The stop
// sends the four quit commands (text) or releases the relays (socket).
void StartManualMove(Direction d, TelescopeState& s = telescopeState());
void StopManualMove(TelescopeState& s = telescopeState());

// Focus: the focus speed command, then "#:F+#" (up) or "#:F-#" (down); the stop sends "#:FQ#". With
// the Autostar every focus command is followed by 10 ms and a 33-byte read that is not examined.
void StartFocus(bool up, TelescopeState& s = telescopeState());
void StopFocus(TelescopeState& s = telescopeState());

// Go-to of a catalogue object: kind 'm' Messier, 's' star (planets 901-909), anything else CNGC. Sends
// the selection, reads the object info after 200 ms, beeps, slews and reads the slew reply after 500 ms.
void GotoCatalogue(char kind, int number, TelescopeState& s = telescopeState());
// Go-to of coordinates (ranges checked by the caller): "#:Sr", "#:Sd", "#:LI#", beep, "#:MS#", 1 ms,
// the slew reply. The replies to "#:Sr" and "#:Sd" are left for the next read.
void GotoCoordinates(int hours, int minutes, int degrees, int dec_minutes,
                     TelescopeState& s = telescopeState());
// "#:LI#", 200 ms, a 33-byte read into the object info.
void ReadObjectInfo(TelescopeState& s = telescopeState());
// "#:GR#" and a read into the RA text, then "#:GD#" and a read into the Dec text; the Autostar is read
// a second time after 10 ms.
void ReadPosition(TelescopeState& s = telescopeState());

}  // namespace qlm
