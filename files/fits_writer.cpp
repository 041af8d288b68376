#include "files/fits_writer.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr std::size_t kFreeTextPiece = 68;  // characters of free text per HISTORY / COMMENT card
constexpr int kEightBitChunkBytes = 13200;

// Card `index` (0-based) of the header: filled with spaces, then `text` from column 1.
char* card(FitsHeader& header, int index) {
  return header.data() + static_cast<std::ptrdiff_t>(index) * kFitsCardBytes;
}

void putCard(FitsHeader& header, int index, std::string_view text) {
  char* c = card(header, index);
  std::fill_n(c, kFitsCardBytes, ' ');
  std::memcpy(c, text.data(), std::min<std::size_t>(text.size(), kFitsCardBytes));
}

// A text card: the 11-character prefix, the value as it is, a closing quote; cut at column 80.
void putTextCard(FitsHeader& header, int index, std::string_view prefix, std::string_view value) {
  char* c = card(header, index);
  std::fill_n(c, kFitsCardBytes, ' ');
  std::size_t at = 0;
  for (std::string_view part : {prefix, value, std::string_view("'")}) {
    const std::size_t n = std::min<std::size_t>(part.size(), kFitsCardBytes - at);
    std::memcpy(c + at, part.data(), n);
    at += n;
  }
}

// Piece `k` (0-3) of a free text, padded with spaces to 68 characters.
void putFreeTextCard(FitsHeader& header, int index, std::string_view prefix, std::string_view text, int k) {
  char piece[kFreeTextPiece];
  std::fill_n(piece, kFreeTextPiece, ' ');
  const std::size_t from = static_cast<std::size_t>(k) * kFreeTextPiece;
  if (from < text.size()) {
    const std::size_t n = std::min(kFreeTextPiece, text.size() - from);
    std::memcpy(piece, text.data() + from, n);
  }
  putTextCard(header, index, prefix, std::string_view(piece, kFreeTextPiece));
}

void putRealCard(FitsHeader& header, int index, std::string_view keyword, double value) {
  std::string text(keyword);
  text += "    ";
  text += formatFitsReal(value);
  putCard(header, index, text);
}

// Converts the pixels into big-endian file order in `out`; returns the data byte count.
std::size_t convert16(const Frame& pixels, const FitsGeometry& g, std::uint16_t offset, std::uint8_t* out) {
  std::size_t at = 0;
  for (int r = 0; r < g.height; ++r) {
    const std::uint16_t* row = pixels.data() + static_cast<std::size_t>(r * g.step) * kFrameWidth;
    for (int c = 0; c < g.width; ++c) {
      const auto v = static_cast<std::uint16_t>(row[c * g.step] - offset);
      out[at++] = static_cast<std::uint8_t>(v >> 8);
      out[at++] = static_cast<std::uint8_t>(v & 0xFF);
    }
  }
  return at;
}

bool writeChunks(AtomicFile& file, const std::uint8_t* data, int chunk_bytes, int chunks) {
  for (int k = 0; k < chunks; ++k) {
    if (!file.write(data + static_cast<std::ptrdiff_t>(k) * chunk_bytes,
                    static_cast<std::size_t>(chunk_bytes)))
      return false;
  }
  return true;
}

}  // namespace

FitsTexts fitsTextsOf(const FitsDetails& d) {
  return FitsTexts{d.object, d.observer, d.dateObs, d.telescope, d.instrument, d.commentText, d.historyText};
}

const FitsGeometry& chooseFitsGeometry(bool eightBit, const HistoryList& history, bool binned,
                                       int fileBinning) {
  const bool unprocessed_binned = !eightBit && history.raw(0)[0] == 0 && binned;
  if (unprocessed_binned && fileBinning == 2) return kFitsHalf;
  if (unprocessed_binned && fileBinning == 3) return kFitsThird;
  return kFitsFull;
}

std::string formatFitsReal(double value) {
  // FITS readers take only finite numbers: infinity is written as the largest double that the text
  // still reads back as (the rounded form would overflow), and NaN as 0.
  if (std::isnan(value)) value = 0.0;
  if (std::isinf(value)) return value > 0 ? "1.7976931348E+308" : "-1.7976931348E+308";
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 10);
  std::string text(buf, res.ptr);
  for (char& ch : text)
    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));  // e -> E, inf -> INF
  if (text.size() < 11) text.insert(0, 11 - text.size(), ' ');
  return text;
}

