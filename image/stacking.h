#pragma once
#include <array>
#include <cstdint>
#include <vector>

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
  // The frames added so far, undivided, in the stack's own place (a wide sum per element), and how many
  // frames cover each element (fewer where a shift left an element without a partner). Every 16-bit
  // stack is made from these, so an average is divided once and nothing is lost to truncation.
  std::vector<std::uint32_t> sum;
  std::vector<std::uint16_t> depth;
  std::vector<std::uint32_t> scratch_sum;
  std::vector<std::uint16_t> scratch_depth;
  // A centroid window that did not fit: the star was not measured, so the stack may be unaligned.
  bool centre_failed = false;
  // Set by a caller that would rather stop than add a frame whose star could not be measured: such a
  // frame then counts as a lost star.
  bool lose_unmeasured = false;
  // Set by a caller that needs only the final stack: the steps after the first keep the sums and leave
  // `stack` and `current` as they are (a lost star leaves `current` as it was loaded) until
  // writeStackFrames is called.
  bool frames_on_demand = false;
};

StackState& stackState();
void resetStackState(StackState& s);

// The 16-bit stack both methods leave in `stack` and `current` after k of N exposures: with `average`
// the running mean sum x k / (depth x N), rounded (sum / N where all k frames cover an element, so
// elements near the edges are not brighter or darker than the rest); otherwise min(65535, sum), as a
// running 16-bit sum saturates.
//
// Star tracking. `current` holds the new frame, `stack` the running stack; `count` is N, the number of
// exposures of the run, and `average` makes the stack the running mean above.
// First exposure: stack = frame (its share of the mean when averaging); three centroid passes (radius
// `radius`, measured on the full frame) from the main centroid result of `centroid` find the star, whose
// position and frame value P become the reference (a pass whose window does not fit sets
// centre_failed). Later exposures: three passes from the reference;
// when the frame value p there is above 3 x P or below 0.3 x P (or, with lose_unmeasured, a pass's
// window does not fit) the star is lost (`current` gets the stack back, answer 1). Otherwise, with the star's
// move (dx, dy), each element (i, j) whose partner (i - dy, j - dx) lies in 0 < row < 500, 0 < column < 660
// adds the new element to its partner's sum (the others start again from the new element); the result goes to
// `stack` too and the reference moves to the star.
int stackByStar(StackState& s, Frame& current, Frame& stack, int count, bool average, int radius,
                CentroidState& centroid = centroidState());

// Profile correlation over the star window (rows o + 100 to o + 199, columns 200-299, o = 0, 10 or 20)
// with row and column profiles of 16 x the excess over 256 x b + 1024 (b: the fullest 256-value bin).
// First exposure: stack = frame (its share of the mean when averaging); no window whose brightest element
// (kept across windows) reaches 400 x b gives answer 2. Later exposures: the shifts -10..10 with the smallest
// profile differences (the first on ties; a difference must be below 10,000,000, otherwise that
// direction does not move) give (dx, dy); profiles too flat to carry a star (column differences at
// shifts -1, 0 and 1 summing below 5,000) lose the star (answer 1, `current` gets the stack back).
// Otherwise the new profiles become the reference, each stack element (i, j) whose partner
// (i + dy + ay, j + dx + ax) of the new frame lies in 0 < row < 500, 0 < column < 660 gains that
// element, the shift accumulates and `current` receives the stack.
int stackByProfile(StackState& s, Frame& current, Frame& stack, int count, bool average);

// The stack so far as 32-bit floats (kFrameElements of them), without clipping: per element the mean
// of the frames that cover it, or (mean = false) their sum scaled to all the exposures added.
// Writes the 16-bit stack of the sums so far into `stack` and `current` (see above); nothing before the
// first exposure.
void writeStackFrames(const StackState& s, Frame& stack, Frame& current, int count, bool average);

void stackFloatResult(const StackState& s, bool mean, float* out);

}  // namespace qlm
