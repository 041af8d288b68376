#include "image/qt/stretch_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>

#include "image/analysis_views.h"
#include "image/qt/analysis_dialog.h"
#include "image/qt/qt_bar_action.h"

namespace qlm {

namespace {
// The histogram of the analysis view without its list, in the same coordinates: display value v at
// x = v + 8, the axis at y = 213. The arrow marks sit under the tick marks; white reaches 300.
constexpr int kValueX = 8;
constexpr int kAxisY = 213;
constexpr int kArrowTop = kAxisY + 13;
constexpr int kWidth = 300 + kValueX + 12;
constexpr int kHeight = kArrowTop + 12;
}  // namespace

StretchHistogram::StretchHistogram(const StretchModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  setObjectName("Histogram");
}

QSize StretchHistogram::sizeHint() const {
  return {kWidth, kHeight};
}

void StretchHistogram::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(QRgb(kDialogFace)));
  p.drawImage(0, 0, RasterView::toImage(drawHistogram(model_.counters(), false)), 0, 0, kWidth, kHeight);
  // Arrow marks under the axis at the black and white values.
  p.setPen(Qt::black);
  p.setBrush(Qt::black);
  for (const int v : {model_.black(), model_.white()}) {
    const int x = kValueX + v;
    const QPoint arrow[3] = {{x, kArrowTop}, {x - 4, kArrowTop + 8}, {x + 4, kArrowTop + 8}};
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
