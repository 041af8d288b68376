#include "app/qt/shell_commands_view.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QStatusBar>
#include <algorithm>
#include <optional>

#include "app/command_table.h"
#include "app/guiding_commands.h"
#include "app/qt/about_dialog.h"
#include "app/qt/help_window.h"
#include "app/qt/image_view.h"
#include "app/qt/main_window.h"
#include "app/window_model.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "image/display.h"
#include "image/frame.h"
#include "platform/messages.h"
#include "platform/qt/qt_ui.h"

namespace qlm {

namespace {

QPrinter& printer() {
  static QPrinter p(QPrinter::HighResolution);
  return p;
}

// Prints the picture the window shows (the temporary display bitmap), fitted to the page.
void printPicture(TQLM_T4Window& w) {
  QPrintDialog dialog(&printer(), &w);
  if (dialog.exec() != QDialog::Accepted) return;
  const QImage& picture = w.imageView().picture();
  if (picture.isNull()) return;
  QPainter p(&printer());
  const QRect page = p.viewport();
  QSize size = picture.size();
  size.scale(page.size(), Qt::KeepAspectRatio);
  p.setViewport(page.x(), page.y(), size.width(), size.height());
  p.setWindow(picture.rect());
  p.drawImage(0, 0, picture);
}

// Places the shown picture on the clipboard as an image and as the bitmap file's device-independent
// bitmap (header, colour table and pixel bytes as loaded).
void copyPicture(TQLM_T4Window& w) {
  const auto& bmp = windowBitmap();
  if (!bmp) return;
  auto* data = new QMimeData;
  data->setImageData(w.imageView().picture());
  data->setData("image/bmp",
                QByteArray(reinterpret_cast<const char*>(bmp->file.data()), qsizetype(bmp->file.size())));
  QApplication::clipboard()->setMimeData(data);
}

void connectClicks(TQLM_T4Window& w) {
  ClickHooks& hooks = clickHooks();
  ImageView* view = &w.imageView();
  hooks.repaint = [view] { view->viewport()->update(); };
  hooks.set_focus_origin = [](int x, int y) {
    readoutState().focus_x = x;
    readoutState().focus_y = y;
  };
  // Moves the screen pointer onto an image point shown 1:1 in the view.
  hooks.move_pointer = [view](int x, int y) {
    const MouseModes& m = mouseModes();
    const PaintLayout layout =
        paintLayout(frameState(), view->viewport()->width(), view->viewport()->height());
    QCursor::setPos(view->viewport()->mapToGlobal(QPoint(layout.x + x - m.left, layout.y + y - m.top)));
  };
  // The frame point under client (x, y) as the picture is shown, when it is on the picture.
  auto imagePoint = [view](int x, int y) -> std::optional<QPoint> {
    const MouseModes& m = mouseModes();
    const QImage& picture = view->picture();
    if (picture.isNull()) return std::nullopt;
    const QWidget* vp = view->viewport();
    const PaintLayout layout = paintLayout(frameState(), vp->width(), vp->height());
    const QPoint p = layout.stretched ? QPoint(x * picture.width() / std::max(1, vp->width()),
                                               y * picture.height() / std::max(1, vp->height()))
                                      : QPoint(x - layout.x + m.left, y - layout.y + m.top);
    if (p.x() < 0 || p.y() < 0 || p.x() >= picture.width() || p.y() >= picture.height()) return std::nullopt;
    return p;
  };
  view->on_release = [imagePoint](int x, int y, bool right) {
    MouseModes& m = mouseModes();
    if (const auto p = imagePoint(x, y)) {
      m.last_click_x = p->x();  // the 3-D plot shows the region around it
      m.last_click_y = p->y();
    }
    if (right) {
      if (!m.photometry) return;
      m.refine = true;  // a right click refines its own click
    }
    dispatchClick(m, x, y, clickHooks());
  };
  // The status bar shows the frame point under the pointer and its value.
  view->on_move = [imagePoint, window = &w](int x, int y) {
    dispatchPointerMove(mouseModes(), x, y, clickHooks());
    const auto p = imagePoint(x, y);
    if (!p || frameState().focus_mode || p->x() >= kFrameWidth || p->y() >= kFrameHeight) return;
    const int value = imageBuffers().CurrentFrame[static_cast<std::size_t>(p->y()) * kFrameWidth + p->x()];
    window->statusBar()->showMessage(QString("x %1  y %2  value %3").arg(p->x()).arg(p->y()).arg(value));
  };
}

}  // namespace

void connectShellCommands(TQLM_T4Window& w) {
  TQLM_T4Window* window = &w;
  w.setCommandHandler(cmd::kExit, [window] { window->close(); });
  w.setCommandHandler(cmd::kPrintSetup, [window] {
    QPageSetupDialog dialog(&printer(), window);
    dialog.exec();
  });
  w.setCommandHandler(cmd::kPrint, [window] { printPicture(*window); });
  w.setCommandHandler(cmd::kHelp, [window] {
    auto* help = window->findChild<HelpWindow*>();
    if (help == nullptr) help = new HelpWindow(window);
    help->show();
    help->raise();
  });
  w.setCommandHandler(cmd::kAbout, [window] {
    AboutDialog about(window);
    about.exec();
  });
  w.setCommandHandler(cmd::kCopy, [window] { copyPicture(*window); });
  w.setCommandHandler(cmd::kRepaint, [window] { window->imageView().viewport()->update(); });

  w.setCommandHandler(cmd::kPickGuideStar, [window] {
    pickGuideStarCommand();
    window->updateViewChecks();  // the menu item is checked while the pick is armed
    window->imageView().viewport()->update();
  });
  w.setCommandHandler(cmd::kFocusFrameCentre, [] { enterFocusCentre(mouseModes()); });
  w.setCommandHandler(cmd::kDefaultFocusFrameCentre, [] { setDefaultFocusOrigin(readoutState()); });
  connectClicks(w);
}

}  // namespace qlm
