#include "image/qt/power_dialog.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QScrollBar>

#include "image/qt/qt_bar_action.h"
#include "image/qt/qt_dialog_parts.h"

namespace qlm {

TPowerDialog::TPowerDialog(PowerModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TPowerDialog");
  setWindowTitle("Power Law Stretch");
  auto* layout = new QGridLayout(this);
  value_ = addNumberField(this, layout, 0, "Power", true);
  bar_ = addScrollBar(this, layout, 0, "PowerBar", 1, 30);
  addButtons(
      this, layout, 1, "OK", [this] { accept(); }, [this] { model_.help(); });
  connect(bar_, &QScrollBar::actionTriggered, this, &TPowerDialog::onScroll);
  showValue();
}

void TPowerDialog::onScroll(int action) {
  if (const auto a = barActionOf(action)) model_.scroll(*a);
  showValue();
}

void TPowerDialog::showValue() {
  bar_->setSliderPosition(model_.tenths());
  value_->setText(QString::fromStdString(model_.text()));
}

int runPowerDialog(PanelModel& model, QWidget* parent) {
  TPowerDialog dialog(static_cast<PowerModel&>(model), parent);
  return dialog.exec() == QDialog::Accepted ? kPanelOk : kPanelCancel;
}

}  // namespace qlm
