#include "guiding/qt/move_dialog.h"

#include <QGridLayout>
#include <QPushButton>
#include <QToolButton>

#include "guiding/qt/position_box.h"
#include "image/qt/progress_dialog.h"

namespace qlm {

TMoveDialog::TMoveDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(scopePanelCaption(ScopePanelKind::MoveTelescope).data()));
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QGridLayout(this);
  const struct {
    Qt::ArrowType type;
    const char* name;
    Direction direction;
    int row;
    int column;
  } arrows[] = {{Qt::UpArrow, "North", Direction::North, 0, 3},
                {Qt::DownArrow, "South", Direction::South, 2, 3},
                {Qt::LeftArrow, "West", Direction::West, 1, 0},
                {Qt::RightArrow, "East", Direction::East, 1, 2}};
  for (const auto& a : arrows) {
    auto* b = new QToolButton(this);
    b->setObjectName(a.name);
    b->setArrowType(a.type);
    // Each arrow says where it moves the telescope: N, S, E or W under the arrow.
    b->setText(QString(QChar(a.name[0])));
    b->setToolTip(a.name);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setFixedSize(44, 44);
    layout->addWidget(b, a.row, a.column);
    const Direction d = a.direction;
    connect(b, &QToolButton::pressed, this, [this, d] { model_.arrowPressed(d); });
    connect(b, &QToolButton::released, this, [this] { model_.arrowReleased(); });
  }
  // The bars' middles.
  auto* across = new QWidget(this);
  across->setFixedSize(60, 12);
  across->setStyleSheet("background: palette(mid)");
  layout->addWidget(across, 1, 1);
  auto* down = new QWidget(this);
  down->setFixedSize(12, 40);
  down->setStyleSheet("background: palette(mid)");
  layout->addWidget(down, 1, 3, Qt::AlignHCenter);
  position_ = new TPositionBox(model_, false, this);
  layout->addWidget(position_, 3, 0, 1, 4);
  position_->display();
  position_->startPolling([this] { position_->display(); });
  auto* finished = new QPushButton("Finished", this);
  finished->setObjectName("Finished");
  finished->setAutoDefault(false);
  connect(finished, &QPushButton::clicked, this, &QDialog::close);
  layout->addWidget(finished, 4, 0, 1, 4);
  setMinimumWidth(captionWidth(*this));  // the whole caption in the title bar
}

}  // namespace qlm
