#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "camera/link.h"
#include "camera/readout.h"
#include "capture/capture_state.h"
#include "capture/ql_model.h"
#include "capture/sequence.h"
#include "files/settings.h"
#include "sim/sim_transport.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// Focus mode on the simulated camera: the panel shows HFR and FWHM of the bright star in the focus
// window after every focus exposure, and they follow the simulator's focus curve.
class FocusSharpnessTest : public ::testing::Test {
 protected:
  FocusSharpnessTest() {
    settings().show_interface_details = false;
    resetReadoutState(readoutState());
    resetSequenceState(sequenceState());
    FindCamera();
    panel.press(ql::kTenths);  // 0.2 s: the star stands 50 times or more above its noise
    panel.setValueText("2");
    panel.refresh();
  }

  // One focus exposure at a focuser position; the panel's HFR and FWHM.
  std::pair<double, double> focusAt(double steps) {
    camera.setFocuserPosition(steps);
    panel.focus_runner = [](QlModel& q) { runFocusMode(q, [&q] { q.press(ql::kFocusStop); }); };
    panel.press(ql::kFocusStart);
    EXPECT_FALSE(panel.view().hfr_text.empty());
    return {std::atof(panel.view().hfr_text.c_str()), std::atof(panel.view().fwhm_text.c_str())};
  }

  sim::SimTransport camera;
  test::TestPlatform p{&camera};
  QlModel panel;
};

TEST_F(FocusSharpnessTest, SmallestHfrAtTheBestFocusPositionAndFwhmOnTheCurve) {
  const sim::SkyRenderer sky(sim::SkyConfig{});
  const double best = sim::SkyConfig{}.best_focus_steps;
  double smallest = 1e9;
  double smallest_at = 0;
  for (double steps = best - 800; steps <= best + 800; steps += 200) {
    const auto [hfr, fwhm] = focusAt(steps);
    const double truth = sky.fwhmHeadPx(sim::mainHeadConfig(), steps);
    EXPECT_NEAR(fwhm, truth, 0.05 * truth) << steps;
    if (hfr < smallest) {
      smallest = hfr;
      smallest_at = steps;
    }
  }
  EXPECT_EQ(smallest_at, best);
}

}  // namespace
}  // namespace qlm
