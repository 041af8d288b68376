#pragma once
#include <filesystem>
#include <ostream>

namespace qlm {

// Loads an image file into the current frame as the open command does. False (with the program's
// message already shown) when the file is not one the program can open.
bool cliLoadImage(const std::filesystem::path& path);

// Saves the current frame by the name's extension: .fit/.fits as FITS, .tif/.tiff as TIFF, anything
// else as a PK raw file. False when the save failed.
bool cliSaveImage(const std::filesystem::path& path, std::ostream& err);

}  // namespace qlm
