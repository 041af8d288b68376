#include "app/qt/tool_icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <map>

namespace qlm {
namespace {

struct ToolPicture {
  const char* file;
  const char* name;
};

const std::map<int, ToolPicture>& pictures() {
  static const std::map<int, ToolPicture> table = {
      {24333, {"save.svg", "Save"}},
      {24336, {"save_fits.svg", "Save as FITS"}},
      {24332, {"open.svg", "Open"}},
      {1000, {"camera.svg", "Camera"}},
      {1001, {"autoguider.svg", "Autoguider camera"}},
      {1002, {"palette_on.svg", "Max palette on"}},
      {1003, {"palette_off.svg", "Max palette off"}},
      {1904, {"max_palette.svg", "Max palette stretch"}},
      {121, {"defaults.svg", "Program defaults"}},
      {1903, {"photometry.svg", "Photometry"}},
      {1, {"normal_stretch.svg", "Normal stretch"}},
      {117, {"nonlinear_stretch.svg", "Non-linear stretch"}},
      {2, {"power_law.svg", "Power law stretch"}},
      {120, {"background.svg", "Remove background"}},
      {106, {"unsharp.svg", "Unsharp mask"}},
      {3, {"median.svg", "Median filter"}},
      {110, {"dark.svg", "Subtract dark frame"}},
      {115, {"flat.svg", "Flat field"}},
      {111, {"merge.svg", "Merge"}},
      {24, {"telescope.svg", "Telescope control"}},
  };
  return table;
}

}  // namespace

QString toolIconPath(int bitmap) {
  const auto it = pictures().find(bitmap);
  return it == pictures().end() ? QString() : QString(":/icons/") + it->second.file;
}

QString toolName(int bitmap) {
  const auto it = pictures().find(bitmap);
  return it == pictures().end() ? QString::number(bitmap) : QString(it->second.name);
}

QString toolTip(int bitmap, std::string_view hint) {
  const QString name = toolName(bitmap);
  if (hint.empty()) return name;
  return name + ": " + QString::fromUtf8(hint.data(), qsizetype(hint.size())).trimmed();
}

QIcon toolIcon(int bitmap) {
  const QString path = toolIconPath(bitmap);
  return path.isEmpty() ? QIcon() : svgIcon(path);
}

QIcon svgIcon(const QString& path) {
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon programIcon() {
  return svgIcon(":/icons/qlm-t4.svg");
}

}  // namespace qlm
