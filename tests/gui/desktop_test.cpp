#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QToolBar>
#include <set>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "app/qt/tool_icons.h"
#include "platform/version.h"
#include "sim/sim_transport.h"
#include "support/test_home.h"

namespace {

// Every bitmap any tool-bar state shows: both palette buttons and Telescope Control.
std::set<int> everyToolBitmap() {
  std::set<int> bitmaps;
  for (bool max_palette : {false, true})
    for (const qlm::ToolButton& b : qlm::toolBarLayout(max_palette, 'l'))
      if (b.command != 0) bitmaps.insert(b.bitmap);
  return bitmaps;
}

TEST(ToolIcons, EveryToolBitmapIsItsOwnDrawnPicture) {
  std::set<QString> paths;
  std::set<QByteArray> pictures;
  for (int bitmap : everyToolBitmap()) {
    const QString path = qlm::toolIconPath(bitmap);
    ASSERT_FALSE(path.isEmpty()) << bitmap;
    EXPECT_TRUE(paths.insert(path).second) << "two buttons share " << path.toStdString();
    const QIcon icon = qlm::toolIcon(bitmap);
    ASSERT_FALSE(icon.isNull()) << path.toStdString() << " is missing or not a valid SVG";
    const QImage image = icon.pixmap(24, 24).toImage().convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x)
        opaque += qAlpha(image.pixel(x, y)) > 128;
    EXPECT_GT(opaque, 24 * 24 / 8) << path.toStdString() << " draws almost nothing";
    EXPECT_TRUE(
        pictures.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()))
            .second)
        << path.toStdString() << " looks like another button";
  }
  EXPECT_FALSE(qlm::programIcon().isNull());
  EXPECT_TRUE(qlm::svgIcon(":/icons/no_such_picture.svg").isNull());
  EXPECT_TRUE(qlm::toolIcon(4242).isNull());
}

TEST(DesktopWindow, ToolButtonsShowPicturesNameTheirCommandAndAboutShowsTheVersion) {
  qlm::test::TempHome home;
  WindowOptions options;
  options.transport = std::make_shared<qlm::sim::SimTransport>();
  options.home = home.path().string();
  TQLM_T4Window window(options);
  int buttons = 0;
  for (QAction* a : window.findChild<QToolBar*>("ToolBar")->actions()) {
    if (a->isSeparator()) continue;
    ++buttons;
    EXPECT_FALSE(a->icon().isNull()) << a->data().toInt();
    const QString hint = QString::fromStdString(std::string(qlm::commandHint(a->data().toInt()))).trimmed();
    EXPECT_TRUE(a->toolTip().endsWith(": " + hint)) << a->toolTip().toStdString();
    EXPECT_EQ(a->toolTip().section(": ", 0, 0), a->text()) << "the tooltip starts with the button's name";
  }
  EXPECT_GT(buttons, 15);

  QString about;
  QTimer::singleShot(0, [&about] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    about = dialog->findChild<QLabel*>("AboutText")->text();
    dialog->close();
  });
  window.runCommand(qlm::cmd::kAbout);
  EXPECT_TRUE(about.contains(QString("Version ") + qlm::kVersion)) << about.toStdString();
}

}  // namespace
