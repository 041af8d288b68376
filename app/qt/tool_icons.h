#pragma once
#include <QIcon>
#include <QString>
#include <string_view>

namespace qlm {

// The drawn SVG pictures compiled into the program under :/icons/.

// The resource path of a tool-bar bitmap's picture (ToolButton::bitmap of app/command_table.h), e.g.
// ":/icons/save.svg"; empty for a bitmap without one.
QString toolIconPath(int bitmap);
// What a tool-bar bitmap's button does, in a few words (its tooltip starts with this); the bitmap
// number for an unknown one.
QString toolName(int bitmap);
// The button's tooltip: the name, then the command's status-bar hint.
QString toolTip(int bitmap, std::string_view hint);
// The picture of a tool-bar bitmap, rendered for the usual icon sizes; null for an unknown bitmap.
QIcon toolIcon(int bitmap);
// The SVG file at `path` rendered at 16 to 64 pixels; null when it is missing or not a valid SVG.
QIcon svgIcon(const QString& path);
// The program's own icon (window, desktop entry).
QIcon programIcon();

}  // namespace qlm
