#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "guiding/telescope.h"
#include "platform/ui.h"

namespace qlm {

// The rules of the three telescope control panels (LX200, Autostar and "Move Telescope") and the
// object go-to a front end waits on. The panels keep nothing but their fields; they act on the
// telescope state.

enum class ScopePanelKind { Lx200, Autostar, MoveTelescope };

// Where a go-to started from a panel stands, as the panel's position readings show it.
enum class SlewWatch {
  Idle,      // no go-to since the panel opened, or a manual move took over
  Slewing,   // the mount took the go-to and has not been seen to stop
  Stopped,   // the position stood still for two seconds
  OnTarget,  // the position reached the typed co-ordinates
  NoMove,    // the position stood still for two seconds from the first reading on
};

// Drive method 'b' gives the "Move Telescope" panel, 'a' the Autostar panel, anything else the LX200.
ScopePanelKind scopePanelKind(char drive_method);
// The panel's window caption.
std::string_view scopePanelCaption(ScopePanelKind kind);

// The Telescope Control command's first-use step: on the first telescope use of the run the settings
// file is read (message 27 and the file rewritten when it cannot be); an absent camera is looked for,
// and when still absent "Sorry, Camera not found" is shown and false returned; then the telescope port
// is chosen.
bool prepareTelescopeUse(TelescopeState& s = telescopeState());

// The planet buttons and the star numbers the mount's library gives them.
struct Planet {
  std::string_view name;
  int star_number;
};
inline constexpr std::array<Planet, 8> kPlanets = {{{"Mercury", 901},
                                                    {"Venus", 902},
                                                    {"Mars", 904},
                                                    {"Jupiter", 905},
                                                    {"Saturn", 906},
                                                    {"Uranus", 907},
                                                    {"Neptune", 908},
                                                    {"Pluto", 909}}};
// The planet of a name in any letter case; nothing for another name.
std::optional<Planet> findPlanet(std::string_view name);

// The four rates: button caption, the letter of its command ("#:R?#") and the command.
struct Rate {
  std::string_view caption;
  char letter;
  std::string_view command;
};
inline constexpr std::array<Rate, 4> kRates = {
    {{"Slew", 'S', "#:RS#"}, {"Find", 'M', "#:RM#"}, {"Centre", 'C', "#:RC#"}, {"Guide", 'G', "#:RG#"}}};

// Messages of the panels.
inline constexpr std::string_view kOutOfRangeText = "Object out of range - try again";
inline constexpr std::string_view kOutOfRangeCaption = "QLM_T4 - Control Telescope";
inline constexpr std::string_view kInvalidCoordinatesText =
    "Invalid Co-ordinates set.\n\nRange is R.A. 0hr 00min, to 23hr 59mins\n        Dec  -89deg 00min, to "
    "+89deg 59mins";
inline constexpr std::string_view kLx200Caption = "Vex_K2 - Control Telescope";
inline constexpr std::string_view kAutostarHelpCaption = "QLMT8 - Control Telescope";
inline constexpr std::string_view kHelpText =
    "Enter a Messier or CNGC number and press the GoTo Object button.\n\nIf you enter both numbers the "
    "Messier will be favoured. To use CGNC numbers ensure the Messier number is 0";

// A field read as a signed integer: optional blanks, an optional sign and digits, optional blanks.
// Nothing for empty or other text, or a number beyond int.
std::optional<int> fieldNumber(std::string_view text);

// Which catalogue go-to the Messier and CNGC numbers choose: 'm' for Messier 1-110 (it wins when both
// are filled), else 'c' for CNGC 1-7815; nothing when neither is in range.
std::optional<char> catalogueChoice(int messier, int cngc);
// True when RA h:m and Dec d:dm lie in 0 <= h < 24, 0 <= m < 60, -89 <= d < 90, 0 <= dm < 60.
bool coordinatesInRange(int hours, int minutes, int degrees, int dec_minutes);

// One panel: its fields as the user typed them and one action per control. Every action ends with the
// panel showing the telescope state again (the view asks the getters below).
class ScopePanelModel {
 public:
  explicit ScopePanelModel(ScopePanelKind kind, TelescopeState& s = telescopeState());

  ScopePanelKind kind() const { return kind_; }

