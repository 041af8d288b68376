#include "image/qt/label_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "image/label.h"

namespace qlm {

TLabelDialog::TLabelDialog(LabelModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TLabelDialog");
  setWindowTitle("Label Current Image");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Enter the Label text", this));
  text_ = new QLineEdit(QString::fromStdString(model.text()), this);
  text_->setObjectName("LabelText");
  text_->setMaxLength(kLabelMaxChars);
  layout->addWidget(text_);
  auto_date_ = new QCheckBox("Auto Date", this);
  auto_date_->setObjectName("AutoDate");
  auto_date_->setChecked(model.autoDate());
  layout->addWidget(auto_date_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void TLabelDialog::accept() {
  model_.setText(text_->text().toStdString());
  model_.setAutoDate(auto_date_->isChecked());
  QDialog::accept();
}

int runLabelDialog(PanelModel& model, QWidget* parent) {
  TLabelDialog dialog(static_cast<LabelModel&>(model), parent);
  return dialog.exec() == QDialog::Accepted ? kPanelOk : kPanelCancel;
}

}  // namespace qlm
