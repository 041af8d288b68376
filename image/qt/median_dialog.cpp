#include "image/qt/median_dialog.h"

#include "image/qt/qt_radius_power.h"

namespace qlm {

TMedianDialog::TMedianDialog(MedianModel& model, QWidget* parent) : QDialog(parent) {
  setObjectName("TMedianDialog");
  setWindowTitle(MedianModel::kPanelName);
  buildRadiusPowerForm(this, model, 3, 10);
}

int runMedianDialog(PanelModel& model, QWidget* parent) {
  TMedianDialog dialog(static_cast<MedianModel&>(model), parent);
  return dialog.exec() == QDialog::Accepted ? kPanelOk : kPanelCancel;
}

}  // namespace qlm
