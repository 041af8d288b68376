#include "image/calibration.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

// Hand-written vector paths for x86-64, picked at run time; GCC 12's AVX-512 intrinsics trip its own
// uninitialised-value warning.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QLM_CALIBRATION_SIMD 1
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#endif

namespace qlm {

namespace {
constexpr int kFlatFirstColumn = 3;
constexpr int kAutoFlatFirstRow = 2;
constexpr int kAutoFlatLastRow = 498;
constexpr int kFlatProgressStart = 10;

std::size_t at(int row, int col) {
  return static_cast<std::size_t>(row) * kFrameWidth + static_cast<std::size_t>(col);
}

// The flat field of one element: x = v / f x F in double precision, the two zero-flat rules, then
// 65535 from 65,535 up, else trunc(x).
inline std::uint16_t flatElement(std::uint16_t v, std::uint16_t f, double mean) {
  double x;
  if (f != 0) {
    x = static_cast<double>(v) / f * mean;
  } else {
    x = v == 0 ? mean : static_cast<double>(v);
  }
  return x >= 65535.0 ? std::uint16_t{65535} : static_cast<std::uint16_t>(x > 0.0 ? x : 0.0);
}

void flatRowExact(std::uint16_t* image, const std::uint16_t* flat, double mean, int from, int to) {
  for (int j = from; j < to; ++j)
    image[j] = flatElement(image[j], flat[j], mean);
}

// One row of the flat field, columns 3-659: image, flat and prepared factors of that row.
using FlatRow = void (*)(std::uint16_t* image, const std::uint16_t* flat, const float* factor, double mean);

// The factors F / f of n flat elements, rounded to single precision; not a number where f is 0.
using FlatFactors = void (*)(const std::uint16_t* flat, float* factor, double mean, int n);

// One flat code: its rows and its factors.
struct FlatCodeFns {
  FlatRow row = nullptr;
  FlatFactors factors = nullptr;
};

void flatRowPlain(std::uint16_t* image, const std::uint16_t* flat, const float*, double mean) {
  flatRowExact(image, flat, mean, kFlatFirstColumn, kFrameWidth);
}

void factorsExact(const std::uint16_t* flat, float* factor, double mean, int from, int to) {
  for (int i = from; i < to; ++i)
    factor[i] = flat[i] == 0 ? std::numeric_limits<float>::quiet_NaN() : static_cast<float>(mean / flat[i]);
}

void factorsPlain(const std::uint16_t* flat, float* factor, double mean, int n) {
  factorsExact(flat, factor, mean, 0, n);
}

// The vector rows: x = v x (F / f) in single precision lies within 1.2e-7 x of the double-precision
// result, so where no whole number lies within 2.5e-7 x of it both truncate alike. A group holding an
// element that close to a whole number, or one whose flat is 0 (factor not a number), is worked out
// exactly instead.
#ifdef QLM_CALIBRATION_SIMD
constexpr float kBand = 2.5e-7f;

// The elements of a group whose bits are set in `lanes` worked out exactly from their old values
// (the group's first 16 elements at most, as they were before the vector result was stored).
__attribute__((target("avx2"))) void fixLanes(std::uint16_t* image, const std::uint16_t* flat, __m256i old,
                                              unsigned lanes, double mean) {
  alignas(32) std::uint16_t before[16];
  _mm256_store_si256(reinterpret_cast<__m256i*>(before), old);
  for (; lanes != 0; lanes &= lanes - 1) {
    const int k = __builtin_ctz(lanes);
    image[k] = flatElement(before[k], flat[k], mean);
  }
}
constexpr float kCap = 65536.5f;  // anything above gives 65535; half-way so that it is never "close"

__attribute__((target("avx512f,avx512bw,avx512vl,avx512dq"))) void flatRowAvx512(std::uint16_t* image,
                                                                                 const std::uint16_t* flat,
                                                                                 const float* factor,
                                                                                 double mean) {
  const __m512 cap = _mm512_set1_ps(kCap);
  const __m512 band = _mm512_set1_ps(kBand);
  int j = kFlatFirstColumn;
  for (; j + 16 <= kFrameWidth; j += 16) {
    const __m256i v16 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(image + j));
    const __m512 v = _mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(v16));
    const __m512 x = _mm512_min_ps(cap, _mm512_mul_ps(v, _mm512_loadu_ps(factor + j)));  // keeps a NaN
    const __m512 near = _mm512_abs_ps(_mm512_reduce_ps(x, _MM_FROUND_TO_NEAREST_INT));
    const __mmask16 exact = _mm512_cmp_ps_mask(near, _mm512_mul_ps(x, band), _CMP_NGE_UQ);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(image + j),
                        _mm512_cvtusepi32_epi16(_mm512_cvttps_epi32(x)));
    if (exact != 0) fixLanes(image + j, flat + j, v16, exact, mean);
  }
  flatRowExact(image, flat, mean, j, kFrameWidth);
}

