#include "image/byte_remap.h"

#include <cstddef>

// The table is applied a vector at a time where the processor allows, picked at run time: with
// AVX-512 VBMI two two-register byte permutes look up the low and the high half of the table and the
// byte's top bit picks between them; with AVX2 each byte's low four bits pick the entry by a byte
// shuffle within the sixteen entries its high four bits name, for only the sixteens between the
// lowest and the highest byte. Otherwise a plain loop does the work.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QLM_BYTE_REMAP_SIMD 1
#include <immintrin.h>
#endif

namespace qlm {

namespace {

struct RowAt {
  const std::uint8_t* in;
  std::uint8_t* out;
  std::uint8_t* copy;
};

RowAt rowAt(const std::uint8_t* in, std::uint8_t* out, std::uint8_t* bottom_up, int width, int height,
            int r) {
  const auto w = static_cast<std::ptrdiff_t>(width);
  return {in + r * w, out + r * w, bottom_up == nullptr ? nullptr : bottom_up + (height - 1 - r) * w};
}

void plainRows(const std::uint8_t* table, const std::uint8_t* in, std::uint8_t* out, std::uint8_t* bottom_up,
               int width, int height) {
  for (int r = 0; r < height; ++r) {
    const RowAt row = rowAt(in, out, bottom_up, width, height, r);
    for (int i = 0; i < width; ++i) {
      const std::uint8_t mapped = table[row.in[i]];
      row.out[i] = mapped;
      if (row.copy != nullptr) row.copy[i] = mapped;
    }
  }
}

#ifdef QLM_BYTE_REMAP_SIMD
#define QLM_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#define QLM_AVX2 __attribute__((target("avx2")))

// The entries of 64 bytes from the table in four registers: entries 0-127 by the low seven bits, the
// same from 128-255, and the top bit picks.
QLM_VBMI inline __m512i vbmiLookUp(__m512i t0, __m512i t1, __m512i t2, __m512i t3, __m512i v) {
  const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
  const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
  return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
}

// The entries of 32 bytes, sixteen entries at a time for the sixteens first_part to last_part.
QLM_AVX2 inline __m256i avx2LookUp(const std::uint8_t* table, int first_part, int last_part, __m256i v) {
  const __m256i low_bits = _mm256_set1_epi8(0x0F);
  const __m256i index = _mm256_and_si256(v, low_bits);
  const __m256i part = _mm256_and_si256(_mm256_srli_epi16(v, 4), low_bits);
  __m256i mapped = _mm256_setzero_si256();
  for (int p = first_part; p <= last_part; ++p) {
    const __m256i entries =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * p)));
    const __m256i here = _mm256_cmpeq_epi8(part, _mm256_set1_epi8(static_cast<char>(p)));
    mapped = _mm256_blendv_epi8(mapped, _mm256_shuffle_epi8(entries, index), here);
  }
  return mapped;
}

QLM_VBMI void vbmiRows(const std::uint8_t* table, const std::uint8_t* in, std::uint8_t* out,
                       std::uint8_t* bottom_up, int width, int height) {
  const __m512i t0 = _mm512_loadu_si512(table);
  const __m512i t1 = _mm512_loadu_si512(table + 64);
  const __m512i t2 = _mm512_loadu_si512(table + 128);
  const __m512i t3 = _mm512_loadu_si512(table + 192);
  const int tail = width % 64;
  const __mmask64 tail_mask = tail == 0 ? 0 : (~__mmask64{0} >> (64 - tail));
  for (int r = 0; r < height; ++r) {
    const RowAt row = rowAt(in, out, bottom_up, width, height, r);
    int i = 0;
    for (; i + 64 <= width; i += 64) {
      const __m512i mapped = vbmiLookUp(t0, t1, t2, t3, _mm512_loadu_si512(row.in + i));
      _mm512_storeu_si512(row.out + i, mapped);
      if (row.copy != nullptr) _mm512_storeu_si512(row.copy + i, mapped);
    }
    if (tail != 0) {
      const __m512i mapped = vbmiLookUp(t0, t1, t2, t3, _mm512_maskz_loadu_epi8(tail_mask, row.in + i));
      _mm512_mask_storeu_epi8(row.out + i, tail_mask, mapped);
      if (row.copy != nullptr) _mm512_mask_storeu_epi8(row.copy + i, tail_mask, mapped);
    }
  }
}

QLM_AVX2 void avx2Rows(const std::uint8_t* table, int first_part, int last_part, const std::uint8_t* in,
                       std::uint8_t* out, std::uint8_t* bottom_up, int width, int height) {
  for (int r = 0; r < height; ++r) {
    const RowAt row = rowAt(in, out, bottom_up, width, height, r);
    if (width < 32) {
      plainRows(table, row.in, row.out, row.copy, width, 1);
      continue;
    }
    // The row's last vector is read before anything of the row is stored (`out` may be `in`); it
    // overlaps the vector before it, whose bytes it maps to the same values.
    const __m256i last = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row.in + width - 32));
    for (int i = 0; i + 32 <= width; i += 32) {
      const __m256i mapped = avx2LookUp(table, first_part, last_part,
                                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row.in + i)));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(row.out + i), mapped);
      if (row.copy != nullptr) _mm256_storeu_si256(reinterpret_cast<__m256i*>(row.copy + i), mapped);
    }
    const __m256i mapped = avx2LookUp(table, first_part, last_part, last);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(row.out + width - 32), mapped);
    if (row.copy != nullptr) _mm256_storeu_si256(reinterpret_cast<__m256i*>(row.copy + width - 32), mapped);
  }
}
#endif

RemapCode bestCode() {
#ifdef QLM_BYTE_REMAP_SIMD
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi")) return RemapCode::Vbmi;
  if (__builtin_cpu_supports("avx2")) return RemapCode::Avx2;
#endif
  return RemapCode::Plain;
}

RemapCode& currentCode() {
  static RemapCode code = bestCode();
  return code;
}

}  // namespace

bool selectRemapCode(RemapCode code) {
  if (code == RemapCode::Best) {
    currentCode() = bestCode();
    return true;
  }
  const RemapCode best = bestCode();
  const bool available =
      code == RemapCode::Plain || code == best || (code == RemapCode::Avx2 && best == RemapCode::Vbmi);
  if (available) currentCode() = code;
  return available;
}

void remapRows(const std::array<std::uint8_t, 256>& table, std::uint8_t lowest, std::uint8_t highest,
               const std::uint8_t* in, std::uint8_t* out, std::uint8_t* bottom_up, int width, int height) {
  switch (currentCode()) {
#ifdef QLM_BYTE_REMAP_SIMD
    case RemapCode::Vbmi:
      vbmiRows(table.data(), in, out, bottom_up, width, height);
      return;
    case RemapCode::Avx2:
      avx2Rows(table.data(), lowest >> 4, highest >> 4, in, out, bottom_up, width, height);
      return;
#endif
    default:
      (void)lowest;
      (void)highest;
      plainRows(table.data(), in, out, bottom_up, width, height);
      return;
  }
}

}  // namespace qlm
