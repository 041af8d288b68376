#include "capture/qt/ql_dialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <filesystem>
#include <optional>

#include "files/settings.h"
#include "platform/platform.h"

using qlm::QlModel;
using qlm::ScrollAction;
namespace ql = qlm::ql;

namespace {
QString qs(const std::string& s) {
  return QString::fromStdString(s);
}
}  // namespace

TQLDialog::TQLDialog(QlModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TQLDialog");
  setWindowTitle(qlm::kCameraPanelName);
  setModal(true);
  setFixedSize(670, 460);

  // Exposure range and value, focus mode, stretch and readout mode on the left.
  auto* range = new QGroupBox("Exposure Range", this);
  range->setGeometry(10, 8, 150, 150);
  addRadio(ql::kThousandths, "Thousandths", 20, 30, 130);
  addRadio(ql::kHundredths, "Hundredth's", 20, 55, 130);
  addRadio(ql::kTenths, "Tenth's", 20, 80, 130);
  addRadio(ql::kSeconds, "Seconds", 20, 105, 130);
  addRadio(ql::kMinutes, "Minutes", 20, 130, 130);
  addLabel("Exposure Value", 10, 165, 150);
  value_box_ = new QLineEdit(this);
  value_box_->setObjectName("ql_105");
  value_box_->setGeometry(10, 185, 70, 26);
  controls_[ql::kValueBox] = value_box_;
  connect(value_box_, &QLineEdit::textEdited, this,
          [this](const QString& text) { model_.setValueText(text.toStdString()); });
  addScroll(ql::kExposureScroll, Qt::Vertical, 82, 180, 18, 36);
  addLabel("Max Value", 10, 222, 62);
  addText(ql::kMaxValue, 10, 242, 58);
  // Beside the peak: the sharpness of the star in the focus window, in pixels.
  addLabel("HFR", 74, 222, 40);
  addLabel("FWHM", 118, 222, 42);
  for (auto [label, name, x] : {std::tuple{&hfr_, "ql_hfr", 74}, std::tuple{&fwhm_, "ql_fwhm", 118}}) {
    *label = new QLabel(this);
    (*label)->setObjectName(name);
    (*label)->setGeometry(x, 242, 40, 22);
    (*label)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  }
  addButton(ql::kFocusStart, "Start", 10, 276, 70, 26);
  addButton(ql::kFocusStop, "Stop", 88, 276, 70, 26);
  addLabel("Stretch", 10, 310, 60);
  addScroll(ql::kStretchScroll, Qt::Horizontal, 10, 330, 108, 18);
  addText(ql::kStretchBox, 122, 327, 38);
  auto* readout = new QGroupBox("Readout Mode", this);
  readout->setGeometry(10, 360, 150, 80);
  auto* readout_buttons = new QWidget(readout);
  readout_buttons->setGeometry(0, 0, 150, 80);
  for (auto [id, text, y] :
       {std::tuple{ql::kHighResolution, "High Resolution", 25}, std::tuple{ql::kBinned, "Binned 2x2", 50}}) {
    auto* b = new QRadioButton(text, readout_buttons);
    b->setObjectName(QString("ql_%1").arg(id));
    b->setGeometry(10, y, 135, 22);
    controls_[id] = b;
    connect(b, &QRadioButton::clicked, this, [this, id = id] { onPress(id); });
  }

  // Exposures, delays and the automatic steps in the middle.
  addLabel("No of Exposures", 175, 8, 120);
  addText(ql::kExposuresBox, 175, 28, 50);
  addScroll(ql::kExposuresScroll, Qt::Vertical, 228, 23, 18, 36);
  addCheck(ql::kContinuous, "Continuous Mode", 175, 64, 180);
  addCheck(ql::kDelayBefore, "Delay before exposure", 175, 88, 180);
  addLabel("Delay between exposures", 175, 114, 180);
  addText(ql::kDelayBox, 175, 134, 50);
  addScroll(ql::kDelayScroll, Qt::Vertical, 228, 129, 18, 36);
  auto* delay_units = new QWidget(this);
  delay_units->setGeometry(255, 128, 100, 44);
  for (auto [id, text, y] :
       {std::tuple{ql::kDelaySeconds, "Seconds", 0}, std::tuple{ql::kDelayMinutes, "Minutes", 22}}) {
    auto* b = new QRadioButton(text, delay_units);
    b->setObjectName(QString("ql_%1").arg(id));
    b->setGeometry(0, y, 100, 20);
    controls_[id] = b;
    connect(b, &QRadioButton::clicked, this, [this, id = id] { onPress(id); });
  }
  addCheck(ql::kAverage, "Average Multiple Exposures", 175, 178, 185);
  addCheck(ql::kAutoDark, "Auto-Remove Dark Frame", 175, 202, 185);
  addText(ql::kDarkName, 195, 224, 160, false);
  addCheck(ql::kAutoFlat, "Auto-Apply Flatfield", 175, 244, 185);
  addText(ql::kFlatName, 195, 266, 160, false);
  addCheck(ql::kAutoProcess, "Apply Auto-Processing", 175, 286, 185);
  addCheck(ql::kAutoSave, "Auto Save Image", 175, 310, 185);
  addLabel("Last file no.", 195, 332, 80);
  addText(ql::kLastFile, 280, 332, 70, false);
  addLabel("Sub-Dir", 195, 352, 80);
  addText(ql::kSubDir, 250, 352, 105, false);
  addCheck(ql::kAltSlew, "Alternative Slew Method", 175, 376, 185);
  addCheck(ql::kAutochange, "Autochange Exposure", 175, 400, 185);
  addCheck(ql::kLiveStack, "Live Stack", 175, 424, 100);

  // Status, the focus image, the filter wheel and the closing buttons on the right.
  addLabel("Camera Mode", 363, 8, 115);
  addText(ql::kCameraMode, 480, 6, 180);
  addLabel("AutoGuider Status", 363, 36, 115);
  addText(ql::kAutoguiderStatus, 480, 34, 180);
  focus_image_ = new QLabel(this);
  focus_image_->setObjectName("ql_focus_image");
  focus_image_->setGeometry(363, 70, 128, 128);
  focus_image_->setFrameStyle(QFrame::Box | QFrame::Plain);
  auto* filters = new QGroupBox("Filter Wheel", this);
  filters->setGeometry(510, 64, 150, 134);
  addButton(ql::kFilterFirst, "First", 520, 86, 60, 24);
  addButton(ql::kFilterNext, "Next", 588, 86, 60, 24);
  addButton(ql::kFilterPrev, "Prev", 520, 114, 60, 24);
  addText(ql::kFilterPosition, 588, 114, 60);
  addText(ql::kFilterName, 520, 146, 128);
  // Dithering of a guided series ("Autoguide Photo" with more than one exposure).
  addCheck(ql::kDither, "Dither between frames", 498, 214, 170);
  addLabel("Amount (px)", 500, 242, 88);
  addText(ql::kDitherBox, 590, 240, 40);
  addScroll(ql::kDitherScroll, Qt::Vertical, 632, 235, 18, 36);
  addButton(ql::kTakePhoto, "Take Photo", 363, 214, 128, 30);
  addButton(ql::kAutoguidePhoto, "Autoguide Photo", 363, 252, 128, 28);
  addButton(ql::kGotoAutoguider, "Go to Autoguider ", 363, 288, 128, 28);
  addButton(ql::kCancel, "Cancel", 363, 324, 128, 28);
  addButton(ql::kHelp, "Help", 363, 360, 128, 28);
  static_cast<QPushButton*>(controls_[ql::kTakePhoto])->setDefault(true);

  model_.on_refresh = [this] { display(); };
  model_.refresh();
}

