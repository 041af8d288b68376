#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/settings.h"
#include "guiding/ao_unit.h"
#include "guiding/guide_log.h"
#include "guiding/guider.h"
#include "guiding/main_guider.h"
#include "guiding/telescope.h"
#include "image/frame.h"
#include "sim/sim_setup.h"
#include "support/sim_mount.h"
#include "support/test_home.h"

namespace qlm {
namespace {

// One guider-camera guiding run on a fresh simulator, with the telescope ('T') or the AO unit ('A').
struct GuideRun {
  explicit GuideRun(char device, const sim::SimOptions& o = sim::defaultSimOptions()) : sim(o) {
    settings().show_interface_details = false;
    settings().drive_method = 'b';
    settings().guider_ra_rate = 2;  // the simulated mount's guide rate on the guider, pixels per second
    settings().guider_dec_rate = 2;
    settings().guide_device = device;
    FindCamera();
    SelectTelescopePort();
    GuiderExposure('s', 1, imageBuffers().GuiderFrames[0], GuiderProcessing{});
    star = brightestGuiderStar(imageBuffers().GuiderFrames[0], settings().mask_radius);
    view.log_path = (platform.paths().root() / "run.csv").string();
    view.truth = [this]() -> std::optional<std::pair<double, double>> {
      const sim::ExposureRecord& e = sim.transport().lastExposure(1);
      return std::make_pair(e.pointing_x_px, e.pointing_y_px);
    };
    view.frame_done = [this](const GuideFrameRecord&) {
      if (platform.clock.millis() >= stop_at) guidingState().guider_guiding = false;
    };
  }
  // Guides for `seconds`; the true rms (main pixels, about the mean) of the logged frames.
  double guide(int seconds) {
    stop_at = platform.clock.millis() + static_cast<std::uint32_t>(seconds) * 1000u;
    if (!runGuiderGuiding(star, view)) return -1;
    rows = readGuideLog(view.log_path);
    return trueRms(rows);
  }
  sim::SimSystem sim;
  test::TestPlatform platform{&sim.transport()};
  std::optional<GuiderStar> star;
  GuidingView view;
  std::uint32_t stop_at = 0;
  std::vector<GuideLogRow> rows;
};

TEST(AOGuiding, HoldsTheStarAtLeastAsWellAsTheMount) {
  sim::SimOptions o = sim::defaultSimOptions();
  ASSERT_EQ(sim::applySimSetting(o, "pe_arcsec=20"), "");
  double mount_rms = 0;
  {
    GuideRun run('T', o);
    mount_rms = run.guide(150);
    std::ifstream log(run.view.log_path);
    std::string header;
    std::getline(log, header);
    EXPECT_EQ(header, kGuideLogHeader);  // pulses in milliseconds
  }
  GuideRun run('A', o);
  const double ao_rms = run.guide(150);
  ASSERT_GT(run.rows.size(), 50u);
  EXPECT_GT(mount_rms, 0.0);
  EXPECT_LE(ao_rms, mount_rms) << "AO " << ao_rms << " px, mount " << mount_rms << " px";
  EXPECT_TRUE(run.sim.mount().commands().empty());  // no telescope pulse went out
}

TEST(AOGuiding, LargeDriftMovesTheMountAndKeepsTheTiltWithinTravel) {
  sim::SimOptions o = sim::defaultSimOptions();
  ASSERT_EQ(sim::applySimSetting(o, "drift_ra_arcsec_per_s=0.3"), "");
  GuideRun run('A', o);
  run.guide(150);
  ASSERT_GT(run.rows.size(), 50u);
  // The log carries the tilt the program tracks; the unit's own tilt agrees and stayed within travel.
  ASSERT_TRUE(run.rows.back().ao.has_value());
  EXPECT_EQ(run.rows.back().ao->first, aoState().tilt_x);
  EXPECT_EQ(aoState().tilt_x, run.sim.ao().tiltX());
  EXPECT_EQ(aoState().tilt_y, run.sim.ao().tiltY());
  EXPECT_LE(run.sim.ao().largestTilt(), run.sim.ao().config().travel_steps);
  EXPECT_EQ(run.sim.ao().stopsAtTravel(), 0);
  // 45" of drift against a 50-step (38") limit: the unit was asked to move the mount.
  EXPECT_GT(aoState().bumps, 0);
  EXPECT_EQ(aoState().bumps, run.sim.ao().mountMoves());
}

TEST(AOGuiding, AnAOGuidingRunCountsAsTheRunsFirstGuidingBeforeAMainTraining) {
  GuideRun run('A');
  ASSERT_GE(run.guide(5), 0.0);
  test::pickBrightestMainStar();
  run.sim.mount().clearLog();
  TrainMain();
  int pulses = 0;
  for (const auto& e : run.sim.mount().events())
    pulses += e.text.rfind("relays ", 0) == 0 && e.text != "relays 0";
  EXPECT_EQ(pulses, 8);  // the training's eight, without the four of a first socket training
}

TEST(AOGuiding, UnitThatNeverEchoesIsNeverAskedAndGuides) {
  sim::SimOptions o = sim::defaultSimOptions();
  ASSERT_EQ(sim::applySimSetting(o, "fault.ao=noecho"), "");
  ASSERT_EQ(sim::applySimSetting(o, "pe_arcsec=20"), "");
  GuideRun run('A', o);
  ASSERT_GE(run.guide(60), 0.0);
  EXPECT_TRUE(run.platform.ui.messageTexts().empty());
  EXPECT_GT(guidingState().corrections, 0);
  const auto sent = run.sim.ao().commands();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "H"), 0);
  EXPECT_NE(aoState().tilt_x, 0);  // the steps went out and the unit followed them
  EXPECT_EQ(aoState().tilt_x, run.sim.ao().tiltX());
  // The log names its correction columns for steps, and each row's steps are its change of tilt.
  std::ifstream log(run.view.log_path);
  std::string header;
  std::getline(log, header);
  EXPECT_EQ(header, kAOGuideLogHeader);
  ASSERT_GT(run.rows.size(), 10u);
  for (std::size_t i = 1; i < run.rows.size(); ++i) {
    const GuideLogRow& r = run.rows[i];
    const int east = r.ra_dir == 'e' ? r.ra_ms : (r.ra_dir == 'w' ? -r.ra_ms : 0);
    const int north = r.dec_dir == 'n' ? r.dec_ms : (r.dec_dir == 's' ? -r.dec_ms : 0);
    EXPECT_EQ(r.ao->first - run.rows[i - 1].ao->first, east) << "frame " << r.frame;
    EXPECT_EQ(r.ao->second - run.rows[i - 1].ao->second, north) << "frame " << r.frame;
  }
}

}  // namespace
}  // namespace qlm