  // Fields (as typed; each starts as "0").
  std::string messier = "0";
  std::string cngc = "0";
  std::string ra_hours = "0";
  std::string ra_minutes = "0";
  std::string dec_degrees = "0";
  std::string dec_minutes = "0";

  // "GoTo Object": Messier when 1-110, else CNGC when 1-7815, else the out-of-range box; a field that
  // is not a number counts as 0.
  void gotoObject();
  // A planet button (LX200 panel): the star go-to of its number.
  void gotoPlanet(int star_number);
  // "Go To ": the coordinate go-to when the four fields are numbers in range; otherwise the invalid
  // co-ordinates box and nothing is sent.
  void gotoCoordinates();
  // The rate and focus-speed radio buttons.
  void setRate(char letter);
  void setFocusFast(bool fast);
  // Arrows. A press starts a manual move (relay road on the "Move Telescope" panel) unless one runs;
  // a release stops it. The focus arrows: up "#:F+#", down "#:F-#"; release stops.
  void arrowPressed(Direction d);
  void arrowReleased();
  void focusPressed(bool up);
  void focusReleased();
  // "Help": the help box, titled by the panel.
  void help();

  // What the panel shows.
  char rateLetter() const;  // 'S', 'M', 'C' or 'G': the fourth character of the rate command
  bool focusFast() const;   // the fourth character of the focus speed command is 'F'
  std::string objectInfo() const { return scope_.object_info; }
  std::string slewReply() const { return scope_.slew_reply; }
  std::string raText() const { return scope_.ra_text; }
  std::string decText() const { return scope_.dec_text; }

  // Autostar position polling, one pass of the loop after the events of that pass were delivered: a
  // right button press ends the polling (returns false); every second pass only beeps; the others read
  // the position. Returns true while the polling goes on.
  bool pollPass(const InputEvents& events);
  bool polling() const { return polling_; }
  void stopPolling() { polling_ = false; }

  // The position readout the LX200 and "Move Telescope" panels poll while they are open: one
  // ReadPosition that leaves the object info the panel shows as it was. Every position reading (this
  // one and the Autostar polling's) also follows the slew of the last go-to. Returns false when the
  // camera link met a fault on the way (the link has said so); the panel then stops asking.
  bool pollPosition();
  SlewWatch slewWatch() const { return watch_; }
  // "Slewing", "Slew ended", "Slew ended at the target", "The mount did not move", "No position from
  // the mount" or empty.
  std::string slewStatus() const;
  // The last reading as "HH:MM:SS" and "+DD°MM'SS\"" (UTF-8), or as received when it is no position.
  std::string positionRa() const;
  std::string positionDec() const;

 private:
  // After a go-to the mount took: the slew to watch, to `target` when it is known.
  void watchSlew(std::optional<std::pair<double, double>> target);
  void noteReading();

  ScopePanelKind kind_;
  TelescopeState& scope_;
  bool polling_ = true;
  std::uint64_t passes_ = 0;
  SlewWatch watch_ = SlewWatch::Idle;
  std::optional<std::pair<double, double>> target_;  // RA and Dec in arcseconds of a coordinate go-to
  bool read_ = false;                                // a position was asked for since the panel opened
  bool answered_ = false;                            // the last reading was a position
  bool moved_ = false;                               // the position changed since the go-to
  std::string still_reading_;
  std::uint32_t still_since_ms_ = 0;
};

// Object go-to of a front end that waits for the arrival.

// How a watched slew ended.
enum class SlewEnd {
  Arrived,   // the reported position stood still for two seconds
  NoAnswer,  // the mount never gave a position within the time
  TimedOut,  // still moving when the time ran out
  LinkLost,  // the camera that carries the mount's port went away (the link has said so)
};

// Reads the position (ReadPosition) every second until three readings in a row agree, for at most
// `limit_ms` of clock time, or until the camera is gone. The RA and Dec texts hold the last reading.
SlewEnd waitForArrival(std::uint32_t limit_ms, TelescopeState& s = telescopeState());

// A position reply as arcseconds: RA "HH:MM:SS" (or "HH:MM.T") as an angle, Dec "sDD*MM'SS" (or
// "sDD*MM"); nothing when the text is not such a reply.
std::optional<double> raArcsec(std::string_view reply);
std::optional<double> decArcsec(std::string_view reply);

}  // namespace qlm
