#include "support/sim_mount.h"

#include <algorithm>

#include "camera/readout.h"
#include "files/settings.h"
#include "guiding/guide_star.h"
#include "image/centroid.h"
#include "image/frame.h"

namespace qlm::test {

sim::SimOptions quietMount() {
  sim::SimOptions o = sim::defaultSimOptions();
  o.mount.pe_peak_to_peak_arcsec = 0.0;
  o.mount.drift_ra_arcsec_per_s = 0.0;
  o.mount.drift_dec_arcsec_per_s = 0.0;
  return o;
}

sim::SimOptions withSetting(const std::string& key_value) {
  sim::SimOptions o = sim::defaultSimOptions();
  EXPECT_EQ(sim::applySimSetting(o, key_value), "");
  return o;
}

void pickBrightestMainStar() {
  Frame& f = imageBuffers().CurrentFrame;
  ReadFullFrame(f, 1000);
  const auto at =
      static_cast<int>(std::max_element(f.begin(), f.begin() + kFrameWidth * kFrameHeight) - f.begin());
  setMainGuideStar(at % kFrameWidth, at / kFrameWidth);
  centroidState().working_radius = settings().mask_radius;
}

}  // namespace qlm::test
