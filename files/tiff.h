#pragma once
#include <array>
#include <cstdint>
#include <filesystem>

#include "image/frame.h"

namespace qlm {

// The program's TIFF export: little-endian, 660 x 500, 8 bits per pixel (the high byte of each pixel,
// unstretched), one directory of 13 entries, ten strips of 50 rows; always 330,246 bytes.
inline constexpr long long kTiffFileSize = 330246;
inline constexpr int kTiffHeaderBytes = 246;  // everything before the first pixel
inline constexpr int kTiffPixelChunkBytes = 6600;

// The 246 bytes before the pixels, exactly as the file holds them.
using TiffHeader = std::array<std::uint8_t, kTiffHeaderBytes>;
const TiffHeader& tiffHeader();

// Writes the TIFF of `frame`, each part of the layout in its own write. True on success; on failure
// the file that was there before is left as it was (the caller shows "Unable to create file, check
// disk space").
bool writeTiffFile(const std::filesystem::path& path, const Frame& frame);

}  // namespace qlm
