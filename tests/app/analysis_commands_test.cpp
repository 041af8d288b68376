#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/analysis_commands.h"
#include "app/window_model.h"
#include "image/analysis_views.h"
#include "image/centroid.h"
#include "platform/messages.h"
#include "support/test_home.h"

namespace qlm {
namespace {

class AnalysisCommandsTest : public ::testing::Test {
 protected:
  AnalysisCommandsTest() {
    AnalysisViewHooks& h = analysisViewHooks();
    h.open_histogram = [this] { opened.push_back("histogram"); };
    h.open_plot3d = [this] { opened.push_back("3d"); };
    h.open_row_plot = [this] { opened.push_back("row"); };
    h.open_photometry = [this] { opened.push_back("photometry"); };
    h.row_changed = [this] { ++redraws; };
    h.photometry_changed = [this] { ++redraws; };
    connectAnalysisClicks();
  }
  ~AnalysisCommandsTest() override {
    analysisViewHooks() = AnalysisViewHooks{};
    clickHooks() = ClickHooks{};
  }
  std::vector<std::string> messages() const { return platform.ui.messageTexts(); }

  test::TestPlatform platform;
  MouseModes& m = mouseModes();
  std::vector<std::string> opened;
  int redraws = 0;
};

TEST_F(AnalysisCommandsTest, SecondHistogramBeepsWaitsASecondAndBeepsAgain) {
  histogramCommand();
  EXPECT_EQ(opened, std::vector<std::string>{"histogram"});
  EXPECT_EQ(platform.ui.beepCount(), 0u);
  const auto before = platform.clock.elapsed();
  histogramCommand();
  EXPECT_EQ(opened.size(), 1u);
  const auto beeps = platform.ui.callsOf("beep");
  ASSERT_EQ(beeps.size(), 2u);
  EXPECT_GE(beeps[1].at_ms - beeps[0].at_ms, 1000u);
  EXPECT_LT(beeps[1].at_ms - beeps[0].at_ms, 1100u);
  EXPECT_GE(platform.clock.elapsed() - before, 1000u);
  EXPECT_GT(platform.ui.pumpCount(), 10u);  // window events are handled during the wait
  histogramClosed();
  histogramCommand();
  EXPECT_EQ(opened.size(), 2u);
}

TEST_F(AnalysisCommandsTest, RowPlotRefusalsAndIgnoredCommands) {
  photometryCommand();
  rowPlotCommand();
  EXPECT_EQ(messages().back(), messageText(35));
  photometryClosed();
  frameState().fit_to_window = true;
  rowPlotCommand();
  EXPECT_EQ(messages().back(), messageText(38));
  frameState().fit_to_window = false;
  plot3dCommand();
  rowPlotCommand();  // ignored while the 3-D plot is open
  EXPECT_FALSE(m.row_plot);
  plot3dClosed();
  rowPlotCommand();
  EXPECT_TRUE(m.row_plot);
  EXPECT_EQ(m.selected_row, 250);
  EXPECT_EQ(platform.ui.callsOf("cursor").back().value, static_cast<int>(CursorShape::UpArrow));
  plot3dCommand();   // ignored in row mode
  rowPlotCommand();  // ignored: already on
  EXPECT_EQ(opened, (std::vector<std::string>{"photometry", "3d", "row"}));
  EXPECT_EQ(messages().size(), 2u);
  rowPlotFinished();
  EXPECT_FALSE(m.row_plot);
  EXPECT_EQ(platform.ui.callsOf("cursor").back().value, static_cast<int>(CursorShape::Arrow));
}

TEST_F(AnalysisCommandsTest, PhotometryClicksAndPointerFeedTheDialog) {
  auto& frame = imageBuffers().CurrentFrame;
  frame.fill(10);
  frame[static_cast<std::size_t>(100) * kFrameWidth + 200] = 5000;
  centroidState().working_radius = 9;  // as a guide-star pick left it
  photometryCommand();
  EXPECT_EQ(centroidState().working_radius, 4);
  photometryCommand();
  EXPECT_EQ(messages(), std::vector<std::string>{std::string(messageText(37))});
  EXPECT_EQ(m.radius, 4);
  choosePhotometryAperture(0);
  EXPECT_EQ(m.radius, 0);
  EXPECT_EQ(centroidState().working_radius, 4);  // a centroid needs a window
  EXPECT_EQ(dispatchClick(m, 200, 100, clickHooks()), ClickResult::Photometry);
  EXPECT_EQ(photometryModel().sum(PhotometrySlot::Object), 5000);
  choosePhotometryAperture(8);
  EXPECT_EQ(centroidState().working_radius, 8);
  EXPECT_EQ(dispatchClick(m, 7, 100, clickHooks()), ClickResult::OutOfBounds);  // 17 x 17 reaches past x = 0
  EXPECT_EQ(messages().back(), messageText(2));
  dispatchPointerMove(m, 200, 100, clickHooks());
  EXPECT_EQ(photometryModel().fields(0).cursor_value, "  5000");
  EXPECT_EQ(redraws, 2);
}

}  // namespace
}  // namespace qlm
