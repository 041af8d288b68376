#include "guiding/qt/guide_graph.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace qlm {

// The drawing area: its parent's history on the parent's scale.
class TGuideGraph::Plot : public QWidget {
 public:
  explicit Plot(const GuideHistory& history, QWidget* parent) : QWidget(parent), history_(history) {
    setMinimumSize(320, 140);
    setObjectName("GuideGraphPlot");
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const auto& points = history_.points();
    const double range = history_.scale();
    const double mid = height() / 2.0;
    const double px_height = (height() / 2.0 - 4.0) / range;
    const double step = width() / 100.0;
    // Grid: the zero line and one line at each half of the range.
    p.setPen(QPen(Qt::lightGray, 1, Qt::DotLine));
    for (double v : {-range / 2, range / 2})
      p.drawLine(QPointF(0, mid - v * px_height), QPointF(width(), mid - v * px_height));
    p.setPen(QPen(Qt::gray, 1));
    p.drawLine(QPointF(0, mid), QPointF(width(), mid));
    // Pulses as bars from the zero line, the longest shown filling a third of the height.
    int longest = 1;
    for (const GuideGraphPoint& pt : points)
      longest = std::max({longest, std::abs(pt.ra_ms), std::abs(pt.dec_ms)});
    const double ms_height = (height() / 3.0) / longest;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const double x = static_cast<double>(i) * step;
      const GuideGraphPoint& pt = points[i];
      if (pt.ra_ms != 0)
        p.fillRect(QRectF(x, mid, step * 0.45, -pt.ra_ms * ms_height), QColor(255, 170, 170));
      if (pt.dec_ms != 0)
        p.fillRect(QRectF(x + step * 0.5, mid, step * 0.45, -pt.dec_ms * ms_height), QColor(170, 170, 255));
      if (pt.dither) {
        p.setPen(QPen(QColor(0, 150, 0), 1, Qt::DashLine));
        p.drawLine(QPointF(x, 0), QPointF(x, height()));
      }
    }
    // The errors, clipped to the range.
    for (int axis = 0; axis < 2; ++axis) {
      QPainterPath path;
      for (std::size_t i = 0; i < points.size(); ++i) {
        const double v = std::clamp(axis == 0 ? points[i].ra_px : points[i].dec_px, -range, range);
        const QPointF at(static_cast<double>(i) * step, mid - v * px_height);
        if (i == 0) {
          path.moveTo(at);
        } else {
          path.lineTo(at);
        }
      }
      p.setPen(QPen(axis == 0 ? Qt::red : Qt::blue, 1.5));
      p.drawPath(path);
    }
    p.setPen(Qt::black);
    p.drawText(2, 12, QString("+%1 px").arg(range));
    p.drawText(2, height() - 3, QString("-%1 px").arg(range));
    if (const auto arcsec = history_.arcsec(range)) {
      const QString text = QString("+/-%1\"").arg(*arcsec, 0, 'f', 1);
      p.drawText(width() - p.fontMetrics().horizontalAdvance(text) - 2, 12, text);
    }
  }

 private:
  const GuideHistory& history_;
};

TGuideGraph::TGuideGraph(QWidget* parent) : QWidget(parent) {
  setObjectName("GuideGraph");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* top = new QHBoxLayout();
  rms_ = new QLabel(this);
  rms_->setObjectName("GuideGraphRms");
  top->addWidget(rms_, 1);
  scale_ = new QComboBox(this);
  scale_->setObjectName("GuideGraphScale");
  for (int s : GuideHistory::kScales)
    scale_->addItem(QString("+/-%1 px").arg(s), s);
  scale_->setCurrentIndex(scale_->findData(history_.scale()));
  connect(scale_, &QComboBox::currentIndexChanged, this, [this] {
    history_.setScale(scale_->currentData().toInt());
    plot_->update();
  });
  top->addWidget(scale_);
  layout->addLayout(top);
  plot_ = new Plot(history_, this);
  layout->addWidget(plot_, 1);
  changed();
}

void TGuideGraph::add(double ra_px, double dec_px) {
  add(GuideGraphPoint{ra_px, dec_px, 0, 0, false});
}

void TGuideGraph::add(const GuideGraphPoint& point) {
  history_.add(point);
  changed();
}

void TGuideGraph::markDither() {
  history_.markDither();
}

void TGuideGraph::setPixelScale(std::optional<double> arcsec_per_px) {
  history_.setPixelScale(arcsec_per_px);
  changed();
}

void TGuideGraph::clear() {
  history_.clear();
  changed();
}

void TGuideGraph::changed() {
  rms_->setText(QString::fromStdString(history_.rmsText()));
  plot_->update();
}

}  // namespace qlm
