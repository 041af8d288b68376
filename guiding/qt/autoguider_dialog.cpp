#include "guiding/qt/autoguider_dialog.h"

#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "guiding/guide_star.h"
#include "guiding/guider.h"
#include "guiding/qt/guider_image.h"
#include "image/centroid.h"
#include "image/frame.h"

namespace qlm {

namespace {
struct ButtonSpec {
  GuiderControl control;
  const char* text;
  bool check;
};
constexpr ButtonSpec kButtons[] = {
    {GuiderControl::Hundredths, "Hundredths", true},
    {GuiderControl::Tenths, "Tenths", true},
    {GuiderControl::Seconds, "Seconds", true},
    {GuiderControl::Start, "Start", false},
    {GuiderControl::Stop, "Stop", false},
    {GuiderControl::OneSecPause, "1 Sec Pause", true},
    {GuiderControl::SelectGuideStar, "Select Guide Star", false},
    {GuiderControl::Train, "Train", false},
    {GuiderControl::UseDefault, "Use Default", false},
    {GuiderControl::ChangeDefaults, "Change Defaults", false},
    {GuiderControl::SaveLatest, "Save Latest", false},
    {GuiderControl::IgnoreBacklash, "Ignore Backlash", true},
    {GuiderControl::IgnoreRaAngle, "Ignore RA Angle", true},
    {GuiderControl::SwapNorthSouth, "Swap n/s direction", true},
    {GuiderControl::SwapEastWest, "Swap e/w direction", true},
    {GuiderControl::TakeDark, "Take DarkFrame", false},
    {GuiderControl::ApplyDark, "Apply DarkFrame", true},
    {GuiderControl::MedianFilter, "Apply Median Filter to all Images", true},
    {GuiderControl::Stretch, "Apply Stretch to Guider Images", true},
    {GuiderControl::CsvGuideLog, "CSV", true},
    {GuiderControl::Phd2GuideLog, "PHD2", true},
    {GuiderControl::StartGuiding, "Start Guiding", false},
    {GuiderControl::GotoMainCamera, "Go to Main Camera", false},
    {GuiderControl::AlgorithmClassic, "Classic", true},
    {GuiderControl::AlgorithmPredictive, "Predictive", true},
};
constexpr int kImageBottom = kGuiderImageTop + kGuiderHeight;

// The AO group's buttons, in rows of the group's grid; the object names keep them apart from the
// guider's buttons of the same caption.
struct AOButtonSpec {
  GuiderControl control;
  const char* text;
  const char* name;
  int row;
  int column;
};
constexpr AOButtonSpec kAOButtons[] = {
    {GuiderControl::AOMode, "AO Mode", "AO Mode", 1, 0},
    {GuiderControl::GuidingMode, "Guiding Mode", "Guiding Mode", 1, 2},
    {GuiderControl::AOTrain, "Train", "AO Train", 2, 0},
    {GuiderControl::AOUseDefault, "Use Default", "AO Use Default", 2, 1},
    {GuiderControl::AOChangeDefaults, "Change Defaults", "AO Change Defaults", 2, 2},
    {GuiderControl::AOSaveLatest, "Save Latest", "AO Save Latest", 2, 3},
    {GuiderControl::CentraliseAO, "Centralise AO", "Centralise AO", 2, 4},
};
}  // namespace

TGQLDialog::TGQLDialog(AutoguiderModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setWindowTitle(kAutoguiderPanelName);
  setMouseTracking(true);
  // Every control first, by its control; then placed into the panel's groups.
  std::map<GuiderControl, QWidget*> made;
  for (const ButtonSpec& b : kButtons) {
    QWidget* w = nullptr;
    const GuiderControl c = b.control;
    if (b.check) {
      auto* box = new QCheckBox(b.text, this);
      connect(box, &QCheckBox::clicked, this, [this, c] { press(c); });
      boxes_[c] = box;
      w = box;
    } else {
      auto* button = new QPushButton(b.text, this);
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, this, [this, c] { press(c); });
      w = button;
      if (c == GuiderControl::UseDefault) use_default_ = button;
    }
    w->setObjectName(b.text);
    made[c] = w;
  }
  const auto place = [&made](QGridLayout* grid, std::initializer_list<GuiderControl> controls, int row,
                             int column = 0) {
    for (GuiderControl c : controls)
      grid->addWidget(made[c], row, column++);
  };
  const auto arrow = [this](Qt::ArrowType type, const char* name) {
    auto* b = new QToolButton(this);
    b->setArrowType(type);
    b->setObjectName(name);
    return b;
  };

  auto* outer = new QVBoxLayout(this);
  // The guider image is painted at (10, 45); the exposure and guide-star groups stand to its right.
  auto* top = new QHBoxLayout();
  outer->addLayout(top);
  top->addSpacing(kGuiderImageLeft + kGuiderWidth);
  auto* side = new QVBoxLayout();
  top->addLayout(side);

