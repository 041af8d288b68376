#include "files/fits_image.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

#include "files/fits_reader.h"
#include "platform/atomic_file.h"

namespace qlm {

namespace {

constexpr std::size_t kCard = 80;
constexpr std::size_t kBlock = 2880;
constexpr long long kMaxSamples = 1LL << 28;  // a bound on what a file may ask us to hold

// One 80-character card: KEYWORD padded to 8, "= ", the value field, an optional comment.
std::string card(std::string_view key, std::string_view value) {
  std::string c(key);
  c.resize(8, ' ');
  if (!value.empty()) c += "= " + std::string(value);
  c.resize(kCard, ' ');
  return c;
}

std::string numberValue(double v) {
  // Only finite numbers are FITS numbers: infinity becomes the largest value that still reads back
  // (ten digits of DBL_MAX rounded up would not), NaN becomes 0.
  if (std::isnan(v)) v = 0.0;
  if (std::isinf(v)) v = std::copysign(1.797693134e308, v);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%20.10G", v);
  return buf;
}

std::string integerValue(long long v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%20lld", v);
  return buf;
}

// A quoted text value: printable ASCII only, quotes doubled, at most 68 characters between the quotes.
std::string textValue(std::string_view text) {
  std::string v = "'";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c > 0x7E) continue;
    if (v.size() + (ch == '\'' ? 2 : 1) > 69) break;
    v += ch;
    if (ch == '\'') v += '\'';
  }
  while (v.size() < 9)
    v += ' ';  // a fixed-format text is at least 8 characters
  return v + "'";
}

// A HISTORY or COMMENT card: the text in columns 9-80, printable ASCII only.
std::string commentary(std::string_view key, std::string_view text) {
  std::string c(key);
  c.resize(8, ' ');
  for (char ch : text) {
    const auto u = static_cast<unsigned char>(ch);
    if (u >= 0x20 && u <= 0x7E && c.size() < kCard) c += ch;
  }
  c.resize(kCard, ' ');
  return c;
}

void put(std::string& header, const std::string& c) {
  header += c;
}

// The value text of a card: what lies after "= " up to a comment's "/" (outside quotes).
std::string_view rawValue(std::string_view c) {
  if (c.size() < 10 || c[8] != '=') return {};
  std::string_view v = c.substr(10);
  bool quoted = false;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '\'') quoted = !quoted;
    if (v[i] == '/' && !quoted) return v.substr(0, i);
  }
  return v;
}

std::string textOf(std::string_view c) {
  std::string_view v = rawValue(c);
  const auto open = v.find('\'');
  if (open == std::string_view::npos) return {};
  std::string out;
  for (std::size_t i = open + 1; i < v.size(); ++i) {
    if (v[i] == '\'') {
      if (i + 1 < v.size() && v[i + 1] == '\'') {
        out += '\'';
        ++i;
        continue;
      }
      break;
    }
    out += v[i];
  }
  while (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

bool integerOf(std::string_view c, long long& out) {
  std::string v(rawValue(c));
  const auto first = v.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  char* end = nullptr;
  const long long n = std::strtoll(v.c_str() + first, &end, 10);
  if (end == v.c_str() + first) return false;
  for (const char* p = end; *p; ++p)
    if (*p != ' ') return false;
  out = n;
  return true;
}

double realOf(std::string_view c) {
  std::string v(rawValue(c));
  std::replace(v.begin(), v.end(), 'D', 'E');
  return parseFitsReal(v);
}

std::string keyOf(std::string_view c) {
  std::string k(c.substr(0, 8));
  while (!k.empty() && k.back() == ' ')
    k.pop_back();
  return k;
}

template <typename T>
T bigEndian(const unsigned char* p) {
  using U = std::conditional_t<sizeof(T) == 8, std::uint64_t,
                               std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint16_t>>;
  U u = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i)
    u = static_cast<U>((u << 8) | p[i]);
  return std::bit_cast<T>(u);
}

}  // namespace

