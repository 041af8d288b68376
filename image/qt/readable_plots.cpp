#include "image/qt/readable_plots.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "image/analysis_views.h"

namespace qlm {

namespace {
constexpr int kLeftMargin = 58;  // room for the value axis' numbers
constexpr int kBottomMargin = 34;
constexpr int kTopMargin = 10;
constexpr int kRightMargin = 12;
constexpr std::uint32_t kCutCount = 1055;  // the view's own picture cuts bars from here on

QString number(double v) {
  if (std::abs(v) >= 1e6) return QString::number(v / 1e6, 'g', 3) + "M";
  if (std::abs(v) >= 1e4) return QString::number(v / 1e3, 'g', 3) + "k";
  return QString::number(v, 'g', 6);
}

// Axes, ticks and numbers of a plot area; `x_of` and `y_of` place a value.
template <typename XOf, typename YOf>
void drawAxes(QPainter& p, const QRectF& a, const std::vector<double>& xs, const std::vector<double>& ys,
              XOf x_of, YOf y_of, const QString& x_title, const QString& y_title) {
  p.setPen(QColor(225, 225, 225));
  for (double y : ys)
    p.drawLine(QPointF(a.left(), y_of(y)), QPointF(a.right(), y_of(y)));
  p.setPen(Qt::black);
  p.drawLine(a.bottomLeft(), a.topLeft());
  p.drawLine(a.bottomLeft(), a.bottomRight());
  const QFontMetrics fm = p.fontMetrics();
  for (double x : xs) {
    const double px = x_of(x);
    p.drawLine(QPointF(px, a.bottom()), QPointF(px, a.bottom() + 4));
    const QString t = number(x);
    p.drawText(QPointF(px - fm.horizontalAdvance(t) / 2.0, a.bottom() + 5 + fm.ascent()), t);
  }
  for (double y : ys) {
    const double py = y_of(y);
    p.drawLine(QPointF(a.left() - 4, py), QPointF(a.left(), py));
    const QString t = number(y);
    p.drawText(QPointF(a.left() - 6 - fm.horizontalAdvance(t), py + fm.ascent() / 2.0 - 1), t);
  }
  p.drawText(QPointF(a.right() - fm.horizontalAdvance(x_title), a.bottom() + 5 + fm.ascent() + fm.height()),
             x_title);
  p.save();
  p.translate(12, a.top() + a.height() / 2 + fm.horizontalAdvance(y_title) / 2.0);
  p.rotate(-90);
  p.drawText(QPointF(0, 0), y_title);
  p.restore();
}
}  // namespace

std::vector<double> niceTicks(double lo, double hi, int wanted) {
  std::vector<double> ticks;
  if (!(hi > lo) || wanted < 1) return {lo};
  const double raw = (hi - lo) / wanted;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (step >= raw) break;
  }
  for (double v = std::ceil(lo / step) * step; v <= hi + step * 1e-9; v += step)
    ticks.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
  return ticks;
}

// ---- Histogram ----

HistogramPlot::HistogramPlot(QWidget* parent) : QWidget(parent) {
  setObjectName("HistogramPlot");
  setMinimumSize(420, 240);
  setMouseTracking(true);
}

void HistogramPlot::setCounts(const std::array<std::uint32_t, 256>& counts, int black, int white) {
  counts_ = counts;
  black_ = black;
  white_ = white;
  update();
}

void HistogramPlot::setLogarithmic(bool on) {
  log_ = on;
  update();
}

QString HistogramPlot::listText() const {
  QString text = "value  count\n";
  int listed = 0;
  for (int v = 0; v < 256 && listed < kHistogramListed; ++v) {
    if (counts_[static_cast<std::size_t>(v)] < kCutCount) continue;
    text += QString("%1  %2\n").arg(v, 5).arg(counts_[static_cast<std::size_t>(v)], 9);
    ++listed;
  }
  return text;
}

QRectF HistogramPlot::plotArea() const {
  // The list of large counts takes the right-hand side.
  return QRectF(kLeftMargin, kTopMargin, width() - kLeftMargin - kRightMargin - 130,
                height() - kTopMargin - kBottomMargin);
}

