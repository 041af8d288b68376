#include "app/qt/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/version.h"

namespace qlm {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutDialog");
  setWindowTitle("Help About QLM_T4_USB");
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(
      QString("<h3>QLM_T4_USB</h3>"
              "<p>QLM T4 Camera Control and Image processing program</p>"
              "<p>Takes exposures with the USB CCD camera and its guider head, helps with focusing and "
              "guiding, and improves, measures and saves the images.</p>"
              "<p>Version %1</p>")
          .arg(kVersion),
      this);
  text->setObjectName("AboutText");
  text->setTextFormat(Qt::RichText);
  text->setWordWrap(true);
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

}  // namespace qlm
