#include "guiding/qt/lx200_dialog.h"

#include "guiding/qt/position_box.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace qlm {

namespace {

QString qs(std::string_view s) {
  return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

QLineEdit* numberField(QWidget* parent, const char* name, int width) {
  auto* f = new QLineEdit("0", parent);
  f->setObjectName(name);
  f->setFixedWidth(width);
  return f;
}

QPushButton* button(QWidget* parent, const QString& text, const char* name) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

TLX200Dialog::TLX200Dialog(QWidget* parent) : TLX200Dialog(ScopePanelKind::Lx200, parent, true) {
  position_->startPolling([this] { display(); });
}

TLX200Dialog::TLX200Dialog(ScopePanelKind kind, QWidget* parent, bool planets)
    : QDialog(parent), model_(kind) {
  setWindowTitle(qs(scopePanelCaption(kind)));
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
  build(planets);
  display();
}

template <typename F>
void TLX200Dialog::act(F&& action) {
  action();
  display();
}

QToolButton* TLX200Dialog::arrow(Qt::ArrowType type, const char* name) {
  auto* b = new QToolButton(this);
  b->setObjectName(name);
  b->setArrowType(type);
  b->setFixedSize(30, 30);
  return b;
}

void TLX200Dialog::build(bool planets) {
  auto* layout = new QGridLayout(this);

  // Catalogue go-to.
  auto* objects = new QGroupBox("Object", this);
  auto* og = new QGridLayout(objects);
  messier_ = numberField(objects, "Messier Object", 60);
  cngc_ = numberField(objects, "CNGC Object", 60);
  og->addWidget(new QLabel("Messier Object", objects), 0, 0);
  og->addWidget(messier_, 0, 1);
  og->addWidget(new QLabel("CNGC Object", objects), 1, 0);
  og->addWidget(cngc_, 1, 1);
  auto* goto_object = button(objects, "GoTo Object", "GoTo Object");
  og->addWidget(goto_object, 2, 0, 1, 2);
  connect(goto_object, &QPushButton::clicked, this, [this] {
    act([this] {
      model_.messier = messier_->text().toStdString();
      model_.cngc = cngc_->text().toStdString();
      model_.gotoObject();
    });
  });
  layout->addWidget(objects, 0, 0);

  // Coordinate go-to.
  auto* coords = new QGroupBox("Co-ordinates", this);
  auto* cg = new QGridLayout(coords);
  const std::array<const char*, 4> names = {"RA hrs", "RA mins", "Dec Deg", "Dec mins"};
  for (std::size_t i = 0; i < coordinates_.size(); ++i)
    coordinates_[i] = numberField(coords, names[i], 44);
  cg->addWidget(new QLabel("R.A.", coords), 0, 0);
  cg->addWidget(coordinates_[0], 0, 1);
  cg->addWidget(new QLabel("hrs", coords), 0, 2);
  cg->addWidget(coordinates_[1], 0, 3);
  cg->addWidget(new QLabel("mins", coords), 0, 4);
  cg->addWidget(new QLabel("Dec.", coords), 1, 0);
  cg->addWidget(coordinates_[2], 1, 1);
  cg->addWidget(new QLabel("Deg", coords), 1, 2);
  cg->addWidget(coordinates_[3], 1, 3);
  cg->addWidget(new QLabel("mins", coords), 1, 4);
  auto* go_to = button(coords, "Go To ", "Go To");
  cg->addWidget(go_to, 2, 0, 1, 5);
  connect(go_to, &QPushButton::clicked, this, [this] {
    act([this] {
      model_.ra_hours = coordinates_[0]->text().toStdString();
      model_.ra_minutes = coordinates_[1]->text().toStdString();
      model_.dec_degrees = coordinates_[2]->text().toStdString();
      model_.dec_minutes = coordinates_[3]->text().toStdString();
      model_.gotoCoordinates();
    });
  });
  layout->addWidget(coords, 0, 1);

  int row = 1;
  if (planets) {
    auto* box = new QGroupBox("Planets", this);
    auto* pg = new QGridLayout(box);
    int i = 0;
    for (const Planet& p : kPlanets) {
      auto* b = button(box, qs(p.name), p.name.data());
      pg->addWidget(b, i / 4, i % 4);
      const int star = p.star_number;
      connect(b, &QPushButton::clicked, this,
              [this, star] { act([this, star] { model_.gotoPlanet(star); }); });
      ++i;
    }
    layout->addWidget(box, row++, 0, 1, 2);
  }

  // Rates and the move arrows.
  auto* moves = new QGroupBox("Move", this);
  auto* mg = new QGridLayout(moves);
  auto* rate_box = new QVBoxLayout;
  for (std::size_t i = 0; i < kRates.size(); ++i) {
    rates_[i] = new QRadioButton(qs(kRates[i].caption), moves);
    rates_[i]->setObjectName(kRates[i].caption.data());
    rate_box->addWidget(rates_[i]);
    const char letter = kRates[i].letter;
    connect(rates_[i], &QRadioButton::clicked, this,
            [this, letter] { act([this, letter] { model_.setRate(letter); }); });
  }
  mg->addLayout(rate_box, 0, 0, 3, 1);
  const struct {
    Qt::ArrowType type;
    const char* name;
    Direction direction;
    int row;
    int column;
  } arrows[] = {{Qt::UpArrow, "North", Direction::North, 0, 2},
                {Qt::LeftArrow, "West", Direction::West, 1, 1},
                {Qt::RightArrow, "East", Direction::East, 1, 3},
                {Qt::DownArrow, "South", Direction::South, 2, 2}};
  for (const auto& a : arrows) {
    QToolButton* b = arrow(a.type, a.name);
    // N, S, E or W under the arrow: where it moves the telescope.
    b->setText(QString(QChar(a.name[0])));
    b->setToolTip(a.name);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setFixedSize(40, 40);
    mg->addWidget(b, a.row, a.column);
    const Direction d = a.direction;
    connect(b, &QToolButton::pressed, this, [this, d] { act([this, d] { model_.arrowPressed(d); }); });
    connect(b, &QToolButton::released, this, [this] { act([this] { model_.arrowReleased(); }); });
  }
  layout->addWidget(moves, row, 0);

  // Focuser.
  auto* focus = new QGroupBox("Focus", this);
  auto* fg = new QGridLayout(focus);
  QToolButton* in = arrow(Qt::UpArrow, "Focus Up");
  QToolButton* out = arrow(Qt::DownArrow, "Focus Down");
  fg->addWidget(in, 0, 0);
  fg->addWidget(out, 1, 0);
  for (auto [b, up] : {std::pair{in, true}, std::pair{out, false}}) {
    const bool u = up;
    connect(b, &QToolButton::pressed, this, [this, u] { act([this, u] { model_.focusPressed(u); }); });
    connect(b, &QToolButton::released, this, [this] { act([this] { model_.focusReleased(); }); });
  }
  fast_ = new QRadioButton("Fast", focus);
  fast_->setObjectName("Fast");
  slow_ = new QRadioButton("Slow", focus);
  slow_->setObjectName("Slow");
  fg->addWidget(fast_, 0, 1);
  fg->addWidget(slow_, 1, 1);
  connect(fast_, &QRadioButton::clicked, this, [this] { act([this] { model_.setFocusFast(true); }); });
  connect(slow_, &QRadioButton::clicked, this, [this] { act([this] { model_.setFocusFast(false); }); });
  layout->addWidget(focus, row++, 1);

  // What the mount says.
  auto* info = new QGroupBox("Info from Scope", this);
  auto* ig = new QVBoxLayout(info);
  object_info_ = new QLineEdit(info);
  object_info_->setObjectName("Object Info");
  slew_reply_ = new QLineEdit(info);
  slew_reply_->setObjectName("Slew Reply");
  for (QLineEdit* f : {object_info_, slew_reply_}) {
    f->setReadOnly(true);
    ig->addWidget(f);
  }
  layout->addWidget(info, row, 0);
  position_ = new TPositionBox(model_, model_.kind() == ScopePanelKind::Autostar, this);
  layout->addWidget(position_, row++, 1);

  auto* buttons = new QHBoxLayout;
  auto* help = button(this, "Help", "Help");
  auto* finished = button(this, "Finished", "Finished");
  buttons->addStretch();
  buttons->addWidget(help);
  buttons->addWidget(finished);
  connect(help, &QPushButton::clicked, this, [this] { act([this] { model_.help(); }); });
  connect(finished, &QPushButton::clicked, this, &QDialog::close);
  layout->addLayout(buttons, row, 0, 1, 2);
}

void TLX200Dialog::display() {
  object_info_->setText(QString::fromLatin1(model_.objectInfo().c_str()));
  slew_reply_->setText(QString::fromLatin1(model_.slewReply().c_str()));
  for (std::size_t i = 0; i < kRates.size(); ++i)
    rates_[i]->setChecked(model_.rateLetter() == kRates[i].letter);
  fast_->setChecked(model_.focusFast());
  slow_->setChecked(!model_.focusFast());
  position_->display();
}

}  // namespace qlm
