#include "guiding/qt/guider_image.h"

#include <vector>

namespace qlm {

QImage guiderQImage(const GuiderFrame& frame, GuiderDisplaySettings& settings) {
  std::vector<std::uint8_t> bytes(kGuiderAllocated);
  guiderDisplayBytes(frame, settings, bytes.data());
  QImage image(kGuiderWidth, kGuiderHeight, QImage::Format_Indexed8);
  const BitmapPalette palette = guiderPalette(settings);
  QList<QRgb> table;
  for (const BitmapColour& c : palette)
    table.push_back(qRgb(c.red, c.green, c.blue));
  image.setColorTable(table);
  for (int y = 0; y < kGuiderHeight; ++y)
    std::copy_n(bytes.data() + y * kGuiderWidth, kGuiderWidth, image.scanLine(y));
  return image;
}

}  // namespace qlm
