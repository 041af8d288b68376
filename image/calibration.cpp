#include "image/calibration.h"

#include <algorithm>
#include <cstdint>

namespace qlm {

namespace {
constexpr int kFlatFirstColumn = 3;
constexpr int kAutoFlatFirstRow = 2;
constexpr int kAutoFlatLastRow = 498;
constexpr int kFlatProgressStart = 10;

std::size_t at(int row, int col) {
  return static_cast<std::size_t>(row) * kFrameWidth + static_cast<std::size_t>(col);
}

// One row of the flat field, columns 3-659.
void flatFieldRow(std::uint16_t* image, const std::uint16_t* flat, double mean) {
  for (int j = kFlatFirstColumn; j < kFrameWidth; ++j) {
    const std::uint16_t v = image[j];
    const std::uint16_t f = flat[j];
    double x;
    if (f != 0) {
      x = static_cast<double>(v) / f * mean;
    } else {
      x = v == 0 ? mean : static_cast<double>(v);
    }
    // A negative mean (impossible: the flat is unsigned) would truncate towards 0 like the rest.
    image[j] = x >= 65535.0 ? std::uint16_t{65535} : static_cast<std::uint16_t>(x > 0.0 ? x : 0.0);
  }
}
}  // namespace

void subtractDark(Frame& image, const Frame& dark) {
  std::uint16_t* e = image.data();
  const std::uint16_t* d = dark.data();
  for (int i = 0; i < kFrameElements; ++i)
    e[i] = d[i] < e[i] ? static_cast<std::uint16_t>(e[i] - d[i]) : std::uint16_t{0};
}

double flatMean(const Frame& flat) {
  long long sum = 0;
  for (int row = 10; row <= 19; ++row) {
    for (int col = 5; col <= 504; ++col)
      sum += flat[at(row, col)];
  }
  return static_cast<double>(sum) * 0.0002;
}

void flatFieldRows(Frame& image, const Frame& flat, double mean, int first_row, int last_row) {
  first_row = std::max(first_row, 0);
  last_row = std::min(last_row, kLastRow);
  for (int i = first_row; i <= last_row; ++i)
    flatFieldRow(&image[at(i, 0)], &flat[at(i, 0)], mean);
}

void autoFlatField(Frame& image, const Frame& flat) {
  flatFieldRows(image, flat, flatMean(flat), kAutoFlatFirstRow, kAutoFlatLastRow);
}

void interactiveFlatField(Frame& image, const Frame& flat, Ui& ui) {
  const double mean = flatMean(flat);
  const int first = labelled(image.data()) ? 11 : 7;
  ui.progressOpen("FLAT FIELD PROGRESS");
  int bar = kFlatProgressStart;
  ui.progressSet(bar);
  for (int i = first; i <= kLastRow; ++i) {
    flatFieldRow(&image[at(i, 0)], &flat[at(i, 0)], mean);
    ui.progressSet(++bar);
  }
  ui.progressClose();
}

void mergeImages(Frame& base, const Frame& merge, int dx, int dy, bool average) {
  const int s = labelled(base.data()) || labelled(merge.data()) ? kLabelRows : 0;
  // Partner columns c = j + dx must satisfy 0 < c < 660.
  const int j0 = std::max(0, 1 - dx);
  const int j1 = std::min(kFrameWidth - 1, kFrameWidth - 1 - dx);
  for (int i = s; i <= kLastRow; ++i) {
    const int r = i + dy;
    if (r <= s || r >= kFrameHeight || j0 > j1) continue;
    std::uint16_t* o = &base[at(i, 0)];
    const std::uint16_t* m = &merge[at(r, 0)];
    if (average) {
      for (int j = j0; j <= j1; ++j)
        o[j] = static_cast<std::uint16_t>((m[j + dx] + o[j]) >> 1);
    } else {
      for (int j = j0; j <= j1; ++j)
        o[j] = static_cast<std::uint16_t>(std::min(m[j + dx] + o[j], 65535));
    }
  }
}

}  // namespace qlm
