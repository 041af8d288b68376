#pragma once
#include "files/settings.h"

namespace qlm {

// Non-linear stretch powers of the auto-processing choices.
inline constexpr int kWeakStretchPower = 2;
inline constexpr int kStrongStretchPower = 18;

// The power of the chosen stretch (weak, else strong, else the user value), 0 for "No Auto Stretch".
int autoStretchPower(const Settings& s);

// Runs the chosen chain on the program-wide frame, each step without a refresh and with its own undo
// snapshot and history text: with a stretch chosen, the background level (B1), the background removal
// when ticked, then the non-linear stretch; the high pass low power filter; the unsharp mask with the
// "dia." and "power" values. Refreshes the display once at the end.
void runAutoProcessing(const Settings& s);

// "Set Auto Processing": the "Auto-Processing Choices" panel on the program-wide settings.
void setAutoProcessingCommand();

// Makes capture run the chain on the program-wide settings after each exposure with "Apply
// Auto-Processing" ticked.
void connectProcessingLinks();

}  // namespace qlm
