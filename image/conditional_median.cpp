#include "image/conditional_median.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace qlm {

namespace {

// Comparator networks. Window wire k x n + c holds the k-th smallest value of window column c once
// the columns are sorted; a comparator leaves the smaller value on `lo` and the larger on `hi`, or
// keeps only the one output that the median depends on.
enum class Keep : std::uint8_t { Both, Min, Max };
struct Comparator {
  std::uint8_t lo;
  std::uint8_t hi;
  Keep keep;
};

// Sorting networks for the 3, 5 and 7 values of a window column (3, 9 and 16 comparators).
constexpr Comparator kSort3[] = {{0, 2, Keep::Both}, {0, 1, Keep::Both}, {1, 2, Keep::Both}};
constexpr Comparator kSort5[] = {{0, 1, Keep::Both}, {3, 4, Keep::Both}, {2, 4, Keep::Both},
                                 {2, 3, Keep::Both}, {0, 3, Keep::Both}, {0, 2, Keep::Both},
                                 {1, 4, Keep::Both}, {1, 3, Keep::Both}, {1, 2, Keep::Both}};
constexpr Comparator kSort7[] = {
    {0, 6, Keep::Both}, {2, 3, Keep::Both}, {4, 5, Keep::Both}, {0, 2, Keep::Both},
    {1, 4, Keep::Both}, {3, 6, Keep::Both}, {0, 1, Keep::Both}, {2, 5, Keep::Both},
    {3, 4, Keep::Both}, {1, 2, Keep::Both}, {4, 6, Keep::Both}, {2, 3, Keep::Both},
    {4, 5, Keep::Both}, {1, 2, Keep::Both}, {3, 4, Keep::Both}, {5, 6, Keep::Both}};

// The median of the sorted columns of a 3 x 3, 5 x 5 and 7 x 7 window (12, 98 and 312 min or max
// operations): column merges with the ranks that cannot be the median dropped after each merge, cut
// down to the comparators the median wire depends on. kMedianWireR names the wire that holds it.
constexpr int kMedianWire1 = 4;
constexpr Comparator kMedian1[] = {
    {0, 1, Keep::Max}, {1, 2, Keep::Max}, {7, 8, Keep::Min},  {6, 7, Keep::Min}, {3, 4, Keep::Both},
    {4, 5, Keep::Min}, {3, 4, Keep::Max}, {2, 4, Keep::Both}, {4, 6, Keep::Min}, {2, 4, Keep::Max}};
constexpr int kMedianWire2 = 22;
constexpr Comparator kMedian2[] = {
    {0, 4, Keep::Both},   {20, 24, Keep::Both}, {20, 4, Keep::Both},  {10, 14, Keep::Both},
    {10, 20, Keep::Both}, {14, 4, Keep::Both},  {5, 9, Keep::Both},   {15, 19, Keep::Both},
    {15, 9, Keep::Both},  {5, 10, Keep::Both},  {15, 20, Keep::Both}, {9, 14, Keep::Both},
    {19, 4, Keep::Both},  {2, 3, Keep::Both},   {22, 23, Keep::Both}, {22, 3, Keep::Both},
    {12, 13, Keep::Both}, {12, 22, Keep::Both}, {13, 3, Keep::Both},  {7, 8, Keep::Both},
    {17, 18, Keep::Both}, {17, 8, Keep::Both},  {7, 12, Keep::Both},  {17, 22, Keep::Both},
    {8, 13, Keep::Both},  {18, 3, Keep::Both},  {0, 2, Keep::Max},    {4, 3, Keep::Min},
    {4, 2, Keep::Both},   {20, 22, Keep::Both}, {20, 4, Keep::Max},   {22, 2, Keep::Min},
    {10, 12, Keep::Max},  {14, 13, Keep::Min},  {14, 12, Keep::Both}, {14, 4, Keep::Max},
    {12, 22, Keep::Both}, {5, 7, Keep::Max},    {24, 23, Keep::Min},  {24, 7, Keep::Both},
    {9, 8, Keep::Both},   {9, 24, Keep::Max},   {8, 7, Keep::Min},    {15, 17, Keep::Max},
    {19, 18, Keep::Min},  {19, 17, Keep::Both}, {19, 24, Keep::Both}, {17, 8, Keep::Min},
    {19, 4, Keep::Both},  {24, 12, Keep::Both}, {17, 22, Keep::Both}, {19, 1, Keep::Max},
    {17, 21, Keep::Min},  {17, 1, Keep::Max},   {24, 11, Keep::Max},  {11, 1, Keep::Min},
    {4, 6, Keep::Max},    {22, 6, Keep::Min},   {12, 16, Keep::Min},  {12, 22, Keep::Max},
    {22, 11, Keep::Min}};
constexpr int kMedianWire3 = 2;
constexpr Comparator kMedian3[] = {
    {5, 1, Keep::Both},   {33, 29, Keep::Both}, {33, 1, Keep::Both},  {19, 15, Keep::Both},
    {47, 43, Keep::Both}, {47, 15, Keep::Both}, {19, 33, Keep::Both}, {47, 1, Keep::Both},
    {15, 29, Keep::Both}, {12, 8, Keep::Both},  {40, 36, Keep::Both}, {40, 8, Keep::Both},
    {26, 22, Keep::Both}, {26, 40, Keep::Both}, {22, 8, Keep::Both},  {12, 19, Keep::Both},
    {26, 33, Keep::Both}, {40, 47, Keep::Both}, {22, 1, Keep::Both},  {8, 15, Keep::Both},
    {36, 29, Keep::Both}, {0, 6, Keep::Both},   {28, 34, Keep::Both}, {28, 6, Keep::Both},
    {14, 20, Keep::Both}, {42, 48, Keep::Both}, {42, 20, Keep::Both}, {14, 28, Keep::Both},
    {42, 6, Keep::Both},  {20, 34, Keep::Both}, {7, 13, Keep::Both},  {35, 41, Keep::Both},
    {35, 13, Keep::Both}, {21, 27, Keep::Both}, {21, 35, Keep::Both}, {27, 13, Keep::Both},
    {7, 14, Keep::Both},  {21, 28, Keep::Both}, {35, 42, Keep::Both}, {27, 6, Keep::Both},
    {13, 20, Keep::Both}, {41, 34, Keep::Both}, {3, 2, Keep::Both},   {31, 30, Keep::Both},
    {31, 2, Keep::Both},  {17, 16, Keep::Both}, {45, 44, Keep::Both}, {45, 16, Keep::Both},
    {17, 31, Keep::Both}, {45, 2, Keep::Both},  {16, 30, Keep::Both}, {10, 9, Keep::Both},
    {38, 37, Keep::Both}, {38, 9, Keep::Both},  {24, 23, Keep::Both}, {24, 38, Keep::Both},
    {23, 9, Keep::Both},  {10, 17, Keep::Both}, {24, 31, Keep::Both}, {38, 45, Keep::Both},
    {23, 2, Keep::Both},  {9, 16, Keep::Both},  {37, 30, Keep::Both}, {5, 3, Keep::Max},
    {1, 2, Keep::Both},   {1, 3, Keep::Both},   {33, 31, Keep::Both}, {29, 30, Keep::Min},
    {29, 31, Keep::Both}, {33, 1, Keep::Both},  {29, 3, Keep::Both},  {31, 2, Keep::Both},
    {19, 17, Keep::Both}, {15, 16, Keep::Both}, {15, 17, Keep::Both}, {47, 45, Keep::Both},
    {47, 15, Keep::Both}, {45, 17, Keep::Both}, {19, 33, Keep::Max},  {47, 1, Keep::Both},
    {15, 29, Keep::Both}, {45, 3, Keep::Both},  {17, 31, Keep::Both}, {16, 2, Keep::Both},
    {12, 10, Keep::Max},  {8, 9, Keep::Both},   {8, 10, Keep::Both},  {40, 38, Keep::Both},
    {43, 44, Keep::Min},  {43, 38, Keep::Both}, {40, 8, Keep::Both},  {43, 10, Keep::Both},
    {38, 9, Keep::Both},  {26, 24, Keep::Both}, {36, 37, Keep::Both}, {36, 24, Keep::Both},
    {22, 23, Keep::Both}, {22, 36, Keep::Both}, {23, 24, Keep::Both}, {26, 40, Keep::Both},
    {22, 8, Keep::Both},  {36, 43, Keep::Both}, {23, 10, Keep::Both}, {24, 38, Keep::Both},
    {37, 9, Keep::Min},   {26, 33, Keep::Both}, {40, 47, Keep::Both}, {22, 1, Keep::Both},
    {8, 15, Keep::Both},  {36, 29, Keep::Both}, {43, 45, Keep::Both}, {23, 3, Keep::Both},
    {10, 17, Keep::Both}, {24, 31, Keep::Both}, {38, 16, Keep::Both}, {37, 2, Keep::Both},
    {0, 26, Keep::Max},   {24, 26, Keep::Both}, {6, 36, Keep::Both},  {6, 24, Keep::Max},
    {36, 26, Keep::Min},  {28, 22, Keep::Max},  {37, 22, Keep::Min},  {34, 23, Keep::Min},
    {34, 37, Keep::Both}, {34, 24, Keep::Max},  {37, 36, Keep::Both}, {14, 40, Keep::Max},
    {38, 40, Keep::Both}, {20, 43, Keep::Both}, {20, 38, Keep::Max},  {43, 40, Keep::Min},
    {42, 8, Keep::Max},   {10, 8, Keep::Both},  {10, 38, Keep::Both}, {8, 43, Keep::Min},
    {10, 24, Keep::Both}, {38, 37, Keep::Both}, {8, 36, Keep::Min},   {7, 33, Keep::Max},
    {31, 33, Keep::Both}, {13, 29, Keep::Both}, {13, 31, Keep::Max},  {29, 33, Keep::Min},
    {35, 1, Keep::Max},   {2, 1, Keep::Min},    {48, 3, Keep::Min},   {48, 2, Keep::Both},
    {48, 31, Keep::Both}, {2, 29, Keep::Min},   {21, 47, Keep::Max},  {16, 47, Keep::Min},
    {41, 45, Keep::Min},  {41, 16, Keep::Both}, {27, 15, Keep::Both}, {17, 15, Keep::Min},
    {27, 41, Keep::Max},  {17, 16, Keep::Both}, {41, 48, Keep::Max},  {17, 31, Keep::Both},
    {16, 2, Keep::Both},  {48, 10, Keep::Max},  {17, 24, Keep::Both}, {31, 38, Keep::Both},
    {16, 37, Keep::Both}, {2, 8, Keep::Min},    {10, 4, Keep::Max},   {38, 32, Keep::Min},
    {38, 4, Keep::Max},   {24, 18, Keep::Max},  {37, 46, Keep::Min},  {37, 18, Keep::Min},
    {37, 4, Keep::Max},   {17, 11, Keep::Max},  {16, 39, Keep::Min},  {16, 11, Keep::Max},
    {31, 25, Keep::Max},  {2, 25, Keep::Min},   {2, 11, Keep::Min},   {2, 4, Keep::Min}};

// Two rows of radius 3 at once: their windows share six rows. With those six window rows sorted per
// column (wire k x 7 + c holds the k-th smallest of column c), kShared7 leaves ranks 17-24 of the 42
// shared values, in order, on the wires kSharedRanks (328 min or max operations, once for both rows).
// Each window adds one row of seven values, and its median is rank 24 of 49: the eighth smallest of
// those eight ranks and the seven added values.
constexpr Comparator kSort6[] = {{0, 5, Keep::Both}, {1, 3, Keep::Both}, {2, 4, Keep::Both},
                                 {1, 2, Keep::Both}, {3, 4, Keep::Both}, {0, 3, Keep::Both},
                                 {2, 5, Keep::Both}, {0, 1, Keep::Both}, {2, 3, Keep::Both},
                                 {4, 5, Keep::Both}, {1, 2, Keep::Both}, {3, 4, Keep::Both}};
constexpr int kSharedRanks[8] = {8, 19, 26, 6, 13, 34, 41, 4};
constexpr Comparator kShared7[] = {
    {1, 2, Keep::Both},   {29, 30, Keep::Both}, {29, 2, Keep::Both},  {15, 16, Keep::Both},
    {15, 29, Keep::Both}, {16, 2, Keep::Both},  {8, 9, Keep::Both},   {36, 37, Keep::Both},
    {36, 9, Keep::Both},  {22, 23, Keep::Both}, {22, 36, Keep::Both}, {23, 9, Keep::Both},
    {8, 15, Keep::Both},  {22, 29, Keep::Both}, {36, 16, Keep::Both}, {23, 2, Keep::Both},
    {9, 30, Keep::Both},  {0, 1, Keep::Both},   {2, 1, Keep::Both},   {28, 29, Keep::Both},
    {28, 2, Keep::Both},  {29, 1, Keep::Both},  {14, 15, Keep::Both}, {30, 15, Keep::Both},
    {16, 30, Keep::Both}, {14, 28, Keep::Both}, {16, 2, Keep::Both},  {30, 29, Keep::Both},
    {15, 1, Keep::Both},  {7, 8, Keep::Both},   {9, 8, Keep::Both},   {35, 36, Keep::Both},
    {35, 9, Keep::Both},  {36, 8, Keep::Both},  {21, 22, Keep::Both}, {37, 22, Keep::Both},
    {23, 37, Keep::Both}, {21, 35, Keep::Both}, {23, 9, Keep::Both},  {37, 36, Keep::Both},
    {22, 8, Keep::Both},  {7, 14, Keep::Both},  {21, 28, Keep::Both}, {35, 16, Keep::Both},
    {23, 2, Keep::Both},  {9, 30, Keep::Both},  {37, 29, Keep::Both}, {36, 15, Keep::Both},
    {22, 1, Keep::Both},  {3, 4, Keep::Both},   {31, 32, Keep::Both}, {31, 4, Keep::Both},
    {17, 18, Keep::Both}, {17, 31, Keep::Both}, {18, 4, Keep::Both},  {10, 11, Keep::Both},
    {38, 39, Keep::Both}, {38, 11, Keep::Both}, {24, 25, Keep::Both}, {24, 38, Keep::Both},
    {25, 11, Keep::Both}, {10, 17, Keep::Both}, {24, 31, Keep::Both}, {38, 18, Keep::Both},
    {25, 4, Keep::Both},  {11, 32, Keep::Both}, {5, 6, Keep::Both},   {33, 34, Keep::Both},
    {33, 6, Keep::Both},  {19, 20, Keep::Both}, {19, 33, Keep::Both}, {20, 6, Keep::Both},
    {12, 13, Keep::Both}, {40, 41, Keep::Both}, {40, 13, Keep::Both}, {26, 27, Keep::Both},
    {26, 40, Keep::Both}, {27, 13, Keep::Both}, {12, 19, Keep::Both}, {26, 33, Keep::Both},
    {40, 20, Keep::Both}, {27, 6, Keep::Both},  {13, 34, Keep::Both}, {3, 5, Keep::Both},
    {4, 6, Keep::Both},   {4, 5, Keep::Both},   {31, 33, Keep::Both}, {31, 4, Keep::Both},
    {33, 5, Keep::Both},  {17, 19, Keep::Both}, {32, 34, Keep::Both}, {32, 19, Keep::Both},
    {18, 20, Keep::Both}, {18, 32, Keep::Both}, {20, 19, Keep::Both}, {17, 31, Keep::Both},
    {18, 4, Keep::Both},  {32, 33, Keep::Both}, {20, 5, Keep::Both},  {19, 6, Keep::Both},
    {10, 12, Keep::Both}, {11, 13, Keep::Both}, {11, 12, Keep::Both}, {38, 40, Keep::Both},
    {38, 11, Keep::Both}, {40, 12, Keep::Both}, {24, 26, Keep::Both}, {39, 41, Keep::Both},
    {39, 26, Keep::Both}, {25, 27, Keep::Both}, {25, 39, Keep::Both}, {27, 26, Keep::Both},
    {24, 38, Keep::Both}, {25, 11, Keep::Both}, {39, 40, Keep::Both}, {27, 12, Keep::Both},
    {26, 13, Keep::Both}, {10, 17, Keep::Both}, {24, 31, Keep::Both}, {38, 18, Keep::Both},
    {25, 4, Keep::Both},  {11, 32, Keep::Both}, {39, 33, Keep::Both}, {40, 20, Keep::Both},
    {27, 5, Keep::Both},  {12, 19, Keep::Both}, {26, 6, Keep::Both},  {13, 34, Keep::Both},
    {0, 3, Keep::Max},    {1, 5, Keep::Min},    {1, 3, Keep::Max},    {2, 4, Keep::Max},
    {4, 3, Keep::Min},    {28, 31, Keep::Max},  {6, 31, Keep::Min},   {29, 33, Keep::Min},
    {29, 6, Keep::Max},   {6, 4, Keep::Both},   {14, 17, Keep::Max},  {19, 17, Keep::Both},
    {30, 32, Keep::Both}, {30, 19, Keep::Max},  {32, 17, Keep::Min},  {16, 18, Keep::Max},
    {34, 18, Keep::Min},  {15, 20, Keep::Min},  {15, 34, Keep::Both}, {15, 19, Keep::Max},
    {34, 32, Keep::Min},  {19, 6, Keep::Both},  {34, 4, Keep::Both},  {7, 10, Keep::Max},
    {8, 12, Keep::Min},   {8, 10, Keep::Both},  {9, 11, Keep::Both},  {9, 8, Keep::Max},
    {11, 10, Keep::Min},  {35, 38, Keep::Max},  {13, 38, Keep::Min},  {36, 40, Keep::Min},
    {36, 13, Keep::Both}, {36, 8, Keep::Max},   {13, 11, Keep::Both}, {21, 24, Keep::Max},
    {26, 24, Keep::Both}, {37, 39, Keep::Both}, {37, 26, Keep::Max},  {39, 24, Keep::Min},
    {23, 25, Keep::Max},  {41, 25, Keep::Min},  {22, 27, Keep::Min},  {22, 41, Keep::Both},
    {22, 26, Keep::Both}, {41, 39, Keep::Min},  {22, 8, Keep::Max},   {26, 13, Keep::Both},
    {41, 11, Keep::Min},  {8, 19, Keep::Both},  {26, 6, Keep::Both},  {13, 34, Keep::Both},
    {41, 4, Keep::Both}};

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"  // vector arguments only between inlined helpers
#define QLM_INLINE inline __attribute__((always_inline))
#else
#define QLM_INLINE inline
#endif

// The row loops are also compiled for AVX-512 and AVX2 and picked at run time.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define QLM_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define QLM_VECTOR_CLONES
#endif

constexpr int kLanes = 32;      // elements handled side by side
constexpr int kMaxWidth = 672;  // row buffer length, a whole number of lane groups

#if defined(__GNUC__)
// 32 lanes of 16 bits: the compiler maps them onto whatever vector registers the target has.
using V = std::uint16_t __attribute__((vector_size(64)));

QLM_INLINE V load(const std::uint16_t* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
QLM_INLINE void store(std::uint16_t* p, V v) {
  std::memcpy(p, &v, sizeof v);
}
QLM_INLINE V vmin(V a, V b) {
  return a < b ? a : b;
}
QLM_INLINE V vmax(V a, V b) {
  return a < b ? b : a;
}
QLM_INLINE V splat(std::uint16_t x) {
  return V{} + x;
}
// med where |med - v| > range x tenths / 10 (truncated), else v. The quotient is taken in 16 bits:
// range x tenths / 10 = (range / 10) x tenths + (range % 10) x tenths / 10.
QLM_INLINE V choose(V med, V v, V range, std::uint16_t tenths) {
  const V diff = vmax(med, v) - vmin(med, v);
  const V tens = range / 10;
  const V threshold = tens * tenths + (range - tens * 10) * tenths / 10;
  return diff > threshold ? med : v;
}
#else
struct V {
  std::uint16_t x[kLanes];
};
QLM_INLINE V load(const std::uint16_t* p) {
  V v;
  std::memcpy(v.x, p, sizeof v.x);
  return v;
}
QLM_INLINE void store(std::uint16_t* p, const V& v) {
  std::memcpy(p, v.x, sizeof v.x);
}
QLM_INLINE V vmin(const V& a, const V& b) {
  V r;
  for (int l = 0; l < kLanes; ++l)
    r.x[l] = std::min(a.x[l], b.x[l]);
  return r;
}
QLM_INLINE V vmax(const V& a, const V& b) {
  V r;
  for (int l = 0; l < kLanes; ++l)
    r.x[l] = std::max(a.x[l], b.x[l]);
  return r;
}
QLM_INLINE V splat(std::uint16_t x) {
  V r;
  std::fill(r.x, r.x + kLanes, x);
  return r;
}
QLM_INLINE V choose(const V& med, const V& v, const V& range, std::uint16_t tenths) {
  V r;
  for (int l = 0; l < kLanes; ++l) {
    const int diff = med.x[l] > v.x[l] ? med.x[l] - v.x[l] : v.x[l] - med.x[l];
    r.x[l] = diff * 10 > range.x[l] * tenths ? med.x[l] : v.x[l];
  }
  return r;
}
#endif

template <Comparator C>
QLM_INLINE void apply(V* w) {
  const V a = w[C.lo];
  const V b = w[C.hi];
  if constexpr (C.keep != Keep::Max) w[C.lo] = vmin(a, b);
  if constexpr (C.keep != Keep::Min) w[C.hi] = vmax(a, b);
}

template <const auto& Net, std::size_t... I>
QLM_INLINE void runNetwork(V* w, std::index_sequence<I...>) {
  (apply<Net[I]>(w), ...);
}

template <const auto& Net>
QLM_INLINE void runNetwork(V* w) {
  runNetwork<Net>(w, std::make_index_sequence<sizeof(Net) / sizeof(Net[0])>{});
}

template <int R>
struct Networks;
template <>
struct Networks<1> {
  static constexpr const auto& sort = kSort3;
  static constexpr const auto& median = kMedian1;
  static constexpr int wire = kMedianWire1;
};
template <>
struct Networks<2> {
  static constexpr const auto& sort = kSort5;
  static constexpr const auto& median = kMedian2;
  static constexpr int wire = kMedianWire2;
};
template <>
struct Networks<3> {
  static constexpr const auto& sort = kSort7;
  static constexpr const auto& median = kMedian3;
  static constexpr int wire = kMedianWire3;
};

// The rows of the conditional median for radius R. Each row first sorts the window column of every
// image column into n row buffers (shared by the n windows that use the column), then finds median,
// maximum and minimum of 32 neighbouring windows at once from those buffers. The last group of
// columns is moved left to end at the last column: overlapping groups compute the same values.
template <int R>
QLM_INLINE void medianRows(const std::uint16_t* in, std::uint16_t* out, int width, std::uint16_t tenths,
                           std::uint16_t min_cap, int first_row, int last_row) {
  constexpr int n = 2 * R + 1;
  alignas(64) std::uint16_t sorted[n][kMaxWidth];
  const auto row_at = [width](int row) { return static_cast<std::ptrdiff_t>(row) * width; };
  const V cap = splat(min_cap);
  for (int i = first_row; i <= last_row; ++i) {
    for (int x = 0; x < width; x += kLanes) {
      const int x0 = std::min(x, width - kLanes);
      V col[n];
      for (int k = 0; k < n; ++k)
        col[k] = load(in + row_at(i - R + k) + x0);
      runNetwork<Networks<R>::sort>(col);
      for (int k = 0; k < n; ++k)
        store(sorted[k] + x0, col[k]);
    }
    const int last_col = width - 1 - R;
    for (int j = R; j <= last_col; j += kLanes) {
      const int j0 = std::min(j, last_col + 1 - kLanes);
      V w[n * n];
      for (int k = 0; k < n; ++k) {
        for (int c = 0; c < n; ++c)
          w[k * n + c] = load(sorted[k] + j0 - R + c);
      }
      V hi = w[(n - 1) * n];
      V lo = vmin(w[0], cap);
      for (int c = 1; c < n; ++c) {
        hi = vmax(hi, w[(n - 1) * n + c]);
        lo = vmin(lo, w[c]);
      }
      runNetwork<Networks<R>::median>(w);
      const std::ptrdiff_t at = row_at(i) + j0;
      store(out + at, choose(w[Networks<R>::wire], load(in + at), hi - lo, tenths));
    }
  }
}

// Radius 3, two rows at a time from `first_row` (an odd last row goes through medianRows<3>). Per
// pair: the six shared window rows are sorted per column into row buffers; per group of 32 columns,
// kShared7 runs once, then each row sorts its added row of seven and takes the eighth smallest of
// the two sorted runs as min over j of max(shared rank 24 - j, added j-th smallest).
QLM_INLINE void medianRowPairs3(const std::uint16_t* in, std::uint16_t* out, int width, std::uint16_t tenths,
                                std::uint16_t min_cap, int first_row, int last_row) {
  constexpr int n = 7;
  constexpr int shared = 6;
  alignas(64) std::uint16_t sorted[shared][kMaxWidth];
  const auto row_at = [width](int row) { return static_cast<std::ptrdiff_t>(row) * width; };
  const V cap = splat(min_cap);
  int i = first_row;
  for (; i + 1 <= last_row; i += 2) {
    for (int x = 0; x < width; x += kLanes) {
      const int x0 = std::min(x, width - kLanes);
      V col[shared];
      for (int k = 0; k < shared; ++k)
        col[k] = load(in + row_at(i - 2 + k) + x0);
      runNetwork<kSort6>(col);
      for (int k = 0; k < shared; ++k)
        store(sorted[k] + x0, col[k]);
    }
    const int last_col = width - 1 - 3;
    for (int j = 3; j <= last_col; j += kLanes) {
      const int j0 = std::min(j, last_col + 1 - kLanes);
      V w[shared * n];
      for (int k = 0; k < shared; ++k) {
        for (int c = 0; c < n; ++c)
          w[k * n + c] = load(sorted[k] + j0 - 3 + c);
      }
      V hi = w[(shared - 1) * n];
      V lo = vmin(w[0], cap);
      for (int c = 1; c < n; ++c) {
        hi = vmax(hi, w[(shared - 1) * n + c]);
        lo = vmin(lo, w[c]);
      }
      runNetwork<kShared7>(w);
      V ranks[8];
      for (int k = 0; k < 8; ++k)
        ranks[k] = w[kSharedRanks[k]];
      // Row i adds window row i - 3, row i + 1 adds window row i + 4.
      for (int h = 0; h < 2; ++h) {
        const std::uint16_t* added = in + row_at(h == 0 ? i - 3 : i + 4) + j0 - 3;
        V t[n];
        for (int c = 0; c < n; ++c)
          t[c] = load(added + c);
        runNetwork<kSort7>(t);
        V med = ranks[7];
        for (int k = 0; k < n; ++k)
          med = vmin(med, vmax(ranks[6 - k], t[k]));
        const std::ptrdiff_t at = row_at(i + h) + j0;
        store(out + at, choose(med, load(in + at), vmax(hi, t[n - 1]) - vmin(lo, t[0]), tenths));
      }
    }
  }
  if (i == last_row) medianRows<3>(in, out, width, tenths, min_cap, i, i);
}

QLM_VECTOR_CLONES
void medianRows1(const std::uint16_t* in, std::uint16_t* out, int width, std::uint16_t tenths,
                 std::uint16_t min_cap, int first_row, int last_row) {
  medianRows<1>(in, out, width, tenths, min_cap, first_row, last_row);
}

QLM_VECTOR_CLONES
void medianRows2(const std::uint16_t* in, std::uint16_t* out, int width, std::uint16_t tenths,
                 std::uint16_t min_cap, int first_row, int last_row) {
  medianRows<2>(in, out, width, tenths, min_cap, first_row, last_row);
}

QLM_VECTOR_CLONES
void medianRows3(const std::uint16_t* in, std::uint16_t* out, int width, std::uint16_t tenths,
                 std::uint16_t min_cap, int first_row, int last_row) {
  medianRowPairs3(in, out, width, tenths, min_cap, first_row, last_row);
}

}  // namespace

void conditionalMedian(const std::uint16_t* in, std::uint16_t* out, int width, int radius, int tenths,
                       std::uint16_t min_cap, int first_row, int last_row) {
  const auto t = static_cast<std::uint16_t>(std::clamp(tenths, 0, 10));
  switch (std::clamp(radius, 1, 3)) {
    case 1:
      medianRows1(in, out, width, t, min_cap, first_row, last_row);
      break;
    case 2:
      medianRows2(in, out, width, t, min_cap, first_row, last_row);
      break;
    default:
      medianRows3(in, out, width, t, min_cap, first_row, last_row);
      break;
  }
}

}  // namespace qlm
