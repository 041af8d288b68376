#include "image/byte_remap.h"

#include <cstddef>

// With Highway the table is applied sixteen entries at a time: each byte's low four bits pick the entry
// by a byte shuffle within the sixteen entries its high four bits name, for only the sixteens between
// the lowest and the highest byte. Highway compiles this for every vector width the processor may
// have and picks one at run time; without it the plain loop does the work.

#ifdef QLM_HAVE_HWY
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/byte_remap.cpp"
#include <hwy/foreach_target.h>  // compiles this file once more for each target
#include <hwy/highway.h>
#endif

#ifndef QLM_IMAGE_BYTE_REMAP_PLAIN
#define QLM_IMAGE_BYTE_REMAP_PLAIN
namespace qlm {
namespace {

// One row, `count` bytes, byte by byte.
void plainRow(const std::uint8_t* table, const std::uint8_t* in, std::uint8_t* out, std::uint8_t* copy,
              int count) {
  for (int i = 0; i < count; ++i) {
    out[i] = table[in[i]];
    if (copy != nullptr) copy[i] = out[i];
  }
}

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

}  // namespace
}  // namespace qlm
#endif

#ifdef QLM_HAVE_HWY
HWY_BEFORE_NAMESPACE();
namespace qlm {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR
template <class D, class V>
HWY_INLINE V lookUp(D d, const std::uint8_t* table, int first_part, int last_part, V v) {
  const auto index = hn::And(v, hn::Set(d, std::uint8_t{0x0F}));
  const auto part = hn::ShiftRight<4>(v);
  auto mapped = hn::Zero(d);
  for (int p = first_part; p <= last_part; ++p) {
    mapped = hn::IfThenElse(hn::Eq(part, hn::Set(d, static_cast<std::uint8_t>(p))),
                            hn::TableLookupBytes(hn::LoadDup128(d, table + 16 * p), index), mapped);
  }
  return mapped;
}
#endif

void RemapRows(const std::uint8_t* table, int first_part, int last_part, const std::uint8_t* in,
               std::uint8_t* out, std::uint8_t* bottom_up, int width, int height) {
#if HWY_TARGET == HWY_SCALAR
  (void)first_part;
  (void)last_part;
  for (int r = 0; r < height; ++r) {
    const RowAt row = rowAt(in, out, bottom_up, width, height, r);
    plainRow(table, row.in, row.out, row.copy, width);
  }
#else
  const hn::ScalableTag<std::uint8_t> d;
  const auto n = static_cast<int>(hn::Lanes(d));
  for (int r = 0; r < height; ++r) {
    const RowAt row = rowAt(in, out, bottom_up, width, height, r);
    if (width < n) {
      plainRow(table, row.in, row.out, row.copy, width);
      continue;
    }
    // The row's last vector is read before anything of the row is stored (`out` may be `in`); it
    // overlaps the vector before it, whose bytes it maps to the same values.
    const auto last = hn::LoadU(d, row.in + width - n);
    for (int i = 0; i + n <= width; i += n) {
      const auto mapped = lookUp(d, table, first_part, last_part, hn::LoadU(d, row.in + i));
      hn::StoreU(mapped, d, row.out + i);
      if (row.copy != nullptr) hn::StoreU(mapped, d, row.copy + i);
    }
    const auto mapped = lookUp(d, table, first_part, last_part, last);
    hn::StoreU(mapped, d, row.out + width - n);
    if (row.copy != nullptr) hn::StoreU(mapped, d, row.copy + width - n);
  }
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace qlm
HWY_AFTER_NAMESPACE();
#endif

#if !defined(QLM_HAVE_HWY) || HWY_ONCE
namespace qlm {

#ifdef QLM_HAVE_HWY
HWY_EXPORT(RemapRows);
#endif

void remapRows(const std::array<std::uint8_t, 256>& table, std::uint8_t lowest, std::uint8_t highest,
               const std::uint8_t* in, std::uint8_t* out, std::uint8_t* bottom_up, int width, int height) {
#ifdef QLM_HAVE_HWY
  HWY_DYNAMIC_DISPATCH(RemapRows)(table.data(), lowest >> 4, highest >> 4, in, out, bottom_up, width, height);
#else
  (void)lowest;
  (void)highest;
  for (int r = 0; r < height; ++r) {
    const RowAt row = rowAt(in, out, bottom_up, width, height, r);
    plainRow(table.data(), row.in, row.out, row.copy, width);
  }
#endif
}

}  // namespace qlm
#endif
