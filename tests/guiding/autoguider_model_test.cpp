#include <gtest/gtest.h>

#include "camera/link.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "guiding/autoguider_model.h"
#include "guiding/guide_history.h"
#include "guiding/guider.h"
#include "platform/platform.h"
#include "sim/sim_setup.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class AutoguiderModelTest : public ::testing::Test {
 protected:
  AutoguiderModelTest() {
    settings().show_interface_details = false;
    FindCamera();
  }
  sim::SimSystem sim;
  test::TestPlatform platform{&sim.transport()};
  AutoguiderModel panel;
};

TEST_F(AutoguiderModelTest, UnitsSetCountAndLimits) {
  panel.press(GuiderControl::Tenths);
  EXPECT_EQ(panel.view().count, 5);
  for (int i = 0; i < 200; ++i)
    panel.press(GuiderControl::ExposureUp);
  EXPECT_EQ(panel.view().count, 100);
  panel.press(GuiderControl::Seconds);
  EXPECT_EQ(panel.view().count, 1);
  panel.press(GuiderControl::ExposureDown);
  EXPECT_EQ(panel.view().count, 1);
}

TEST_F(AutoguiderModelTest, SwapsTickAndAreSaved) {
  panel.press(GuiderControl::SwapEastWest);
  EXPECT_TRUE(panel.view().swap_ew);
  EXPECT_FALSE(panel.view().swap_ns);
  Settings saved;
  FitsDetails fits;
  ASSERT_EQ(loadSettings(platform.paths().settingsFile(), saved, fits), kSettingsOk);
  EXPECT_EQ(saved.direction_letters[kEastSlot], 'w');
  panel.press(GuiderControl::SwapEastWest);
  EXPECT_FALSE(panel.view().swap_ew);
}

TEST_F(AutoguiderModelTest, DarkFrameOnlyAppliesOnceTaken) {
  panel.press(GuiderControl::ApplyDark);
  EXPECT_FALSE(panel.view().dark_in_use);
  EXPECT_EQ(panel.view().dark_text, "No darkframe has been taken");
  panel.press(GuiderControl::Hundredths);
  panel.press(GuiderControl::TakeDark);
  EXPECT_EQ(panel.view().dark_text, " 5 hundredth darkframe available");
  panel.press(GuiderControl::ApplyDark);
  EXPECT_EQ(panel.view().dark_text, " 5 hundredth darkframe being used");
}

TEST_F(AutoguiderModelTest, ValueButtonsAndClosingRequests) {
  panel.press(GuiderControl::UseDefault);  // no training yet: the defaults stay in use
  EXPECT_EQ(panel.view().values_text, "Using Default Vals");
  calibrationState().trained_available = true;
  calibrationState().trained.ra_rate = 3;
  panel.press(GuiderControl::UseDefault);
  EXPECT_EQ(panel.view().use_default_label, "Use Defaults");
  EXPECT_EQ(panel.view().values_text, "Using Trained Vals");
  panel.press(GuiderControl::UseDefault);
  EXPECT_EQ(panel.view().use_default_label, "Use Trained");
  panel.press(GuiderControl::SaveLatest);
  EXPECT_EQ(settings().guider_ra_rate, 3);
  panel.setDefaultFields(4, 5, 1, 2, 0.5);
  panel.press(GuiderControl::ChangeDefaults);
  EXPECT_EQ(settings().guider_dec_backlash, 2);
  EXPECT_EQ(panel.press(GuiderControl::StartGuiding), kPanelOk);
  EXPECT_TRUE(guidingState().start_request);
  EXPECT_EQ(panel.press(GuiderControl::GotoMainCamera), kPanelOk);
  EXPECT_TRUE(guidingState().goto_main_request);
}

TEST(GuideHistoryTest, KeepsTheLastHundredAndTheirRms) {
  GuideHistory h;
  for (int i = 0; i < 150; ++i)
    h.add(i < 50 ? 10.0 : 3.0, i < 50 ? 0.0 : -4.0);
  EXPECT_EQ(h.points().size(), 100u);
  EXPECT_DOUBLE_EQ(h.rmsRa(), 3.0);
  EXPECT_DOUBLE_EQ(h.rmsDec(), 4.0);
}

}  // namespace
}  // namespace qlm
