#pragma once

namespace qlm {

// Non-linear stretch powers of the auto-processing choices.
inline constexpr int kWeakStretchPower = 2;
inline constexpr int kStrongStretchPower = 18;

// The auto-processing chain as chosen in the settings.
struct AutoProcessChoice {
  int stretch_power = 0;  // non-linear stretch power, 0 for "No Auto Stretch"
  bool remove_background = false;
  bool high_pass_low_power = false;
  bool unsharp_mask = false;
  int unsharp_dia = 3;
  int unsharp_power = 1;
};

// Runs the chosen chain on the program-wide frame, each step without a refresh and with its own undo
// snapshot and history text: with a stretch chosen, the background level (B1), the background removal
// when ticked, then the non-linear stretch; the high pass low power filter; the unsharp mask with the
// "dia." and "power" values. Refreshes the display once at the end.
void runAutoProcessing(const AutoProcessChoice& c);

}  // namespace qlm