__attribute__((target("avx2"))) void flatRowAvx2(std::uint16_t* image, const std::uint16_t* flat,
                                                 const float* factor, double mean) {
  const __m256 cap = _mm256_set1_ps(kCap);
  const __m256 band = _mm256_set1_ps(kBand);
  const __m256 sign = _mm256_set1_ps(-0.0f);
  int j = kFlatFirstColumn;
  for (; j + 8 <= kFrameWidth; j += 8) {
    const __m128i v16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(image + j));
    const __m256 v = _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(v16));
    const __m256 x = _mm256_min_ps(cap, _mm256_mul_ps(v, _mm256_loadu_ps(factor + j)));  // keeps a NaN
    const __m256 near =
        _mm256_andnot_ps(sign, _mm256_sub_ps(x, _mm256_round_ps(x, _MM_FROUND_TO_NEAREST_INT)));
    const int exact = _mm256_movemask_ps(_mm256_cmp_ps(near, _mm256_mul_ps(x, band), _CMP_NGE_UQ));
    const __m256i t = _mm256_cvttps_epi32(x);
    const __m128i packed = _mm_packus_epi32(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(image + j), packed);
    if (exact != 0)
      fixLanes(image + j, flat + j, _mm256_castsi128_si256(v16), static_cast<unsigned>(exact), mean);
  }
  flatRowExact(image, flat, mean, j, kFrameWidth);
}

// The same factors eight or four at a time: the division in double precision, then rounded.
__attribute__((target("avx512f,avx512bw,avx512vl"))) void factorsAvx512(const std::uint16_t* flat,
                                                                        float* factor, double mean, int n) {
  const __m512d m = _mm512_set1_pd(mean);
  const __m256 nan = _mm256_set1_ps(std::numeric_limits<float>::quiet_NaN());
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i f = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(flat + i)));
    const __m256 q = _mm512_cvtpd_ps(_mm512_div_pd(m, _mm512_cvtepi32_pd(f)));
    _mm256_storeu_ps(factor + i, _mm256_mask_blend_ps(_mm256_testn_epi32_mask(f, f), q, nan));
  }
  factorsExact(flat, factor, mean, i, n);
}

__attribute__((target("avx2"))) void factorsAvx2(const std::uint16_t* flat, float* factor, double mean,
                                                 int n) {
  const __m256d m = _mm256_set1_pd(mean);
  const __m128 nan = _mm_set1_ps(std::numeric_limits<float>::quiet_NaN());
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i f = _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(flat + i)));
    const __m128 q = _mm256_cvtpd_ps(_mm256_div_pd(m, _mm256_cvtepi32_pd(f)));
    const __m128 zero = _mm_castsi128_ps(_mm_cmpeq_epi32(f, _mm_setzero_si128()));
    _mm_storeu_ps(factor + i, _mm_blendv_ps(q, nan, zero));
  }
  factorsExact(flat, factor, mean, i, n);
}

FlatCodeFns codeFor(FlatCode code) {
  __builtin_cpu_init();
  const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
  const bool avx2 = __builtin_cpu_supports("avx2");
  const FlatCodeFns wide{flatRowAvx512, factorsAvx512};
  const FlatCodeFns narrow{flatRowAvx2, factorsAvx2};
  const FlatCodeFns plain{flatRowPlain, factorsPlain};
  switch (code) {
    case FlatCode::Best:
      return avx512 ? wide : avx2 ? narrow : plain;
    case FlatCode::Avx512:
      return avx512 ? wide : FlatCodeFns{};
    case FlatCode::Avx2:
      return avx2 ? narrow : FlatCodeFns{};
    case FlatCode::Plain:
      break;
  }
  return plain;
}
#else
FlatCodeFns codeFor(FlatCode code) {
  return code == FlatCode::Best || code == FlatCode::Plain ? FlatCodeFns{flatRowPlain, factorsPlain}
                                                           : FlatCodeFns{};
}
#endif

