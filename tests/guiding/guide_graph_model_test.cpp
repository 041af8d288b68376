#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "guiding/autoguider_model.h"
#include "guiding/guide_history.h"
#include "guiding/guider.h"
#include "guiding/telescope.h"
#include "sim/sim_setup.h"
#include "support/phd2_log_reader.h"
#include "support/test_home.h"

namespace qlm {
namespace {

TEST(GuideGraphModelTest, RmsInPixelsAndArcsecondsScaleChoiceAndDitherMarks) {
  GuideHistory h(4);
  EXPECT_EQ(h.rmsText(), "RMS RA 0.00  Dec 0.00  Tot 0.00 px");  // nothing yet, no scale
  h.add(GuideGraphPoint{3.0, 0.0, 100, 0, false});
  h.markDither();
  h.add(GuideGraphPoint{-3.0, 4.0, 0, -50, false});
  h.add(-3.0, -4.0);
  EXPECT_FALSE(h.points()[0].dither);
  EXPECT_TRUE(h.points()[1].dither);  // the first frame after the dither carries it
  EXPECT_FALSE(h.points()[2].dither);
  EXPECT_DOUBLE_EQ(h.rmsRa(), 3.0);
  EXPECT_NEAR(h.rmsDec(), std::sqrt(32.0 / 3.0), 1e-12);
  EXPECT_NEAR(h.rmsTotal(), std::sqrt(9.0 + 32.0 / 3.0), 1e-12);
  EXPECT_FALSE(h.arcsec(1.0).has_value());
  h.setPixelScale(2.5);
  EXPECT_DOUBLE_EQ(*h.arcsec(h.rmsRa()), 7.5);
  EXPECT_EQ(h.rmsText(), "RMS RA 3.00  Dec 3.27  Tot 4.43 px  (7.50  8.16  11.09\")");
  // The oldest points leave; a cleared graph forgets a pending mark.
  h.add(0.0, 0.0);
  h.add(0.0, 0.0);
  EXPECT_EQ(h.points().size(), 4u);
  EXPECT_DOUBLE_EQ(h.points().front().ra_px, -3.0);
  h.markDither();
  h.clear();
  h.add(1.0, 1.0);
  EXPECT_FALSE(h.points()[0].dither);
  for (auto [asked, got] :
       std::vector<std::pair<int, int>>{{2, 2}, {3, 4}, {8, 8}, {16, 16}, {40, 16}, {0, 2}}) {
    h.setScale(asked);
    EXPECT_EQ(h.scale(), got) << asked;
  }
}

// RA and Dec of an offset, and the pulses' signs, on a guider turned 90 degrees with East and West
// swapped: an East pulse moves the star towards -y, so a star off towards +y needs East (RA positive).
TEST(GuideGraphModelTest, TurnedGuiderSplitsTheErrorAlongTheMountsAxes) {
  GuideParams p;
  p.rotate = true;
  p.theta = static_cast<float>(3.14159265358979323846 / 2);
  p.ra_rate = 2;
  p.dec_rate = 4;
  p.letters = {'w', 'e', 'n', 's'};
  const GuideAxes a = guideAxes(p);
  EXPECT_NEAR(a.west_rate, 2.0, 1e-6);
  EXPECT_NEAR(a.north_rate, 4.0, 1e-6);
  const auto [ra, dec] = raDecOffset(a, 0.0, 1.5);
  EXPECT_NEAR(ra, 1.5, 1e-6);
  EXPECT_NEAR(dec, 0.0, 1e-6);
  const auto [ra2, dec2] = raDecOffset(a, 2.0, 0.0);  // towards North: a South pulse
  EXPECT_NEAR(ra2, 0.0, 1e-6);
  EXPECT_NEAR(dec2, -2.0, 1e-6);
  // Trained vectors that are not square to each other are split along themselves, not projected.
  p.vectors = true;
  p.west_x = 2.0, p.west_y = 0.0, p.north_x = 1.0, p.north_y = 1.0;
  const auto [ra3, dec3] = raDecOffset(guideAxes(p), 1.0, 1.0);  // one unit along North
  EXPECT_NEAR(ra3, 0.0, 1e-9);
  EXPECT_NEAR(dec3, -std::sqrt(2.0), 1e-9);

  GuideFrameRecord rec;
  rec.dx = -1500;                                 // the star 1.5 px towards +x
  rec.correction.ra = AxisPulse{true, 'w', 300};  // the East slot's letter
  rec.correction.dec = AxisPulse{true, 's', 120};
  p.vectors = false;
  GuideGraphPoint g = guideGraphPoint(rec, p);
  EXPECT_NEAR(g.dec_px, -1.5, 1e-6);
  EXPECT_EQ(g.ra_ms, 300);
  EXPECT_EQ(g.dec_ms, -120);
  rec.pulses_sent = false;  // the unguided baseline shows no bars
  g = guideGraphPoint(rec, p);
  EXPECT_EQ(g.ra_ms, 0);
  EXPECT_EQ(g.dec_ms, 0);
}

// A guider run with its PHD2 log: the dither and settling notes of the run land in the guiding section
// and in the view, the lock position follows the dither.
TEST(Phd2GuideLogTest, DitherAndSettlingNotesLandInTheGuidingSection) {
  sim::SimSystem sim(sim::defaultSimOptions());
  test::TestPlatform platform{&sim.transport()};
  settings().show_interface_details = false;
  settings().drive_method = 'b';
  FindCamera();
  SelectTelescopePort();
  GuiderExposure('s', 1, imageBuffers().GuiderFrames[0], GuiderProcessing{});
  const std::optional<GuiderStar> star =
      brightestGuiderStar(imageBuffers().GuiderFrames[0], settings().mask_radius);
  ASSERT_TRUE(star);
  GuidingView view;
  view.log_path = (platform.paths().root() / "run.txt").string();
  view.log_format = GuideLogFormat::Phd2;
  std::vector<GuideRunNote::Kind> seen;
  view.run_note = [&seen](const GuideRunNote& n) { seen.push_back(n.kind); };
  view.frame_done = [&view](const GuideFrameRecord& r) {
    GuideRunNote n;
    n.time_ms = r.time_ms;
    if (r.frame == 3) {  // the reference moves, then the note tells of it
      guidingState().reference.x += 2;
      guidingState().reference.y -= 1;
      n.dx_px = 2.0;
      n.dy_px = -1.0;
      noteGuideRun(n, view);
    } else if (r.frame == 4 || r.frame == 6) {
      n.kind = r.frame == 4 ? GuideRunNote::Kind::Settling : GuideRunNote::Kind::SettleTimedOut;
      n.distance_px = 1.25;
      noteGuideRun(n, view);
    } else if (r.frame == 8) {
      guidingState().guider_guiding = false;
    }
  };
  ASSERT_TRUE(runGuiderGuiding(star, view));
  EXPECT_EQ(seen, (std::vector<GuideRunNote::Kind>{GuideRunNote::Kind::Dither, GuideRunNote::Kind::Settling,
                                                   GuideRunNote::Kind::SettleTimedOut}));
  const test::Phd2Log log = test::readPhd2Log(view.log_path);
  ASSERT_EQ(log.sessions.size(), 1u);
  const test::Phd2Section& s = log.sessions[0];
  EXPECT_EQ(s.entries.size(), static_cast<std::size_t>(guidingState().frames));
  ASSERT_EQ(s.infos.size(), 3u);
  const CentroidResult& ref = guidingState().reference;
  char dither[120];
  std::snprintf(dither, sizeof dither, "DITHER by 2.000, -1.000, new lock pos = %.3f, %.3f",
                ref.x + ref.tx / 10.0, ref.y + ref.ty / 10.0);
  EXPECT_EQ(s.infos[0], dither);
  EXPECT_EQ(s.infos[1], "SETTLING STATE CHANGE, Settling started, distance = 1.25 px");
  EXPECT_EQ(s.infos[2], "SETTLING STATE CHANGE, Settling failed, settle timed out, distance = 1.25 px");
  EXPECT_TRUE(s.ended);
}

}  // namespace
}  // namespace qlm
