#include "image/raster.h"

#include <cstdlib>

#include "image/label.h"

namespace qlm {

Raster::Raster(int width, int height, Colour fill)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, fill) {}

void Raster::set(int x, int y, Colour c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<std::size_t>(y) * width_ + x] = c;
}

void Raster::fill(Colour c) {
  pixels_.assign(pixels_.size(), c);
}

void Raster::rectangle(int left, int top, int right, int bottom, Colour pen, Colour brush) {
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x)
      set(x, y, (y == top || y == bottom - 1 || x == left || x == right - 1) ? pen : brush);
}

void drawLine(Raster& r, int x0, int y0, int x1, int y1, Colour pen) {
  // Bresenham, stopping one step short of the end point.
  const int dx = std::abs(x1 - x0);
  const int dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int x = x0;
  int y = y0;
  while (x != x1 || y != y1) {
    r.set(x, y, pen);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

void drawText(Raster& r, int left, int top, int right, int bottom, std::string_view text, Colour ink,
              int advance, int line_height) {
  int cx = left;
  int cy = top;
  for (const char c : text) {
    if (c == '\n') {
      cx = left;
      cy += line_height;
      continue;
    }
    if (const auto glyph = glyphFor(c)) {
      for (int row = 0; row < kGlyphRows; ++row) {
        for (int bit = 0; bit < kGlyphWidth; ++bit) {
          const int x = cx + bit;
          const int y = cy + row;
          if (x < left || x >= right || y < top || y >= bottom) continue;
          if ((*glyph)[static_cast<std::size_t>(row)] & (0x80 >> bit)) r.set(x, y, ink);
        }
      }
    }
    cx += advance;
  }
}

}  // namespace qlm
