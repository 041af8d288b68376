#include "files/fits_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/fits_writer.h"
#include "files/pk.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"

namespace qlm {

namespace {

constexpr std::size_t kLastFreeTextPiece = 51;  // taken from the fourth free-text card

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Reads the header 80 bytes at a time; `col(n)` is column n (from 1) of the card read last.
class CardReader {
 public:
  explicit CardReader(std::FILE* f) : f_(f) {}
  bool next() { return std::fread(card_, 1, kFitsCardBytes, f_) == kFitsCardBytes; }
  bool skip(int n) {
    for (int i = 0; i < n; ++i)
      if (!next()) return false;
    return true;
  }
  std::string_view cols(int first, int last) const {
    return std::string_view(card_ + first - 1, static_cast<std::size_t>(last - first + 1));
  }
  // The text value: from column 12 up to the next quote (or column 80), as a C string would hold it.
  std::string_view textValue() const {
    std::string_view v = cols(12, kFitsCardBytes);
    return v.substr(0, std::min(v.find('\''), v.find('\0')));
  }

 private:
  std::FILE* f_;
  char card_[kFitsCardBytes] = {};
};

void storeText(std::string& field, std::string_view value, std::size_t max_chars) {
  field.assign(value.substr(0, max_chars));
}

void storeHistoryEntry(HistoryList& history, int i, std::string_view value) {
  auto& e = history.raw(i);
  e.fill('\0');
  const std::size_t n = std::min<std::size_t>(value.size(), HistoryList::kEntryChars - 1);
  std::memcpy(e.data(), value.data(), n);
}

// Four free-text cards appended in order; at most 51 characters come from the fourth.
bool readFreeText(CardReader& cards, std::string& text) {
  text.clear();
  for (int k = 0; k < 4; ++k) {
    if (!cards.next()) return false;
    std::string_view v = cards.textValue();
    if (k == 3) v = v.substr(0, kLastFreeTextPiece);
    text.append(v);
  }
  // A card without a closing quote gives 69 characters; the field still holds at most 255.
  if (text.size() > kFitsFreeTextChars) text.resize(kFitsFreeTextChars);
  return true;
}

bool readReal(CardReader& cards, double& value) {
  if (!cards.next()) return false;
  value = parseFitsReal(cards.cols(14, 29));
  return true;
}

// Rest of the 72-card header after card 36: BZERO decides the offset; then the numbers and filter.
bool readFullFormTail(CardReader& cards, FitsDetails& d, std::uint16_t& offset) {
  d.unsignedFits = cards.cols(1, 29) == "BZERO   =   +0.0000000000E+00";
  offset = d.unsignedFits ? 0 : 32768;
  if (!cards.skip(1)) return false;  // BSCALE
  if (!readReal(cards, d.pixelWidth) || !readReal(cards, d.pixelHeight)) return false;
  if (!cards.skip(1)) return false;  // SATURATE
  if (!readReal(cards, d.exposureSeconds) || !readReal(cards, d.focalLength) || !readReal(cards, d.aperture))
    return false;
  if (!cards.next()) return false;
  storeText(d.filterName, cards.textValue(), kFitsLongTextChars);
  return cards.skip(kFitsCards - 44);  // END and the blank cards
}

// Reads the data in the writer's chunks, placing file pixel (r, c) at frame row r*step, column c*step.
bool readPixels(std::FILE* f, const FitsGeometry& g, std::uint16_t offset, Frame& frame, Frame& staging) {
  auto* bytes = reinterpret_cast<std::uint8_t*>(staging.data());
  const int pixels_per_chunk = g.chunkBytes / 2;
  const std::size_t step = static_cast<std::size_t>(g.step);
  // File pixel n = r * width + c goes to frame index r*step*kFrameWidth + c*step, counted on across
  // the chunks (no division or multiplication per pixel).
  std::size_t row_start = 0;
  std::size_t at = 0;
  int c = 0;
  for (int k = 0; k < g.chunks; ++k) {
    std::uint8_t* chunk = bytes + static_cast<std::ptrdiff_t>(k) * g.chunkBytes;
    if (std::fread(chunk, 1, static_cast<std::size_t>(g.chunkBytes), f) !=
        static_cast<std::size_t>(g.chunkBytes))
      return false;
    const std::uint8_t* in = chunk;
    for (int i = 0; i < pixels_per_chunk; ++i, in += 2) {
      frame[at] = static_cast<std::uint16_t>(((in[0] << 8) | in[1]) + offset);
      at += step;
      if (++c == g.width) {
        c = 0;
        row_start += step * kFrameWidth;
        at = row_start;
      }
    }
  }
  return true;
}

std::uint16_t mean2(std::uint16_t a, std::uint16_t b) {
  return static_cast<std::uint16_t>((static_cast<unsigned>(a) + b) / 2);
}

// 330 x 250 laid on the even rows and columns: each odd column of an even row becomes the mean of its
// neighbours in memory order (the last one reaches into the next row), then each odd row from 1 to
// 497 the mean of the rows above and below. Row 499 keeps what it held.
void fillHalf(Frame& f) {
  for (int r = 0; r < kFrameHeight; r += 2) {
    for (int c = 1; c < kFrameWidth; c += 2) {
      const std::size_t i = static_cast<std::size_t>(r * kFrameWidth + c);
      f[i] = mean2(f[i - 1], f[i + 1]);
    }
  }
  for (int r = 1; r <= 497; r += 2) {
    for (int c = 0; c < kFrameWidth; ++c) {
      const std::size_t i = static_cast<std::size_t>(r * kFrameWidth + c);
      f[i] = mean2(f[i - kFrameWidth], f[i + kFrameWidth]);
    }
  }
}

// Linear interpolation a third and two thirds of the way from a to b.
std::uint16_t third(std::uint16_t a, std::uint16_t b, unsigned wa, unsigned wb) {
  return static_cast<std::uint16_t>((wa * a + wb * b) / 3);
}

// 220 x 166 laid on every third row and column (rows 0-495, columns 0-657): the two pixels between
// samples are interpolated along rows, then the two rows between sampled rows; the columns and rows
// past the last sample repeat it.
void fillThird(Frame& f) {
  const auto at = [&f](int r, int c) -> std::uint16_t& {
    return f[static_cast<std::size_t>(r * kFrameWidth + c)];
  };
  constexpr int kLastSampleCol = 3 * 219;
  constexpr int kLastSampleRow = 3 * 165;
  for (int r = 0; r <= kLastSampleRow; r += 3) {
    for (int c = 0; c < kLastSampleCol; c += 3) {
      at(r, c + 1) = third(at(r, c), at(r, c + 3), 2, 1);
      at(r, c + 2) = third(at(r, c), at(r, c + 3), 1, 2);
    }
    for (int c = kLastSampleCol + 1; c < kFrameWidth; ++c)
      at(r, c) = at(r, kLastSampleCol);
  }
  for (int r = 0; r < kLastSampleRow; r += 3) {
    for (int c = 0; c < kFrameWidth; ++c) {
      at(r + 1, c) = third(at(r, c), at(r + 3, c), 2, 1);
      at(r + 2, c) = third(at(r, c), at(r + 3, c), 1, 2);
    }
  }
  for (int r = kLastSampleRow + 1; r < kFrameHeight; ++r)
    std::copy_n(&at(kLastSampleRow, 0), kFrameWidth, &at(r, 0));
}

// Cards 2-5: 16-bit, two axes, one of the program's widths and heights. The height alone decides
// the image size and the binning state.
int readShape(CardReader& cards, const FitsReadTarget& t, const FitsGeometry*& g) {
  if (!cards.skip(2)) return kFitsShortRead;
  if (cards.cols(29, 30) != "16") return kFitsNotOurs;
  if (!cards.next()) return kFitsShortRead;
  if (cards.cols(30, 30) != "2") return kFitsNotOurs;
  if (!cards.next()) return kFitsShortRead;
  const std::string_view naxis1 = cards.cols(28, 30);
  if (naxis1 != "660" && naxis1 != "330" && naxis1 != "220") return kFitsNotOurs;
  if (!cards.next()) return kFitsShortRead;
  const std::string_view naxis2 = cards.cols(28, 30);
  if (naxis2 != "500" && naxis2 != "250" && naxis2 != "166") return kFitsNotOurs;
  g = naxis2 == "250" ? &kFitsHalf : naxis2 == "166" ? &kFitsThird : &kFitsFull;
  t.binned = g->step != 1;
  t.fileBinning = g->step == 1 ? 0 : g->step;
  return kFitsRead;
}

// Cards 6-36: the texts, the history entries, the free texts and card 36.
bool readTexts(CardReader& cards, const FitsReadTarget& t) {
  FitsDetails& d = t.details;
  const std::pair<std::string*, std::size_t> texts[] = {
      {&d.object, kFitsLongTextChars},     {&d.telescope, kFitsLongTextChars},
      {&d.instrument, kFitsLongTextChars}, {&d.observer, kFitsLongTextChars},
      {&d.origin, kFitsLongTextChars},     {&d.dateObs, kFitsDateChars},
      {&d.timeObs, kFitsTimeChars}};
  for (const auto& [field, max_chars] : texts) {
    if (!cards.next()) return false;
    storeText(*field, cards.textValue(), max_chars);
  }
  for (int i = 0; i < HistoryList::kEntries; ++i) {
    if (!cards.next()) return false;
    storeHistoryEntry(t.history, i, cards.textValue());
  }
  return readFreeText(cards, d.historyText) && readFreeText(cards, d.commentText) && cards.next();
}

}  // namespace

FitsReadTarget programFitsTarget() {
  return FitsReadTarget{imageBuffers().CurrentFrame, fitsDetails(), historyList(),
                        frameState().binned,         fileBinning(), imageBuffers().FileStaging};
}

int readFits(const std::filesystem::path& path, int header_form, const FitsReadTarget& t) {
  FileHandle file(openRegularFile(path));
  if (!file) return kFitsShortRead;
  CardReader cards(file.get());
  const FitsGeometry* g = nullptr;
  if (const int shape = readShape(cards, t, g); shape != kFitsRead) return shape;
  if (!readTexts(cards, t)) return kFitsShortRead;
  std::uint16_t offset = 32768;
  if (header_form == kFitsOldForm) {
    t.details.unsignedFits = false;
  } else if (!readFullFormTail(cards, t.details, offset)) {
    return kFitsShortRead;
  }
  if (!readPixels(file.get(), *g, offset, t.pixels, t.staging)) return kFitsShortRead;
  if (g->step == 2) fillHalf(t.pixels);
  if (g->step == 3) fillThird(t.pixels);
  return kFitsRead;
}

int readFitsFile(const std::filesystem::path& path, int header_form, Frame& pixels) {
  FitsReadTarget t = programFitsTarget();
  return readFits(path, header_form,
                  FitsReadTarget{pixels, t.details, t.history, t.binned, t.fileBinning, t.staging});
}

bool readFits16Frame(const std::filesystem::path& path, Frame& frame) {
  FileHandle file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  constexpr int kBlockBytes = 2880;
  constexpr int kMaxHeaderBlocks = 64;
  long long bitpix = 0, naxis = -1, naxis1 = 0, naxis2 = 0, naxis3 = 1;
  double bzero = 0.0, bscale = 1.0;
  bool simple = false, ended = false;
  char card[kFitsCardBytes];
  for (int n = 0; !ended && n < kMaxHeaderBlocks * (kBlockBytes / kFitsCardBytes); ++n) {
    if (std::fread(card, 1, sizeof card, file.get()) != sizeof card) return false;
    const std::string_view key = std::string_view(card, 8);
    const std::string_view value = std::string_view(card + 10, 70);
    if (n == 0 && !(key == "SIMPLE  " && card[8] == '=' && value.find('T') != std::string_view::npos))
      return false;
    simple = true;
    if (key == "END     ") ended = true;
    if (card[8] != '=') continue;
    const double v = parseFitsReal(value);
    if (key == "BITPIX  ") bitpix = std::llround(v);
    if (key == "NAXIS   ") naxis = std::llround(v);
    if (key == "NAXIS1  ") naxis1 = std::llround(v);
    if (key == "NAXIS2  ") naxis2 = std::llround(v);
    if (key == "NAXIS3  ") naxis3 = std::llround(v);
    if (key == "BZERO   ") bzero = v;
    if (key == "BSCALE  ") bscale = v;
  }
  const bool shape = simple && ended && bitpix == 16 && naxis1 == kFrameWidth && naxis2 == kFrameHeight &&
                     (naxis == 2 || (naxis == 3 && naxis3 == 1));
  if (!shape || !std::isfinite(bzero) || !std::isfinite(bscale)) return false;
  // The data start at the next block boundary after END.
  const long header_end = std::ftell(file.get());
  const long data_start = (header_end + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
  if (header_end < 0 || std::fseek(file.get(), data_start, SEEK_SET) != 0) return false;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kFrameElements) * 2);
  if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
  for (std::size_t i = 0; i < static_cast<std::size_t>(kFrameElements); ++i) {
    const auto stored =
        static_cast<std::int16_t>(static_cast<std::uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]));
    const double value = std::round(stored * bscale + bzero);
    frame[i] = static_cast<std::uint16_t>(std::clamp(value, 0.0, 65535.0));
  }
  return true;
}

