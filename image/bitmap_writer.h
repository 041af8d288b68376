#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace qlm {

// One colour-table entry of an 8-bit bitmap file, in file order.
struct BitmapColour {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t zero = 0;
  bool operator==(const BitmapColour&) const = default;
};
using BitmapPalette = std::array<BitmapColour, 256>;

inline constexpr int kBitmapHeaderBytes = 1078;  // 14 + 40 + 1,024 colour table

// Results of writing a temporary bitmap: 0 written; 1 the file could not be created; 2 header or
// colour table short; 3 pixel bytes short. 1-3 are shown as messages 8-10.
enum BitmapWriteResult {
  kBitmapOk = 0,
  kBitmapCreateFailed = 1,
  kBitmapHeaderFailed = 2,
  kBitmapPixelsFailed = 3
};

// The 1,078 header bytes of an uncompressed 8-bit bitmap of width x height with `palette`.
std::array<std::uint8_t, kBitmapHeaderBytes> bitmapHeader(int width, int height,
                                                          const BitmapPalette& palette);

// Writes `top_down` (width x height bytes, top row first) as an 8-bit bitmap: header and palette, then
// the rows bottom row first, reordered through `scratch` (at least width x height bytes) and written in
// `chunks` equal writes. The old file stays in place unless the whole new file was written.
int writeBitmapFile(const std::filesystem::path& path, const std::uint8_t* top_down, int width, int height,
                    const BitmapPalette& palette, std::uint8_t* scratch, int chunks);

// As writeBitmapFile, from `bottom_up`: the rows already in file order, bottom row first.
int writeBottomUpBitmapFile(const std::filesystem::path& path, const std::uint8_t* bottom_up, int width,
                            int height, const BitmapPalette& palette, int chunks);

// An 8-bit bitmap as read back from its file.
struct LoadedBitmap {
  int width = 0;
  int height = 0;
  BitmapPalette palette{};
  std::vector<std::uint8_t> pixels;  // width x height, bottom row first as in the file
  std::vector<std::uint8_t> file;    // the whole file, for the clipboard's bitmap form
  // Byte at column x of row y counted from the top.
  std::uint8_t at(int x, int y) const {
    return pixels[static_cast<std::size_t>(height - 1 - y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

// Reads an uncompressed 8-bit bitmap with a 256-entry colour table (the kind the writer makes);
// nothing when the file is missing, short or of another kind.
std::optional<LoadedBitmap> readBitmapFile(const std::filesystem::path& path);
// The same into `into`, reusing its buffers; false (and `into` left unspecified) when the file is
// missing, short or of another kind.
bool readBitmapFile(const std::filesystem::path& path, LoadedBitmap& into);
// Takes `into.file` (the whole bytes of a file) apart as readBitmapFile does.
bool parseBitmapFile(LoadedBitmap& into);
// What readBitmapFile gives for the file that writeBottomUpBitmapFile made of `bottom_up` and
// `palette` when every write succeeded, built from those bytes without reading the file.
bool loadWrittenBitmap(const std::uint8_t* bottom_up, int width, int height, const BitmapPalette& palette,
                       LoadedBitmap& into);

}  // namespace qlm
