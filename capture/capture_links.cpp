#include "capture/capture_links.h"

namespace qlm {

CaptureLinks& captureLinks() {
  static CaptureLinks links;
  return links;
}

void resetCaptureLinks(CaptureLinks& links) {
  links = CaptureLinks{};
}

}  // namespace qlm
