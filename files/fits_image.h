#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "files/fits_details.h"
#include "image/frame.h"

namespace qlm {

// A standard FITS primary image of any size and sample type, beside the program's own fixed-shape
// files: the 32-bit float stacks the command-line tool writes, and the 32-bit images other programs
// write, read back for stacking and measuring.
struct FitsImage {
  int width = 0;
  int height = 0;
  int bitpix = 0;             // 8, 16, 32, -32 or -64 as the file held it
  std::vector<float> pixels;  // row-major, row 0 first, BSCALE and BZERO applied
  FitsDetails details;        // the header's texts and numbers where it has them, else start-up values
  std::vector<std::string> history;
};

// Writes `pixels` (width x height, row 0 first) as a BITPIX -32 image with the details' texts and
// numbers and one HISTORY card per history entry, atomically. False when it could not be written.
bool writeFloatFits(const std::filesystem::path& path, const float* pixels, int width, int height,
                    const FitsDetails& details, const HistoryList& history);

// Reads a FITS file's primary image by its keywords (not by card position). Nothing, with a reason in
// `error`, when the file is not FITS, holds no two-dimensional image, or is shorter than its header says.
std::optional<FitsImage> readFitsImage(const std::filesystem::path& path, std::string& error);

// Puts a 660 x 500 image into a frame, each sample rounded and clamped to 0-65535. False for any
// other size.
bool fitsImageToFrame(const FitsImage& image, Frame& frame);

}  // namespace qlm
