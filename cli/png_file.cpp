#include "cli/png_file.h"

#include <png.h>

#include <vector>

#include "platform/atomic_file.h"

namespace qlm {

namespace {
// libpng's output goes into memory; the file is then written in one piece by the atomic writer.
void appendBytes(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<png_byte>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void flushNothing(png_structp) {}

// libpng reports errors by long jump; keep the jump inside one function without C++ objects to unwind.
bool writeRows(std::vector<png_byte>* encoded, int width, int height, png_bytepp rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, encoded, appendBytes, flushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}
}  // namespace

bool writePng(const std::filesystem::path& path, const Raster& picture) {
  const int w = picture.width();
  const int h = picture.height();
  std::vector<png_byte> bytes(static_cast<std::size_t>(w) * h * 3);
  std::vector<png_bytep> rows(static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y) {
    png_bytep row = &bytes[static_cast<std::size_t>(y) * w * 3];
    rows[static_cast<std::size_t>(y)] = row;
    for (int x = 0; x < w; ++x) {
      const Colour c = picture.at(x, y);
      row[3 * x] = static_cast<png_byte>(c >> 16);
      row[3 * x + 1] = static_cast<png_byte>(c >> 8);
      row[3 * x + 2] = static_cast<png_byte>(c);
    }
  }
  std::vector<png_byte> encoded;
  if (!writeRows(&encoded, w, h, rows.data())) return false;
  AtomicFile file(path);
  return file.open() && file.write(encoded.data(), encoded.size()) && file.commit();
}

}  // namespace qlm
