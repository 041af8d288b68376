#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "files/fits_details.h"
#include "image/frame.h"

namespace qlm {

// Header forms the reader knows: the older one-block header of 36 cards and the 72-card header.
inline constexpr int kFitsOldForm = 1;
inline constexpr int kFitsFullForm = 3;

// Reader results.
inline constexpr int kFitsRead = 0;
inline constexpr int kFitsShortRead = 1;  // a read came up short, or the file did not open
inline constexpr int kFitsNotOurs = 2;    // the header does not have the program's shape

// Everything a load writes into.
struct FitsReadTarget {
  Frame& pixels;
  FitsDetails& details;
  HistoryList& history;
  bool& binned;      // binned flag of the frame
  int& fileBinning;  // 0, 2 or 3
  Frame& staging;    // raw file bytes on their way to the frame
};
// The program-wide frame, details, history, binning state and staging buffer.
FitsReadTarget programFitsTarget();

// Reads a FITS file of the program's fixed shape, finding every value by its card position. Returns
// 0 when read, 1 when a read came up short (what was read before stays) and 2 when a card that fixes
// the image shape is not the program's (the cards before it have been stored).
int readFits(const std::filesystem::path& path, int header_form, const FitsReadTarget& target);
// The same into the program-wide records and `pixels`.
int readFitsFile(const std::filesystem::path& path, int header_form, Frame& pixels);

// Reads any FITS file of one 660 x 500 image of 16-bit integers (BITPIX 16, NAXIS 2, or 3 with NAXIS3 1)
// into `frame` by its header keywords, whoever wrote it: value = stored value x BSCALE + BZERO, held
// within 0 to 65535; file row r becomes frame row r, as the program's own files have it. False, with
// `frame` untouched, for any other file. Dark frames and flat fields taken elsewhere come this way.
bool readFits16Frame(const std::filesystem::path& path, Frame& frame);

// What the open command makes of a file, by its exact size alone.
enum class ImageFileKind { Fits, OldFits, Pk, Unrecognised };
ImageFileKind imageFileKind(long long size);

struct ImageLoadResult {
  ImageFileKind kind;
  int result;  // the FITS reader's result; 0 for raw loads, which never fail
};

// Loads a file as the open command does: recognition by size ("You didn't choose a valid PK or
// suitable FITs File" for an unknown size, which is then read as raw data), resetFitsDetails, then the
// FITS reader or a raw read. Shows "Unable to load FITS file" for result 1 and "Unable to load FITS
// file, File was not saved by this program" for result 2 (the command then stops without a redraw).
ImageLoadResult loadImageFile(const std::filesystem::path& path, const FitsReadTarget& target);
ImageLoadResult loadImageFile(const std::filesystem::path& path);

// The autosave number of a file opened by its name: "IMG" in any case, then the digits up to the first
// ".". Nothing when the name does not begin with "IMG" (a full path never does).
std::optional<std::uint16_t> autosaveNumberFromName(std::string_view file_name);

// Parses a number as the C library's atof does (leading blanks, optional sign, as many characters as
// form a number, else 0; beyond a double's range infinity, or 0 for a negative exponent), the same in
// every locale.
double parseFitsReal(std::string_view text);

}  // namespace qlm