bool writeFloatFits(const std::filesystem::path& path, const float* pixels, int width, int height,
                    const FitsDetails& d, const HistoryList& history) {
  std::string header;
  put(header, card("SIMPLE", "                   T"));
  put(header, card("BITPIX", integerValue(-32)));
  put(header, card("NAXIS", integerValue(2)));
  put(header, card("NAXIS1", integerValue(width)));
  put(header, card("NAXIS2", integerValue(height)));
  put(header, card("OBJECT", textValue(d.object)));
  put(header, card("TELESCOP", textValue(d.telescope)));
  put(header, card("INSTRUME", textValue(d.instrument)));
  put(header, card("OBSERVER", textValue(d.observer)));
  put(header, card("ORIGIN", textValue(d.origin)));
  put(header, card("DATE-OBS", textValue(d.dateObs)));
  put(header, card("TIME-OBS", textValue(d.timeObs)));
  put(header, card("FILTER", textValue(d.filterName)));
  put(header, card("EXPTIME", numberValue(d.exposureSeconds)));
  put(header, card("FOCALLEN", numberValue(d.focalLength)));
  put(header, card("APERTURE", numberValue(d.aperture)));
  put(header, card("PIXWIDTH", numberValue(d.pixelWidth)));
  put(header, card("PIXHEIGH", numberValue(d.pixelHeight)));
  for (int i = 0; i < HistoryList::kEntries; ++i) {
    const std::string e = history.entry(i);
    if (!e.empty()) put(header, commentary("HISTORY", e));
  }
  if (!d.historyText.empty()) put(header, commentary("HISTORY", d.historyText));
  if (!d.commentText.empty()) put(header, commentary("COMMENT", d.commentText));
  put(header, card("END", {}));
  header.resize((header.size() + kBlock - 1) / kBlock * kBlock, ' ');

  const std::size_t samples = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<unsigned char> data((samples * 4 + kBlock - 1) / kBlock * kBlock, 0);
  for (std::size_t i = 0; i < samples; ++i) {
    const auto u = std::bit_cast<std::uint32_t>(pixels[i]);
    data[4 * i] = static_cast<unsigned char>(u >> 24);
    data[4 * i + 1] = static_cast<unsigned char>(u >> 16);
    data[4 * i + 2] = static_cast<unsigned char>(u >> 8);
    data[4 * i + 3] = static_cast<unsigned char>(u);
  }
  AtomicFile file(path);
  return file.open() && file.write(header.data(), header.size()) && file.write(data.data(), data.size()) &&
         file.commit();
}

