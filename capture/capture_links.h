#pragma once
#include <functional>

#include "guiding/guider.h"

namespace qlm {

// Steps of the take-photo command whose subsystems are still to come. Each
// starts as a no-op, so the sequence runs unchanged before they land; the program-wide reset puts them
// back to no-ops.
struct CaptureLinks {
  // The guiding loop that started this command receives the frame.
  std::function<void()> hand_to_guiding;
  // End of a command: the main centroid back to the guide-window position, and the guiding reference
  // too when guider-camera guiding is not running.
  std::function<void()> restore_guide_position;

  // Panel status: guider camera detected.
  std::function<bool()> guider_detected;
};

CaptureLinks& captureLinks();
// Back to no-ops.
void resetCaptureLinks(CaptureLinks& links);

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
};

}  // namespace qlm