TQLDialog::~TQLDialog() {
  model_.on_refresh = nullptr;
}

QWidget* TQLDialog::control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

QAbstractButton* TQLDialog::addButton(int id, const char* text, int x, int y, int w, int h) {
  auto* b = new QPushButton(text, this);
  b->setObjectName(QString("ql_%1").arg(id));
  b->setGeometry(x, y, w, h);
  b->setAutoDefault(false);
  controls_[id] = b;
  connect(b, &QPushButton::clicked, this, [this, id] { onPress(id); });
  return b;
}

QAbstractButton* TQLDialog::addRadio(int id, const char* text, int x, int y, int w) {
  auto* b = new QRadioButton(text, this);
  b->setObjectName(QString("ql_%1").arg(id));
  b->setGeometry(x, y, w, 22);
  controls_[id] = b;
  connect(b, &QRadioButton::clicked, this, [this, id] { onPress(id); });
  return b;
}

QAbstractButton* TQLDialog::addCheck(int id, const char* text, int x, int y, int w) {
  auto* b = new QCheckBox(text, this);
  b->setObjectName(QString("ql_%1").arg(id));
  b->setGeometry(x, y, w, 22);
  controls_[id] = b;
  connect(b, &QCheckBox::clicked, this, [this, id] { onPress(id); });
  return b;
}

