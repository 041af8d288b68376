#include "image/qt/unsharp_dialog.h"

#include "image/qt/qt_radius_power.h"

namespace qlm {

TUnsharpDialog::TUnsharpDialog(UnsharpModel& model, QWidget* parent) : QDialog(parent) {
  setObjectName("TUnsharpDialog");
  setWindowTitle(UnsharpModel::kPanelName);
  buildRadiusPowerForm(this, model, 7, 7);
}

int runUnsharpDialog(PanelModel& model, QWidget* parent) {
  TUnsharpDialog dialog(static_cast<UnsharpModel&>(model), parent);
  return dialog.exec() == QDialog::Accepted ? kPanelOk : kPanelCancel;
}

}  // namespace qlm
