#include "capture/capture_state.h"

namespace qlm {

CaptureSettings& captureSettings() {
  static CaptureSettings s;
  return s;
}

SequenceState& sequenceState() {
  static SequenceState s;
  return s;
}

void resetCaptureSettings(CaptureSettings& s) {
  s = CaptureSettings{};
}

void resetSequenceState(SequenceState& s) {
  s = SequenceState{};
}

std::uint32_t exposureMillis(char unit, int count) {
  const auto n = static_cast<std::uint32_t>(count < 0 ? 0 : count);
  switch (unit) {
    case 'h':
      return n * 10;
    case 'm':
      return n * 60000;
    case 't':
      return n * 100;
    case 'q':
      return n;
    default:
      return n * 1000;
  }
}

int progressSteps(char unit, int count) {
  if (unit == 's' && count >= 5 && count <= 12) return 6;
  if ((unit == 's' && count >= 13) || unit == 'm') return 20;
  return 2;
}

bool shortUnitExposure(char unit, std::uint32_t exposure_ms) {
  return unit == 'h' || unit == 't' || unit == 'q' || exposure_ms == 1000;
}

}  // namespace qlm