void HistogramPlot::paintEvent(QPaintEvent*) {
  if (on_paint) on_paint(*this);
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const QRectF a = plotArea();
  const double top_count = std::max<double>(1.0, *std::max_element(counts_.begin(), counts_.end()));
  const double top = log_ ? std::pow(10.0, std::ceil(std::log10(top_count + 1))) : top_count;
  auto x_of = [&](double v) { return a.left() + (v + 0.5) * a.width() / 256.0; };
  auto y_of = [&](double c) {
    const double f = log_ ? std::log10(1.0 + c) / std::log10(1.0 + top) : c / top;
    return a.bottom() - f * a.height();
  };
  std::vector<double> ys;
  if (log_) {
    for (double d = 1; d <= top; d *= 10)
      ys.push_back(d);
  } else {
    ys = niceTicks(0, top, 5);
  }
  drawAxes(p, a, {0, 32, 64, 96, 128, 160, 192, 224, 255}, ys, x_of, y_of, "display value",
           log_ ? "pixels (log)" : "pixels");
  // Black and white points behind the bars.
  for (auto [v, colour, label] :
       {std::tuple{black_, QColor(40, 40, 200), "black"}, std::tuple{white_, QColor(200, 140, 0), "white"}}) {
    p.setPen(QPen(colour, 1, Qt::DashLine));
    p.drawLine(QPointF(x_of(v), a.top()), QPointF(x_of(v), a.bottom()));
    // The label stays inside the plot: left of a line near the right edge.
    const double w = p.fontMetrics().horizontalAdvance(label);
    const double x = x_of(v) + 2 + w > a.right() ? x_of(v) - 2 - w : x_of(v) + 2;
    p.drawText(QPointF(x, a.top() + 10), label);
  }
  const double bar = std::max(1.0, a.width() / 256.0);
  for (int v = 0; v < 256; ++v) {
    const std::uint32_t c = counts_[static_cast<std::size_t>(v)];
    if (c == 0) continue;
    const double y = y_of(c);
    p.fillRect(QRectF(x_of(v) - bar / 2, y, bar, a.bottom() - y),
               c >= kCutCount ? QColor(180, 30, 30) : Qt::black);
  }
  // The counts of the bars the view's own picture cuts, and the value under the pointer.
  p.setPen(Qt::black);
  QFont mono("monospace");
  mono.setStyleHint(QFont::TypeWriter);
  p.setFont(mono);
  p.drawText(QRectF(a.right() + 10, a.top(), 130, a.height()), Qt::AlignLeft | Qt::AlignTop, listText());
  if (pointer_value_ >= 0) {
    p.drawText(QPointF(a.left() + 6, a.top() + 24),
               QString("value %1: %2 pixels")
                   .arg(pointer_value_)
                   .arg(counts_[static_cast<std::size_t>(pointer_value_)]));
  }
}

void HistogramPlot::mouseMoveEvent(QMouseEvent* event) {
  const QRectF a = plotArea();
  const double x = event->position().x();
  pointer_value_ =
      a.contains(event->position()) ? std::clamp(int((x - a.left()) * 256.0 / a.width()), 0, 255) : -1;
  update();
}

// ---- Row profile ----

RowProfilePlot::RowProfilePlot(QWidget* parent) : QWidget(parent) {
  setObjectName("RowProfilePlot");
  setMinimumSize(672, 240);
  setMouseTracking(true);
}

void RowProfilePlot::setRow(const Frame& frame, int row) {
  row_ = std::clamp(row, 0, kFrameHeight - 1);
  const auto* first = frame.data() + static_cast<std::size_t>(row_) * kFrameWidth;
  values_.assign(first, first + kFrameWidth);
  update();
}

void RowProfilePlot::setAutoScale(bool on) {
  auto_scale_ = on;
  update();
}

std::pair<int, int> RowProfilePlot::valueRange() const {
  if (!auto_scale_ || values_.empty()) return {0, 65535};
  const auto [lo, hi] = std::minmax_element(values_.begin(), values_.end());
  // A little room above and below the row's own range, never a zero span.
  const int span = std::max(8, (*hi - *lo) / 20);
  return {std::max(0, *lo - span), std::min(65535, *hi + span)};
}

QRectF RowProfilePlot::plotArea() const {
  return QRectF(kLeftMargin, kTopMargin, width() - kLeftMargin - kRightMargin,
                height() - kTopMargin - kBottomMargin);
}

void RowProfilePlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const QRectF a = plotArea();
  const auto [lo, hi] = valueRange();
  auto x_of = [&](double column) { return a.left() + column * a.width() / (kFrameWidth - 1); };
  auto y_of = [&, lo = lo, hi = hi](double v) {
    return a.bottom() - (v - lo) * a.height() / std::max(1, hi - lo);
  };
  drawAxes(p, a, niceTicks(0, kFrameWidth - 1, 7), niceTicks(lo, hi, 5), x_of, y_of, "column",
           QString("value, row %1").arg(row_));
  if (values_.empty()) return;
  QPainterPath path;
  for (int c = 0; c < kFrameWidth; ++c) {
    const QPointF pt(x_of(c), y_of(values_[static_cast<std::size_t>(c)]));
    if (c == 0) {
      path.moveTo(pt);
    } else {
      path.lineTo(pt);
    }
  }
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(20, 60, 170), 1));
  p.drawPath(path);
  if (pointer_column_ >= 0) {
    p.setPen(Qt::black);
    p.drawText(QPointF(a.left() + 6, a.top() + 14),
               QString("column %1: %2")
                   .arg(pointer_column_)
                   .arg(values_[static_cast<std::size_t>(pointer_column_)]));
  }
}

void RowProfilePlot::mouseMoveEvent(QMouseEvent* event) {
  const QRectF a = plotArea();
  pointer_column_ =
      a.contains(event->position())
          ? std::clamp(int(std::lround((event->position().x() - a.left()) * (kFrameWidth - 1) / a.width())),
                       0, kFrameWidth - 1)
          : -1;
  update();
}

// ---- Region in 3-D ----

RegionPlot3d::RegionPlot3d(QWidget* parent) : QWidget(parent) {
  setObjectName("RegionPlot3d");
  setMinimumSize(420, 330);
}

void RegionPlot3d::setRegion(const Frame& frame, int x, int y, int half) {
  const int size = 2 * half + 1;
  const int left = std::clamp(x - half, 0, kFrameWidth - size);
  const int top = std::clamp(y - half, 0, kFrameHeight - size);
  region_ = QRect(left, top, size, size);
  values_.clear();
  for (int r = top; r < top + size; ++r)
    for (int c = left; c < left + size; ++c)
      values_.push_back(frame[static_cast<std::size_t>(r) * kFrameWidth + c]);
  const auto [lo, hi] = std::minmax_element(values_.begin(), values_.end());
  lo_ = *lo;
  hi_ = *hi;
  update();
}

void RegionPlot3d::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  if (values_.empty()) return;
  const int n = region_.width();
  // An oblique view: columns run right and down, rows run left and down, height goes up.
  const double cell = std::min(width() * 0.45, height() * 0.55) / n;
  const double z_scale = height() * 0.45 / std::max(1, hi_ - lo_);
  const QPointF origin(width() / 2.0, height() * 0.5);
  auto at = [&](int r, int c) {
    const double v = values_[static_cast<std::size_t>(r * n + c)] - lo_;
    return QPointF(origin.x() + (c - r) * cell,
                   origin.y() + (c + r) * cell * 0.5 - v * z_scale - n * cell * 0.25);
  };
  p.setRenderHint(QPainter::Antialiasing);
  // Back to front, so that nearer lines are drawn over farther ones.
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      const double v = double(values_[static_cast<std::size_t>(r * n + c)] - lo_) / std::max(1, hi_ - lo_);
      p.setPen(QPen(QColor::fromHsvF(0.66 * (1.0 - v), 0.85, 0.8), 1));
      if (c + 1 < n) p.drawLine(at(r, c), at(r, c + 1));
      if (r + 1 < n) p.drawLine(at(r, c), at(r + 1, c));
    }
  }
  p.setPen(Qt::black);
  p.drawText(QRectF(6, height() - 22, width() - 12, 20), Qt::AlignLeft,
             QString("columns %1-%2, rows %3-%4   values %5-%6")
                 .arg(region_.left())
                 .arg(region_.right())
                 .arg(region_.top())
                 .arg(region_.bottom())
                 .arg(lo_)
                 .arg(hi_));
}

}  // namespace qlm
