#pragma once
#include <QAbstractScrollArea>
#include <QColor>
#include <QImage>
#include <functional>

namespace qlm {

// The main window's client area: paints the bitmap loaded back from the temporary file 1:1, centred
// or stretched to fit, with the scroll range, the background margins and the overlays, and reports
// mouse clicks in client coordinates.
class ImageView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit ImageView(QWidget* parent = nullptr);

  // Takes the window's bitmap (qlm::windowBitmap()) as the picture and updates the scroll range.
  void reloadBitmap();
  const QImage& picture() const { return picture_; }
  void setBackground(const QColor& colour);
  void updateScrollRange();

  // Called with client (x, y) on a button release; `right` for the right button.
  std::function<void(int x, int y, bool right)> on_release;
  // Called with client (x, y) when the pointer moves.
  std::function<void(int x, int y)> on_move;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void drawOverlays(class QPainter& painter, int origin_x, int origin_y, double scale_x, double scale_y);

  QImage picture_;
  QColor background_{192, 192, 192};
};

}  // namespace qlm
