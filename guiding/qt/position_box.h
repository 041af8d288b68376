#pragma once
#include <QGroupBox>
#include <functional>

#include "guiding/scope_panels.h"

class QLabel;
class QLineEdit;
class QTimer;

namespace qlm {

// "Telescope Position" of a telescope panel: the mount's R.A. and Dec and what became of the last
// go-to's slew. The Autostar panel fills it from its own polling and shows the texts as received; the
// other panels poll through startPolling and show the readings in hours and degrees.
class TPositionBox : public QGroupBox {
  Q_OBJECT
 public:
  TPositionBox(ScopePanelModel& model, bool as_received, QWidget* parent);

  // Reads the position every second while the panel is open, until a reading meets a camera fault (a
  // box every second would bury the panel); `shown` runs after each reading.
  void startPolling(std::function<void()> shown);
  // One reading now, unless the moment is not a quiet one: a modal box is open or long work is
  // delivering events (the panels' own actions never deliver events). Returns whether the mount was
  // asked.
  bool poll();
  // Shows the model's last reading and slew state.
  void display();

 private:
  ScopePanelModel& model_;
  bool as_received_;
  QLineEdit* ra_ = nullptr;
  QLineEdit* dec_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* timer_ = nullptr;
  std::function<void()> shown_;
};

}  // namespace qlm
