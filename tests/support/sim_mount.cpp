#include "support/sim_mount.h"

namespace qlm::test {

sim::SimOptions quietMount() {
  sim::SimOptions o = sim::defaultSimOptions();
  o.mount.pe_peak_to_peak_arcsec = 0.0;
  o.mount.drift_ra_arcsec_per_s = 0.0;
  o.mount.drift_dec_arcsec_per_s = 0.0;
  return o;
}

}  // namespace qlm::test
