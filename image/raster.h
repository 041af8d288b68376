#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace qlm {

// Colours as 0xRRGGBB.
using Colour = std::uint32_t;
inline constexpr Colour kWhite = 0xFFFFFF;
inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kDialogFace = 0xF0F0F0;  // background of a dialog's client area
// The two pens of the analysis views: the first draws normal bars and rising segments, the second
// (warning) pen cut bars and falling segments.
inline constexpr Colour kFirstPen = 0x0000C0;
inline constexpr Colour kSecondPen = 0xFF0000;

// A picture drawn in plain C++ so that a dialog and a file show the very same pixels: width x height
// colours, row 0 at the top.
class Raster {
 public:
  Raster() = default;
  Raster(int width, int height, Colour fill);

  int width() const { return width_; }
  int height() const { return height_; }
  // The colour at (x, y); (x, y) must lie inside.
  Colour at(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
  // Sets (x, y); points outside the raster are ignored.
  void set(int x, int y, Colour c);
  void fill(Colour c);
  // The interior and border of the rectangle (left, top)-(right, bottom), right and bottom excluded,
  // as the window system's rectangle call draws it: border in `pen`, inside in `brush`.
  void rectangle(int left, int top, int right, int bottom, Colour pen, Colour brush);
  const std::vector<Colour>& pixels() const { return pixels_; }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<Colour> pixels_;
};

// A line as the window system draws it: every pixel from (x0, y0) up to, but not including, (x1, y1).
void drawLine(Raster& r, int x0, int y0, int x1, int y1, Colour pen);

// Pen position and colour for a run of connected lines (move-to and line-to).
class PenPath {
 public:
  explicit PenPath(Raster& r) : r_(r) {}
  void moveTo(int x, int y) {
    x_ = x;
    y_ = y;
  }
  void lineTo(int x, int y, Colour pen) {
    drawLine(r_, x_, y_, x, y, pen);
    moveTo(x, y);
  }

 private:
  Raster& r_;
  int x_ = 0;
  int y_ = 0;
};

// Text in the built-in 10-row glyphs, `advance` pixels a character and `line_height` a line, from the
// top-left corner of the rectangle (left, top)-(right, bottom) and clipped to it; "\n" starts a line.
void drawText(Raster& r, int left, int top, int right, int bottom, std::string_view text, Colour ink,
              int advance = 7, int line_height = 12);

}  // namespace qlm
