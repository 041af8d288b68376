#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/ui.h"

namespace qlm {

// One recorded request to the Ui. `kind` names the call ("message", "beep", "cursor", "progress-open",
// "progress", "progress-close", "open-file", "save-file", "panel", "status", "title", "repaint");
// `caption` and `text` carry its strings, `value` its number (icon, buttons, position, result).
struct UiCall {
  std::string kind;
  std::string caption;
  std::string text;
  int value = 0;
  std::uint32_t at_ms = 0;                      // clock reading when the call was made
  MessageButtons buttons = MessageButtons::Ok;  // message boxes only
  MessageIcon icon = MessageIcon::None;         // message boxes only
};

// A Ui without windows: records every call and plays back scripted answers. Presses and actions are
// scheduled at times of the given clock and delivered by the first pump at or after that time.
class HeadlessUi final : public Ui {
 public:
  using PanelScript = std::function<int(PanelModel&)>;
  using Action = std::function<void()>;

  explicit HeadlessUi(Clock& clock) : clock_(clock) {}

  // Scripting. Unscripted message boxes answer with their first button (OK or Yes); unscripted file
  // choosers and panels are cancelled.
  void queueMessageAnswer(MessageAnswer answer) { message_answers_.push_back(answer); }
  void queueOpenFile(std::optional<std::string> path) { open_answers_.push_back(std::move(path)); }
  void queueSaveFile(std::optional<std::string> path) { save_answers_.push_back(std::move(path)); }
  void onPanel(const std::string& name, PanelScript script) { panels_[name].push_back(std::move(script)); }
  void scheduleKeyPress(std::uint32_t at_ms);
  void scheduleMousePress(std::uint32_t at_ms, bool right_button = false);
  void scheduleAction(std::uint32_t at_ms, Action action);
  // Calls `hook` at every pump (after scheduled items); a test uses it to watch long work.
  void setPumpHook(Action hook) { pump_hook_ = std::move(hook); }

  // What happened.
  const std::vector<UiCall>& calls() const { return calls_; }
  std::vector<UiCall> callsOf(const std::string& kind) const;
  // Texts of the message boxes shown, in order.
  std::vector<std::string> messageTexts() const;
  std::size_t pumpCount() const { return pump_count_; }
  std::size_t beepCount() const;
  const std::string& statusText() const { return status_; }
  const std::string& title() const { return title_; }
  void clearCalls() { calls_.clear(); }

  MessageAnswer messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override;
  void beep() override { record("beep", "", "", 0); }
  void setCursor(CursorShape shape) override { record("cursor", "", "", static_cast<int>(shape)); }
  InputEvents pumpEvents() override;
  void progressOpen(const std::string& caption) override { record("progress-open", caption, "", 0); }
  void progressSet(int position) override { record("progress", "", "", position); }
  void progressClose() override { record("progress-close", "", "", 0); }
  std::optional<std::string> chooseOpenFile(const std::string& title, const std::vector<FileFilter>& filters,
                                            const std::string& directory) override;
  std::optional<std::string> chooseSaveFile(const std::string& title, const std::vector<FileFilter>& filters,
                                            const std::string& directory) override;
  int runPanel(const std::string& name, PanelModel& model) override;
  void setStatusText(const std::string& text) override;
  void setTitle(const std::string& title) override;
  void repaint() override { record("repaint", "", "", 0); }

 private:
  struct Scheduled {
    std::uint32_t at_ms;
    InputEvents input;
    Action action;
  };
  void record(const std::string& kind, const std::string& caption, const std::string& text, int value);
  bool due(std::uint32_t at_ms) const;

  Clock& clock_;
  std::vector<UiCall> calls_;
  std::deque<MessageAnswer> message_answers_;
  std::deque<std::optional<std::string>> open_answers_;
  std::deque<std::optional<std::string>> save_answers_;
  std::map<std::string, std::deque<PanelScript>> panels_;
  std::vector<Scheduled> scheduled_;
  Action pump_hook_;
  std::size_t pump_count_ = 0;
  std::string status_;
  std::string title_;
};

}  // namespace qlm
