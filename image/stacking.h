#pragma once
#include <array>

#include "image/centroid.h"
#include "image/frame.h"

namespace qlm {

// Answers of a stacking step.
inline constexpr int kStackMerged = 0;
inline constexpr int kStackStarLost = 1;  // shown as message 4
inline constexpr int kStackNoStar = 2;    // shown as message 5

inline constexpr int kProfileLength = 100;

// What stacking keeps between the exposures of one multi-exposure run.
struct StackState {
  bool started = false;  // the first exposure has set the reference
  int exposures = 0;     // exposures summed into the stack so far
  // Star tracking: the reference star's position and its peak value P.
  int star_x = 0;
  int star_y = 0;
  int peak = 0;
  // Profile correlation: the star window's origin row o, the reference profiles and the shift of the
  // newest frame against the first, accumulated.
  int origin = 0;
  std::array<int, kProfileLength> row_profile{};
  std::array<int, kProfileLength> column_profile{};
  int shift_x = 0;
  int shift_y = 0;
};

StackState& stackState();
void resetStackState(StackState& s);

// Star tracking. `current` holds the new frame, `stack` the running stack; `count` is N, the number of
// exposures of the run, and `average` divides each new element by N (integer division).
// First exposure: stack = frame (divided when averaging); three centroid passes (radius `radius`,
// measured on the full frame) from the main centroid result of `centroid` find the star, whose
// position and frame value P become the reference. Later exposures: three passes from the reference;
// when the frame value p there is above 3 x P or below 0.3 x P the star is lost (`current` gets the
// stack back, answer 1). Otherwise, with the star's move (dx, dy), each element (i, j) whose partner
// (i - dy, j - dx) lies in 0 < row < 500, 0 < column < 660 becomes min(65535, stack partner + new
// element); the result goes to `stack` too and the reference moves to the star.
int stackByStar(StackState& s, Frame& current, Frame& stack, int count, bool average, int radius,
                CentroidState& centroid = centroidState());

// Profile correlation over the star window (rows o + 100 to o + 199, columns 200-299, o = 0, 10 or 20)
// with row and column profiles of 16 x the excess over 256 x b + 1024 (b: the fullest 256-value bin).
// First exposure: stack = frame (divided when averaging); no window whose brightest element (kept
// across windows) reaches 400 x b gives answer 2. Later exposures: the shifts -10..10 with the smallest
// profile differences (the first on ties; a difference must be below 10,000,000, otherwise that
// direction does not move) give (dx, dy); profiles too flat to carry a star (column differences at
// shifts -1, 0 and 1 summing below 5,000) lose the star (answer 1, `current` gets the stack back).
// Otherwise the new profiles become the reference, each stack element (i, j) whose partner
// (i + dy + ay, j + dx + ax) of the new frame lies in 0 < row < 500, 0 < column < 660 gains that
// element (saturating at 65535), the shift accumulates and `current` receives the stack.
int stackByProfile(StackState& s, Frame& current, Frame& stack, int count, bool average);

}  // namespace qlm
