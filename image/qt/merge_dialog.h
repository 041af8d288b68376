#pragma once
#include <QDialog>
#include <array>
#include <functional>

#include "image/merge_model.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace qlm {

// The modeless "MERGE IMAGES" dialog: shows a MergeModel and forwards every control to it. The owner
// says what "Merge", "Cancel" (or closing the window) and a changed choice do.
class TMergeDialog : public QDialog {
  Q_OBJECT
 public:
  TMergeDialog(MergeModel& model, QWidget* parent = nullptr);

  std::function<void()> on_merge;
  std::function<void()> on_cancel;
  std::function<void()> on_changed;

  // Shows the model's marks, radio choice and boxes again.
  void refresh();
  void reject() override;

 private:
  void changed();

  MergeModel& model_;
  QRadioButton* original_;
  QRadioButton* merge_;
  std::array<QLineEdit*, 4> fields_{};
  QCheckBox* average_;
  QCheckBox* superimpose_;
  QCheckBox* centre_;
};

}  // namespace qlm
