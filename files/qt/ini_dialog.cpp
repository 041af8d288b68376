#include "files/qt/ini_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "files/settings.h"

namespace qlm {

namespace {

constexpr int kFolderWidth = 300;  // pixels of the autosave folder's line

const char* const kSlewLabels[6] = {
    "RA pixels per sec", "Dec pixels per sec",      "RA Backlash",
    "Dec Backlash",      "Hysteresis in RA (0-10)", "Hysteresis in Dec (0-20)"};

QPushButton* button(const char* text, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(text);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

TINIDialog::TINIDialog(IniModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TINIDialog");
  setWindowTitle("Set Program Defaults");
  auto* columns = new QHBoxLayout;
  columns->addWidget(buildLeftColumn());
  columns->addWidget(buildRightColumn());
  auto* unsigned_box = new QCheckBox("Unsigned Int FITs Format", this);  // present, never shown
  unsigned_box->setObjectName("Unsigned Int FITs Format");
  unsigned_box->setEnabled(false);
  unsigned_box->hide();
  auto* save = button("Save Changes", this);
  auto* cancel = button("Cancel", this);
  connect(save, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* ends = new QHBoxLayout;
  ends->addStretch();
  ends->addWidget(save);
  ends->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addLayout(ends);
  showSettings();
}

QWidget* TINIDialog::buildLeftColumn() {
  auto* column = new QWidget(this);
  auto* v = new QVBoxLayout(column);
  v->setContentsMargins(0, 0, 0, 0);

  auto* com = new QGroupBox("Com Port for telescope", column);
  auto* com_row = new QHBoxLayout(com);
  com_row->addWidget(radio(
      "Com1", com, [this] { model_.setComPort('1'); },
      [this] { return model_.values().telescope_com == '1'; }));
  com_row->addWidget(radio(
      "Com2", com, [this] { model_.setComPort('2'); },
      [this] { return model_.values().telescope_com != '1'; }));
  auto* wheel_row = new QHBoxLayout;
  wheel_row->addWidget(box(
      "Filter Wheel", column, [this] { model_.toggleFilterWheel(); },
      [this] { return model_.values().filter_wheel_present; }));
  wheel_text_ = new QLabel(column);
  wheel_text_->setObjectName("FilterWheelText");
  wheel_row->addWidget(wheel_text_);
  v->addWidget(com);
  v->addLayout(wheel_row);

  auto* background = new QGroupBox("Window Background", column);
  auto* bg_row = new QHBoxLayout(background);
  for (const auto& [text, letter] : {std::pair{"Lt Gray", 'l'}, {"Red", 'r'}, {"Gray", 'g'}}) {
    const char l = letter;
    bg_row->addWidget(radio(
        text, background, [this, l] { model_.setBackground(l); },
        [this, l] { return model_.values().window_background == l; }));
  }
  v->addWidget(background);

  // The twelve guiding numbers: main camera and autoguider columns.
  auto* slew = new QGroupBox(column);
  auto* grid = new QGridLayout(slew);
  grid->addWidget(new QLabel("Main Camera", slew), 0, 1);
  grid->addWidget(new QLabel("Autoguider", slew), 0, 2);
  for (int row = 0; row < 6; ++row) {
    grid->addWidget(new QLabel(kSlewLabels[row], slew), row + 1, 0);
    for (int col = 0; col < 2; ++col) {
      QLineEdit* edit = field(slew, &model_.fields.slew[static_cast<std::size_t>(col * 6 + row)]);
      edit->setObjectName(QString(col == 0 ? "Main " : "Autoguider ") + kSlewLabels[row]);
      grid->addWidget(edit, row + 1, col + 1);
    }
  }
  auto* set_slew = button("Set slew values", slew);
  connect(set_slew, &QPushButton::clicked, this, [this] { press([this] { model_.setSlewValues(); }); });
  grid->addWidget(set_slew, 7, 0, 1, 3);
  v->addWidget(slew);

  auto* mask = new QGroupBox("Radius of Guide Star Mask", column);
  auto* mask_grid = new QGridLayout(mask);
  for (int i = 0; i < 6; ++i) {
    const int r = IniModel::kMaskRadii[i];
    auto* b = radio(
        "", mask, [this, r] { model_.setMaskRadius(r); },
        [this, r] { return model_.values().mask_radius == r; });
    b->setText(QString("%1 Pixels").arg(r));
    b->setObjectName(b->text());
    mask_grid->addWidget(b, i / 3, i % 3);
  }
  v->addWidget(mask);

  auto* training = new QGroupBox("Default Guide Training Time", column);
  auto* t_grid = new QGridLayout(training);
  t_grid->addWidget(new QLabel("Main Camera", training), 0, 0);
  t_grid->addWidget(new QLabel("Autoguider", training), 1, 0);
  for (int i = 0; i < 4; ++i) {
    const int sec = IniModel::kTrainingSeconds[i];
    auto* m = radio(
        "", training, [this, sec] { model_.setMainTrainingTime(sec); },
        [this, sec] { return model_.values().main_training_seconds == sec; });
    auto* g = radio(
        "", training, [this, sec] { model_.setGuiderTrainingTime(sec); },
        [this, sec] { return model_.values().guider_training_seconds == sec; });
    m->setText(QString("%1 Sec").arg(sec));
    g->setText(m->text());
    m->setObjectName("Main " + m->text());
    g->setObjectName("Autoguider " + g->text());
    t_grid->addWidget(m, 0, i + 1);
    t_grid->addWidget(g, 1, i + 1);
  }
  v->addWidget(training);
  v->addStretch();
  return column;
}

QWidget* TINIDialog::buildRightColumn() {
  auto* column = new QWidget(this);
  auto* v = new QVBoxLayout(column);
  v->setContentsMargins(0, 0, 0, 0);

  auto* drive = new QGroupBox("Telescope Drive Method", column);
  auto* drive_col = new QVBoxLayout(drive);
  for (const auto& [text, letter] : {std::pair{"None", 'n'},
                                     {"Meade LX200 (Tm)", 'l'},
                                     {"Meade Autostar(Tm)", 'a'},
                                     {"Autoguider Socket", 'b'}}) {
    const char l = letter;
    drive_col->addWidget(radio(
        text, drive, [this, l] { model_.setDriveMethod(l); },
        [this, l] { return model_.values().drive_method == l; }));
  }
  v->addWidget(drive);

  v->addWidget(box(
      "Swap n/s direction", column, [this] { model_.toggleSwapNorthSouth(); },
      [this] { return model_.swapNorthSouth(); }));
  v->addWidget(box(
      "Swap e/w direction", column, [this] { model_.toggleSwapEastWest(); },
      [this] { return model_.swapEastWest(); }));
  v->addWidget(box(
      "Ignore drift < 1 pixel", column, [this] { model_.toggleIgnoreDrift(); },
      [this] { return model_.values().ignore_drift; }));
  v->addWidget(box(
      "Ignore Backlash", column, [this] { model_.toggleIgnoreBacklash(); },
      [this] { return model_.values().ignore_backlash; }));
  v->addWidget(box(
      "1 sec delay when focussing", column, [this] { model_.toggleFocusDelay(); },
      [this] { return model_.values().one_sec_delay_when_focussing; }));
  auto* interrupts = new QGroupBox("Disable Interrupts", column);
  (new QVBoxLayout(interrupts))
      ->addWidget(box(
          "during Download", interrupts, [this] { model_.toggleDisableInterrupts(); },
          [this] { return model_.values().disable_interrupts_during_download; }));
  v->addWidget(interrupts);
  v->addWidget(box(
      "Show Interface Details", column, [this] { model_.toggleShowInterfaceDetails(); },
      [this] { return model_.values().show_interface_details; }));
  auto* vid_pid = new QGroupBox("Camera VID/PID Detection", column);
  (new QVBoxLayout(vid_pid))
      ->addWidget(box(
          "Ignore Camera VID/PID", vid_pid, [this] { model_.toggleIgnoreVidPid(); },
          [this] { return model_.values().ignore_camera_vid_pid; }));
  v->addWidget(vid_pid);
  v->addWidget(box(
      "Auto-Advance when Imaging", column, [this] { model_.toggleAutoAdvance(); },
      [this] { return model_.values().auto_advance_when_imaging; }));

  auto* filters = new QGroupBox("Filter Wheel Text", column);
  auto* f_grid = new QGridLayout(filters);
  for (int i = 0; i < 8; ++i) {
    QLineEdit* edit = field(filters, &model_.fields.filter_names[static_cast<std::size_t>(i)]);
    edit->setObjectName(QString("Filter %1").arg(i + 1));
    edit->setMaxLength(static_cast<int>(IniModel::kFilterNameChars));
    f_grid->addWidget(edit, i / 2, i % 2);
  }
  f_grid->addWidget(new QLabel("Number of Filtes (max 8)", filters), 4, 0);
  QLineEdit* count = field(filters, &model_.fields.filter_count);
  count->setObjectName("Number of Filtes (max 8)");
  f_grid->addWidget(count, 4, 1);
  auto* set_filters = button("Set Filter Details", filters);
  connect(set_filters, &QPushButton::clicked, this, [this] { press([this] { model_.setFilterDetails(); }); });
  f_grid->addWidget(set_filters, 5, 0, 1, 2);
  v->addWidget(filters);

  auto* autosave = new QGroupBox("AutoSave Directory", column);
  auto* a_grid = new QGridLayout(autosave);
  auto* a_row = new QHBoxLayout;
  a_grid->addLayout(a_row, 0, 0);
  autosave_folder_ = new QLabel(autosave);
  autosave_folder_->setObjectName("AutoSave Folder");
  autosave_folder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  a_grid->addWidget(autosave_folder_, 1, 0);
  QLineEdit* dir = field(autosave, &model_.fields.autosave_dir);
  dir->setObjectName("AutoSave Directory");
  dir->setMaxLength(static_cast<int>(IniModel::kDirectoryChars));
  a_row->addWidget(dir);
  auto* set_dir = button("Set AutoSave Dir", autosave);
  connect(set_dir, &QPushButton::clicked, this, [this] { press([this] { model_.setAutoSaveDir(); }); });
  a_row->addWidget(set_dir);
  v->addWidget(autosave);
  v->addStretch();
  return column;
}

QRadioButton* TINIDialog::radio(const char* text, QWidget* parent, std::function<void()> rule,
                                std::function<bool()> shown) {
  auto* b = new QRadioButton(text, parent);
  b->setObjectName(text);
  b->setAutoExclusive(false);  // the settings decide which one shows as chosen
  connect(b, &QRadioButton::clicked, this, [this, rule = std::move(rule)] { press(rule); });
  checks_.emplace_back(b, std::move(shown));
  return b;
}

QCheckBox* TINIDialog::box(const char* text, QWidget* parent, std::function<void()> rule,
                           std::function<bool()> shown) {
  auto* b = new QCheckBox(text, parent);
  b->setObjectName(text);
  connect(b, &QCheckBox::clicked, this, [this, rule = std::move(rule)] { press(rule); });
  checks_.emplace_back(b, std::move(shown));
  return b;
}

QLineEdit* TINIDialog::field(QWidget* parent, std::string* text) {
  auto* edit = new QLineEdit(parent);
  // Typing only changes the field's text; a Set button reads it.
  connect(edit, &QLineEdit::textEdited, this, [text](const QString& t) { *text = t.toStdString(); });
  fields_.emplace_back(edit, text);
  return edit;
}

void TINIDialog::press(const std::function<void()>& rule) {
  rule();
  showSettings();
}

void TINIDialog::showEvent(QShowEvent* event) {
  model_.refresh();
  showSettings();
  QDialog::showEvent(event);
}

void TINIDialog::showSettings() {
  for (auto& [button, shown] : checks_)
    button->setChecked(shown());
  for (auto& [edit, text] : fields_)
    edit->setText(QString::fromStdString(*text));
  wheel_text_->setText(QString::fromStdString(model_.filterWheelText()));
  // The settings keep the directory as typed; this shows the folder it stands for here.
  // A long folder is cut on the left and shown whole in the tooltip.
  const std::filesystem::path folder = autosaveFolder(model_.values());
  const QString full = folder.empty() ? QString("on a drive this machine lacks")
                                      : "in " + QString::fromStdString(folder.string());
  autosave_folder_->setToolTip(full);
  autosave_folder_->setText(autosave_folder_->fontMetrics().elidedText(full, Qt::ElideLeft, kFolderWidth));
}

int runIniDialog(PanelModel& model, QWidget* parent) {
  TINIDialog dialog(static_cast<IniModel&>(model), parent);
  return dialog.exec() == QDialog::Accepted ? kPanelOk : kPanelCancel;
}

}  // namespace qlm
