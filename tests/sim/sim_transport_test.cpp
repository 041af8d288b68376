#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "sim/filter_wheel.h"
#include "sim/sim_transport.h"
#include "support/test_home.h"

namespace qlm::sim {
namespace {

std::size_t at(int row, int col) {
  return static_cast<std::size_t>(row) * kFrameWidth + static_cast<std::size_t>(col);
}

// A serial device that answers every read with a fixed text and remembers what it heard.
class TextDevice final : public SerialDevice {
 public:
  explicit TextDevice(std::string answer) : answer_(std::move(answer)) {}
  void receive(const std::uint8_t* data, std::size_t n, std::uint32_t) override {
    heard.append(data, data + n);
  }
  std::size_t reply(std::uint8_t* out, std::size_t n, std::uint32_t) override {
    const std::size_t count = std::min(n, answer_.size());
    std::copy_n(answer_.begin(), count, out);
    return count;
  }
  std::string heard;

 private:
  std::string answer_;
};

class RelayRecorder final : public RelayDevice {
 public:
  void relays(std::uint16_t value, std::uint32_t at_ms) override { seen.emplace_back(value, at_ms); }
  std::vector<std::pair<std::uint16_t, std::uint32_t>> seen;
};

class SimCameraTest : public ::testing::Test {
 protected:
  SimCameraTest() {
    settings().show_interface_details = false;
    FindCamera();
  }
  SimTransport sim;
  test::TestPlatform platform{&sim};
  Frame& frame = imageBuffers().CurrentFrame;

