#pragma once
#include <filesystem>
#include <optional>
#include <ostream>

#include "files/fits_image.h"

namespace qlm {

// Loads an image file into the current frame as the open command does: recognition by exact size,
// the FITS reader or a raw PK read, with the program's messages. False when the file does not exist
// or the open command showed a message (unknown size, short or refused FITS file): a batch run stops
// there rather than go on with a frame the user did not mean.
bool cliLoadImage(const std::filesystem::path& path);

// The readers of the verbs that also take standard FITS images written elsewhere (stack, star, info):
// a file of one of the program's own sizes loads as cliLoadImage loads it; any other FITS file (32-bit
// float or integer samples, say) is read by its keywords into `foreign`, its texts and numbers into
// the FITS details and its HISTORY cards into the history, and a 660 x 500 image also into the current
// frame (rounded, clamped to 0-65535). False, with the reason on `err`, when it cannot be read.
bool cliLoadAnyImage(const std::filesystem::path& path, std::ostream& err, std::optional<FitsImage>& foreign);
// The same for verbs that need the image in the current frame: any other size is refused.
bool cliLoadFrameImage(const std::filesystem::path& path, std::ostream& err);

// Saves the current frame by the name's extension (any letter case): .fit/.fits as "Save as FITS
// file" does after "Continue" (16-bit, the loaded FitsDetails, an empty DATE-OBS filled from the local
// date), .tif/.tiff as TIFF, anything else as a PK raw file. False when the save failed.
// A read-only target is refused (as the save dialog refuses it); a symbolic link is written through.
bool cliSaveImage(const std::filesystem::path& path, std::ostream& err);

// Copies a file through the atomic writer: the old `to` stays whole unless every byte was written.
// False (with a line on `err` naming the path and the reason) when the copy failed.
bool cliCopyFile(const std::filesystem::path& from, const std::filesystem::path& to, std::ostream& err);

}  // namespace qlm
