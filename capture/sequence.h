#pragma once
#include <cstdint>
#include <functional>

#include "capture/capture_front_end.h"

namespace qlm {

class QlModel;

// Captions of the progress window during a sequence.
inline constexpr const char* kPhotoTitle = "PK Camera Image";

// The take-photo command (Ctrl+Z): finds the camera on first use, shows the camera control panel and,
// when it closes with "Take Photo", runs the whole exposure sequence: countdown, exposures, readouts,
// corrections, display, autosave, series and continuous repetition. Returns when the sequence ends.
// `front` connects the command to the front end running it (pick mode, the autoguider panel, observers).
void takePhotoCommand(const CaptureFrontEnd& front = {});

// Pumps window events for `seconds`; a key press or a left or right button press beeps and ends the
// wait at once. Returns 1 when it was ended that way, else 0.
int InterruptibleWait(int seconds);

// Delivers pending window events. A key or button press beeps and ends the sequence: in mode 1
// (during an exposure) the exposure ends without a readout, in mode 0 after the frame in hand.
// Returns true when a press was seen.
bool AbortPump(int mode);

// Focus mode ("Start" on the panel): repeated 128 x 128 exposures with their peak value until "Stop",
// a closing button or a left click. Does nothing with minutes or a count of 100 or more. `on_exposure`
// runs after each exposure is shown.
void runFocusMode(QlModel& panel, const std::function<void()>& on_exposure = {});

// Focus mode's "Autochange Exposure": from the peak of the last focus exposure, doubles or halves the
// exposure and rewrites the unit and count in the largest unit that fits.
void applyAutochange(std::uint16_t peak);

}  // namespace qlm
