#include "image/selection_network.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace qlm {

namespace {

// Batcher's odd-even merge sort on n (a power of two) wires, as (low, high) wire pairs.
std::vector<std::pair<int, int>> batcherNetwork(int n) {
  std::vector<std::pair<int, int>> net;
  for (int p = 1; p < n; p <<= 1) {
    for (int k = p; k >= 1; k >>= 1) {
      for (int j = k % p; j + k < n; j += 2 * k) {
        for (int i = 0; i < std::min(k, n - j - k); ++i) {
          if ((i + j) / (2 * p) == (i + j + k) / (2 * p)) net.emplace_back(i + j, i + j + k);
        }
      }
    }
  }
  return net;
}

#if defined(__GNUC__)
#define QLM_RESTRICT __restrict
#else
#define QLM_RESTRICT
#endif

// The hot loops are also compiled for AVX2 and picked at run time where the processor has it.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define QLM_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QLM_VECTOR_CLONES
#endif

inline void minMax(std::uint16_t* QLM_RESTRICT lo, std::uint16_t* QLM_RESTRICT hi) {
  for (int l = 0; l < SelectionNetwork::kLanes; ++l) {
    const std::uint16_t a = lo[l];
    const std::uint16_t b = hi[l];
    const std::uint16_t m = std::min(a, b);
    lo[l] = m;
    hi[l] = static_cast<std::uint16_t>(a ^ b ^ m);  // the other one: written so it vectorises
  }
}

inline void minOnly(std::uint16_t* QLM_RESTRICT lo, const std::uint16_t* QLM_RESTRICT hi) {
  for (int l = 0; l < SelectionNetwork::kLanes; ++l)
    lo[l] = std::min(lo[l], hi[l]);
}

inline void maxOnly(const std::uint16_t* QLM_RESTRICT lo, std::uint16_t* QLM_RESTRICT hi) {
  for (int l = 0; l < SelectionNetwork::kLanes; ++l)
    hi[l] = std::max(lo[l], hi[l]);
}

}  // namespace

SelectionNetwork::SelectionNetwork(int inputs, int rank) : inputs_(inputs) {
  int n = 1;
  while (n < inputs)
    n <<= 1;
  // Forward pass: the wires beyond `inputs` carry the largest possible value, so a comparator with
  // padding on its high side does nothing and one with padding only on its low side is a plain swap;
  // both are resolved here by tracking which slot each wire holds.
  std::vector<int> slot(static_cast<std::size_t>(n));
  std::iota(slot.begin(), slot.end(), 0);
  auto padding = [&](int wire) { return slot[static_cast<std::size_t>(wire)] >= inputs; };
  std::vector<Op> ops;
  for (const auto& [a, b] : batcherNetwork(n)) {
    if (padding(b)) continue;
    if (padding(a)) {
      std::swap(slot[static_cast<std::size_t>(a)], slot[static_cast<std::size_t>(b)]);
      continue;
    }
    ops.push_back({static_cast<std::uint16_t>(slot[static_cast<std::size_t>(a)]),
                   static_cast<std::uint16_t>(slot[static_cast<std::size_t>(b)]), Keep::Both});
  }
  // Backward pass: keep the comparators the selected wire depends on, and of each only the outputs
  // that are read later.
  result_slot_ = slot[static_cast<std::size_t>(rank)];
  std::vector<bool> needed(static_cast<std::size_t>(n), false);
  needed[static_cast<std::size_t>(result_slot_)] = true;
  for (auto it = ops.rbegin(); it != ops.rend(); ++it) {
    const bool lo = needed[it->lo];
    const bool hi = needed[it->hi];
    if (!lo && !hi) continue;
    ops_.push_back({it->lo, it->hi, lo && hi ? Keep::Both : (lo ? Keep::MinOnly : Keep::MaxOnly)});
    needed[it->lo] = true;
    needed[it->hi] = true;
  }
  std::reverse(ops_.begin(), ops_.end());
}

QLM_VECTOR_CLONES
void SelectionNetwork::extremes(const std::uint16_t (*slots)[kLanes], int count, std::uint16_t* hi,
                                std::uint16_t* lo, std::uint16_t lo_start) {
  alignas(64) std::uint16_t h[kLanes];
  alignas(64) std::uint16_t m[kLanes];
  std::fill(h, h + kLanes, 0);
  std::fill(m, m + kLanes, lo_start);
  for (int k = 0; k < count; ++k) {
    for (int l = 0; l < kLanes; ++l) {
      h[l] = std::max(h[l], slots[k][l]);
      m[l] = std::min(m[l], slots[k][l]);
    }
  }
  std::copy(h, h + kLanes, hi);
  std::copy(m, m + kLanes, lo);
}

QLM_VECTOR_CLONES
const std::uint16_t* SelectionNetwork::run(std::uint16_t (*slots)[kLanes]) const {
  for (const Op& op : ops_) {
    switch (op.keep) {
      case Keep::Both:
        minMax(slots[op.lo], slots[op.hi]);
        break;
      case Keep::MinOnly:
        minOnly(slots[op.lo], slots[op.hi]);
        break;
      case Keep::MaxOnly:
        maxOnly(slots[op.lo], slots[op.hi]);
        break;
    }
  }
  return slots[result_slot_];
}

}  // namespace qlm
