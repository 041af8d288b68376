#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "camera/link.h"
#include "camera/readout.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "guiding/guide_star.h"
#include "guiding/guider.h"
#include "guiding/qt/autoguider_dialog.h"
#include "guiding/qt/guiding_info_window.h"
#include "guiding/qt/guiding_window.h"
#include "image/frame.h"
#include "platform/platform.h"
#include "sim/sim_setup.h"
#include "sim_window_fixture.h"
#include "support/sim_mount.h"
#include "support/test_home.h"

namespace {

// The autoguider panel (Ctrl+G) and the guiding window on the simulated camera and mount, the waits on
// a virtual clock. A timer answers message boxes, drives the panel once it is shown, and presses
// "Stop Guiding" once the guiding window has shown `frames_before_stop` frames.
// The simulated camera and mount, made before the window that is handed its transport.
struct SimSystemHolder {
  std::shared_ptr<qlm::sim::SimSystem> sim_ = std::make_shared<qlm::sim::SimSystem>();
};

class AutoguiderWindowTest : protected SimSystemHolder, public SimWindowTest {
 protected:
  AutoguiderWindowTest() : SimWindowTest(std::shared_ptr<qlm::Transport>(sim_, &sim_->transport()), 10) {
    qlm::settings().show_interface_details = false;
    qlm::settings().drive_method = 'b';
    qlm::saveSettings();
  }

  void onTick(QWidget* modal) override {
    if (auto* panel = qobject_cast<qlm::TGQLDialog*>(modal); panel != nullptr && !driven_) {
      driven_ = true;
      // A timer does not fire again while its own slot runs: the panel is driven from another one, so
      // that this one can answer the boxes the panel opens.
      QTimer::singleShot(0, panel, [this, panel] { on_panel(*panel); });
    } else if (qlm::TGuidingWindow* w = guidingWindow(); w != nullptr && w->isVisible()) {
      shown_ = true;
      if (qlm::guidingState().frames < frames_before_stop) return;
      fields_ = {text(*w, "x"), text(*w, "y"), text(*w, "dx"), text(*w, "dy")};
      stop_enabled_ = w->findChild<QAbstractButton*>("Stop Guiding")->isEnabled();
      stopped_at_ = qlm::guidingState().frames;
      w->findChild<QAbstractButton*>("Stop Guiding")->click();
    }
  }
  qlm::TGuidingWindow* guidingWindow() {
    for (auto* w : window_->findChildren<qlm::TGuidingWindow*>())
      if (w->windowTitle().startsWith("Guiding Info") || w->windowTitle() == "AutoGuider Camera Guiding")
        return w;
    return nullptr;
  }
  static std::string text(QWidget& parent, const char* name) {
    return parent.findChild<QLabel*>(name)->text().toStdString();
  }
  static void click(QWidget& parent, const char* name) {
    QTest::mouseClick(parent.findChild<QAbstractButton*>(name), Qt::LeftButton);
  }

