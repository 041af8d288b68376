#pragma once
#include <array>
#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string_view>

#include "files/fits_details.h"
#include "image/frame.h"
#include "platform/atomic_file.h"

namespace qlm {

// The program's FITS files: one header of 72 cards of 80 characters (two 2,880-byte blocks), the data,
// then a fixed run of zero bytes. The total size tells the kinds apart when a file is opened.
inline constexpr int kFitsCardBytes = 80;
inline constexpr int kFitsCards = 72;
inline constexpr int kFitsHeaderBytes = kFitsCards * kFitsCardBytes;  // 5,760
inline constexpr int kFitsOldCards = 36;                              // older one-block form
inline constexpr int kFitsOldHeaderBytes = kFitsOldCards * kFitsCardBytes;
inline constexpr int kFitsPadding16 = 2400;
inline constexpr int kFitsPadding8 = 1600;
inline constexpr long long kFitsFullFileSize = 668160;      // 660 x 500, 16-bit
inline constexpr long long kFitsHalfFileSize = 173160;      // 330 x 250, 16-bit
inline constexpr long long kFitsThirdFileSize = 81200;      // 220 x 166, 16-bit
inline constexpr long long kFitsOldFileSize = 665280;       // older header, 660 x 500, 16-bit
inline constexpr long long kFitsEightBitFileSize = 337360;  // 660 x 500, 8-bit

// The three image sizes a 16-bit file can hold, with the chunks its data is written and read in.
struct FitsGeometry {
  int width;
  int height;
  int step;  // frame rows and columns per file pixel
  int chunkBytes;
  int chunks;
  const char* naxis1Card;
  const char* naxis2Card;
};
inline constexpr FitsGeometry kFitsFull{
    660, 500, 1, 13200, 50, "NAXIS1  =                  660 /", "NAXIS2  =                  500 /"};
inline constexpr FitsGeometry kFitsHalf{
    330, 250, 2, 6600, 25, "NAXIS1  =                  330 /", "NAXIS2  =                  250 /"};
inline constexpr FitsGeometry kFitsThird{
    220, 166, 3, 880, 83, "NAXIS1  =                  220 /", "NAXIS2  =                  166 /"};

// The texts the caller hands the writer; everything else comes from the details record.
struct FitsTexts {
  std::string_view object;
  std::string_view observer;
  std::string_view dateObs;
  std::string_view telescope;
  std::string_view instrument;
  std::string_view commentText;
  std::string_view historyText;
};
FitsTexts fitsTextsOf(const FitsDetails& details);

// Everything one FITS file is made from.
struct FitsWriteSource {
  const Frame& pixels;
  FitsTexts texts;
  const FitsDetails& details;  // origin, timeObs, filterName, the numbers and unsignedFits
  const HistoryList& history;
  bool binned;      // binned flag of the frame
  int fileBinning;  // binning of the FITS file loaded last
  bool eightBit;
};

// An unprocessed binned frame that came from a binned file goes back at its file size; every other
// frame, and every 8-bit file, is 660 x 500.
const FitsGeometry& chooseFitsGeometry(bool eightBit, const HistoryList& history, bool binned,
                                       int fileBinning);

// The 72 cards of the header, exactly as the file holds them.
using FitsHeader = std::array<char, kFitsHeaderBytes>;
void buildFitsHeader(const FitsWriteSource& source, const FitsGeometry& geometry, FitsHeader& header);

// Writes one FITS file, converting the pixels in `staging` (16-bit data; 8-bit data has its own
// static buffer). Returns 0 on success, 1 when the file could not be created or a write came up short;
// the file that was there before is then left as it was.
// With Replace::Never an existing file of the name is kept and the write fails (error EEXIST).
int writeFits(const std::filesystem::path& path, const FitsWriteSource& source, Frame& staging,
              AtomicFile::Replace replace = AtomicFile::Replace::Allowed);

// The program's writer: the texts and flag from the caller, the rest from the program-wide details,
// history, binning state and staging buffer. 0 on success, 1 on failure (the caller shows
// "Unable to create file, check disk space").
int writeFitsFile(const std::filesystem::path& path, const Frame& pixels, std::string_view object,
                  std::string_view observer, std::string_view date, std::string_view telescope,
                  std::string_view instrument, std::string_view comment, std::string_view history,
                  bool eightBit, AtomicFile::Replace replace = AtomicFile::Replace::Allowed);

// A real number as the header shows it: one digit, a point, ten digits, E, sign, two or more exponent
// digits ("%11.10E"), the same in every locale.
std::string formatFitsReal(double value);

// Midpoint of an exposure from its start and end in UT seconds, truncated to whole seconds.
std::time_t exposureMidpoint(std::time_t start, std::time_t end);
// Sets timeObs (HH:MM:SS) and dateObs (YYYY-MM-DD) from a UT seconds count.
void stampObservationTime(std::time_t ut_seconds, FitsDetails& details);
// Save as FITS file: a dateObs shorter than 10 characters becomes the computer's local date as
// "20YY-MM-DD"; timeObs is left alone.
void fillDateObsFromLocalDate(FitsDetails& details, std::time_t utc_now, const LocalTimeRule& rule);
void fillDateObsFromLocalDate(FitsDetails& details);

}  // namespace qlm
