#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/ao_unit.h"
#include "sim/mount.h"
#include "sim/sim_setup.h"

namespace qlm::sim {
namespace {

void feed(AOUnit& ao, const std::string& bytes, std::uint32_t at_ms) {
  ao.receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), at_ms);
}

TEST(SimAOUnit, ReadsItsCommandsAmongOtherBytesAndAnswersH) {
  Mount mount;
  AOUnit ao(AOConfig{}, &mount, 1.9);
  // The mount's texts share the port; a broken command is dropped; a command may arrive in pieces.
  feed(ao, "#:Me##:RG#GX00010GN0", 10);
  feed(ao, "0012H", 20);
  EXPECT_EQ(ao.commands(), (std::vector<std::string>{"GN00012", "H"}));
  EXPECT_EQ(ao.tiltYAt(15), 0);  // the tilt of an earlier moment stays what it was
  EXPECT_EQ(ao.tiltYAt(20), 12);
  std::uint8_t answer[4] = {};
  EXPECT_EQ(ao.reply(answer, 4, 30), 1u);
  EXPECT_EQ(answer[0], 'H');
  EXPECT_EQ(ao.reply(answer, 4, 30), 0u);

  feed(ao, "MS00750", 40);  // the unit moves the mount south by 7.5"
  EXPECT_EQ(ao.mountMoves(), 1);
  // The gears last turned north, so the 6" of Dec play is taken up first.
  EXPECT_NEAR(mount.axesAt(40).dec_arcsec, -1.5, 1e-9);
  feed(ao, "K", 50);
  EXPECT_EQ(ao.tiltYAt(50), 0);

  ao.setSilent(true);
  feed(ao, "GN00012H", 60);
  EXPECT_EQ(ao.tiltY(), 0);
  EXPECT_EQ(ao.reply(answer, 4, 60), 0u);
}

TEST(SimAOUnit, KeysSetTheUnitAndItsWiring) {
  SimOptions o = defaultSimOptions();
  EXPECT_EQ(applySimSetting(o, "ao_step_arcsec=1.5"), "");
  EXPECT_EQ(applySimSetting(o, "ao_travel_steps=80"), "");
  EXPECT_EQ(applySimSetting(o, "ao_relays=1"), "");
  EXPECT_EQ(applySimSetting(o, "fault.ao=silent"), "");
  EXPECT_NE(applySimSetting(o, "fault.ao=loud"), "");
  EXPECT_EQ(applySimSetting(o, "fault.ao=noecho"), "");
  EXPECT_TRUE(!o.ao.silent && !o.ao.echo);
  EXPECT_EQ(applySimSetting(o, "fault.ao=silent"), "");
  EXPECT_NE(applySimSetting(o, "ao_port=2"), "");
  EXPECT_EQ(o.ao.step_arcsec, 1.5);
  EXPECT_EQ(o.ao.travel_steps, 80);
  EXPECT_TRUE(o.ao.silent);
  EXPECT_NE(simHelpText().find("ao_travel_steps=150"), std::string::npos);

  o.ao.silent = false;
  SimSystem sim(o);
  sim.ao().relays(11, 0);  // north held for 100 ms: 100 steps, stopped at 80
  sim.ao().relays(15, 100);
  EXPECT_EQ(sim.ao().tiltY(), 80);
  EXPECT_EQ(sim.ao().stopsAtTravel(), 1);
  EXPECT_EQ(sim.ao().largestTilt(), 80);
}

}  // namespace
}  // namespace qlm::sim