  auto* exposure_group = new QGroupBox("Exposure", this);
  auto* eg = new QGridLayout(exposure_group);
  place(eg, {GuiderControl::Hundredths, GuiderControl::Tenths, GuiderControl::Seconds}, 0);
  exposure_ = new QLabel(this);
  eg->addWidget(exposure_, 1, 0);
  auto* up = arrow(Qt::UpArrow, "ExposureUp");
  auto* down = arrow(Qt::DownArrow, "ExposureDown");
  connect(up, &QToolButton::clicked, this, [this] { press(GuiderControl::ExposureUp); });
  connect(down, &QToolButton::clicked, this, [this] { press(GuiderControl::ExposureDown); });
  auto* arrows = new QHBoxLayout();
  arrows->addWidget(up);
  arrows->addWidget(down);
  arrows->addStretch();
  eg->addLayout(arrows, 1, 1, 1, 2);
  place(eg, {GuiderControl::Start, GuiderControl::Stop, GuiderControl::OneSecPause}, 2);
  side->addWidget(exposure_group);

  auto* star_group = new QGroupBox("Guide Star", this);
  auto* sg = new QGridLayout(star_group);
  place(sg, {GuiderControl::SelectGuideStar, GuiderControl::Train}, 0);
  place(sg, {GuiderControl::StartGuiding, GuiderControl::GotoMainCamera}, 1);
  step_ = new QLabel(this);
  sg->addWidget(step_, 2, 0, 1, 2);
  side->addWidget(star_group);

  auto* dark_group = new QGroupBox("Dark Frame", this);
  auto* dg = new QGridLayout(dark_group);
  place(dg, {GuiderControl::TakeDark, GuiderControl::ApplyDark}, 0);
  dark_ = new QLabel(this);
  dg->addWidget(dark_, 1, 0, 1, 2);
  side->addWidget(dark_group);
  side->addStretch();
  top->addStretch();
  top->addStrut(kImageBottom);  // the row is at least as tall as the image reaches

  auto* values_group = new QGroupBox("Guide Values", this);
  auto* vg = new QGridLayout(values_group);
  const char* names[5] = {"RA rate", "Dec rate", "RA backlash", "Dec backlash", "RA Angle"};
  for (int k = 0; k < 5; ++k) {
    vg->addWidget(new QLabel(names[k], this), 0, k, Qt::AlignBottom);
    defaults_[k] = new QLineEdit(this);
    defaults_[k]->setObjectName(QString("Default ") + names[k]);
    vg->addWidget(defaults_[k], 1, k);
  }
  place(vg, {GuiderControl::UseDefault, GuiderControl::ChangeDefaults, GuiderControl::SaveLatest}, 2);
  values_ = new QLabel(this);
  vg->addWidget(values_, 2, 3, 1, 2);
  latest_ = new QLabel(this);
  vg->addWidget(latest_, 3, 0, 1, 5);
  outer->addWidget(values_group);

  auto* middle = new QHBoxLayout();
  outer->addLayout(middle);
  auto* options_group = new QGroupBox("Options", this);
  auto* og = new QGridLayout(options_group);
  place(og, {GuiderControl::IgnoreBacklash, GuiderControl::IgnoreRaAngle}, 0);
  place(og, {GuiderControl::SwapNorthSouth, GuiderControl::SwapEastWest}, 1);
  place(og, {GuiderControl::MedianFilter, GuiderControl::Stretch}, 2);
  og->addWidget(new QLabel("Guide algorithm:", this), 3, 0);
  auto* algorithms = new QHBoxLayout();
  algorithms->addWidget(made[GuiderControl::AlgorithmClassic]);
  algorithms->addWidget(made[GuiderControl::AlgorithmPredictive]);
  og->addLayout(algorithms, 3, 1);
  og->addWidget(new QLabel("Guide log:", this), 4, 0);
  auto* logs = new QHBoxLayout();
  logs->addWidget(made[GuiderControl::CsvGuideLog]);
  logs->addWidget(made[GuiderControl::Phd2GuideLog]);
  og->addLayout(logs, 4, 1);
  middle->addWidget(options_group, 1);

