#include "guiding/qt/guiding_window.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QPainter>
#include <QPushButton>
#include <cstdio>

#include "guiding/qt/guider_image.h"
#include "image/centroid.h"

namespace qlm {

namespace {
QString tenths(int whole, int t) {
  char text[32];
  std::snprintf(text, sizeof text, "%1.1f", whole + t / 10.0);
  return text;
}
QString error(int thousandths) {
  char text[32];
  std::snprintf(text, sizeof text, "%1.1f", thousandths / 1000.0);
  return text;
}
QString slew(int ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%5d", ms);
  return text;
}
}  // namespace

TGuidingWindow::TGuidingWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle("AutoGuider Camera Guiding");
  setModal(false);
  auto* layout = new QGridLayout(this);
  const auto field = [&](const char* name, int row, int column) {
    layout->addWidget(new QLabel(name, this), row, column);
    auto* value = new QLabel(this);
    value->setObjectName(name);
    layout->addWidget(value, row, column + 1);
    return value;
  };
  x_ = field("x", 0, 0);
  y_ = field("y", 0, 2);
  dx_ = field("dx", 1, 0);
  dy_ = field("dy", 1, 2);
  slew_x_ = field("Slew time x axis", 2, 0);
  slew_y_ = field("Slew time y axis", 2, 2);
  image_ = new QLabel(this);
  image_->setFixedSize(kGuiderWidth, kGuiderHeight);
  layout->addWidget(image_, 3, 0, 1, 4);
  graph_ = new TGuideGraph(this);
  layout->addWidget(graph_, 4, 0, 1, 4);
  auto* stop = new QPushButton("Stop Guiding", this);
  stop->setObjectName("Stop Guiding");
  stop->setAutoDefault(false);
  connect(stop, &QPushButton::clicked, this, [] { guidingState().guider_guiding = false; });
  layout->addWidget(stop, 5, 0, 1, 4);
  stop_ = stop;
}

void TGuidingWindow::refreshFields() {
  const GuidingState& g = guidingState();
  const CentroidResult& c = g.main_active ? centroidState().main : centroidState().guider;
  x_->setText(tenths(c.x, c.tx));
  y_->setText(tenths(c.y, c.ty));
  dx_->setText(error(g.dx));
  dy_->setText(error(g.dy));
  slew_x_->setText(slew(g.ra_pulse));
  slew_y_->setText(slew(g.dec_pulse));
  stop_->setEnabled(g.guider_guiding);
  QImage picture = guiderQImage(imageBuffers().GuiderFrames[0], guiderCameraState().display)
                       .convertToFormat(QImage::Format_RGB32);
  if (g.reference_mark) {
    QPainter p(&picture);
    p.setPen(Qt::green);
    p.drawLine(g.reference.x - 6, g.reference.y, g.reference.x + 6, g.reference.y);
    p.drawLine(g.reference.x, g.reference.y - 6, g.reference.x, g.reference.y + 6);
  }
  image_->setPixmap(QPixmap::fromImage(picture));
}

void TGuidingWindow::showFrame(const GuideFrameRecord& r) {
  // A frame without a star measured nothing: the graph leaves it out.
  if (!r.lost) graph_->add(guideGraphPoint(r, runAxesParams()));
}

GuidingView TGuidingWindow::view() {
  GuidingView v;
  v.open_window = [this] {
    graph_->clear();
    graph_->setPixelScale(guidePixelScale());
    show();
  };
  v.close_window = [this] { hide(); };
  v.caption = [this](const std::string& text) { setWindowTitle(QString::fromStdString(text)); };
  v.refresh = [this] { refreshFields(); };
  v.frame_done = [this](const GuideFrameRecord& r) { showFrame(r); };
  v.run_note = [this](const GuideRunNote& n) {
    if (n.kind == GuideRunNote::Kind::Dither) graph_->markDither();
  };
  v.log_format = guiderCameraState().log_format;
  return v;
}

}  // namespace qlm
