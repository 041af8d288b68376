#pragma once
#include <QDialog>
#include <array>
#include <functional>
#include <vector>

#include "files/ini_model.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace qlm {

// "Set Program Defaults": com port, background, guiding numbers, mask radius, training times, drive
// method, switches, filter names and the autosave directory. The rules are IniModel's; every button
// press goes to the model and the controls are then set again from the settings.
class TINIDialog : public QDialog {
  Q_OBJECT
 public:
  TINIDialog(IniModel& model, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* buildLeftColumn();
  QWidget* buildRightColumn();
  // A radio button or check box whose state the settings decide; a click runs `press`.
  QRadioButton* radio(const char* text, QWidget* parent, std::function<void()> press,
                      std::function<bool()> shown);
  QCheckBox* box(const char* text, QWidget* parent, std::function<void()> press, std::function<bool()> shown);
  QLineEdit* field(QWidget* parent, std::string* text);
  // Runs one button's rule and shows the settings again.
  void press(const std::function<void()>& rule);
  void showSettings();

  IniModel& model_;
  std::vector<std::pair<QAbstractButton*, std::function<bool()>>> checks_;
  std::vector<std::pair<QLineEdit*, std::string*>> fields_;
  QLabel* wheel_text_ = nullptr;
  QLabel* autosave_folder_ = nullptr;  // where the typed autosave directory lies on this machine
};

// Shows the dialog modally on an IniModel; kPanelOk for "Save Changes", kPanelCancel for "Cancel".
int runIniDialog(PanelModel& model, QWidget* parent);

}  // namespace qlm
