#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "image/frame.h"

namespace qlm {

// Longest text each FitsDetails field holds (the settings record stores them at these widths).
inline constexpr std::size_t kFitsLongTextChars = 67;  // object, observer, origin, telescope ...
inline constexpr std::size_t kFitsDateChars = 11;
inline constexpr std::size_t kFitsTimeChars = 9;
inline constexpr std::size_t kFitsFreeTextChars = 255;  // commentText, historyText as the reader builds them

// The program-wide FITS header texts and values: written into every FITS file, filled by the FITS
// reader, edited in the FITS details dialog and kept in the settings file. Initial values are the
// start-up values.
struct FitsDetails {
  std::string object;
  std::string observer;
  std::string dateObs;  // normally YYYY-MM-DD
  std::string timeObs;  // normally HH:MM:SS, UT
  std::string origin;
  std::string telescope;
  std::string instrument = "Orbilux CCD";
  std::string commentText;  // wrapped into the four COMMENT cards
  std::string historyText;  // wrapped into the four free-text HISTORY cards
  std::string filterName = "None";
  double focalLength = 0.0;              // inches
  double aperture = 0.0;                 // square inches
  double exposureSeconds = 0.0;          // seconds
  double pixelWidth = 0.0074;            // millimetres
  double pixelHeight = 0.0074;           // millimetres
  std::int16_t timeDifferenceHours = 0;  // added to the computer's local clock to get UT, -11 to 11
  bool eightBit = false;                 // write BITPIX 8 instead of 16
  bool unsignedFits = true;              // BZERO 0 instead of 32768
};

FitsDetails& fitsDetails();

// Binning of the FITS file loaded last: 0 (none, or a full-size file), 2 (330 x 250) or 3 (220 x 166).
// Set only by the FITS reader; decides whether an unprocessed binned frame is saved small again.
int& fileBinning();

// Clears what a file load replaces: the 15 history entries, the dates, the texts and the three
// measured numbers; the instrument and filter go back to "Orbilux CCD" and "None". The origin, the
// pixel sizes, the time difference and the flags stay as they were.
void resetFitsDetails(FitsDetails& details, HistoryList& history);

// The program's UT rule, the equivalent of running with TZ set to "GMT" followed by the user's hour
// difference: UT = the computer's local clock time + hours, with no daylight-saving rule. Kept as a
// program-wide value rather than in the process environment so that it never leaks between tests.
struct LocalTimeRule {
  int hours = 0;
  // The computer's own zone as seconds east of UTC; nothing means "ask the system". Tests pin it.
  std::optional<long> machineOffsetSeconds;
};

LocalTimeRule& localTimeRule();
// Back to the start-up rule (no hour difference); a pinned machine zone stays pinned.
void resetLocalTimeRule(LocalTimeRule& rule);
// Sets up the rule from the user's time difference (done at each settings load and automatic save).
void applyLocalTimeRule(int hours);

// The computer's local clock reading for the calendar instant `utc_seconds`, as a seconds count whose
// UTC breakdown gives the local calendar fields.
std::time_t machineLocalSeconds(std::time_t utc_seconds, const LocalTimeRule& rule);
// The program's UT for the calendar instant `utc_seconds`: local clock + the rule's hours.
std::time_t programUtSeconds(std::time_t utc_seconds, const LocalTimeRule& rule);
// The program's UT now, from the installed calendar clock and the program-wide rule.
std::time_t programUtNow();
// Breaks a seconds count into calendar fields without applying any zone.
std::tm calendarFields(std::time_t seconds);

// Pins the computer's zone for the life of the object (tests) and restores the previous setting.
class ScopedMachineZone {
 public:
  explicit ScopedMachineZone(long offset_seconds);
  ~ScopedMachineZone();
  ScopedMachineZone(const ScopedMachineZone&) = delete;
  ScopedMachineZone& operator=(const ScopedMachineZone&) = delete;

 private:
  LocalTimeRule saved_;
};

}  // namespace qlm
