#include "guiding/qt/guide_graph.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace qlm {

TGuideGraph::TGuideGraph(QWidget* parent) : QWidget(parent) {
  setMinimumSize(320, 140);
  setObjectName("GuideGraph");
}

void TGuideGraph::add(double ra_px, double dec_px) {
  history_.add(ra_px, dec_px);
  update();
}

void TGuideGraph::clear() {
  history_.clear();
  update();
}

void TGuideGraph::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const auto& points = history_.points();
  // The scale grows to the largest error shown, at least one pixel either side.
  double range = 1.0;
  for (const auto& pt : points)
    range = std::max({range, std::abs(pt.first), std::abs(pt.second)});
  const double mid = height() / 2.0;
  const double scale = (height() / 2.0 - 14.0) / range;
  p.setPen(QPen(Qt::lightGray, 1));
  p.drawLine(0, static_cast<int>(mid), width(), static_cast<int>(mid));
  const double step = width() / 100.0;
  for (int axis = 0; axis < 2; ++axis) {
    QPainterPath path;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const double v = axis == 0 ? points[i].first : points[i].second;
      const QPointF at(static_cast<double>(i) * step, mid - v * scale);
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
  p.drawText(4, 12,
             QString("RA rms %1 px   Dec rms %2 px   (+/-%3 px)")
                 .arg(history_.rmsRa(), 0, 'f', 2)
                 .arg(history_.rmsDec(), 0, 'f', 2)
                 .arg(range, 0, 'f', 1));
}

}  // namespace qlm
