#pragma once
#include <functional>

#include "platform/ui.h"

namespace qlm {

// The rules of the "Stretch Display" dialog: the "Activate" box (max palette stretch on/off) and the
// "Stretch Display Power " scroll bar, 2-50. Every change is stored at once and the display refreshed.
class MaxModel : public PanelModel {
 public:
  static constexpr const char* kPanelName = "TMaxDialog";
  static constexpr int kMinPower = 2;
  static constexpr int kMaxPower = 50;

  // `active` and `power` are the live settings the dialog edits; `refresh` redraws the main window.
  MaxModel(bool& active, double& power, std::function<void()> refresh);

  bool active() const { return active_; }
  int power() const { return static_cast<int>(power_); }

  void toggleActivate();
  void lineUp();             // subtracts 1 while above 2
  void lineDown();           // adds 1 while below 50
  void pageUp();             // 2
  void pageDown();           // 50
  void thumb(int position);  // dragging: the thumb position, kept within 2-50

 private:
  void changed();

  bool& active_;
  double& power_;
  std::function<void()> refresh_;
};

}  // namespace qlm
