#pragma once
#include <cstdint>
#include <filesystem>

#include "image/frame.h"

namespace qlm {

// A PK file: the 16-bit frame as it lies in memory, little-endian, no header; exactly 660,000 bytes.
inline constexpr long long kPkFileSize = 660000;
inline constexpr int kPkChunks = 50;
inline constexpr int kPkChunkBytes = 13200;  // 10 rows

// Writes `frame` as a PK file; shows "Unable to create/overwrite PK File" and returns false when the
// file cannot be created or a chunk is short. The old file of that name is kept on failure.
bool saveRawImage(const std::filesystem::path& path, const Frame& frame);

// Reads up to 660,000 bytes of the file into `frame` in 50 chunks; a short file fills what it holds
// and leaves the rest of the frame as it was. False when the file does not open.
bool loadRawImage(const std::filesystem::path& path, Frame& frame);

}  // namespace qlm
