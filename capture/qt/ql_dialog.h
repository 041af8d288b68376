#pragma once
#include <QDialog>
#include <map>

#include "capture/ql_model.h"

class QAbstractButton;
class QLabel;
class QLineEdit;
class QScrollBar;

// The camera control panel "QLM_T4 Control Interface": shows the QlModel and forwards every control
// to it. exec() returns the identifier the panel closed with (1 take-photo, 2 cancel).
class TQLDialog : public QDialog {
  Q_OBJECT
 public:
  TQLDialog(qlm::QlModel& model, QWidget* parent = nullptr);
  qlm::QlModel& model() { return model_; }
  ~TQLDialog() override;

  // The control with identifier `id` (buttons, boxes, scroll bars, texts); nullptr for an unknown id.
  QWidget* control(int id) const;

 public slots:
  void reject() override;

 private:
  QAbstractButton* addButton(int id, const char* text, int x, int y, int w, int h);
  QAbstractButton* addRadio(int id, const char* text, int x, int y, int w);
  QAbstractButton* addCheck(int id, const char* text, int x, int y, int w);
  QLabel* addText(int id, int x, int y, int w, bool boxed = true);
  QScrollBar* addScroll(int id, Qt::Orientation o, int x, int y, int w, int h);
  void addLabel(const char* text, int x, int y, int w);

  void onPress(int id);
  void onScroll(int id, int action);
  void display();

  qlm::QlModel& model_;
  std::map<int, QWidget*> controls_;
  QLineEdit* value_box_ = nullptr;
  QLabel* focus_image_ = nullptr;
  QLabel* hfr_ = nullptr;  // sharpness of the focus star beside "Max Value"
  QLabel* fwhm_ = nullptr;
  bool updating_ = false;
};
