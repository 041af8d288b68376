#include "guiding/qt/position_box.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "platform/platform.h"
#include "platform/qt/qt_ui.h"

namespace qlm {

namespace {

constexpr int kPollMs = 1000;

}  // namespace

TPositionBox::TPositionBox(ScopePanelModel& model, bool as_received, QWidget* parent)
    : QGroupBox("Telescope Position", parent), model_(model), as_received_(as_received) {
  auto* grid = new QGridLayout(this);
  ra_ = new QLineEdit(this);
  ra_->setObjectName("Position R.A.");
  dec_ = new QLineEdit(this);
  dec_->setObjectName("Position Dec");
  for (QLineEdit* f : {ra_, dec_}) {
    f->setReadOnly(true);
    f->setMinimumWidth(f->fontMetrics().horizontalAdvance("+00:00:00.000"));
  }
  status_ = new QLabel(this);
  status_->setObjectName("Slew Status");
  grid->addWidget(new QLabel("R.A.", this), 0, 0);
  grid->addWidget(ra_, 0, 1);
  grid->addWidget(new QLabel("Dec", this), 1, 0);
  grid->addWidget(dec_, 1, 1);
  grid->addWidget(status_, 2, 0, 1, 2);
}

void TPositionBox::startPolling(std::function<void()> shown) {
  shown_ = std::move(shown);
  timer_ = new QTimer(this);
  timer_->setObjectName("Position Poll");
  connect(timer_, &QTimer::timeout, this, [this] { poll(); });
  timer_->start(kPollMs);
}

bool TPositionBox::poll() {
  auto* qt_ui = dynamic_cast<QtUi*>(platform().ui);
  if (QApplication::activeModalWidget() != nullptr || (qt_ui != nullptr && qt_ui->pumping())) return false;
  if (!model_.pollPosition() && timer_ != nullptr) timer_->stop();
  if (shown_) shown_();
  return true;
}

void TPositionBox::display() {
  ra_->setText(as_received_ ? QString::fromLatin1(model_.raText().c_str())
                            : QString::fromUtf8(model_.positionRa().c_str()));
  dec_->setText(as_received_ ? QString::fromLatin1(model_.decText().c_str())
                             : QString::fromUtf8(model_.positionDec().c_str()));
  status_->setText(QString::fromStdString(model_.slewStatus()));
}

}  // namespace qlm
