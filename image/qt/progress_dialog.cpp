#include "image/qt/progress_dialog.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace qlm {

int captionWidth(const QWidget& window) {
  constexpr int kTitleBarButtons = 140;  // icon, minimise, maximise and close, and the frame
  QFont title = window.font();
  title.setBold(true);
  return QFontMetrics(title).horizontalAdvance(window.windowTitle()) + kTitleBarButtons;
}

TProgressDialog::TProgressDialog(QWidget* parent) : QProgressDialog(parent) {
  setObjectName("TProgressDialog");
  setWindowTitle("Filter Progress");
  setWindowModality(Qt::NonModal);
  setCancelButton(nullptr);
  auto* bar = new QProgressBar(this);
  bar->setObjectName("Progress");
  // The bar carries no running figure: "0%" stands at its left end and "100%" at its right end.
  bar->setTextVisible(false);
  auto* ends = new QHBoxLayout(bar);
  ends->setContentsMargins(4, 0, 4, 0);
  auto* empty = new QLabel("0%", bar);
  empty->setObjectName("ProgressStart");
  auto* full = new QLabel("100%", bar);
  full->setObjectName("ProgressEnd");
  ends->addWidget(empty, 0, Qt::AlignLeft);
  ends->addStretch();
  ends->addWidget(full, 0, Qt::AlignRight);
  setBar(bar);
  setRange(0, 256);
  setMinimumDuration(0);
  setAutoClose(false);
  setAutoReset(false);
}

void TProgressDialog::open(const QString& caption) {
  setWindowTitle(caption);
  setLabelText(caption);
  // Wide enough that the title bar shows the whole caption beside its buttons.
  setMinimumWidth(captionWidth(*this));
  setValue(0);
  show();
}

void TProgressDialog::setPosition(int position) {
  const bool moved = position / 4 != value() / 4;  // about every per cent
  setValue(position);
  if (moved) repaint();
}

}  // namespace qlm
