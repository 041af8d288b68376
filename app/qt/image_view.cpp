#include "app/qt/image_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "app/window_model.h"
#include "image/display.h"

namespace qlm {

namespace {
constexpr int kGuideCrossArm = 20;  // pixels
constexpr int kFocusCrossArm = 15;

void cross(QPainter& p, double x, double y, int arm) {
  p.drawLine(QPointF(x - arm, y), QPointF(x + arm, y));
  p.drawLine(QPointF(x, y - arm), QPointF(x, y + arm));
}
}  // namespace

ImageView::ImageView(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName("ImageView");
  setFrameShape(QFrame::NoFrame);
  viewport()->setMouseTracking(true);
  horizontalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setSingleStep(1);
  // The scroller's start-up range before the first picture arrives.
  horizontalScrollBar()->setRange(0, 400);
  verticalScrollBar()->setRange(0, 400);
}

void ImageView::reloadBitmap() {
  const auto& bmp = windowBitmap();
  if (!bmp) {
    picture_ = QImage();
  } else {
    QImage image(bmp->width, bmp->height, QImage::Format_Indexed8);
    QList<QRgb> colours;
    colours.reserve(256);
    for (const auto& c : bmp->palette)
      colours.push_back(qRgb(c.red, c.green, c.blue));
    image.setColorTable(colours);
    for (int y = 0; y < bmp->height; ++y) {
      const std::uint8_t* src = &bmp->pixels[static_cast<std::size_t>(bmp->height - 1 - y) * bmp->width];
      std::copy(src, src + bmp->width, image.scanLine(y));
    }
    picture_ = image;
  }
  updateScrollRange();
  viewport()->update();
}

void ImageView::setBackground(const QColor& colour) {
  background_ = colour;
  viewport()->update();
}

void ImageView::updateScrollRange() {
  const FrameState& f = frameState();
  const int w = picture_.isNull() ? 0 : picture_.width();
  const int h = picture_.isNull() ? 0 : picture_.height();
  horizontalScrollBar()->setRange(0, scrollRange(f.fit_to_window, w, viewport()->width()));
  verticalScrollBar()->setRange(0, scrollRange(f.fit_to_window, h, viewport()->height()));
  horizontalScrollBar()->setPageStep(std::max(1, viewport()->width()));
  verticalScrollBar()->setPageStep(std::max(1, viewport()->height()));
  mouseModes().left = horizontalScrollBar()->value();
  mouseModes().top = verticalScrollBar()->value();
}

void ImageView::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  p.fillRect(viewport()->rect(), background_);
  if (!picture_.isNull()) {
    const PaintLayout layout = paintLayout(frameState(), viewport()->width(), viewport()->height());
    if (layout.stretched || window()->isMinimized()) {
      // Plain colour-on-colour stretching: no smoothing between palette entries.
      p.setRenderHint(QPainter::SmoothPixmapTransform, false);
      p.drawImage(viewport()->rect(), picture_);
      drawOverlays(p, 0, 0, double(viewport()->width()) / picture_.width(),
                   double(viewport()->height()) / picture_.height());
    } else {
      const int x = layout.x - horizontalScrollBar()->value();
      const int y = layout.y - verticalScrollBar()->value();
      p.drawImage(x, y, picture_);
      drawOverlays(p, x, y, 1.0, 1.0);
    }
  }
  p.end();
  afterPaint();
}

void ImageView::drawOverlays(QPainter& p, int origin_x, int origin_y, double sx, double sy) {
  const MouseModes& m = mouseModes();
  auto at = [&](int x, int y) { return QPointF(origin_x + x * sx, origin_y + y * sy); };
  if (m.guide_star_shown) {
    p.setPen(QPen(Qt::red, 1));
    const QPointF c = at(m.guide_x, m.guide_y);
    cross(p, c.x(), c.y(), kGuideCrossArm);
  }
  if (m.focus_cross_shown) {
    p.setPen(QPen(Qt::green, 1));
    const QPointF c = at(m.focus_origin_x + 64, m.focus_origin_y + 64);
    cross(p, c.x(), c.y(), kFocusCrossArm);
  }
  if (m.selection_shown) {
    p.setPen(QPen(Qt::yellow, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(at(m.selection_x0, m.selection_y0), at(m.selection_x1, m.selection_y1)));
  }
}

void ImageView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollRange();
}

void ImageView::scrollContentsBy(int, int) {
  mouseModes().left = horizontalScrollBar()->value();
  mouseModes().top = verticalScrollBar()->value();
  viewport()->update();
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (event->button() == Qt::LeftButton && on_release) on_release(pos.x(), pos.y(), false);
  if (event->button() == Qt::RightButton && on_release) on_release(pos.x(), pos.y(), true);
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (on_move) on_move(pos.x(), pos.y());
}

}  // namespace qlm
