#pragma once
#include <functional>
#include <string>

namespace qlm {

// Where the take-photo command meets subsystems that join it later (guiding; guide-star picking; the main
// window). Each hook starts as a no-op and is set by the subsystem that provides the step, so the sequence
// runs unchanged before and after it lands.
struct CaptureLinks {
  // Guiding during a guided exposure: start it (true when it runs), one step (true asks to stop),
  // whether it runs, close its window, and the AO correction after a single exposure.
  std::function<bool()> start_guided_exposure;
  std::function<bool()> guiding_step;
  std::function<bool()> guiding_running;
  std::function<void()> close_guiding_window;
  std::function<void()> ao_correction;
  // The guiding loop that started this command receives the frame.
  std::function<void()> hand_to_guiding;
  // End of a command: the main centroid back to the guide-window position, and the guiding reference
  // too when guider-camera guiding is not running.
  std::function<void()> restore_guide_position;

  // Panel status: guider camera detected, guider-camera guiding running, guide star picked on the
  // guider image.
  std::function<bool()> guider_detected;
  std::function<bool()> autoguiding_running;
  std::function<bool()> guide_star_picked;

  // Guide-star pick mode of the main window: read and switch.
  std::function<bool()> pick_mode;
  std::function<void(bool)> set_pick_mode;
  // Sends the "AutoGuider Camera" command to the main window.
  std::function<void()> open_autoguider;

  // Automatic processing of the frame (after its dark/flat history lines are written).
  std::function<void()> auto_process;
  // Saves the frame under the next autosave number; 0 on success.
  std::function<int()> autosave;

  // Observers: a frame was finished (displayed and saved), a focus exposure was shown.
  std::function<void()> frame_finished;
  std::function<void()> focus_exposed;
};

CaptureLinks& captureLinks();
// Back to no-ops; subsystems that provide a step set theirs again after a reset.
void resetCaptureLinks(CaptureLinks& links);

}  // namespace qlm
