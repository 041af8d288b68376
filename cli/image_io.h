#pragma once
#include <filesystem>
#include <ostream>

namespace qlm {

// Loads an image file into the current frame as the open command does: recognition by exact size,
// the FITS reader or a raw PK read, with the program's messages. False when the file does not exist
// or the open command showed a message (unknown size, short or refused FITS file): a batch run stops
// there rather than go on with a frame the user did not mean.
bool cliLoadImage(const std::filesystem::path& path);

// Saves the current frame by the name's extension (any letter case): .fit/.fits as "Save as FITS
// file" does after "Continue" (16-bit, the loaded FitsDetails, an empty DATE-OBS filled from the local
// date), .tif/.tiff as TIFF, anything else as a PK raw file. False when the save failed.
bool cliSaveImage(const std::filesystem::path& path, std::ostream& err);

}  // namespace qlm