  // Starts a main exposure as a capture does and waits `ms` on the clock when beyond 1000.
  void exposeMain(std::uint32_t ms) {
    ClearSensor(kClearFlush, kMainHead);
    ClearSensor(kClearStart, kMainHead);
    StatusPoll();
    if (ms > kCameraTimedMaxMs) waitMs(*qlm::platform().clock, ms);
  }
  // Sum of (value - bias) over the sensor rows of the frame.
  double signal() const {
    double s = 0.0;
    for (std::size_t i = at(6, 0); i < static_cast<std::size_t>(kFrameElements); ++i)
      s += frame[i] - sim.config().main_head.bias_adu;
    return s;
  }
};

TEST_F(SimCameraTest, DiscoveryFindsTheSimulatedCamera) {
  EXPECT_EQ(linkState().camera_present, 1);
  EXPECT_STREQ(linkState().pid_text.data(), "0115");
  EXPECT_TRUE(sim.isOpen());
  EXPECT_TRUE(platform.ui.messageTexts().empty());
}

TEST(SimDiscoveryTest, UnpluggedRefusedAndUnopenableDevices) {
  SimTransport sim;
  test::TestPlatform platform{&sim};
  sim.setUnplugged(true);
  EXPECT_EQ(FindCamera(), 0);
  sim.setUnplugged(false);
  sim.setEnumerationRefused(true);
  FindCamera();
  sim.setEnumerationRefused(false);
  sim.setOpenRefused(true);
  FindCamera();
  EXPECT_EQ(platform.ui.messageTexts(),
            (std::vector<std::string>{"USB ZADUZ device not found", "Could not attach to PnP node",
                                      "Could not open HID device"}));
  EXPECT_EQ(linkState().camera_present, 0);
}

TEST_F(SimCameraTest, FullFrameIsAStarField) {
  exposeMain(2000);
  ReadFullFrame(frame, 2000);
  EXPECT_TRUE(
      std::all_of(frame.begin(), frame.begin() + static_cast<long>(at(6, 0)), [](auto v) { return v == 0; }));
  std::vector<std::uint16_t> sensor(frame.begin() + static_cast<long>(at(6, 0)),
                                    frame.begin() + kFrameElements);
  std::sort(sensor.begin(), sensor.end());
  const double bias = sim.config().main_head.bias_adu;
  const int median = sensor[sensor.size() / 2];
  EXPECT_GT(median, bias);
  EXPECT_LT(median, bias + 200);  // a dark sky
  const auto bright = std::count_if(sensor.begin(), sensor.end(), [&](auto v) { return v > median + 2000; });
  EXPECT_GT(bright, 100);  // stars and hot pixels
  EXPECT_LT(bright, 10000);
}

TEST_F(SimCameraTest, ExposureRunsFromTheStartingClearToTheReadout) {
  exposeMain(3000);
  ReadFullFrame(frame, 3000);
  const ExposureRecord& e = sim.lastExposure(0);
  EXPECT_GE(e.exposure_ms, 3000u);
  EXPECT_LE(e.exposure_ms, 3004u);
  EXPECT_EQ(e.width, 660);
  EXPECT_EQ(e.hbin, 1);

  // Up to 1000 ms the camera waits the delay field itself.
  exposeMain(700);
  ReadBinnedFrame(frame, 700);
  EXPECT_GE(sim.lastExposure(0).exposure_ms, 700u);
  EXPECT_LE(sim.lastExposure(0).exposure_ms, 704u);
  EXPECT_EQ(sim.lastExposure(0).hbin, 2);
}

TEST_F(SimCameraTest, ReadoutTakesPlausibleTime) {
  exposeMain(100);
  const std::uint32_t t0 = platform.clock.millis();
  ReadFullFrame(frame, 100);
  const std::uint32_t full = platform.clock.millis() - t0;
  EXPECT_GT(full, 1000u);  // 326,040 pixels at a few microseconds each
  EXPECT_LT(full, 3000u);
  const std::uint32_t t1 = platform.clock.millis();
  ReadBinnedFrame(frame, 100);
  EXPECT_LT(platform.clock.millis() - t1, full / 2);
}

TEST_F(SimCameraTest, LongerExposureCollectsMoreLight) {
  exposeMain(1000);
  ReadFullFrame(frame, 1000);
  const double one_second = signal();
  exposeMain(4000);
  ReadFullFrame(frame, 4000);
  const double four_seconds = signal();
  EXPECT_GT(four_seconds, 3.0 * one_second);
  EXPECT_LT(four_seconds, 5.0 * one_second);
}

TEST_F(SimCameraTest, BinnedFrameShowsTheSameStarsBrighter) {
  exposeMain(500);
  ReadFullFrame(frame, 500);
  const Frame full = frame;
  exposeMain(500);
  ReadBinnedFrame(frame, 500);
  // The bright star near the focus window centre (sky 330.3, 249.6; frame row 255).
  const auto peak_near = [](const Frame& f) {
    std::uint16_t best = 0;
    for (int r = 250; r <= 260; ++r)
      for (int c = 325; c <= 335; ++c)
        best = std::max(best, f[at(r, c)]);
    return best;
  };
  EXPECT_GT(peak_near(frame), peak_near(full));
  EXPECT_EQ(frame[at(5, 100)], frame[at(6, 100)] / 2);
  EXPECT_EQ(frameState().binning_indicator, 2);
}

TEST_F(SimCameraTest, FocusPeakIsHighestAtBestFocus) {
  std::vector<int> peaks;
  for (double steps : {4200.0, 4600.0, 5000.0, 5400.0}) {
    sim.setFocuserPosition(steps);
    FocusExposure('t', 3, frame.data());
    peaks.push_back(readoutState().PeakValue);
  }
  EXPECT_LT(peaks[0], peaks[1]);
  EXPECT_LT(peaks[1], peaks[2]);
  EXPECT_GT(peaks[2], peaks[3]);
  EXPECT_EQ(sim.lastExposure(0).width, 128);
}

TEST_F(SimCameraTest, GuiderExposureIsTimedFromTheSecondClear) {
  GuiderExposure('t', 10, imageBuffers().GuiderFrames[0], GuiderProcessing{});
  const ExposureRecord& e = sim.lastExposure(1);
  EXPECT_GE(e.exposure_ms, 1000u);
  EXPECT_LE(e.exposure_ms, 1003u);
  EXPECT_EQ(e.width, 500);
  const ReadoutState& r = readoutState();
  EXPECT_GE(r.guider_background_bin, 8);
  EXPECT_LE(r.guider_background_bin, 12);
  EXPECT_GT(r.guider_top_bin, r.guider_background_bin + 10);  // stars stand out
  const GuiderFrame& g = imageBuffers().GuiderFrames[0];
  EXPECT_TRUE(std::all_of(g.begin(), g.begin() + kGuiderElements, [](auto v) { return (v & 0xFF) == 0; }));
}

TEST_F(SimCameraTest, SameCommandsGiveTheSameFrames) {
  exposeMain(1500);
  ReadFullFrame(frame, 1500);
  const Frame first = frame;

  SimTransport other;
  test::TestPlatform other_platform{&other};
  settings().show_interface_details = false;
  FindCamera();
  exposeMain(1500);
  ReadFullFrame(imageBuffers().CurrentFrame, 1500);
  EXPECT_EQ(imageBuffers().CurrentFrame, first);
}

// --- serial ports and relays ----------------------------------------------------------------------

TEST_F(SimCameraTest, FilterWheelTurnsOnItsPort) {
  FilterWheel wheel;
  sim.attachSerial(1, wheel);
  MoveFilterWheel(3);
  EXPECT_EQ(wheel.position(), 3);
  settings().auto_advance_when_imaging = true;
  readoutState().filter_position = 7;
  exposeMain(200);
  ReadFullFrame(frame, 200);
  EXPECT_EQ(wheel.position(), 1);
  EXPECT_EQ(wheel.moves(), (std::vector<int>{3, 1}));
}

TEST(FilterWheelTest, IgnoresWhatIsNotItsMessage) {
  FilterWheel wheel;
  const std::uint8_t lx200[] = {'#', ':', 'Q', '#'};
  const std::uint8_t bad_sum[] = {0xA5, 0x01, 0x04, 0xAB};
  const std::uint8_t eight[] = {0xA5, 0x01, 0x08, 0xAE};
  wheel.receive(lx200, 4, 0);
  wheel.receive(bad_sum, 4, 0);
  wheel.receive(eight, 4, 0);
  EXPECT_EQ(wheel.position(), 1);
  EXPECT_TRUE(wheel.moves().empty());
}

TEST_F(SimCameraTest, SerialReadsAreAnsweredByTheDeviceOnThePort) {
  TextDevice mount("12:34:56#rest");
  sim.attachSerial(2, mount);
  SerialWrite(2, "#:GR#", 5);
  SerialRead(2, 33);
  EXPECT_EQ(mount.heard, "#:GR#");
  EXPECT_STREQ(replyText(), "12:34:56");
  SerialRead(1, 33);  // nobody on port 1: zeros
  EXPECT_STREQ(replyText(), "");
}

TEST_F(SimCameraTest, RelayCommandsReachTheRelaySocket) {
  RelayRecorder socket;
  sim.attachRelays(socket);
  SetGuideRelays(kRelayNorth);
  const std::uint32_t t = platform.clock.millis();
  SetGuideRelays(0);
  EXPECT_EQ(sim.relayValue(), 0);
  ASSERT_EQ(socket.seen.size(), 2u);
  EXPECT_EQ(socket.seen[0].first, kRelayNorth);
  EXPECT_EQ(socket.seen[1].second, t + sim.config().command_ms);
}

TEST_F(SimCameraTest, EveryReceivedBlockIsLoggedWithItsTime) {
  sim.clearReceived();
  const std::uint32_t t0 = platform.clock.millis();
  ClearSensor(kClearFlush, kMainHead);
  SetGuideRelays(kRelayEast);
  ASSERT_EQ(sim.received().size(), 2u);
  EXPECT_EQ(sim.received()[0].bytes, (std::vector<std::uint8_t>{0x40, 0x01, 0x08, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sim.received()[0].at_ms, t0 + 1);
  EXPECT_EQ(sim.received()[1].bytes[2], kRelayEast);
}

// --- faults ---------------------------------------------------------------------------------------

TEST_F(SimCameraTest, FailedWriteIsReportedAndNotReceived) {
  sim.clearReceived();
  sim.failWrites(1);
  ClearSensor(kClearStart, kMainHead);
  ClearSensor(kClearStart, kMainHead);
  EXPECT_EQ(platform.ui.messageTexts(),
            std::vector<std::string>{"Could not write ZADUZ Output - try rebooting USB device"});
  EXPECT_EQ(sim.received().size(), 1u);
  EXPECT_EQ(sim.failedWrites(), 1);
}

TEST_F(SimCameraTest, FailedOrShortReadsLeaveTheFrameAsItWas) {
  exposeMain(300);
  ASSERT_TRUE(ReadFullFrame(frame, 300));
  const Frame good = frame;

  exposeMain(300);
  sim.failReads(1, -7);
  EXPECT_FALSE(ReadFullFrame(frame, 300));
  EXPECT_EQ(platform.ui.messageTexts().back(), "Error -7 trying to read ZADUZ data from USB\n");

  exposeMain(300);
  sim.shortenNextRead(1320);
  EXPECT_FALSE(ReadFullFrame(frame, 300));
  EXPECT_EQ(linkState().bytes_read, 1320u);
  EXPECT_EQ(platform.ui.messageTexts().back(), "Short read from ZADUZ USB device: 1320 of 652080 bytes\n");
  EXPECT_TRUE(frame == good);
  EXPECT_EQ(sim.drains(), 2);
}

TEST_F(SimCameraTest, UnpluggedCameraIsReportedOnceAndLookedForAgain) {
  sim.setUnplugged(true);
  EXPECT_FALSE(GuiderExposure('h', 5, imageBuffers().GuiderFrames[0], GuiderProcessing{}));
  EXPECT_EQ(platform.ui.messageTexts(),
            std::vector<std::string>{"Could not write ZADUZ Output - try rebooting USB device"});
  EXPECT_EQ(linkState().camera_present, 0);
  EXPECT_FALSE(sim.isOpen());
  sim.setUnplugged(false);
  FindCamera();
  EXPECT_TRUE(GuiderExposure('h', 5, imageBuffers().GuiderFrames[0], GuiderProcessing{}));
}

// A day of guiding sends millions of blocks: the device keeps only the latest in its log.
TEST_F(SimCameraTest, TheLogOfReceivedBlocksIsBounded) {
  for (std::size_t i = 0; i < 3 * SimTransport::kReceivedLogBlocks; ++i)
    SetGuideRelays(static_cast<std::uint16_t>(i & 0xF));
  EXPECT_LE(sim.received().size(), SimTransport::kReceivedLogBlocks);
  EXPECT_EQ(sim.received().back().bytes[2], (3 * SimTransport::kReceivedLogBlocks - 1) & 0xF);
}

TEST_F(SimCameraTest, NonsenseBlocksNeverCrashTheDevice) {
  // Deterministic junk of every length up to the block size, then reads of every shape.
  std::uint32_t x = 12345;
  std::vector<std::uint8_t> junk(64);
  for (std::size_t n = 0; n <= 64; ++n) {
    for (auto& byte : junk) {
      x = x * 1664525u + 1013904223u;
      byte = static_cast<std::uint8_t>(x >> 24);
    }
    if (n >= 2) junk[0] = 0x40;
    if (n >= 2) junk[1] = static_cast<std::uint8_t>(n % 12);
    sim.write(junk.data(), n);
    std::vector<std::uint8_t> in(64);
    sim.read(in.data(), in.size());
  }
  // A readout asking for more than any buffer, and one of zero width.
  linkState().command_block.fill(0);
  ReadoutWindow huge;
  huge.width = 65535;
  huge.height = 65535;
  SendBlock(buildReadoutBlock(linkState(), huge, 2000, false));
  ReadReply(100);
  ReadoutWindow empty;
  SendBlock(buildReadoutBlock(linkState(), empty, 2000, false));
  ReadReply(100);
  EXPECT_EQ(platform.ui.messageTexts().size(), 2u);  // two read time-outs, nothing worse
}

}  // namespace
}  // namespace qlm::sim
