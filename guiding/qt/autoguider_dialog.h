#pragma once
#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <map>

#include "guiding/autoguider_model.h"

namespace qlm {

// "Auto Guider Camera Control": forwards every control to the panel rules and shows their view, with
// the guider image at client (10, 45) where a button release completes the guide-star pick.
class TGQLDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TGQLDialog(AutoguiderModel& model, QWidget* parent = nullptr);

  void press(GuiderControl c);
  void showView();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QGroupBox* buildAOGroup();
  AutoguiderModel& model_;
  std::map<GuiderControl, QCheckBox*> boxes_;
  QLabel* exposure_ = nullptr;
  QLabel* dark_ = nullptr;
  QLabel* values_ = nullptr;
  QLabel* step_ = nullptr;
  QLabel* pointer_ = nullptr;
  QLabel* latest_ = nullptr;
  QWidget* use_default_ = nullptr;
  QLineEdit* defaults_[5] = {};
  // The AO group.
  std::map<GuiderControl, QAbstractButton*> ao_boxes_;  // "Com 1", "Com 2" and the two swaps
  QLabel* ao_mode_ = nullptr;
  QLabel* guide_device_ = nullptr;
  QLabel* ao_values_ = nullptr;
  QLabel* ao_latest_ = nullptr;
  QLabel* ao_tilt_ = nullptr;
  QLineEdit* ao_defaults_[2] = {};
};

}  // namespace qlm
