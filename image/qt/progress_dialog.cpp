#include "image/qt/progress_dialog.h"

#include <QProgressBar>

namespace qlm {

TProgressDialog::TProgressDialog(QWidget* parent) : QProgressDialog(parent) {
  setObjectName("TProgressDialog");
  setWindowTitle("Filter Progress");
  setWindowModality(Qt::NonModal);
  setCancelButton(nullptr);
  auto* bar = new QProgressBar(this);
  bar->setObjectName("Progress");
  bar->setFormat("%p%");
  setBar(bar);
  setRange(0, 256);
  setMinimumDuration(0);
  setAutoClose(false);
  setAutoReset(false);
}

void TProgressDialog::open(const QString& caption) {
  setWindowTitle(caption);
  setLabelText(caption);
  setValue(0);
  show();
}

void TProgressDialog::setPosition(int position) {
  const bool moved = position / 4 != value() / 4;  // about every per cent
  setValue(position);
  if (moved) repaint();
}

}  // namespace qlm