ImageFileKind imageFileKind(long long size) {
  switch (size) {
    case kFitsFullFileSize:
    case kFitsHalfFileSize:
    case kFitsThirdFileSize:
      return ImageFileKind::Fits;
    case kFitsOldFileSize:
      return ImageFileKind::OldFits;
    case kPkFileSize:
      return ImageFileKind::Pk;
    default:
      return ImageFileKind::Unrecognised;
  }
}

ImageLoadResult loadImageFile(const std::filesystem::path& path, const FitsReadTarget& t) {
  const ImageFileKind kind = imageFileKind(fileSize(path));
  if (kind == ImageFileKind::Unrecognised) ShowMessage(12);
  resetFitsDetails(t.details, t.history);
  if (kind == ImageFileKind::Fits || kind == ImageFileKind::OldFits) {
    const int result = readFits(path, kind == ImageFileKind::OldFits ? kFitsOldForm : kFitsFullForm, t);
    if (result == kFitsShortRead) ShowMessage(13);
    if (result == kFitsNotOurs) ShowMessage(14);
    return {kind, result};
  }
  loadRawImage(path, t.pixels);
  return {kind, kFitsRead};
}

ImageLoadResult loadImageFile(const std::filesystem::path& path) {
  return loadImageFile(path, programFitsTarget());
}