FlatCodeFns& flatCode() {
  static FlatCodeFns fns = codeFor(FlatCode::Best);
  return fns;
}

PreparedFlat& scratchFlat() {
  static auto* prepared = new PreparedFlat;
  return *prepared;
}

}  // namespace

void subtractDark(Frame& image, const Frame& dark) {
  std::uint16_t* e = image.data();
  const std::uint16_t* d = dark.data();
  int i = 0;
#ifdef QLM_CALIBRATION_SIMD
  // Unsigned saturating subtraction is the rule itself: e - d, or 0 when d is not below e.
  for (; i + 8 <= kFrameElements; i += 8) {
    const __m128i ev = _mm_loadu_si128(reinterpret_cast<const __m128i*>(e + i));
    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(e + i), _mm_subs_epu16(ev, dv));
  }
#endif
  for (; i < kFrameElements; ++i)
    e[i] = d[i] < e[i] ? static_cast<std::uint16_t>(e[i] - d[i]) : std::uint16_t{0};
}

double flatMean(const Frame& flat) {
  long long sum = 0;
  for (int row = 10; row <= 19; ++row) {
    for (int col = 5; col <= 504; ++col)
      sum += flat[at(row, col)];
  }
  return static_cast<double>(sum) * 0.0002;
}

bool selectFlatCode(FlatCode code) {
  const FlatCodeFns fns = codeFor(code);
  if (fns.row == nullptr) return false;
  flatCode() = fns;
  return true;
}

void prepareFlat(const Frame& flat, PreparedFlat& prepared) {
  prepared.mean = flatMean(flat);
  flatCode().factors(flat.data(), prepared.factor.data(), prepared.mean, kFrameElements);
}

void flatFieldRows(Frame& image, const Frame& flat, const PreparedFlat& prepared, int first_row,
                   int last_row) {
  first_row = std::max(first_row, 0);
  last_row = std::min(last_row, kLastRow);
  const FlatRow row = flatCode().row;
  for (int i = first_row; i <= last_row; ++i)
    row(&image[at(i, 0)], &flat[at(i, 0)], &prepared.factor[at(i, 0)], prepared.mean);
}

void autoFlatField(Frame& image, const Frame& flat, const PreparedFlat& prepared) {
  flatFieldRows(image, flat, prepared, kAutoFlatFirstRow, kAutoFlatLastRow);
}

void autoFlatField(Frame& image, const Frame& flat) {
  PreparedFlat& prepared = scratchFlat();
  prepareFlat(flat, prepared);
  autoFlatField(image, flat, prepared);
}

void interactiveFlatField(Frame& image, const Frame& flat, Ui& ui) {
  PreparedFlat& prepared = scratchFlat();
  prepareFlat(flat, prepared);
  const int first = labelled(image.data()) ? 11 : 7;
  ui.progressOpen("FLAT FIELD PROGRESS");
  int bar = kFlatProgressStart;
  ui.progressSet(bar);
  for (int i = first; i <= kLastRow; ++i) {
    flatFieldRows(image, flat, prepared, i, i);
    ui.progressSet(++bar);
  }
  ui.progressClose();
}

void mergeImages(Frame& base, const Frame& merge, int dx, int dy, bool average) {
  const int s = labelled(base.data()) || labelled(merge.data()) ? kLabelRows : 0;
  // Partner columns c = j + dx must satisfy 0 < c < 660.
  const int j0 = std::max(0, 1 - dx);
  const int j1 = std::min(kFrameWidth - 1, kFrameWidth - 1 - dx);
  for (int i = s; i <= kLastRow; ++i) {
    const int r = i + dy;
    if (r <= s || r >= kFrameHeight || j0 > j1) continue;
    std::uint16_t* o = &base[at(i, 0)];
    const std::uint16_t* m = &merge[at(r, 0)];
    if (average) {
      for (int j = j0; j <= j1; ++j)
        o[j] = static_cast<std::uint16_t>((m[j + dx] + o[j]) >> 1);
    } else {
      for (int j = j0; j <= j1; ++j)
        o[j] = static_cast<std::uint16_t>(std::min(m[j + dx] + o[j], 65535));
    }
  }
}

}  // namespace qlm
