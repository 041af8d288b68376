#pragma once
#include <QDialog>

namespace qlm {

// "Help in using QLM_T4_USB": a short user guide in a window of its own (modeless).
class HelpWindow : public QDialog {
  Q_OBJECT
 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  // The guide's text (HTML).
  static QString guideText();
};

}  // namespace qlm