  std::function<void(qlm::TGQLDialog&)> on_panel;
  int frames_before_stop = 5;
  bool driven_ = false;
  bool shown_ = false;
  bool stop_enabled_ = false;
  int stopped_at_ = 0;  // frames measured when "Stop Guiding" was pressed
  std::vector<std::string> fields_;
};

// Picks the brightest star of a first guider frame in the panel, then presses "Start Guiding".
class AutoguiderStartTest : public AutoguiderWindowTest {
 protected:
  void pickAndStart() {
    // The panel shows the last guider frame: take one, and pick its brightest star on it.
    qlm::FindCamera();
    qlm::GuiderFrame& image = qlm::imageBuffers().GuiderFrames[0];
    ASSERT_TRUE(qlm::GuiderExposure('s', 1, image, qlm::GuiderProcessing{}));
    const auto star = qlm::brightestGuiderStar(image, qlm::settings().mask_radius);
    ASSERT_TRUE(star);
    on_panel = [star](qlm::TGQLDialog& panel) {
      click(panel, "Select Guide Star");
      QTest::mouseRelease(&panel, Qt::LeftButton, {},
                          QPoint(qlm::kGuiderImageLeft + star->x, qlm::kGuiderImageTop + star->y));
      click(panel, "Start Guiding");
    };
    window_->runCommand(qlm::cmd::kAutoguiderCamera);
    ASSERT_TRUE(driven_);
  }
};

// A fresh data folder has no drive method: on the simulator one question offers the autoguider
// socket that the simulated mount is wired to, and guiding then starts.
TEST_F(AutoguiderStartTest, WithoutADriveMethodTheSimulatorOffersTheSocketAndGuides) {
  qlm::settings().drive_method = 'n';
  answer_yes_ = true;
  pickAndStart();
  EXPECT_TRUE(shown_) << "guiding did not start";
  EXPECT_EQ(qlm::settings().drive_method, 'b');
  qlm::Settings saved;
  qlm::FitsDetails fits;
  ASSERT_EQ(qlm::loadSettings(qlm::platform().paths.settingsFile(), saved, fits), qlm::kSettingsOk);
  EXPECT_EQ(saved.drive_method, 'b') << "the choice is saved";
  ASSERT_EQ(messages_.size(), 2u);  // the pick's position box and the one question
  EXPECT_NE(messages_[1].find("Autoguider Socket"), std::string::npos) << messages_[1];
}

// Declining the offer starts nothing and says which setting to change.
TEST_F(AutoguiderStartTest, DecliningTheOfferStartsNothing) {
  qlm::settings().drive_method = 'n';
  pickAndStart();
  EXPECT_FALSE(shown_);
  EXPECT_EQ(qlm::settings().drive_method, 'n');
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_NE(messages_[1].find("Set Program Defaults"), std::string::npos) << messages_[1];
}

TEST_F(AutoguiderWindowTest, PickStartGuidingAndStop) {
  // The panel shows the last guider frame: take one, and pick its brightest star on it.
  qlm::FindCamera();
  qlm::GuiderFrame& image = qlm::imageBuffers().GuiderFrames[0];
  ASSERT_TRUE(qlm::GuiderExposure('s', 1, image, qlm::GuiderProcessing{}));
  const auto star = qlm::brightestGuiderStar(image, qlm::settings().mask_radius);
  ASSERT_TRUE(star);
  on_panel = [&](qlm::TGQLDialog& panel) {
    EXPECT_EQ(panel.windowTitle(), "Auto Guider Camera Control");
    click(panel, "Select Guide Star");
    const QPoint at(qlm::kGuiderImageLeft + star->x, qlm::kGuiderImageTop + star->y);
    QTest::mouseRelease(&panel, Qt::MiddleButton, {}, at);
    EXPECT_TRUE(qlm::guideStarState().guider_pick_armed) << "a middle-button release picked";
    QTest::mouseRelease(&panel, Qt::LeftButton, {}, at);
    click(panel, "Start Guiding");
  };
  window_->runCommand(qlm::cmd::kAutoguiderCamera);
  ASSERT_TRUE(driven_) << "Ctrl+G showed no autoguider panel";
  ASSERT_TRUE(qlm::guiderGuideStar().has_value());
  EXPECT_TRUE(shown_) << "Start Guiding opened no guiding window";
  // The window showed the star where it was picked and errors of a fraction of a pixel.
  ASSERT_EQ(fields_.size(), 4u);
  EXPECT_NEAR(std::stod(fields_[0]), star->x, 2.0) << fields_[0];
  EXPECT_NEAR(std::stod(fields_[1]), star->y, 2.0) << fields_[1];
  EXPECT_LT(std::abs(std::stod(fields_[2])), 1.0) << fields_[2];
  EXPECT_LT(std::abs(std::stod(fields_[3])), 1.0) << fields_[3];
  EXPECT_TRUE(stop_enabled_);
  // "Stop Guiding" ended the run after the frame in hand and closed the window.
  EXPECT_GE(stopped_at_, frames_before_stop);
  EXPECT_EQ(qlm::guidingState().frames, stopped_at_);
  EXPECT_FALSE(qlm::guiderGuidingRunning());
  EXPECT_FALSE(guidingWindow()->isVisible());
  EXPECT_EQ(sim_->transport().relayValue(), 0);
  EXPECT_GE(clock_.millis(), 5000u);
  ASSERT_EQ(messages_.size(), 1u);  // the pick's position box, nothing from the run
  EXPECT_EQ(messages_[0].rfind("x position = ", 0), 0u) << messages_[0];
}

// Main-camera guiding shows "Guiding Info" of its own: the main measurement and errors, the graph, and a
// "Stop" that ends the run as a key press does. The guider's window stays closed.
class GuidingInfoWindowTest : protected SimSystemHolder, public SimWindowTest {
 protected:
  GuidingInfoWindowTest() : SimWindowTest(std::shared_ptr<qlm::Transport>(sim_, &sim_->transport()), 10) {
    qlm::settings().show_interface_details = false;
    qlm::settings().drive_method = 'b';
    qlm::saveSettings();
  }
  void onTick(QWidget*) override {
    for (auto* w : window_->findChildren<qlm::TGuidingWindow*>())
      guider_window_shown_ |= w->isVisible();
    auto* info = window_->findChild<qlm::TGuidingInfoWindow*>();
    if (info == nullptr || !info->isVisible() || qlm::guidingState().frames < 4 || stopped_at_ > 0) return;
    fields_ = {text(*info, "x"), text(*info, "y"), text(*info, "dx"), text(*info, "dy")};
    const auto& g = qlm::guidingState();
    const auto& m = qlm::centroidState().main;
    expected_ = {QString::number(m.x + m.tx / 10.0, 'f', 1).toStdString(),
                 QString::number(m.y + m.ty / 10.0, 'f', 1).toStdString(),
                 QString::number(g.dx / 1000.0, 'f', 1).toStdString(),
                 QString::number(g.dy / 1000.0, 'f', 1).toStdString()};
    title_ = info->windowTitle().toStdString();
    graph_points_ = info->graph().history().points().size();
    rms_text_ = info->graph().rmsText().toStdString();
    info->findChild<QComboBox*>("GuideGraphScale")->setCurrentIndex(3);
    graph_scale_ = info->graph().history().scale();
    stopped_at_ = qlm::guidingState().frames;
    info->findChild<QAbstractButton*>("Stop")->click();  // a click with no mouse press behind it
  }
  static std::string text(QWidget& parent, const char* name) {
    return parent.findChild<QLabel*>(name)->text().toStdString();
  }
  bool guider_window_shown_ = false;
  int stopped_at_ = 0;
  std::size_t graph_points_ = 0;
  std::string rms_text_;
  int graph_scale_ = 0;
  std::string title_;
  std::vector<std::string> fields_;
  std::vector<std::string> expected_;  // the main measurement and errors when the fields were read
};

TEST_F(GuidingInfoWindowTest, ShowsTheMainMeasurementAndStopEndsTheRun) {
  qlm::fitsDetails().focalLength = 20.0;  // inches: 3.0 arc-seconds per 7.4 um pixel
  qlm::saveSettings();                    // guiding reads the settings file again
  qlm::guiderCameraState().log_format = qlm::GuideLogFormat::Phd2;
  qlm::FindCamera();
  qlm::test::pickBrightestMainStar();
  window_->runCommand(qlm::cmd::kStartAutoGuiding);
  ASSERT_GT(stopped_at_, 0) << "no Guiding Info window with frames";
  EXPECT_EQ(title_, "Guiding Info");
  EXPECT_FALSE(guider_window_shown_);
  EXPECT_EQ(fields_, expected_);
  // The star lies inside the 128 x 128 guide window, held within a few pixels.
  for (int i : {0, 1})
    EXPECT_TRUE(std::stod(fields_[i]) > 0 && std::stod(fields_[i]) < 128) << fields_[i];
  EXPECT_LT(std::abs(std::stod(fields_[2])), 3.0) << fields_[2];
  EXPECT_GE(graph_points_, 4u);
  // The graph's rms in pixels and arc-seconds, and the scale the user picked.
  EXPECT_EQ(rms_text_.rfind("RMS RA ", 0), 0u) << rms_text_;
  EXPECT_NE(rms_text_.find(" px  ("), std::string::npos) << rms_text_;
  EXPECT_EQ(rms_text_.substr(rms_text_.size() - 2), "\")") << rms_text_;
  EXPECT_EQ(graph_scale_, 16);
  // The panel's PHD2 choice wrote the run's log in that form.
  std::string first_line;
  for (const auto& e : std::filesystem::directory_iterator(qlm::platform().paths.root() / "guidelogs"))
    if (e.path().extension() == ".txt") {
      std::ifstream in(e.path());
      std::getline(in, first_line);
    }
  EXPECT_EQ(first_line.rfind("PHD2 version ", 0), 0u) << first_line;
  EXPECT_LE(qlm::guidingState().frames, stopped_at_ + 1);
  EXPECT_FALSE(qlm::guidingState().main_running);
  EXPECT_FALSE(window_->findChild<qlm::TGuidingInfoWindow*>()->isVisible());
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_.back(), "AutoGuiding Terminated");
}

}  // namespace
