#include "image/qt/stretch_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>

#include "image/qt/qt_bar_action.h"

namespace qlm {

namespace {
constexpr int kMargin = 10;
constexpr int kAxisY = StretchModel::kBarLimit + kMargin;  // y of the axis, bars grow up from it
constexpr int kPlotWidth = 301;                            // display values 0-300 (white reaches 300)
}  // namespace

StretchHistogram::StretchHistogram(const StretchModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  setObjectName("Histogram");
}

QSize StretchHistogram::sizeHint() const {
  return {kPlotWidth + 2 * kMargin, kAxisY + 24};
}

void StretchHistogram::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  for (int v = 0; v < 256; ++v) {
    const StretchModel::Bar bar = model_.bar(v);
    if (bar.height == 0) continue;
    p.setPen(bar.cut ? QColor(200, 0, 0) : QColor(0, 0, 160));
    p.drawLine(kMargin + v, kAxisY, kMargin + v, kAxisY - bar.height);
  }
  p.setPen(Qt::black);
  p.drawLine(kMargin, kAxisY, kMargin + kPlotWidth, kAxisY);
  for (int v = 0; v <= 288; v += 32)
    p.drawLine(kMargin + v, kAxisY, kMargin + v, kAxisY + 4);
  // Arrow marks under the axis at the black and white values.
  for (const int v : {model_.black(), model_.white()}) {
    const int x = kMargin + v;
    const QPoint arrow[3] = {{x, kAxisY + 6}, {x - 4, kAxisY + 14}, {x + 4, kAxisY + 14}};
    p.setBrush(Qt::black);
    p.drawPolygon(arrow, 3);
  }
}

TStretchDialog::TStretchDialog(StretchModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TStretchDialog");
  setWindowTitle("Normal Stretch");
  auto* layout = new QGridLayout(this);
  histogram_ = new StretchHistogram(model, this);
  histogram_->setMinimumSize(histogram_->sizeHint());
  layout->addWidget(histogram_, 0, 0, 1, 3);

  auto row = [&](int r, const char* name, int lo, int hi, QScrollBar*& bar, QLineEdit*& field) {
    layout->addWidget(new QLabel(name, this), r, 0);
    field = new QLineEdit(this);
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setMaximumWidth(60);
    layout->addWidget(field, r, 1);
    bar = new QScrollBar(Qt::Horizontal, this);
    bar->setObjectName(QString(name) + "Bar");
    bar->setRange(lo, hi);
    bar->setSingleStep(1);
    bar->setPageStep(10);
    bar->setMinimumWidth(200);
    layout->addWidget(bar, r, 2);
  };
  row(1, "Black", 0, 255, black_bar_, black_);
  row(2, "White", 1, 300, white_bar_, white_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("OK");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("Cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons, 3, 0, 1, 3);

  connect(black_bar_, &QScrollBar::actionTriggered, this, &TStretchDialog::onBlack);
  connect(white_bar_, &QScrollBar::actionTriggered, this, &TStretchDialog::onWhite);
  showValues();
}

void TStretchDialog::onBlack(int action) {
  if (const auto a = barActionOf(action)) model_.scrollBlack(*a, black_bar_->sliderPosition());
  showValues();
}

void TStretchDialog::onWhite(int action) {
  if (const auto a = barActionOf(action)) model_.scrollWhite(*a, white_bar_->sliderPosition());
  showValues();
}

void TStretchDialog::showValues() {
  // The model decides where the thumbs go.
  black_bar_->setSliderPosition(model_.black());
  white_bar_->setSliderPosition(model_.white());
  black_->setText(QString::number(model_.black()));
  white_->setText(QString::number(model_.white()));
  histogram_->update();
}

int runStretchDialog(PanelModel& model, QWidget* parent) {
  TStretchDialog dialog(static_cast<StretchModel&>(model), parent);
  return dialog.exec() == QDialog::Accepted ? kPanelOk : kPanelCancel;
}

}  // namespace qlm
