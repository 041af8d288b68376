#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_setup.h"
#include "support/test_home.h"

namespace qlm::test {

using Commands = std::vector<std::string>;

// The default simulator with one setting changed ("KEY=VALUE", as --sim takes it).
sim::SimOptions withSetting(const std::string& key_value);

// The default simulator with a mount that moves only when told: no periodic error, no drift.
sim::SimOptions quietMount();

// Reads a full frame from the camera and makes its brightest pixel the main guide star, with the mask
// radius as the working radius, as arming "Pick Guide Star" and clicking on the star do.
void pickBrightestMainStar();

// A test on the simulated camera and quiet mount, with the virtual clock and headless Ui installed
// over it. `options` chooses other simulator settings.
class SimMountTest : public ::testing::Test {
 protected:
  explicit SimMountTest(const sim::SimOptions& options = quietMount()) : sim(options) {}
  std::uint32_t now() { return platform.clock.millis(); }

  sim::SimSystem sim;
  TestPlatform platform{&sim.transport()};
  sim::Mount& mount = sim.mount();
};

}  // namespace qlm::test
