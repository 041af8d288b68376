#pragma once
#include <QDialog>

namespace qlm {

// The modal "Help About QLM_T4_USB" box.
class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace qlm
