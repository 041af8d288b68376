#include "image/qt/max_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

namespace qlm {

TMaxDialog::TMaxDialog(MaxModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TMaxDialog");
  setWindowTitle("Stretch Display");
  auto* layout = new QGridLayout(this);
  activate_ = new QCheckBox("Activate", this);
  activate_->setObjectName("Activate");
  activate_->setChecked(model.active());
  layout->addWidget(activate_, 0, 0, 1, 2);
  bar_ = new QScrollBar(Qt::Horizontal, this);
  bar_->setObjectName("PowerBar");
  bar_->setRange(MaxModel::kMinPower, MaxModel::kMaxPower);
  bar_->setSingleStep(1);
  bar_->setPageStep(10);
  bar_->setValue(model.power());
  bar_->setMinimumWidth(200);
  layout->addWidget(bar_, 1, 0, 1, 2);
  layout->addWidget(new QLabel("Stretch Display Power ", this), 2, 0);
  value_ = new QLineEdit(this);
  value_->setObjectName("PowerValue");
  value_->setReadOnly(true);
  layout->addWidget(value_, 2, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons, 3, 0, 1, 2);

  connect(activate_, &QCheckBox::clicked, this, [this] {
    model_.toggleActivate();
    activate_->setChecked(model_.active());
  });
  connect(bar_, &QScrollBar::actionTriggered, this, &TMaxDialog::onScrollAction);
  showValue();
}

void TMaxDialog::onScrollAction(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      model_.lineUp();
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      model_.lineDown();
      break;
    case QAbstractSlider::SliderPageStepSub:
      model_.pageUp();
      break;
    case QAbstractSlider::SliderPageStepAdd:
      model_.pageDown();
      break;
    case QAbstractSlider::SliderMove:
      model_.thumb(bar_->sliderPosition());
      break;
    default:
      return;
  }
  // The model decides where the thumb goes (page up and down jump to the ends).
  bar_->setSliderPosition(model_.power());
  showValue();
}

void TMaxDialog::showValue() {
  value_->setText(QString::number(model_.power()));
}

int runMaxDialog(PanelModel& model, QWidget* parent) {
  TMaxDialog dialog(static_cast<MaxModel&>(model), parent);
  dialog.exec();
  return kPanelOk;
}

}  // namespace qlm
