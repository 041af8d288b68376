#include "image/qt/merge_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "platform/platform.h"

namespace qlm {

namespace {
constexpr std::array<MergeModel::Field, 4> kFields = {MergeModel::Field::BaseX, MergeModel::Field::BaseY,
                                                      MergeModel::Field::MergeX, MergeModel::Field::MergeY};
constexpr std::array<const char*, 4> kFieldNames = {"BaseX", "BaseY", "MergeX", "MergeY"};
}  // namespace

TMergeDialog::TMergeDialog(MergeModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TMergeDialog");
  setWindowTitle(MergeModel::kTitle);
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("x", this), 0, 1);
  grid->addWidget(new QLabel("y", this), 0, 2);
  original_ = new QRadioButton(MergeModel::kOriginalRadio, this);
  original_->setObjectName("Original");
  merge_ = new QRadioButton(MergeModel::kMergeRadio, this);
  merge_->setObjectName("Merge");
  grid->addWidget(original_, 1, 0);
  grid->addWidget(merge_, 2, 0);
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    fields_[i] = new QLineEdit(this);
    fields_[i]->setObjectName(kFieldNames[i]);
    grid->addWidget(fields_[i], 1 + static_cast<int>(i / 2), 1 + static_cast<int>(i % 2));
    connect(fields_[i], &QLineEdit::editingFinished, this, [this, i] {
      model_.setText(kFields[i], fields_[i]->text().toStdString());
      changed();
    });
  }
  layout->addLayout(grid);
  average_ = new QCheckBox("Average", this);
  average_->setObjectName("Average");
  superimpose_ = new QCheckBox("Superimpose", this);
  superimpose_->setObjectName("Superimpose");
  centre_ = new QCheckBox("Centre", this);
  centre_->setObjectName("Centre");
  for (QCheckBox* box : {average_, superimpose_, centre_})
    layout->addWidget(box);
  auto* buttons = new QHBoxLayout;
  auto* merge_button = new QPushButton("Merge", this);
  merge_button->setObjectName("MergeButton");
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("CancelButton");
  auto* help = new QPushButton("Help", this);
  help->setObjectName("HelpButton");
  for (QPushButton* b : {merge_button, cancel, help}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  layout->addLayout(buttons);

  connect(original_, &QRadioButton::clicked, this, [this] {
    model_.chooseOriginal();
    changed();
  });
  connect(merge_, &QRadioButton::clicked, this, [this] {
    model_.chooseMerge();
    changed();
  });
  connect(average_, &QCheckBox::clicked, this, [this](bool on) {
    model_.setAverage(on);
    changed();
  });
  connect(superimpose_, &QCheckBox::clicked, this, [this](bool on) {
    model_.setSuperimpose(on);
    changed();
  });
  connect(centre_, &QCheckBox::clicked, this, [this](bool on) {
    model_.setCentre(on);
    changed();
  });
  connect(merge_button, &QPushButton::clicked, this, [this] {
    if (on_merge) on_merge();
  });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  connect(help, &QPushButton::clicked, this, [] {
    platform().ui->messageBox(MergeModel::kHelpCaption, MergeModel::kHelpText, MessageButtons::Ok,
                              MessageIcon::None);
  });
  refresh();
}

void TMergeDialog::refresh() {
  const QSignalBlocker b1(original_), b2(merge_), b3(average_), b4(superimpose_), b5(centre_);
  original_->setChecked(model_.baseMarking());
  merge_->setChecked(!model_.baseMarking());
  for (std::size_t i = 0; i < fields_.size(); ++i)
    fields_[i]->setText(QString::fromStdString(model_.text(kFields[i])));
  average_->setChecked(model_.average());
  superimpose_->setChecked(model_.superimpose());
  centre_->setChecked(model_.centre());
}

void TMergeDialog::reject() {
  QDialog::reject();
  if (on_cancel) on_cancel();
}

void TMergeDialog::changed() {
  refresh();
  if (on_changed) on_changed();
}

}  // namespace qlm
