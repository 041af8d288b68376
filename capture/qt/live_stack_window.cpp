#include "capture/qt/live_stack_window.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

TLiveStackDialog::TLiveStackDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Live Stack");
  setObjectName("live_stack");
  auto* layout = new QVBoxLayout(this);
  picture_ = new QLabel(this);
  picture_->setObjectName("live_stack_picture");
  picture_->setFixedSize(qlm::kFrameWidth, qlm::kFrameHeight);
  layout->addWidget(picture_);
  status_ = new QLabel(this);
  status_->setObjectName("live_stack_status");
  layout->addWidget(status_);
  auto* buttons = new QHBoxLayout;
  auto* save = new QPushButton("Save Stack", this);
  save->setObjectName("live_stack_save");
  auto* close = new QPushButton("Close", this);
  buttons->addStretch();
  buttons->addWidget(save);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(save, &QPushButton::clicked, this, [this] { this->save(); });
  connect(close, &QPushButton::clicked, this, &QDialog::hide);
  display();
}

void TLiveStackDialog::start() {
  model_.start();
  display();
}

void TLiveStackDialog::addFrame(const qlm::Frame& frame, std::optional<std::pair<int, int>> star) {
  model_.addFrame(frame, star);
  display();
}

void TLiveStackDialog::display() {
  status_->setText(QString::fromStdString(model_.statusText()));
  if (model_.stack().added() == 0) {
    picture_->clear();
    return;
  }
  const std::vector<std::uint8_t> bytes = model_.picture();
  QImage image(bytes.data(), qlm::kFrameWidth, qlm::kFrameHeight, qlm::kFrameWidth,
               QImage::Format_Grayscale8);
  picture_->setPixmap(QPixmap::fromImage(image.copy()));
}

void TLiveStackDialog::save() {
  const QString float_fits = "FITS, 32-bit float (*.fit *.fits)";
  const QString fits16 = "FITS, 16-bit (*.fit *.fits)";
  const QString tiff = "TIFF, as shown (*.tif *.tiff)";
  QString chosen;
  const QString path = QFileDialog::getSaveFileName(this, "Save Stack", QString(),
                                                    float_fits + ";;" + fits16 + ";;" + tiff, &chosen);
  if (path.isEmpty()) return;
  const qlm::LiveStackFormat format = chosen == tiff     ? qlm::LiveStackFormat::Tiff
                                      : chosen == fits16 ? qlm::LiveStackFormat::Fits16
                                                         : qlm::LiveStackFormat::FloatFits;
  if (!model_.save(path.toStdString(), format))
    QMessageBox::warning(this, "QLM_T4_USB", "Unable to create file, check disk space\n\n" + path);
}
