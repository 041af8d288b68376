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

// Reads up to 660,000 bytes of the file into `frame` in 50 chunks, byte for byte in memory order; a
// short file fills what it holds (an odd last byte becomes the low byte of its pixel) and leaves the
// rest of the frame as it was. False when the file does not open.
bool loadRawImage(const std::filesystem::path& path, Frame& frame);

// A dark frame or flat field: a PK file (exactly 660,000 bytes), or a 16-bit 660 x 500 FITS file from
// this program or any other (readFits16Frame). False, `frame` untouched, for anything else.
bool loadDarkOrFlat(const std::filesystem::path& path, Frame& frame);

// Loads the second image of Subtract Image (Dark Frame) and Apply Flat Field into `second`
// (loadDarkOrFlat). Any other file shows "Sorry, you didn't choose a PK File", leaves `second` as it
// was and returns false.
bool loadSecondImage(const std::filesystem::path& path, Frame& second);

// Answers of loadCalibrationFrame.
inline constexpr int kCalibrationRead = 0;
inline constexpr int kCalibrationNoFileObject = 11;  // never happens here: kept for the callers' table
inline constexpr int kCalibrationNotPk = 12;         // not openable, nor a PK or 16-bit frame FITS file

// Reads the dark frame or flat field file for automatic processing into `cache` (the dark cache or
// FlatCache). Shows nothing: the caller reports the answer with reportCalibrationLoad.
int loadCalibrationFrame(const std::filesystem::path& path, Frame& cache);

enum class CalibrationKind { Dark, Flat };
// Shows the message for a non-zero answer of loadCalibrationFrame.
void reportCalibrationLoad(CalibrationKind kind, int answer);

}  // namespace qlm