QLabel* TQLDialog::addText(int id, int x, int y, int w, bool boxed) {
  auto* t = new QLabel(this);
  t->setObjectName(QString("ql_%1").arg(id));
  t->setGeometry(x, y, w, 22);
  if (boxed) t->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  controls_[id] = t;
  return t;
}

QScrollBar* TQLDialog::addScroll(int id, Qt::Orientation o, int x, int y, int w, int h) {
  auto* s = new QScrollBar(o, this);
  s->setObjectName(QString("ql_%1").arg(id));
  s->setGeometry(x, y, w, h);
  // A vertical bar acts as a spin box (onScroll): larger values sit higher up.
  if (o == Qt::Vertical) s->setInvertedAppearance(true);
  controls_[id] = s;
  connect(s, &QScrollBar::actionTriggered, this, [this, id](int action) { onScroll(id, action); });
  return s;
}

void TQLDialog::addLabel(const char* text, int x, int y, int w) {
  auto* l = new QLabel(text, this);
  l->setGeometry(x, y, w, 20);
}

void TQLDialog::onPress(int id) {
  if (updating_) return;
  model_.setValueText(value_box_->text().toStdString());
  const int result = model_.press(id);
  if (result != 0) {
    done(result);
  } else {
    display();  // a refused button or a toggle shows the program values again
  }
}

void TQLDialog::onScroll(int id, int action) {
  if (updating_) return;
  ScrollAction a;
  int thumb = 0;
  auto* bar = static_cast<QScrollBar*>(controls_[id]);
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      a = ScrollAction::LineUp;
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      a = ScrollAction::LineDown;
      break;
    case QAbstractSlider::SliderPageStepSub:
      a = ScrollAction::PageUp;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      a = ScrollAction::PageDown;
      break;
    case QAbstractSlider::SliderMove:
      a = ScrollAction::Thumb;
      thumb = bar->sliderPosition();
      break;
    default:
      return;
  }
  // The short vertical bars are drawn as spin boxes: their up arrow (and the wheel turned up) raises
  // the value, as a spin box's does. That is the scroll bar's line-down event in the panel's rules.
  if (bar->orientation() == Qt::Vertical) {
    if (a == ScrollAction::LineUp) {
      a = ScrollAction::LineDown;
    } else if (a == ScrollAction::LineDown) {
      a = ScrollAction::LineUp;
    } else if (a == ScrollAction::PageUp || a == ScrollAction::PageDown) {
      return;  // no page steps on a spin box
    }
  }
  model_.setValueText(value_box_->text().toStdString());
  model_.scroll(id, a, thumb);
  // The bar shows the program's value, not the step the slider took on its own.
  display();
}

void TQLDialog::reject() {
  model_.press(ql::kCancel);
  done(ql::kCancel);
}

