#include "app/qt/fits_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace qlm {

TFITSDialog::TFITSDialog(FitsModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TFITSDialog");
  setWindowTitle("FITS DETAILS");
  auto* form = new QFormLayout;
  FitsModel::Texts& t = model_.texts;
  form->addRow("Object:", addText("Object", 101, &t.object));
  form->addRow("Observer:", addText("Observer", 102, &t.observer));
  form->addRow("Origin:", addText("Origin", 109, &t.origin));
  form->addRow("Telescope:", addText("Telescope", 104, &t.telescope));
  QLineEdit* instrument = addText("Instrumentation", 105, &t.instrument);
  instrument->setPlaceholderText("Orbilux CCD");
  form->addRow("Instrumentation:", instrument);
  form->addRow("History:", addText("History", 107, &t.history));
  form->addRow("Comments:", addText("Comments", 106, &t.comments));
  form->addRow("Date:", addText("Date", 103, &t.date));
  form->addRow("Time:", addText("Time", 110, &t.time));
  form->addRow("Focal Len (ins):", addText("Focal Len", 113, &t.focal_length));
  form->addRow("Aperture (Sq. ins):", addText("Aperture", 114, &t.aperture));
  form->addRow("Filter:", addText("Filter", 115, &t.filter));
  form->addRow("Exposure (secs):", addText("Exposure", 116, &t.exposure));

  // The time difference: a vertical bar whose arrows step it, and its number.
  bar_ = new QScrollBar(Qt::Vertical, this);
  bar_->setObjectName("111");
  bar_->setRange(FitsModel::kMinTimeDifference, FitsModel::kMaxTimeDifference);
  difference_ = new QLineEdit(this);
  difference_->setObjectName("112");
  difference_->setReadOnly(true);
  auto* time_row = new QHBoxLayout;
  time_row->addWidget(difference_);
  time_row->addWidget(bar_);
  form->addRow("Time Difference to UT in Hrs:", time_row);
  connect(bar_, &QScrollBar::actionTriggered, this, &TFITSDialog::onScrollAction);

  eight_bit_ = new QCheckBox("8 bit integer (16 bit default)", this);
  eight_bit_->setObjectName("108");
  eight_bit_->setChecked(model_.eightBit());
  connect(eight_bit_, &QCheckBox::clicked, this, [this] {
    model_.toggleEightBit();
    eight_bit_->setChecked(model_.eightBit());
  });
  unsigned_ = new QCheckBox("Unsigned Integer Format", this);
  unsigned_->setObjectName("117");
  unsigned_->setChecked(model_.unsignedFits());
  unsigned_->hide();
  connect(unsigned_, &QCheckBox::clicked, this, [this] {
    model_.toggleUnsigned();
    unsigned_->setChecked(model_.unsignedFits());
  });

  auto* go = new QPushButton("Continue", this);
  go->setObjectName("Continue");
  auto* abort = new QPushButton("Abort", this);
  abort->setObjectName("Abort");
  connect(go, &QPushButton::clicked, this, [this] {
    for (auto& [edit, text] : texts_)
      *text = edit->text().toStdString();
    accept();  // the opening command stores the texts
  });
  connect(abort, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(go);
  buttons->addWidget(abort);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(eight_bit_);
  layout->addWidget(unsigned_);
  layout->addLayout(buttons);
  showTimeDifference();
}

QLineEdit* TFITSDialog::addText(const char* label, int id, std::string* text) {
  auto* edit = new QLineEdit(QString::fromStdString(*text), this);
  edit->setObjectName(QString::number(id));
  edit->setAccessibleName(label);
  edit->setMinimumWidth(360);
  texts_.emplace_back(edit, text);
  return edit;
}

void TFITSDialog::onScrollAction(int action) {
  if (action == QAbstractSlider::SliderSingleStepSub) model_.arrowUp();
  if (action == QAbstractSlider::SliderSingleStepAdd) model_.arrowDown();
  // Only the arrows move the value; the thumb goes back to where the model has it.
  bar_->setSliderPosition(model_.timeDifference());
  showTimeDifference();
}

void TFITSDialog::showTimeDifference() {
  bar_->setValue(model_.timeDifference());
  difference_->setText(QString::number(model_.timeDifference()));
}

int runFitsDialog(PanelModel& model, QWidget* parent) {
  TFITSDialog dialog(static_cast<FitsModel&>(model), parent);
  return dialog.exec() == QDialog::Accepted ? kPanelOk : kPanelCancel;
}

}  // namespace qlm
