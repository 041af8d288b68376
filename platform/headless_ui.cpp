#include "platform/headless_ui.h"

#include <algorithm>

namespace qlm {

namespace {
MessageAnswer firstButton(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
      return MessageAnswer::Ok;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
      return MessageAnswer::Yes;
  }
  return MessageAnswer::Ok;
}
}  // namespace

void HeadlessUi::record(const std::string& kind, const std::string& caption, const std::string& text,
                        int value) {
  calls_.push_back(UiCall{kind, caption, text, value, clock_.millis()});
}

bool HeadlessUi::due(std::uint32_t at_ms) const {
  // Wrapping comparison: due when `at_ms` is not ahead of now by less than half the clock's range.
  return static_cast<std::int32_t>(clock_.millis() - at_ms) >= 0;
}

void HeadlessUi::scheduleKeyPress(std::uint32_t at_ms) {
  InputEvents e;
  e.key = true;
  scheduled_.push_back({at_ms, e, nullptr});
}

void HeadlessUi::scheduleMousePress(std::uint32_t at_ms, bool right_button) {
  InputEvents e;
  (right_button ? e.right_button : e.left_button) = true;
  scheduled_.push_back({at_ms, e, nullptr});
}

void HeadlessUi::scheduleAction(std::uint32_t at_ms, Action action) {
  scheduled_.push_back({at_ms, {}, std::move(action)});
}

InputEvents HeadlessUi::pumpEvents() {
  ++pump_count_;
  InputEvents delivered;
  // Deliver in time order; an action may schedule further items, so take the due ones out first.
  std::stable_sort(scheduled_.begin(), scheduled_.end(),
                   [](const Scheduled& a, const Scheduled& b) { return a.at_ms < b.at_ms; });
  std::vector<Scheduled> now;
  auto it = std::stable_partition(scheduled_.begin(), scheduled_.end(),
                                  [this](const Scheduled& s) { return !due(s.at_ms); });
  now.assign(std::make_move_iterator(it), std::make_move_iterator(scheduled_.end()));
  scheduled_.erase(it, scheduled_.end());
  for (auto& s : now) {
    delivered |= s.input;
    if (s.action) s.action();
  }
  if (pump_hook_) pump_hook_();
  return delivered;
}

MessageAnswer HeadlessUi::messageBox(const std::string& caption, const std::string& text,
                                     MessageButtons buttons, MessageIcon icon) {
  record("message", caption, text, 0);
  calls_.back().buttons = buttons;
  calls_.back().icon = icon;
  if (message_answers_.empty()) return firstButton(buttons);
  MessageAnswer a = message_answers_.front();
  message_answers_.pop_front();
  return a;
}

std::optional<std::string> HeadlessUi::chooseOpenFile(const std::string& title,
                                                      const std::vector<FileFilter>& filters,
                                                      const std::string& directory) {
  record("open-file", title, directory, static_cast<int>(filters.size()));
  if (open_answers_.empty()) return std::nullopt;
  auto a = std::move(open_answers_.front());
  open_answers_.pop_front();
  return a;
}

std::optional<std::string> HeadlessUi::chooseSaveFile(const std::string& title,
                                                      const std::vector<FileFilter>& filters,
                                                      const std::string& directory) {
  record("save-file", title, directory, static_cast<int>(filters.size()));
  if (save_answers_.empty()) return std::nullopt;
  auto a = std::move(save_answers_.front());
  save_answers_.pop_front();
  return a;
}

int HeadlessUi::runPanel(const std::string& name, PanelModel& model) {
  int result = kPanelCancel;
  auto it = panels_.find(name);
  if (it != panels_.end() && !it->second.empty()) {
    PanelScript script = std::move(it->second.front());
    it->second.pop_front();
    result = script(model);
  }
  record("panel", name, "", result);
  return result;
}

void HeadlessUi::setStatusText(const std::string& text) {
  status_ = text;
  record("status", "", text, 0);
}

void HeadlessUi::setTitle(const std::string& title) {
  title_ = title;
  record("title", "", title, 0);
}

std::vector<UiCall> HeadlessUi::callsOf(const std::string& kind) const {
  std::vector<UiCall> out;
  for (const auto& c : calls_) {
    if (c.kind == kind) out.push_back(c);
  }
  return out;
}

std::vector<std::string> HeadlessUi::messageTexts() const {
  std::vector<std::string> out;
  for (const auto& c : calls_) {
    if (c.kind == "message") out.push_back(c.text);
  }
  return out;
}

std::size_t HeadlessUi::beepCount() const {
  return static_cast<std::size_t>(
      std::count_if(calls_.begin(), calls_.end(), [](const UiCall& c) { return c.kind == "beep"; }));
}

}  // namespace qlm
