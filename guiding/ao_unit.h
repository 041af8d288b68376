#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qlm {

// The adaptive-optics unit: it tilts the guide star image in small steps and, asked to, moves the mount.
// Every command reaches it through SendAOCommand: in "Serial" mode as a text on the AO port, in
// "Parallel" mode (the AO-through-relays setting) as a relay value whose bits are the unit's four
// inputs. The gains, port, wiring, guide device and AO direction letters are settings; the tilt
// bookkeeping below lives for the program run.

// Guider positions (whole pixels) of the guide star p0 and after the West, East, North, South steps.
struct AOTrainingPositions {
  int x[5] = {};
  int y[5] = {};
};

// Net steps sent since the last centring, and the step in hand.
struct AOState {
  char letter = 'e';               // direction letter of the step in hand
  int count = 0;                   // its step count (milliseconds in relay mode)
  std::int16_t tilt_x = 0;         // east (+) / west (-)
  std::int16_t tilt_y = 0;         // north (+) / south (-)
  bool trained_available = false;  // a training completed (drives only the status text)
  bool use_trained = false;
  bool training_in_progress = false;
  AOTrainingPositions trained_positions;  // the star's positions in the last completed training
  int bumps = 0;  // mount moves sent because the tilt ran beyond 50 steps (counted for the guide report)
};

AOState& aoState();
void resetAOState(AOState& s);

// Command letters, the tilt beyond which the mount is moved, and the size of that move.
inline constexpr char kAOGuideStep = 'G';
inline constexpr char kAOMountMove = 'M';
inline constexpr char kAOCentre = 'K';
inline constexpr int kAOTiltLimit = 50;
inline constexpr int kAOBumpCount = 100;
inline constexpr int kAOManualCount = 100;  // one press of the panel's arrow
inline constexpr std::size_t kAOCommandBytes = 7;

// Relay values of the unit's inputs: all four bits except the direction's own, 15 at rest, 0 none.
inline constexpr std::uint8_t kAORelayEast = 7;
inline constexpr std::uint8_t kAORelayNorth = 11;
inline constexpr std::uint8_t kAORelaySouth = 13;
inline constexpr std::uint8_t kAORelayWest = 14;
inline constexpr std::uint8_t kAORelayRest = 15;
inline constexpr std::uint8_t kAORelayNone = 0;

// The unit's direction character for a direction letter: 'N' for n, 'S' for s, 'T' for e, 'W' for w,
// 0 for any other letter (such a step sends nothing).
char aoDirectionChar(char letter);
// The relay value of a direction letter (7, 11, 13, 14), 0 for any other letter.
std::uint8_t aoRelayValue(char letter);
// A command text: the command letter, the direction character and the count as "%.5d".
std::string aoCommandText(char command, char direction, int count);

// One guide step of s.count in direction s.letter. Relay mode: 10 ms, the direction's value, the count in
// milliseconds, the rest value, 300 ms; the tilt is not tracked. Serial mode: "G" + direction + count,
// the tilt moves by the count; then, while either tilt is beyond 50 steps, the mount move "M" + the
// opposite direction + "00100" (the tilt is left as it is, so later steps repeat the move).
void AOStep(AOState& s = aoState());
// One manual move of 100 in direction `letter` (the panel's arrows with the AO as guide device): relay
// mode as a step; serial mode "M" + direction + "00100" with the tilt bookkeeping and no mount move.
void AOMove(char letter, AOState& s = aoState());
// Undoes the net tilt with guide steps (after a guided exposure): relay mode only the value 0; serial
// mode one step against the Dec tilt, 300 ms, one against the RA tilt, 300 ms. Both tilts become 0.
void RecentreAO(AOState& s = aoState());
// "Centralise AO": relay mode 15, 100 ms, 0; serial mode the single byte "K". Both tilts become 0.
void CentraliseAO(AOState& s = aoState());

// One AO correction from the guiding errors (thousandths of a pixel): nothing beyond 8 pixels; an axis
// above 30 thousandths gets |error x default gain| / 1000 steps, the West letter for dx > 0 (else East)
// and the North letter for dy > 0 (else South). A count of 0 sends nothing.
struct AOAxis {
  bool considered = false;
  char letter = 0;
  int count = 0;
  bool sent() const { return considered && count > 0; }
};
struct AOCorrection {
  bool too_far = false;
  AOAxis ra;
  AOAxis dec;
};
AOCorrection aoCorrection(int dx, int dy);
// The same, and the steps sent: beep, AOStep, beep for each axis, no wait between them. With `send`
// false nothing goes out (the unguided baseline).
AOCorrection AOCorrect(int dx, int dy, bool send = true, AOState& s = aoState());

// --- Training ---

struct AOGains {
  int lr = 1;
  int ud = 1;
};
// The star's moves per 25 steps: left/right L = ((p1 - p0) + (p1 - p2)) / 2 per axis (truncating),
// up/down U likewise from p3, p2 and p4.
struct AOTrainingVectors {
  int lx = 0, ly = 0, ux = 0, uy = 0;
};
AOTrainingVectors aoTrainingVectors(const AOTrainingPositions& p);
// Gains from the positions: trunc(25 / |L|) and trunc(25 / |U|). A gain of 0 (or a star that did not
// move) becomes 1.
AOGains aoTrainingGains(const AOTrainingPositions& p);

// What the training needs from its front end: a guider exposure (start, expose, draw; returns the
// 500 x 290 image), the panel caption and a refresh. Empty members do nothing.
struct AOTrainingView {
  std::function<const std::uint16_t*()> expose;
  std::function<void(const std::string&)> caption;
  std::function<void()> refresh;
};
// The AO training from the guide star: four steps of 25 (West, East, North, South), each followed by
// its wait, a guider exposure and two centroids (the first at the star). A failed centroid ends it
// without results. A completed training stores the latest gains, sets the trained flags and saves the
// settings. True when completed.
bool TrainAO(std::optional<std::pair<int, int>> star, const AOTrainingView& view, AOState& s = aoState());

// --- The AO controls of the autoguider camera panel (each stored change saves the settings file) ---

void aoSelectCom(int com);   // "Com 1" (port 1), "Com 2" (port 0)
void aoSwapUpDown();         // exchange the North and South AO letters
void aoSwapLeftRight();      // exchange the East and West AO letters
bool aoUpDownSwapped();      // tick of "Swap Up/Down": the North slot holds 's'
bool aoLeftRightSwapped();   // tick of "Swap Left/Right": the East slot holds 'w'
void aoToggleMode();         // "AO Mode": the AO-through-relays flag
void aoToggleGuideDevice();  // "Guiding Mode": 'T' <-> 'A'
// "Use Default": toggles use-trained while trained values are available (else it stays off).
void aoUseDefault(AOState& s = aoState());
// "Using Trained Vals" when trained values are available and in use, else "Using Default Vals".
std::string aoStatusText(const AOState& s = aoState());
void aoChangeDefaults(int lr_gain, int ud_gain);  // "Change Defaults"
void aoSaveLatest();                              // "Save Latest": defaults = latest gains

}  // namespace qlm
