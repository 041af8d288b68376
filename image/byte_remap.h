#pragma once
#include <array>
#include <cstdint>

namespace qlm {

// Maps the width x height bytes of `in` (row by row) through `table` into `out` (which may be `in`)
// and, unless `bottom_up` is null, also writes the mapped rows there in reverse order, bottom row
// first. Every byte of `in` lies between `lowest` and `highest`; entries outside that range are never
// read.
void remapRows(const std::array<std::uint8_t, 256>& table, std::uint8_t lowest, std::uint8_t highest,
               const std::uint8_t* in, std::uint8_t* out, std::uint8_t* bottom_up, int width, int height);

// The code remapRows runs: the widest the processor has (the start-up choice), a narrower one, or
// plain code. All give the same bytes; tests and benchmarks compare them. False, and no change, when
// the processor lacks the code asked for.
enum class RemapCode { Best, Vbmi, Avx2, Plain };
bool selectRemapCode(RemapCode code);

}  // namespace qlm
