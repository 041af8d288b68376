#pragma once
#include <functional>

#include "guiding/guider.h"

namespace qlm {

// What the take-photo command needs from the front end that runs it (the main window, the command-line
// tool, a test). Every member may be left empty.
struct CaptureFrontEnd {
  // Guide-star pick mode of the main window: read and switch (switched off for the command).
  std::function<bool()> pick_mode;
  std::function<void(bool)> set_pick_mode;
  // Sends the "AutoGuider Camera" command to the main window ("Go to Autoguider").
  std::function<void()> open_autoguider;
  // Observers: a frame was finished (displayed and saved), a focus exposure was shown.
  std::function<void()> frame_finished;
  std::function<void()> focus_exposed;
  // The guiding window and log of a guided exposure ("Autoguide Photo").
  GuidingView guiding;
  // A series that would stack on a star with none picked is refused once, before its first exposure
  // (the desktop program); otherwise it runs and each failed centroid pass shows its own box.
  bool refuse_stack_without_star = false;
};

}  // namespace qlm
