// A camera that fails in the middle of a capture: every way it can fail, at every transfer of an
// exposure, on the simulator. No frame that was not read whole is shown or saved, each failure is
// reported once, and a camera that went away is found again by the next command.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "camera/link.h"
#include "capture/capture_state.h"
#include "capture/ql_model.h"
#include "capture/sequence.h"
#include "files/settings.h"
#include "sim/sim_transport.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using Fault = sim::SimTransport::TransferFault;

std::string readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CameraFailureTest : public ::testing::Test {
 protected:
  CameraFailureTest() {
    resetLinkState(linkState());
    settings().show_interface_details = false;
  }
  ~CameraFailureTest() override { resetLinkState(linkState()); }

  std::filesystem::path saved(int n) const {
    return p.paths().autosaveDir() / ("IMG" + std::to_string(n) + ".FIT");
  }
  // One autosaved capture of unit/count (the camera times 't' 5 itself; 's' 3 is waited for).
  void capture(int range_button, int count, bool continuous = false) {
    p.ui.onPanel(kCameraPanelName, [=](PanelModel& m) {
      auto& panel = dynamic_cast<QlModel&>(m);
      panel.press(range_button);
      panel.setValueText(std::to_string(count));
      if (captureSettings().auto_save != true) panel.press(ql::kAutoSave);
      if (captureSettings().continuous != continuous) panel.press(ql::kContinuous);
      return panel.press(ql::kTakePhoto);
    });
    takePhotoCommand(front);
  }
  // True when some sensor row of autosaved file `n` holds the same bytes as in file `m`.
  bool sharesARow(int n, int m) const {
    const std::string a = readAll(saved(n));
    const std::string b = readAll(saved(m));
    constexpr std::size_t kData = 5760;
    constexpr std::size_t kRow = 1320;
    for (std::size_t row = 6; row < 500; ++row) {
      if (a.compare(kData + row * kRow, kRow, b, kData + row * kRow, kRow) == 0) return true;
    }
    return false;
  }

  sim::SimTransport sim;
  test::TestPlatform p{&sim};
  CaptureFrontEnd front;
};

class FaultSweepTest : public CameraFailureTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FaultSweepTest, EveryTransferOfAnExposure) {
  // How many transfers one exposure takes, from a clean run.
  capture(ql::kSeconds, 3);
  ASSERT_TRUE(std::filesystem::exists(saved(1)));
  const std::uint64_t before = sim.transfers();
  capture(ql::kSeconds, 3);
  const std::uint64_t per_exposure = sim.transfers() - before;
  ASSERT_GE(per_exposure, 6u);

  for (std::uint64_t k = 0; k < per_exposure; ++k) {
    SCOPED_TRACE("fault at transfer " + std::to_string(k) + " of " + std::to_string(per_exposure));
    const int last = settings().autosave_counter;
    sim.setUnplugged(false);
    p.ui.clearCalls();
    sim.faultAtTransfer(sim.transfers() + k, GetParam());
    capture(ql::kSeconds, 3);
    const auto messages = p.ui.messageTexts();
    const bool failed = sequenceState().readout_failed;
    EXPECT_LE(messages.size(), 1u);
    EXPECT_EQ(sim.relayValue(), 0);
    if (failed) {
      EXPECT_EQ(messages.size(), 1u);
      EXPECT_EQ(settings().autosave_counter, last) << "a frame not read was saved";
    } else {
      ASSERT_EQ(settings().autosave_counter, last + 1);
      EXPECT_FALSE(sharesARow(last + 1, last)) << "stale rows in a saved frame";
    }
    if (GetParam() == Fault::Unplug) {
      EXPECT_TRUE(failed);
      EXPECT_EQ(linkState().camera_present, 0);
    }
    if (GetParam() != Fault::Unplug) {
      EXPECT_EQ(linkState().camera_present, 1);
    }
  }
  // The camera plugged back in is found by the next command without a restart.
  sim.setUnplugged(false);
  const int last = settings().autosave_counter;
  capture(ql::kTenths, 5);
  EXPECT_EQ(linkState().camera_present, 1);
  EXPECT_EQ(settings().autosave_counter, last + 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultSweepTest, ::testing::Values(Fault::Fail, Fault::Short, Fault::Unplug),
                         [](const auto& info) {
                           return std::string(info.param == Fault::Fail    ? "Fail"
                                              : info.param == Fault::Short ? "Short"
                                                                           : "Unplug");
                         });

// Unplugged at 9 s of a continuous capture with autosave: one message, the capture ends, the files
// saved before are distinct frames, and the next capture finds the camera again.
TEST_F(CameraFailureTest, UnplugDuringContinuousCaptureEndsItWithOneMessage) {
  p.ui.scheduleAction(9000, [this] { sim.setUnplugged(true); });
  capture(ql::kSeconds, 1, true);
  EXPECT_EQ(p.ui.messageTexts().size(), 1u);
  EXPECT_EQ(linkState().camera_present, 0);
  const int kept = settings().autosave_counter;
  ASSERT_GE(kept, 2);
  for (int n = 2; n <= kept; ++n)
    EXPECT_FALSE(sharesARow(n, n - 1)) << n;
  sim.setUnplugged(false);
  p.ui.scheduleKeyPress(p.clock.millis() + 5000);
  capture(ql::kSeconds, 1, true);
  EXPECT_GT(settings().autosave_counter, kept);
}

// Focus mode ends at the first failure instead of repeating it.
TEST_F(CameraFailureTest, FocusModeEndsAtTheFirstFailure) {
  int exposures = 0;
  front.focus_exposed = [&] { ++exposures; };
  p.ui.scheduleAction(4000, [this] { sim.setUnplugged(true); });
  p.ui.onPanel(kCameraPanelName, [](PanelModel& m) {
    auto& panel = dynamic_cast<QlModel&>(m);
    panel.press(ql::kSeconds);
    panel.setValueText("3");
    panel.press(ql::kFocusStart);
    return panel.press(ql::kCancel);
  });
  takePhotoCommand(front);
  EXPECT_GE(exposures, 1);
  EXPECT_LT(p.clock.millis(), 20000u);
  EXPECT_EQ(p.ui.messageTexts().size(), 1u);
  EXPECT_TRUE(sequenceState().readout_failed);
}

}  // namespace
}  // namespace qlm
