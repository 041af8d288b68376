#include "guiding/qt/guiding_info_window.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <cstdio>

#include "image/centroid.h"

namespace qlm {

namespace {
QString oneDecimal(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%1.1f", v);
  return text;
}
}  // namespace

TGuidingInfoWindow::TGuidingInfoWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Guiding Info");
  setModal(false);
  auto* layout = new QGridLayout(this);
  const auto field = [&](const char* name, int row, int column) {
    layout->addWidget(new QLabel(name, this), row, column);
    auto* value = new QLabel(this);
    value->setObjectName(name);
    value->setMinimumWidth(60);
    layout->addWidget(value, row, column + 1);
    return value;
  };
  x_ = field("x", 0, 0);
  y_ = field("y", 0, 2);
  dx_ = field("dx", 1, 0);
  dy_ = field("dy", 1, 2);
  graph_ = new TGuideGraph(this);
  layout->addWidget(graph_, 2, 0, 1, 4);
  auto* stop = new QPushButton("Stop", this);
  stop->setObjectName("Stop");
  stop->setAutoDefault(false);
  // Main-camera guiding ends on any key press its pump sees: the button hands it one.
  connect(stop, &QPushButton::clicked, this, [stop] {
    QCoreApplication::postEvent(stop, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  });
  layout->addWidget(stop, 3, 0, 1, 4);
}

void TGuidingInfoWindow::refreshFields() {
  const GuidingState& g = guidingState();
  const CentroidResult& c = centroidState().main;
  x_->setText(oneDecimal(c.x + c.tx / 10.0));
  y_->setText(oneDecimal(c.y + c.ty / 10.0));
  dx_->setText(oneDecimal(g.dx / 1000.0));
  dy_->setText(oneDecimal(g.dy / 1000.0));
}

GuidingView TGuidingInfoWindow::view() {
  GuidingView v;
  v.open_window = [this] {
    graph_->clear();
    graph_->setPixelScale(guidePixelScale());
    refreshFields();
    show();
  };
  v.close_window = [this] { hide(); };
  v.refresh = [this] { refreshFields(); };
  v.frame_done = [this](const GuideFrameRecord& r) {
    if (!r.lost) graph_->add(guideGraphPoint(r, mainParams()));
  };
  v.run_note = [this](const GuideRunNote& n) {
    if (n.kind == GuideRunNote::Kind::Dither) graph_->markDither();
  };
  v.log_format = guiderCameraState().log_format;
  return v;
}

}  // namespace qlm