  // The arrows as a cross: West left, East right, North up, South down.
  auto* move_group = new QGroupBox("Move Telescope", this);
  auto* mg = new QGridLayout(move_group);
  const struct {
    Qt::ArrowType type;
    char logical;
    const char* name;
    int row;
    int column;
  } moves[] = {{Qt::LeftArrow, 'w', "Move West", 1, 0},
               {Qt::RightArrow, 'e', "Move East", 1, 2},
               {Qt::UpArrow, 'n', "Move North", 0, 1},
               {Qt::DownArrow, 's', "Move South", 2, 1}};
  for (const auto& m : moves) {
    auto* b = arrow(m.type, m.name);
    const char logical = m.logical;
    connect(b, &QToolButton::pressed, this, [this, logical] {
      model_.moveStart(logical);
      showView();  // the AO tilt after a move
    });
    connect(b, &QToolButton::released, this, [this] { model_.moveEnd(); });
    mg->addWidget(b, m.row, m.column);
  }
  middle->addWidget(move_group);

  outer->addWidget(buildAOGroup());
  pointer_ = new QLabel(this);
  outer->addWidget(pointer_);
  showView();
}

QGroupBox* TGQLDialog::buildAOGroup() {
  auto* group = new QGroupBox("AO Unit", this);
  auto* grid = new QGridLayout(group);
  const struct {
    GuiderControl control;
    const char* text;
    bool radio;
  } boxes[] = {{GuiderControl::AOCom1, "Com 1", true},
               {GuiderControl::AOCom2, "Com 2", true},
               {GuiderControl::AOSwapUpDown, "Swap Up/Down", false},
               {GuiderControl::AOSwapLeftRight, "Swap Left/Right", false}};
  int column = 0;
  for (const auto& b : boxes) {
    QAbstractButton* w = nullptr;
    if (b.radio) {
      auto* radio = new QRadioButton(b.text, group);
      radio->setAutoExclusive(false);  // the ticks follow the stored port, which may be neither
      w = radio;
    } else {
      w = new QCheckBox(b.text, group);
    }
    w->setObjectName(QString("AO ") + b.text);
    const GuiderControl c = b.control;
    connect(w, &QAbstractButton::clicked, this, [this, c] { press(c); });
    ao_boxes_[c] = w;
    grid->addWidget(w, 0, column++);
  }
  for (const AOButtonSpec& b : kAOButtons) {
    auto* button = new QPushButton(b.text, group);
    button->setAutoDefault(false);
    button->setObjectName(b.name);
    const GuiderControl c = b.control;
    connect(button, &QPushButton::clicked, this, [this, c] { press(c); });
    grid->addWidget(button, b.row, b.column);
  }
  ao_mode_ = new QLabel(group);
  guide_device_ = new QLabel(group);
  grid->addWidget(ao_mode_, 1, 1);
  grid->addWidget(guide_device_, 1, 3, 1, 2);
  const char* names[2] = {"Left/Right gain", "Up/Down gain"};
  for (int k = 0; k < 2; ++k) {
    grid->addWidget(new QLabel(names[k], group), 3, k);
    ao_defaults_[k] = new QLineEdit(group);
    ao_defaults_[k]->setObjectName(QString("AO ") + names[k]);
    grid->addWidget(ao_defaults_[k], 4, k);
  }
  ao_latest_ = new QLabel(group);
  ao_values_ = new QLabel(group);
  ao_tilt_ = new QLabel(group);
  grid->addWidget(ao_latest_, 4, 2);
  grid->addWidget(ao_values_, 3, 3, 1, 2);
  grid->addWidget(ao_tilt_, 4, 3, 1, 2);
  return group;
}

void TGQLDialog::press(GuiderControl c) {
  if (c == GuiderControl::AOChangeDefaults) {
    model_.setAODefaultFields(ao_defaults_[0]->text().toInt(), ao_defaults_[1]->text().toInt());
  }
  if (c == GuiderControl::AOTrain) {
    GuidingView view;
    view.caption = [this](const std::string& text) { setWindowTitle(QString::fromStdString(text)); };
    view.refresh = [this] {
      showView();
      repaint();
    };
    model_.trainAO(view);
    showView();
    return;
  }
  if (c == GuiderControl::ChangeDefaults) {
    model_.setDefaultFields(defaults_[0]->text().toInt(), defaults_[1]->text().toInt(),
                            defaults_[2]->text().toInt(), defaults_[3]->text().toInt(),
                            defaults_[4]->text().toDouble());
  }
  if (c == GuiderControl::Start) {
    model_.runExposures([this] {
      showView();
      repaint();
    });
  }
  if (c == GuiderControl::Train) {
    GuidingView view;
    view.caption = [this](const std::string& text) { setWindowTitle(QString::fromStdString(text)); };
    view.refresh = [this] {
      model_.refresh();
      showView();
      repaint();
    };
    TrainGuider(guiderGuideStar(), view);
    model_.refresh();
    showView();
    return;
  }
  const int result = model_.press(c);
  showView();
  update();
  if (result != 0) done(result);
}

