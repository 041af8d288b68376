#include "platform/qt/qt_ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QStatusBar>

#include "image/qt/progress_dialog.h"

namespace qlm {

namespace {
QString filterText(const std::vector<FileFilter>& filters) {
  QStringList parts;
  for (const auto& f : filters) {
    QString patterns = QString::fromStdString(f.patterns);
    patterns.replace(';', ' ');
    parts << QString::fromStdString(f.label) + " (" + patterns + ")";
  }
  return parts.join(";;");
}
}  // namespace

QtUi::QtUi(QMainWindow* window) : window_(window) {
  qApp->installEventFilter(this);
}

QtUi::~QtUi() {
  if (qApp != nullptr) qApp->removeEventFilter(this);
}

bool QtUi::eventFilter(QObject* watched, QEvent* event) {
  // Presses are noted for the running command; they still reach their widgets.
  if (event->type() == QEvent::KeyPress) {
    pending_.key = true;
  } else if (event->type() == QEvent::MouseButtonPress) {
    const auto* me = static_cast<QMouseEvent*>(event);
    if (me->button() == Qt::LeftButton) pending_.left_button = true;
    if (me->button() == Qt::RightButton) pending_.right_button = true;
  }
  return QObject::eventFilter(watched, event);
}

MessageAnswer QtUi::messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                               MessageIcon icon) {
  QMessageBox box;
  box.setWindowTitle(QString::fromStdString(caption));
  box.setText(QString::fromStdString(text));
  switch (icon) {
    case MessageIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case MessageIcon::Stop:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::Exclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MessageIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
  }
  switch (buttons) {
    case MessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case MessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  const int r = box.exec();
  pending_ = {};  // presses made inside the box belong to the box
  switch (r) {
    case QMessageBox::Cancel:
      return MessageAnswer::Cancel;
    case QMessageBox::Yes:
      return MessageAnswer::Yes;
    case QMessageBox::No:
      return MessageAnswer::No;
    default:
      return MessageAnswer::Ok;
  }
}

void QtUi::beep() {
  QApplication::beep();
}

void QtUi::setCursor(CursorShape shape) {
  if (wait_cursor_) QApplication::restoreOverrideCursor();
  wait_cursor_ = shape != CursorShape::Arrow;
  if (shape == CursorShape::Wait) QApplication::setOverrideCursor(Qt::WaitCursor);
  if (shape == CursorShape::Cross) QApplication::setOverrideCursor(Qt::CrossCursor);
  if (shape == CursorShape::UpArrow) QApplication::setOverrideCursor(Qt::UpArrowCursor);
}

InputEvents QtUi::pumpEvents() {
  ++pump_depth_;
  QApplication::processEvents(QEventLoop::AllEvents);
  --pump_depth_;
  InputEvents e = pending_;
  pending_ = {};
  return e;
}

void QtUi::progressOpen(const std::string& caption) {
  if (!progress_) progress_ = new TProgressDialog(window_);
  static_cast<TProgressDialog*>(progress_.data())->open(QString::fromStdString(caption));
}

void QtUi::progressSet(int position) {
  if (progress_) static_cast<TProgressDialog*>(progress_.data())->setPosition(position);
}

void QtUi::progressClose() {
  if (progress_) {
    progress_->hide();
    progress_->deleteLater();
    progress_ = nullptr;
  }
}

std::optional<std::string> QtUi::chooseOpenFile(const std::string& title,
                                                const std::vector<FileFilter>& filters,
                                                const std::string& directory) {
  const QString f = QFileDialog::getOpenFileName(window_, QString::fromStdString(title),
                                                 QString::fromStdString(directory), filterText(filters));
  if (f.isEmpty()) return std::nullopt;
  return f.toStdString();
}

std::optional<std::string> QtUi::chooseSaveFile(const std::string& title,
                                                const std::vector<FileFilter>& filters,
                                                const std::string& directory) {
  // The program asks about an existing file itself, once the default extension is on the name.
  const QString f =
      QFileDialog::getSaveFileName(window_, QString::fromStdString(title), QString::fromStdString(directory),
                                   filterText(filters), nullptr, QFileDialog::DontConfirmOverwrite);
  if (f.isEmpty()) return std::nullopt;
  return f.toStdString();
}

int QtUi::runPanel(const std::string& name, PanelModel& model) {
  auto it = panels_.find(name);
  const int r = it == panels_.end() ? kPanelCancel : it->second(model, window_);
  pending_ = {};
  return r;
}

void QtUi::setStatusText(const std::string& text) {
  if (window_ != nullptr) window_->statusBar()->showMessage(QString::fromStdString(text));
}

void QtUi::setTitle(const std::string& title) {
  if (window_ != nullptr) window_->setWindowTitle(QString::fromStdString(title));
}

void QtUi::repaint() {
  if (repaint_) repaint_();
}

}  // namespace qlm
