#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "capture/capture_front_end.h"
#include "capture/capture_state.h"
#include "capture/ql_model.h"
#include "capture/sequence.h"
#include "files/settings.h"
#include "image/display.h"
#include "platform/platform.h"
#include "support/test_home.h"

namespace qlm::test {

// A camera that answers at once (after the delay of a camera-timed readout): every block is recorded with the
// clock time it was written, and every read delivers the asked number of bytes of one 16-bit value
// (little-endian).
class RecordingCamera final : public Transport {
 public:
  struct Block {
    std::uint32_t at_ms;
    std::vector<std::uint8_t> bytes;
    int command() const { return bytes.size() > 1 ? bytes[1] : -1; }
    int value() const { return bytes.size() > 3 ? bytes[2] | (bytes[3] << 8) : -1; }
  };

  DeviceList listDevices() override { return {true, {std::string("\\\\?\\usb#vid_04b4&pid_0115#1")}}; }
  std::optional<int> open(const std::string&) override { return 7; }
  IoResult write(const std::uint8_t* data, std::size_t n) override {
    blocks.push_back({platform().clock->millis(), std::vector<std::uint8_t>(data, data + n)});
    // A camera-timed readout answers when its delay has passed.
    if (n >= 22 && data[1] == kCmdReadoutDelayed) delay_ms_ = data[18] | (data[19] << 8);
    return {true, n, 0};
  }
  IoResult read(std::uint8_t* data, std::size_t n) override {
    waitMs(*platform().clock, delay_ms_);
    delay_ms_ = 0;
    for (std::size_t i = 0; i + 1 < n; i += 2) {
      data[i] = static_cast<std::uint8_t>(pixel & 0xFF);
      data[i + 1] = static_cast<std::uint8_t>(pixel >> 8);
    }
    if (n > 1000 && after_frame) after_frame();
    return {true, n, 0};
  }
  void close() override {}

  // Blocks of one command code (and value, when given).
  std::vector<Block> of(int command, int value = -1) const {
    std::vector<Block> out;
    for (const auto& b : blocks) {
      if (b.command() == command && (value < 0 || b.value() == value)) out.push_back(b);
    }
    return out;
  }
  // Readout blocks (commands 2 and 3) in order.
  std::vector<Block> readouts() const {
    std::vector<Block> out;
    for (const auto& b : blocks) {
      if (b.command() == kCmdReadoutDelayed || b.command() == kCmdReadoutNow) out.push_back(b);
    }
    return out;
  }
  // The clock time of the status request that follows the clears starting the n-th exposure.
  std::uint32_t exposureStart(std::size_t n = 0) const { return of(kCmdStatus).at(n).at_ms; }

  std::vector<Block> blocks;
  std::uint16_t pixel = 1000;
  std::function<void()> after_frame;  // runs after each frame-sized read

 private:
  std::uint32_t delay_ms_ = 0;
};

// The program on a virtual clock, the headless Ui and the recording camera, with the capture hooks
// back to no-ops after each test.
class CaptureTest : public ::testing::Test {
 protected:
  CaptureTest() {
    resetLinkState(linkState());
    resetReadoutState(readoutState());
    displayHooks() = DisplayHooks{};
    settings().show_interface_details = false;
    front.frame_finished = [this] { ++frames; };
  }
  ~CaptureTest() override {
    displayHooks() = DisplayHooks{};
    resetLinkState(linkState());
  }

  // What a front end gives the take-photo command; frame_finished counts `frames`.
  CaptureFrontEnd front;
  using PanelSetup = std::function<void(QlModel&)>;
  // Runs the take-photo command; the panel is set up by `setup` and closed with "Take Photo".
  void takePhoto(const PanelSetup& setup = {}) {
    p.ui.onPanel(kCameraPanelName, [setup](PanelModel& m) {
      auto& panel = dynamic_cast<QlModel&>(m);
      if (setup) setup(panel);
      return panel.press(ql::kTakePhoto);
    });
    takePhotoCommand(front);
  }
  // Chooses a unit by its range button and types the count into the value box.
  static PanelSetup exposure(int range_button, int count, const PanelSetup& more = {}) {
    return [=](QlModel& panel) {
      panel.press(range_button);
      panel.setValueText(std::to_string(count));
      if (more) more(panel);
    };
  }
  // Number of exposures set with the panel's arrow.
  static void setExposures(QlModel& panel, int n) {
    while (captureSettings().exposures < n)
      panel.scroll(ql::kExposuresScroll, ScrollAction::LineDown);
  }

  RecordingCamera camera;
  TestPlatform p{&camera};
  int frames = 0;  // frames finished (displayed, and saved when autosave is on)
};

}  // namespace qlm::test
