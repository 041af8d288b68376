#include "files/qt/auto_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "image/qt/qt_dialog_parts.h"

namespace qlm {

namespace {
using Stretch = AutoModel::Stretch;
constexpr Stretch kChoices[4] = {Stretch::None, Stretch::Weak, Stretch::Strong, Stretch::User};
constexpr const char* kChoiceTexts[4] = {"No Auto Stretch", "Apply Weak Stretch", "Apply Strong Stretch",
                                         "Auto Stretch - User"};

QLabel* hint(QDialog* d, const char* text) {
  auto* l = new QLabel(text, d);
  l->setWordWrap(true);
  return l;
}

QLineEdit* numberField(QDialog* d, const char* name) {
  auto* f = new QLineEdit(d);
  f->setObjectName(name);
  f->setMaximumWidth(50);
  return f;
}
}  // namespace

TAutoDialog::TAutoDialog(AutoModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TAutoDialog");
  setWindowTitle(AutoModel::kPanelName);
  auto* layout = new QGridLayout(this);
  for (int i = 0; i < 4; ++i) {
    stretch_[i] = new QRadioButton(kChoiceTexts[i], this);
    stretch_[i]->setObjectName(kChoiceTexts[i]);
    stretch_[i]->setAutoExclusive(false);  // the settings decide which one is on
    layout->addWidget(stretch_[i], i, 0);
    connect(stretch_[i], &QRadioButton::clicked, this, [this, i] {
      model_.chooseStretch(kChoices[i]);
      showChoices();
    });
  }
  user_power_ = numberField(this, "User Power");
  layout->addWidget(user_power_, 3, 1);
  layout->addWidget(hint(this, "For Planetary images try weak stretch, for nebulae try strong."), 4, 0, 1, 4);

  background_ = new QCheckBox("Remove Background", this);
  high_pass_ = new QCheckBox("High Pass Low Power", this);
  unsharp_ = new QCheckBox("Unsharp Mask", this);
  for (QCheckBox* b : {background_, high_pass_, unsharp_})
    b->setObjectName(b->text());
  layout->addWidget(background_, 5, 0);
  layout->addWidget(hint(this, "For Astro images remove the background"), 5, 1, 1, 3);
  layout->addWidget(high_pass_, 6, 0);
  layout->addWidget(unsharp_, 7, 0);
  layout->addWidget(new QLabel("dia.", this), 7, 1);
  dia_ = numberField(this, "dia.");
  layout->addWidget(dia_, 7, 2);
  layout->addWidget(new QLabel("power", this), 8, 1);
  power_ = numberField(this, "power");
  layout->addWidget(power_, 8, 2);
  layout->addWidget(hint(this, "To crispen images use high pass filter, or an unsharp mask filter."), 9, 0, 1,
                    4);
  connect(background_, &QCheckBox::clicked, this, [this](bool on) {
    model_.setRemoveBackground(on);
    showChoices();
  });
  connect(high_pass_, &QCheckBox::clicked, this, [this](bool on) {
    model_.setHighPass(on);
    showChoices();
  });
  connect(unsharp_, &QCheckBox::clicked, this, [this](bool on) {
    model_.setUnsharp(on);
    showChoices();
  });
  addButtons(
      this, layout, 10, "Save", [this] { onSave(); }, [this] { model_.help(); });
  showChoices();
  showFields();
}

void TAutoDialog::onSave() {
  model_.user_power_text = user_power_->text().toStdString();
  model_.dia_text = dia_->text().toStdString();
  model_.power_text = power_->text().toStdString();
  const bool close = model_.save();
  showFields();
  if (close) accept();
}

void TAutoDialog::showChoices() {
  for (int i = 0; i < 4; ++i)
    stretch_[i]->setChecked(model_.stretch() == kChoices[i]);
  const Settings& s = model_.settings();
  background_->setChecked(s.remove_background);
  high_pass_->setChecked(s.high_pass_low_power);
  unsharp_->setChecked(s.unsharp_mask);
}

void TAutoDialog::showFields() {
  user_power_->setText(QString::fromStdString(model_.user_power_text));
  dia_->setText(QString::fromStdString(model_.dia_text));
  power_->setText(QString::fromStdString(model_.power_text));
}

int runAutoDialog(PanelModel& model, QWidget* parent) {
  TAutoDialog dialog(static_cast<AutoModel&>(model), parent);
  return dialog.exec() == QDialog::Accepted ? kPanelOk : kPanelCancel;
}

}  // namespace qlm
