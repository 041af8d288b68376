#pragma once
#include <QCheckBox>
#include <QDialog>
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
};

}  // namespace qlm
