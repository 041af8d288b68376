#pragma once
#include <QDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QScrollBar>

#include "image/qt/qt_bar_action.h"
#include "image/qt/qt_dialog_parts.h"

namespace qlm {

// Lays out the shared form of the median and unsharp mask dialogs on `dialog`: "Radius" and "Power"
// fields (shown only) with a scroll bar each, then OK, Cancel and Help. `Model` holds the rules.
template <typename Model>
void buildRadiusPowerForm(QDialog* dialog, Model& model, int max_radius, int max_power) {
  auto* layout = new QGridLayout(dialog);
  QLineEdit* radius = addNumberField(dialog, layout, 0, "Radius", true);
  QScrollBar* radius_bar = addScrollBar(dialog, layout, 0, "RadiusBar", 1, max_radius);
  QLineEdit* power = addNumberField(dialog, layout, 1, "Power", true);
  QScrollBar* power_bar = addScrollBar(dialog, layout, 1, "PowerBar", 1, max_power);
  addButtons(
      dialog, layout, 2, "OK", [dialog] { dialog->accept(); }, [&model] { model.help(); });
  auto show = [&model, radius, radius_bar, power, power_bar] {
    radius_bar->setSliderPosition(model.radius());
    power_bar->setSliderPosition(model.power());
    radius->setText(QString::fromStdString(model.radiusText()));
    power->setText(QString::fromStdString(model.powerText()));
  };
  QObject::connect(radius_bar, &QScrollBar::actionTriggered, dialog, [&model, radius_bar, show](int action) {
    if (const auto a = barActionOf(action)) model.scrollRadius(*a, radius_bar->sliderPosition());
    show();
  });
  QObject::connect(power_bar, &QScrollBar::actionTriggered, dialog, [&model, power_bar, show](int action) {
    if (const auto a = barActionOf(action)) model.scrollPower(*a, power_bar->sliderPosition());
    show();
  });
  show();
}

}  // namespace qlm
