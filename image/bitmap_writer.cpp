#include "image/bitmap_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/atomic_file.h"

namespace qlm {

namespace {
void put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}
std::uint32_t get16(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}
std::uint32_t get32(const std::uint8_t* p) {
  return get16(p) | get16(p + 2) << 16;
}
}  // namespace

std::array<std::uint8_t, kBitmapHeaderBytes> bitmapHeader(int width, int height,
                                                          const BitmapPalette& palette) {
  std::array<std::uint8_t, kBitmapHeaderBytes> h{};
  const auto pixels = static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height);
  h[0] = 0x42;  // "BM"
  h[1] = 0x4D;
  put32(&h[2], kBitmapHeaderBytes + pixels);  // file size
  put32(&h[10], kBitmapHeaderBytes);          // offset of the pixel bytes
  put32(&h[14], 40);                          // information header size
  put32(&h[18], static_cast<std::uint32_t>(width));
  put32(&h[22], static_cast<std::uint32_t>(height));
  put16(&h[26], 1);  // planes
  put16(&h[28], 8);  // bits per pixel; compression, sizes, resolutions and colour counts stay 0
  for (std::size_t i = 0; i < 256; ++i) {
    h[54 + 4 * i] = palette[i].blue;
    h[55 + 4 * i] = palette[i].green;
    h[56 + 4 * i] = palette[i].red;
    h[57 + 4 * i] = 0;
  }
  return h;
}

int writeBitmapFile(const std::filesystem::path& path, const std::uint8_t* top_down, int width, int height,
                    const BitmapPalette& palette, std::uint8_t* scratch, int chunks) {
  const auto w = static_cast<std::size_t>(width);
  for (int r = 0; r < height; ++r) {
    std::memcpy(scratch + static_cast<std::size_t>(height - 1 - r) * w,
                top_down + static_cast<std::size_t>(r) * w, w);
  }
  return writeBottomUpBitmapFile(path, scratch, width, height, palette, chunks);
}

int writeBottomUpBitmapFile(const std::filesystem::path& path, const std::uint8_t* bottom_up, int width,
                            int height, const BitmapPalette& palette, int chunks) {
  const auto total = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  AtomicFile file(path, AtomicFile::Durability::Scratch);
  if (!file.open()) return kBitmapCreateFailed;
  const auto header = bitmapHeader(width, height, palette);
  if (!file.write(header.data(), header.size())) return kBitmapHeaderFailed;
  const std::size_t chunk = total / static_cast<std::size_t>(chunks);
  for (int c = 0; c < chunks; ++c) {
    if (!file.write(bottom_up + static_cast<std::size_t>(c) * chunk, chunk)) return kBitmapPixelsFailed;
  }
  if (!file.commit()) return kBitmapPixelsFailed;
  return kBitmapOk;
}

bool readBitmapFile(const std::filesystem::path& path, LoadedBitmap& into) {
  // The whole file in one read, into the buffer `into` already has when it is large enough.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;  // a folder reports no usable size
  std::FILE* in = openRegularFile(path);
  if (in == nullptr) return false;
  const bool sized = std::fseek(in, 0, SEEK_END) == 0;
  const long size = sized ? std::ftell(in) : -1;
  std::vector<std::uint8_t>& bytes = into.file;
  bool read = size >= 0 && std::fseek(in, 0, SEEK_SET) == 0;
  if (read) {
    bytes.resize(static_cast<std::size_t>(size));
    read = std::fread(bytes.data(), 1, bytes.size(), in) == bytes.size();
  }
  std::fclose(in);
  return read && parseBitmapFile(into);
}

bool parseBitmapFile(LoadedBitmap& into) {
  const std::vector<std::uint8_t>& bytes = into.file;
  if (bytes.size() < kBitmapHeaderBytes || bytes[0] != 0x42 || bytes[1] != 0x4D) return false;
  const std::uint8_t* h = bytes.data();
  const auto offset = get32(h + 10);
  const auto info_size = get32(h + 14);
  const auto width = static_cast<std::int32_t>(get32(h + 18));
  const auto height = static_cast<std::int32_t>(get32(h + 22));
  if (info_size != 40 || get16(h + 28) != 8 || get32(h + 30) != 0) return false;
  if (width <= 0 || height <= 0 || width > 65536 || height > 65536 || offset < kBitmapHeaderBytes)
    return false;
  const auto w = static_cast<std::size_t>(width);
  const std::size_t stride = (w + 3) & ~std::size_t{3};
  if (bytes.size() < offset + stride * static_cast<std::size_t>(height)) return false;
  into.width = width;
  into.height = height;
  for (std::size_t i = 0; i < 256; ++i) {
    into.palette[i] = BitmapColour{h[54 + 4 * i], h[55 + 4 * i], h[56 + 4 * i], 0};
  }
  into.pixels.resize(w * static_cast<std::size_t>(height));
  for (std::size_t r = 0; r < static_cast<std::size_t>(height); ++r) {
    std::memcpy(&into.pixels[r * w], &bytes[offset + r * stride], w);
  }
  return true;
}

bool loadWrittenBitmap(const std::uint8_t* bottom_up, int width, int height, const BitmapPalette& palette,
                       LoadedBitmap& into) {
  const auto header = bitmapHeader(width, height, palette);
  into.file.assign(header.begin(), header.end());
  into.file.insert(into.file.end(), bottom_up,
                   bottom_up + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  return parseBitmapFile(into);
}

std::optional<LoadedBitmap> readBitmapFile(const std::filesystem::path& path) {
  LoadedBitmap bmp;
  if (!readBitmapFile(path, bmp)) return std::nullopt;
  return bmp;
}

}  // namespace qlm