std::optional<FitsImage> readFitsImage(const std::filesystem::path& path, std::string& error) {
  if (fileSize(path) < 0) {  // a FIFO would block the read, a device never end
    error = "is not a regular file";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot be opened";
    return std::nullopt;
  }
  FitsImage image;
  long long naxis = -1;
  long long axes[3] = {0, 1, 1};
  long long bitpix = 0;
  double bzero = 0.0;
  double bscale = 1.0;
  bool simple = false;
  bool ended = false;
  std::size_t header_bytes = 0;
  char block[kBlock];
  while (!ended) {
    if (!in.read(block, kBlock)) {
      error = header_bytes == 0 ? "is not a FITS file" : "has no END card";
      return std::nullopt;
    }
    for (std::size_t k = 0; k < kBlock / kCard && !ended; ++k) {
      const std::string_view c(block + k * kCard, kCard);
      const std::string key = keyOf(c);
      if (header_bytes == 0 && k == 0) {
        simple = key == "SIMPLE" && rawValue(c).find('T') != std::string_view::npos;
        if (!simple) {
          error = "is not a FITS file";
          return std::nullopt;
        }
      } else if (key == "END") {
        ended = true;
      } else if (key == "BITPIX") {
        integerOf(c, bitpix);
      } else if (key == "NAXIS") {
        integerOf(c, naxis);
      } else if (key == "NAXIS1" || key == "NAXIS2" || key == "NAXIS3") {
        integerOf(c, axes[key[5] - '1']);
      } else if (key == "BZERO") {
        bzero = realOf(c);
      } else if (key == "BSCALE") {
        bscale = realOf(c);
      } else if (key == "OBJECT") {
        image.details.object = textOf(c);
      } else if (key == "TELESCOP") {
        image.details.telescope = textOf(c);
      } else if (key == "INSTRUME") {
        image.details.instrument = textOf(c);
      } else if (key == "OBSERVER") {
        image.details.observer = textOf(c);
      } else if (key == "ORIGIN") {
        image.details.origin = textOf(c);
      } else if (key == "DATE-OBS") {
        image.details.dateObs = textOf(c);
      } else if (key == "TIME-OBS") {
        image.details.timeObs = textOf(c);
      } else if (key == "FILTER") {
        image.details.filterName = textOf(c);
      } else if (key == "EXPTIME" || key == "EXPOSURE") {
        image.details.exposureSeconds = realOf(c);
      } else if (key == "FOCALLEN") {
        image.details.focalLength = realOf(c);
      } else if (key == "APERTURE") {
        image.details.aperture = realOf(c);
      } else if (key == "HISTORY") {
        std::string text(c.substr(8));
        while (!text.empty() && text.back() == ' ')
          text.pop_back();
        const auto first = text.find_first_not_of(' ');
        image.history.push_back(first == std::string::npos ? std::string() : text.substr(first));
      }
    }
    header_bytes += kBlock;
  }
  const bool known = bitpix == 8 || bitpix == 16 || bitpix == 32 || bitpix == -32 || bitpix == -64;
  if (!known) {
    error = "has BITPIX " + std::to_string(bitpix);
    return std::nullopt;
  }
  if (naxis < 2 || naxis > 3 || axes[0] < 1 || axes[1] < 1 || axes[2] != 1 ||
      axes[0] * axes[1] > kMaxSamples) {
    error = "holds no two-dimensional image";
    return std::nullopt;
  }
  image.width = static_cast<int>(axes[0]);
  image.height = static_cast<int>(axes[1]);
  image.bitpix = static_cast<int>(bitpix);
  const std::size_t bytes_per = static_cast<std::size_t>(std::abs(bitpix) / 8);
  const std::size_t samples = static_cast<std::size_t>(axes[0] * axes[1]);
  // The file must hold the data its header promises before any memory is set aside for it.
  std::error_code ec;
  const auto file_bytes = std::filesystem::file_size(path, ec);
  if (ec || file_bytes < header_bytes + samples * bytes_per) {
    error = "is shorter than its header says";
    return std::nullopt;
  }
  std::vector<unsigned char> raw(samples * bytes_per);
  if (!in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()))) {
    error = "is shorter than its header says";
    return std::nullopt;
  }
  image.pixels.resize(samples);
  const unsigned char* p = raw.data();
  for (std::size_t i = 0; i < samples; ++i, p += bytes_per) {
    double v = 0.0;
    switch (bitpix) {
      case 8:
        v = *p;
        break;
      case 16:
        v = bigEndian<std::int16_t>(p);
        break;
      case 32:
        v = bigEndian<std::int32_t>(p);
        break;
      case -32:
        v = bigEndian<float>(p);
        break;
      default:
        v = bigEndian<double>(p);
        break;
    }
    image.pixels[i] = static_cast<float>(bzero + bscale * v);
  }
  image.details.eightBit = false;
  return image;
}

bool fitsImageToFrame(const FitsImage& image, Frame& frame) {
  if (image.width != kFrameWidth || image.height != kFrameHeight) return false;
  for (int i = 0; i < kFrameElements; ++i) {
    const float v = image.pixels[static_cast<std::size_t>(i)];
    // Not-a-number (a blank sample) becomes 0.
    const float c = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 65535.0f);
    frame[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(std::lround(c));
  }
  return true;
}

}  // namespace qlm
