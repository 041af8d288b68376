#include "image/qt/qt_dialog_parts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

namespace qlm {

QLineEdit* addNumberField(QDialog* dialog, QGridLayout* layout, int row, const QString& label,
                          bool read_only) {
  layout->addWidget(new QLabel(label, dialog), row, 0);
  auto* field = new QLineEdit(dialog);
  field->setObjectName(label);
  field->setReadOnly(read_only);
  field->setMaximumWidth(70);
  layout->addWidget(field, row, 1);
  return field;
}

QScrollBar* addScrollBar(QDialog* dialog, QGridLayout* layout, int row, const QString& name, int lo, int hi) {
  auto* bar = new QScrollBar(Qt::Horizontal, dialog);
  bar->setObjectName(name);
  bar->setRange(lo, hi);
  bar->setSingleStep(1);
  bar->setPageStep(1);
  bar->setMinimumWidth(160);
  layout->addWidget(bar, row, 2);
  return bar;
}

QDialogButtonBox* addButtons(QDialog* dialog, QGridLayout* layout, int row, const QString& ok_text,
                             std::function<void()> ok, std::function<void()> help) {
  auto* buttons = new QDialogButtonBox(dialog);
  QPushButton* ok_button = buttons->addButton(ok_text, QDialogButtonBox::ActionRole);
  ok_button->setObjectName(ok_text);
  ok_button->setDefault(true);
  QPushButton* cancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  cancel->setObjectName("Cancel");
  QObject::connect(ok_button, &QPushButton::clicked, dialog, std::move(ok));
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  if (help) {
    QPushButton* h = buttons->addButton("Help", QDialogButtonBox::HelpRole);
    h->setObjectName("Help");
    QObject::connect(h, &QPushButton::clicked, dialog, std::move(help));
  }
  layout->addWidget(buttons, row, 0, 1, 3);
  return buttons;
}

}  // namespace qlm
