#pragma once
#include <filesystem>

#include "image/raster.h"

namespace qlm {

// Writes `picture` as an 8-bit RGB PNG file (through a temporary name, renamed over `path` only when
// complete). False when the file cannot be written.
bool writePng(const std::filesystem::path& path, const Raster& picture);

}  // namespace qlm
