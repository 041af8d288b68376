#include "image/qt/nonlinear_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "image/qt/qt_bar_action.h"
#include "image/qt/qt_dialog_parts.h"

namespace qlm {

TNonLiniarDialog::TNonLiniarDialog(NonLinearModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TNonLiniarDialog");
  setWindowTitle("Non-Linear Stretch");
  auto* layout = new QGridLayout(this);
  auto* hint = new QLabel(NonLinearModel::kHint, this);
  hint->setWordWrap(true);
  layout->addWidget(hint, 0, 0, 1, 3);
  value_ = addNumberField(this, layout, 1, "Non-Linear Power", false);
  bar_ = addScrollBar(this, layout, 1, "PowerBar", 1, 50);
  addButtons(
      this, layout, 2, "OK", [this] { onOk(); }, [this] { model_.help(); });
  connect(bar_, &QScrollBar::actionTriggered, this, &TNonLiniarDialog::onScroll);
  showValue();
}

void TNonLiniarDialog::onScroll(int action) {
  // Only the arrows step the power; the typed value is taken over first.
  const auto a = barActionOf(action);
  if (a == BarAction::LineUp || a == BarAction::LineDown) model_.scroll(*a, value_->text().toStdString());
  showValue();
}

void TNonLiniarDialog::onOk() {
  if (model_.accept(value_->text().toStdString())) {
    accept();
    return;
  }
  showValue();
}

void TNonLiniarDialog::showValue() {
  bar_->setSliderPosition(model_.power());
  value_->setText(QString::fromStdString(model_.text()));
}

int runNonLinearDialog(PanelModel& model, QWidget* parent) {
  TNonLiniarDialog dialog(static_cast<NonLinearModel&>(model), parent);
  return dialog.exec() == QDialog::Accepted ? kPanelOk : kPanelCancel;
}

}  // namespace qlm
