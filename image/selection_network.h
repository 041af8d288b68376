#pragma once
#include <cstdint>
#include <vector>

namespace qlm {

// A comparator network that finds the element of one rank among n 16-bit inputs (Batcher's odd-even
// merge sort padded to a power of two, cut down to the comparators the chosen output depends on).
// It runs on many pixels at once: every input is a row of `kLanes` values, one per pixel, so each
// comparator is a min and a max over whole rows.
class SelectionNetwork {
 public:
  static constexpr int kLanes = 64;

  // Selects the `rank`-th smallest (0-based) of `inputs` values.
  SelectionNetwork(int inputs, int rank);

  int inputs() const { return inputs_; }
  int comparators() const { return static_cast<int>(ops_.size()); }
  // `slots` holds at least inputs() rows of kLanes values: row k is input k and is overwritten.
  // Returns the row that holds the selected value of every lane afterwards.
  const std::uint16_t* run(std::uint16_t (*slots)[kLanes]) const;
  // Per lane, the largest of the first `count` rows into `hi` and the smallest, but at most
  // `lo_start`, into `lo`.
  static void extremes(const std::uint16_t (*slots)[kLanes], int count, std::uint16_t* hi, std::uint16_t* lo,
                       std::uint16_t lo_start);

 private:
  enum class Keep : std::uint8_t { Both, MinOnly, MaxOnly };
  struct Op {
    std::uint16_t lo;  // receives the minimum
    std::uint16_t hi;  // receives the maximum
    Keep keep;
  };
  int inputs_;
  int result_slot_ = 0;
  std::vector<Op> ops_;
};

}  // namespace qlm
