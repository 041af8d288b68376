#pragma once
#include <QObject>
#include <QPointer>
#include <functional>
#include <map>

#include "platform/ui.h"

class QMainWindow;
class QProgressDialog;
class QWidget;

namespace qlm {

// The Ui of the desktop program: Qt message boxes, dialogs and the main window's status bar and title.
// Pumping delivers pending Qt events and reports the key and mouse-button presses among them.
class QtUi final : public QObject, public Ui {
  Q_OBJECT
 public:
  using PanelFactory = std::function<int(PanelModel& model, QWidget* parent)>;

  explicit QtUi(QMainWindow* window);
  ~QtUi() override;

  // Registers the Qt view of a named modal panel.
  void registerPanel(const std::string& name, PanelFactory factory) { panels_[name] = std::move(factory); }
  // The main window asks to be repainted through this.
  void setRepaintHandler(std::function<void()> handler) { repaint_ = std::move(handler); }

  MessageAnswer messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override;
  void beep() override;
  void setCursor(CursorShape shape) override;
  InputEvents pumpEvents() override;
  // True while long work delivers events through pumpEvents (a timer that fires now interrupts it).
  bool pumping() const { return pump_depth_ > 0; }
  void progressOpen(const std::string& caption) override;
  void progressSet(int position) override;
  void progressClose() override;
  std::optional<std::string> chooseOpenFile(const std::string& title, const std::vector<FileFilter>& filters,
                                            const std::string& directory) override;
  std::optional<std::string> chooseSaveFile(const std::string& title, const std::vector<FileFilter>& filters,
                                            const std::string& directory) override;
  int runPanel(const std::string& name, PanelModel& model) override;
  void setStatusText(const std::string& text) override;
  void setTitle(const std::string& title) override;
  void repaint() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QMainWindow* window_;
  QPointer<QProgressDialog> progress_;
  std::map<std::string, PanelFactory> panels_;
  std::function<void()> repaint_;
  InputEvents pending_;
  bool wait_cursor_ = false;
  int pump_depth_ = 0;
};

}  // namespace qlm