void TGQLDialog::showView() {
  const AutoguiderView& v = model_.view();
  const auto set = [this](GuiderControl c, bool on) { boxes_[c]->setChecked(on); };
  set(GuiderControl::Hundredths, v.unit == 'h');
  set(GuiderControl::Tenths, v.unit == 't');
  set(GuiderControl::Seconds, v.unit == 's');
  set(GuiderControl::OneSecPause, v.one_sec_pause);
  set(GuiderControl::IgnoreBacklash, v.ignore_backlash);
  set(GuiderControl::IgnoreRaAngle, v.ignore_ra_angle);
  set(GuiderControl::SwapNorthSouth, v.swap_ns);
  set(GuiderControl::SwapEastWest, v.swap_ew);
  set(GuiderControl::ApplyDark, v.dark_in_use);
  set(GuiderControl::MedianFilter, v.median);
  set(GuiderControl::Stretch, v.stretch);
  set(GuiderControl::AlgorithmClassic, v.algorithm == GuideAlgorithm::Classic);
  set(GuiderControl::AlgorithmPredictive, v.algorithm == GuideAlgorithm::Predictive);
  set(GuiderControl::CsvGuideLog, v.log_format == GuideLogFormat::Csv);
  set(GuiderControl::Phd2GuideLog, v.log_format == GuideLogFormat::Phd2);
  static_cast<QPushButton*>(use_default_)->setText(QString::fromStdString(v.use_default_label));
  exposure_->setText(QString("Exposure %1 x %2").arg(v.count).arg(v.unit));
  for (int k = 0; k < 4; ++k)
    if (!defaults_[k]->hasFocus()) defaults_[k]->setText(QString::number(v.default_values[k]));
  if (!defaults_[4]->hasFocus()) defaults_[4]->setText(QString::number(v.default_angle));
  latest_->setText(v.latest_available ? QString("Latest: %1, %2, %3, %4, %5")
                                            .arg(v.latest_values[0])
                                            .arg(v.latest_values[1])
                                            .arg(v.latest_values[2])
                                            .arg(v.latest_values[3])
                                            .arg(v.latest_angle, 0, 'f', 3)
                                      : QString("Latest: -"));
  dark_->setText(QString::fromStdString(v.dark_text));
  values_->setText(QString::fromStdString(v.values_text));
  step_->setText(QString("Training step %1").arg(v.training_step));
  ao_boxes_[GuiderControl::AOCom1]->setChecked(v.ao_com == 1);
  ao_boxes_[GuiderControl::AOCom2]->setChecked(v.ao_com == 2);
  ao_boxes_[GuiderControl::AOSwapUpDown]->setChecked(v.ao_swap_ud);
  ao_boxes_[GuiderControl::AOSwapLeftRight]->setChecked(v.ao_swap_lr);
  ao_mode_->setText(v.ao_relays ? "Parallel" : "Serial");
  guide_device_->setText(v.guide_device == 'A' ? "Guiding with the AO unit" : "Guiding with the telescope");
  for (int k = 0; k < 2; ++k)
    if (!ao_defaults_[k]->hasFocus()) ao_defaults_[k]->setText(QString::number(v.ao_default_gains[k]));
  ao_latest_->setText(QString("Latest: %1, %2").arg(v.ao_latest_gains[0]).arg(v.ao_latest_gains[1]));
  ao_values_->setText(QString::fromStdString(v.ao_values_text));
  ao_tilt_->setText(QString("Tilt x %1  y %2").arg(v.ao_tilt[0]).arg(v.ao_tilt[1]));
}

void TGQLDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter p(this);
  p.drawImage(kGuiderImageLeft, kGuiderImageTop,
              guiderQImage(imageBuffers().GuiderFrames[0], guiderCameraState().display));
}

void TGQLDialog::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (const auto r = guiderPointerReadout(at.x(), at.y(), imageBuffers().GuiderFrames[0].data())) {
    pointer_->setText(QString("x %1  y %2  val %3").arg(r->x).arg(r->y).arg(r->value));
  }
  QDialog::mouseMoveEvent(event);
}

void TGQLDialog::mouseReleaseEvent(QMouseEvent* event) {
  // Only the left and right buttons end a move or complete the pick.
  if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) {
    QDialog::mouseReleaseEvent(event);
    return;
  }
  const QPoint at = event->position().toPoint();
  PickHooks hooks;
  hooks.pointer = [] {
    const QPoint p = QCursor::pos();
    return std::optional<std::pair<int, int>>{{p.x(), p.y()}};
  };
  hooks.move_pointer = [](int x, int y) { QCursor::setPos(x, y); };
  hooks.refresh = [this] { update(); };
  guiderPickRelease(at.x(), at.y(), imageBuffers().GuiderFrames[0].data(), centroidState().working_radius,
                    hooks);
  model_.refresh();
  showView();
  QDialog::mouseReleaseEvent(event);
}

}  // namespace qlm