void TQLDialog::display() {
  updating_ = true;
  const qlm::QlView& v = model_.view();
  auto text = [this](int id, const std::string& s) { static_cast<QLabel*>(controls_[id])->setText(qs(s)); };
  auto check = [this](int id, bool on) { static_cast<QAbstractButton*>(controls_[id])->setChecked(on); };
  auto bar = [this](int id, int lo, int hi, int pos) {
    auto* s = static_cast<QScrollBar*>(controls_[id]);
    s->setRange(lo, hi);
    s->setValue(pos);
  };
  if (value_box_->text().toStdString() != v.value_text) value_box_->setText(qs(v.value_text));
  bar(ql::kExposureScroll, 0, v.exposure_range_max, v.exposure_pos);
  bar(ql::kExposuresScroll, 0, 99, v.exposures_pos);
  bar(ql::kDelayScroll, 0, 20, v.delay_pos);
  bar(ql::kStretchScroll, 1, 50, v.stretch_pos);
  bar(ql::kDitherScroll, 1, 16, v.dither_pos);
  text(ql::kDitherBox, v.dither_text);
  text(ql::kMaxValue, v.max_value_text);
  hfr_->setText(qs(v.hfr_text));
  fwhm_->setText(qs(v.fwhm_text));
  text(ql::kExposuresBox, v.exposures_text);
  text(ql::kDelayBox, v.delay_text);
  text(ql::kLastFile, v.last_file_text);
  text(ql::kStretchBox, v.stretch_text);
  text(ql::kCameraMode, v.camera_mode);
  text(ql::kAutoguiderStatus, v.autoguider_status);
  // The dark and flat files and the autosave folder as they lie on this machine (the settings keep
  // the typed Windows form), cut on the left to fit and whole in the tooltip.
  auto path = [this](int id, const std::optional<std::filesystem::path>& p, const std::string& typed) {
    auto* label = static_cast<QLabel*>(controls_[id]);
    const QString full = p ? QString::fromStdString(p->string()) : qs(typed);
    label->setToolTip(full);
    // Under the home folder, "~/..." as a shell writes it.
    QString shown = full;
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty() && home != "/" && shown.startsWith(home + "/")) shown = "~" + shown.mid(home.size());
    label->setText(label->fontMetrics().elidedText(shown, Qt::ElideLeft, label->width() - 4));
  };
  path(ql::kDarkName, qlm::platform().paths.mapTyped(v.dark_name), v.dark_name);
  path(ql::kFlatName, qlm::platform().paths.mapTyped(v.flat_name), v.flat_name);
  text(ql::kFilterPosition, v.filter_position);
  text(ql::kFilterName, v.filter_name);
  const std::filesystem::path folder = qlm::autosaveFolder(qlm::settings());
  path(ql::kSubDir, folder.empty() ? std::nullopt : std::optional(folder), v.sub_dir);
  for (int id : {ql::kThousandths, ql::kHundredths, ql::kTenths, ql::kSeconds, ql::kMinutes})
    check(id, id == v.unit_button);
  check(ql::kHighResolution, v.readout_button == ql::kHighResolution);
  check(ql::kBinned, v.readout_button == ql::kBinned);
  check(ql::kDelaySeconds, v.delay_unit_button == ql::kDelaySeconds);
  check(ql::kDelayMinutes, v.delay_unit_button == ql::kDelayMinutes);
  check(ql::kAverage, v.average);
  check(ql::kContinuous, v.continuous);
  check(ql::kDelayBefore, v.delay_before);
  check(ql::kAutoDark, v.auto_dark);
  check(ql::kAutoFlat, v.auto_flat);
  check(ql::kAutoProcess, v.auto_process);
  check(ql::kAutoSave, v.auto_save);
  check(ql::kAltSlew, v.alt_slew);
  check(ql::kAutochange, v.autochange);
  check(ql::kLiveStack, v.live_stack);
  check(ql::kDither, v.dither);
  if (v.focus_bitmap.empty()) {
    focus_image_->clear();
  } else {
    focus_image_->setPixmap(QPixmap(qs(v.focus_bitmap)));
  }
  updating_ = false;
}