std::optional<std::uint16_t> autosaveNumberFromName(std::string_view name) {
  if (name.size() < 3) return std::nullopt;
  for (int i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[static_cast<std::size_t>(i)])) != "IMG"[i])
      return std::nullopt;
  }
  unsigned value = 0;
  for (std::size_t i = 3; i < name.size() && name[i] != '.'; ++i) {
    if (name[i] < '0' || name[i] > '9') break;
    value = (value * 10 + static_cast<unsigned>(name[i] - '0')) % 65536;  // kept as a 16-bit number
  }
  return static_cast<std::uint16_t>(value);
}

double parseFitsReal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) return 0.0;
  double value = 0.0;
  const auto res = std::from_chars(text.data() + i, text.data() + text.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    // Beyond the range of a double: a negative exponent gives 0, any other gives infinity, as
    // atof does (a mantissa of 16 characters cannot leave the range on its own).
    const std::string_view number(text.data() + i, static_cast<std::size_t>(res.ptr - (text.data() + i)));
    const std::size_t e = number.find_first_of("eE");
    value = e != std::string_view::npos && number.substr(e + 1, 1) == "-" ? 0.0 : HUGE_VAL;
  } else if (res.ec != std::errc()) {
    return 0.0;
  }
  return negative ? -value : value;
}

}  // namespace qlm
