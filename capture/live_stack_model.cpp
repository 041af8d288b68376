#include "capture/live_stack_model.h"

#include <cstdio>
#include <memory>

#include "capture/capture_state.h"
#include "files/fits_details.h"
#include "files/fits_image.h"
#include "files/fits_writer.h"
#include "files/tiff.h"

namespace qlm {

void LiveStackModel::start() {
  stack_.reset();
  frames_ = 0;
  last_.clear();
  seconds_ = 0.0;
}

LiveStack::Verdict LiveStackModel::addFrame(const Frame& frame, std::optional<std::pair<int, int>> star) {
  ++frames_;
  const LiveStack::Verdict v = stack_.add(frame.data(), star);
  char text[96];
  if (v.added) {
    seconds_ += 0.001 * sequenceState().exposure_ms;
    std::snprintf(text, sizeof text, "frame %d: added, hfr %.2f", frames_, v.hfr);
  } else {
    std::snprintf(text, sizeof text, "frame %d: rejected: %s", frames_, v.reason.c_str());
  }
  last_ = text;
  return v;
}

std::string LiveStackModel::statusText() const {
  char text[160];
  std::snprintf(text, sizeof text, "Frames: %d   Rejected: %d   SNR: %.1f", stack_.added(), stack_.rejected(),
                stack_.snr());
  return last_.empty() ? std::string(text) : std::string(text) + "   (" + last_ + ")";
}

bool LiveStackModel::save(const std::filesystem::path& path, LiveStackFormat format) const {
  FitsDetails details = fitsDetails();
  details.exposureSeconds = seconds_;
  if (format == LiveStackFormat::FloatFits)
    return writeFloatFits(path, stack_.mean().data(), kFrameWidth, kFrameHeight, details, historyList());
  auto frame = std::make_unique<Frame>();
  frame->fill(0);
  if (format == LiveStackFormat::Tiff) {
    const std::vector<std::uint8_t> bytes = picture();
    for (std::size_t i = 0; i < bytes.size(); ++i)
      (*frame)[i] = static_cast<std::uint16_t>(bytes[i] * 257);  // the TIFF keeps each element's high byte
    return writeTiffFile(path, *frame);
  }
  stack_.toFrame(*frame);
  // The program's writer takes the exposure from the program-wide details.
  FitsDetails& program = fitsDetails();
  const double kept = program.exposureSeconds;
  program.exposureSeconds = seconds_;
  const int result =
      writeFitsFile(path, *frame, details.object, details.observer, details.dateObs, details.telescope,
                    details.instrument, details.commentText, details.historyText, false);
  program.exposureSeconds = kept;
  return result == 0;
}

}  // namespace qlm