void buildFitsHeader(const FitsWriteSource& s, const FitsGeometry& g, FitsHeader& header) {
  const FitsDetails& d = s.details;
  const FitsTexts& t = s.texts;
  putCard(header, 0, "SIMPLE  =                    T /");
  putCard(header, 1, s.eightBit ? "BITPIX  =                    8 /" : "BITPIX  =                   16 /");
  putCard(header, 2, "NAXIS   =                    2 /");
  putCard(header, 3, g.naxis1Card);
  putCard(header, 4, g.naxis2Card);
  putTextCard(header, 5, "OBJECT  = '", t.object);
  putTextCard(header, 6, "TELESCOP= '", t.telescope);
  putTextCard(header, 7, "INSTRUME= '", t.instrument);
  putTextCard(header, 8, "OBSERVER= '", t.observer);
  putTextCard(header, 9, "ORIGIN  = '", d.origin);
  putTextCard(header, 10, "DATE-OBS= '", t.dateObs);
  putTextCard(header, 11, "TIME-OBS= '", d.timeObs);
  for (int i = 0; i < HistoryList::kEntries; ++i)
    putTextCard(header, 12 + i, "HISTORY = '", s.history.entry(i));
  for (int k = 0; k < 4; ++k) {
    putFreeTextCard(header, 27 + k, "HISTORY = '", t.historyText, k);
    putFreeTextCard(header, 31 + k, "COMMENT = '", t.commentText, k);
  }
  putCard(header, 35, d.unsignedFits ? "BZERO   =   +0.0000000000E+00" : "BZERO   =   +3.2768000000E+04");
  putCard(header, 36, "BSCALE  =   +1.0000000000E+00");
  putRealCard(header, 37, "PIXWIDTH=", d.pixelWidth);
  putRealCard(header, 38, "PIXHEIGH=", d.pixelHeight);
  putCard(header, 39, "SATURATE=                65535");
  putRealCard(header, 40, "EXPTIME =", d.exposureSeconds);
  putRealCard(header, 41, "FOCALLEN=", d.focalLength);
  putRealCard(header, 42, "APERTURE=", d.aperture);
  putTextCard(header, 43, "FILTER  = '", d.filterName);
  putCard(header, 44, "END");
  for (int i = 45; i < kFitsCards; ++i)
    putCard(header, i, "");
}

int writeFits(const std::filesystem::path& path, const FitsWriteSource& s, Frame& staging,
              AtomicFile::Replace replace) {
  static FitsHeader header;
  static std::array<std::uint8_t, kFrameElements> eight_bit;  // 8-bit data staging
  static const std::array<std::uint8_t, kFitsPadding16> zeros{};

  const FitsGeometry& g = chooseFitsGeometry(s.eightBit, s.history, s.binned, s.fileBinning);
  buildFitsHeader(s, g, header);

  AtomicFile file(path, AtomicFile::Durability::Synced, replace);
  if (!file.open()) return 1;
  for (int i = 0; i < kFitsCards; ++i) {
    if (!file.write(card(header, i), kFitsCardBytes)) return 1;
  }
  bool ok = false;
  if (s.eightBit) {
    for (int i = 0; i < kFrameElements; ++i)
      eight_bit[static_cast<std::size_t>(i)] =
          static_cast<std::uint8_t>(s.pixels[static_cast<std::size_t>(i)] >> 8);
    ok = writeChunks(file, eight_bit.data(), kEightBitChunkBytes, kFrameElements / kEightBitChunkBytes) &&
         file.write(zeros.data(), kFitsPadding8);
  } else {
    // The staging frame is used as plain bytes: 660,160 of them, enough for the largest image.
    auto* bytes = reinterpret_cast<std::uint8_t*>(staging.data());
    const std::uint16_t offset = s.details.unsignedFits ? 0 : 32768;
    convert16(s.pixels, g, offset, bytes);
    ok = writeChunks(file, bytes, g.chunkBytes, g.chunks) && file.write(zeros.data(), kFitsPadding16);
  }
  return ok && file.commit() ? 0 : 1;
}

int writeFitsFile(const std::filesystem::path& path, const Frame& pixels, std::string_view object,
                  std::string_view observer, std::string_view date, std::string_view telescope,
                  std::string_view instrument, std::string_view comment, std::string_view history,
                  bool eightBit, AtomicFile::Replace replace) {
  const FitsWriteSource source{pixels,
                               FitsTexts{object, observer, date, telescope, instrument, comment, history},
                               fitsDetails(),
                               historyList(),
                               frameState().binned,
                               fileBinning(),
                               eightBit};
  return writeFits(path, source, imageBuffers().FileStaging, replace);
}

std::time_t exposureMidpoint(std::time_t start, std::time_t end) {
  const double mid = static_cast<double>(start) + static_cast<double>(end - start) * 0.5;
  return static_cast<std::time_t>(mid);
}

void stampObservationTime(std::time_t ut_seconds, FitsDetails& details) {
  const std::tm f = calendarFields(ut_seconds);
  char time_text[32];
  char date_text[48];
  std::snprintf(time_text, sizeof time_text, "%02d:%02d:%02d", f.tm_hour, f.tm_min, f.tm_sec);
  std::snprintf(date_text, sizeof date_text, "%04d-%02d-%02d", f.tm_year + 1900, f.tm_mon + 1, f.tm_mday);
  details.timeObs = time_text;
  details.dateObs = date_text;
}

void fillDateObsFromLocalDate(FitsDetails& details, std::time_t utc_now, const LocalTimeRule& rule) {
  if (details.dateObs.size() >= 10) return;
  const std::tm f = calendarFields(machineLocalSeconds(utc_now, rule));
  char date_text[48];
  std::snprintf(date_text, sizeof date_text, "20%02d-%02d-%02d", f.tm_year % 100, f.tm_mon + 1, f.tm_mday);
  details.dateObs = date_text;
}

void fillDateObsFromLocalDate(FitsDetails& details) {
  fillDateObsFromLocalDate(details, platform().clock->calendarSeconds(), localTimeRule());
}

}  // namespace qlm
