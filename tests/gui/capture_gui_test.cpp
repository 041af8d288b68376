#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <map>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "camera/link.h"
#include "camera/readout.h"
#include "capture/capture_state.h"
#include "capture/qt/live_stack_window.h"
#include "capture/qt/ql_dialog.h"
#include "capture/sequence.h"
#include "files/fits_image.h"
#include "image/display.h"
#include "image/frame.h"
#include "platform/platform.h"
#include "sim/sim_setup.h"
#include "sim/sim_transport.h"
#include "sim_window_fixture.h"
#include "support/test_home.h"

namespace {

// The desktop program on the simulated camera, its waits on a virtual clock. Modal boxes are answered
// and the camera panel is driven by `onPanel` from a timer while the command runs.
class CaptureWindowTest : public SimWindowTest {
 protected:
  explicit CaptureWindowTest(
      std::shared_ptr<qlm::Transport> transport = std::make_shared<qlm::sim::SimTransport>())
      : SimWindowTest(std::move(transport), 20) {}

  void onTick(QWidget* modal) override {
    if (auto* panel = qobject_cast<TQLDialog*>(modal); panel != nullptr && panel != driven_) {
      driven_ = panel;
      if (onPanel) onPanel(*panel);
    }
  }

  static void click(TQLDialog& panel, int id) {
    QTest::mouseClick(static_cast<QAbstractButton*>(panel.control(id)), Qt::LeftButton);
  }
  static void type(TQLDialog& panel, const char* text) {
    auto* box = static_cast<QLineEdit*>(panel.control(qlm::ql::kValueBox));
    box->selectAll();
    QTest::keyClicks(box, text);
  }
  // Saves a picture of `w` when QLM_T4_SCREENSHOTS names a folder (for looking at it by eye).
  static void screenshot(QWidget& w, const char* name) {
    const QByteArray dir = qgetenv("QLM_T4_SCREENSHOTS");
    if (!dir.isEmpty()) w.grab().save(QString::fromUtf8(dir) + "/" + name);
  }

  std::function<void(TQLDialog&)> onPanel;
  TQLDialog* driven_ = nullptr;
};

TEST_F(CaptureWindowTest, CtrlZTakesAPhotoOfTheSimulatedSky) {
  std::string mode;
  onPanel = [&mode](TQLDialog& panel) {
    EXPECT_EQ(panel.windowTitle(), "QLM_T4 Control Interface");
    click(panel, qlm::ql::kTenths);
    type(panel, "1");
    mode = static_cast<QLabel*>(panel.control(qlm::ql::kCameraMode))->text().toStdString();
    click(panel, qlm::ql::kTakePhoto);
  };
  qlm::imageBuffers().CurrentFrame[100 * qlm::kFrameWidth] = 0;
  QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier);
  ASSERT_NE(driven_, nullptr) << "Ctrl+Z showed no camera panel";
  EXPECT_EQ(mode, "Single Image");
  EXPECT_EQ(qlm::captureSettings().unit, 't');
  EXPECT_EQ(qlm::captureSettings().count, 1);
  EXPECT_EQ(window_->windowTitle(), "QLM_T4_USB - PK Camera Image");
  EXPECT_EQ(qlm::linkState().camera_present, 1);
  // The frame holds the sky (bias and stars), not the start-up ramp.
  EXPECT_EQ(qlm::imageBuffers().CurrentFrame[0], 0);
  EXPECT_GT(qlm::imageBuffers().CurrentFrame[100 * qlm::kFrameWidth], 0);
  EXPECT_NE(qlm::imageBuffers().CurrentFrame[100 * qlm::kFrameWidth + 5], 100 * 62);
  ASSERT_TRUE(qlm::windowBitmap().has_value());
  screenshot(*window_, "capture_photo.png");
}

TEST_F(CaptureWindowTest, SeriesOfSecondsIsShownAndAutosavedFrameByFrame) {
  onPanel = [](TQLDialog& panel) {
    click(panel, qlm::ql::kSeconds);
    type(panel, "20");
    click(panel, qlm::ql::kContinuous);
    click(panel, qlm::ql::kAutoSave);
    static_cast<QScrollBar*>(panel.control(qlm::ql::kExposuresScroll))
        ->triggerAction(QAbstractSlider::SliderSingleStepSub);
    click(panel, qlm::ql::kTakePhoto);
  };
  window_->runCommand(qlm::cmd::kCameraInterface);
  const auto folder = home_.path() / "autosave";
  EXPECT_TRUE(std::filesystem::exists(folder / "IMG1.FIT"));
  EXPECT_TRUE(std::filesystem::exists(folder / "IMG2.FIT"));
  EXPECT_FALSE(std::filesystem::exists(folder / "IMG3.FIT"));
  EXPECT_EQ(window_->windowTitle(), "QLM_T4_USB - PK Camera Image");
  window_->runCommand(qlm::cmd::kAutoContrast);
  screenshot(*window_, "capture_series_auto_contrast.png");
}

// "Live Stack" on a series: the window opens with the running mean, its counts and SNR, and saves it.
TEST_F(CaptureWindowTest, LiveStackWindowStacksTheSeriesAndSavesIt) {
  onPanel = [](TQLDialog& panel) {
    click(panel, qlm::ql::kSeconds);
    type(panel, "3");
    click(panel, qlm::ql::kContinuous);
    click(panel, qlm::ql::kLiveStack);
    for (int i = 0; i < 2; ++i)  // the up arrow raises, as a spin box's does
      static_cast<QScrollBar*>(panel.control(qlm::ql::kExposuresScroll))
          ->triggerAction(QAbstractSlider::SliderSingleStepSub);
    click(panel, qlm::ql::kTakePhoto);
  };
  window_->runCommand(qlm::cmd::kCameraInterface);
  auto* live = window_->findChild<TLiveStackDialog*>("live_stack");
  ASSERT_NE(live, nullptr);
  EXPECT_TRUE(live->isVisible());
  EXPECT_EQ(live->model().stack().added(), 3);
  const QString status = live->findChild<QLabel*>("live_stack_status")->text();
  EXPECT_TRUE(status.startsWith("Frames: 3   Rejected: 0   SNR: ")) << status.toStdString();
  EXPECT_FALSE(live->findChild<QLabel*>("live_stack_picture")->pixmap().isNull());
  screenshot(*live, "live_stack.png");
  const auto saved = home_.path() / "live.fit";
  ASSERT_TRUE(live->model().save(saved, qlm::LiveStackFormat::FloatFits));
  std::string why;
  const auto fits = qlm::readFitsImage(saved, why);
  ASSERT_TRUE(fits) << why;
  EXPECT_DOUBLE_EQ(fits->details.exposureSeconds, 9.0);
}

TEST_F(CaptureWindowTest, ToolBarButtonOpensThePanelAndCancelTakesNothing) {
  onPanel = [](TQLDialog& panel) { click(panel, qlm::ql::kCancel); };
  window_->commandAction(qlm::cmd::kCameraInterface)->trigger();
  ASSERT_NE(driven_, nullptr);
  EXPECT_EQ(window_->windowTitle(), "QLM_T4_USB - (Untitled)");
}

TEST_F(CaptureWindowTest, FocusModeShowsThePeakAndTheFocusImageInThePanel) {
  std::string peak;
  std::string hfr;
  bool image_shown = false;
  onPanel = [&](TQLDialog& panel) {
    click(panel, qlm::ql::kHundredths);
    type(panel, "20");
    // Stop after the third focus exposure, look at the panel, then cancel it.
    int shown = 0;
    const std::function<void()> on_exposure = [&, p = &panel] {
      if (++shown < 3) return;
      click(*p, qlm::ql::kFocusStop);
      peak = static_cast<QLabel*>(p->control(qlm::ql::kMaxValue))->text().toStdString();
      hfr = p->findChild<QLabel*>("ql_hfr")->text().toStdString();
      auto* image = p->findChild<QLabel*>("ql_focus_image");
      image_shown = image != nullptr && !image->pixmap().isNull();
      screenshot(*p, "capture_focus_panel.png");
      screenshot(*window_, "capture_focus_window.png");
    };
    panel.model().focus_runner = [&on_exposure](qlm::QlModel& m) { qlm::runFocusMode(m, on_exposure); };
    click(panel, qlm::ql::kFocusStart);
    click(panel, qlm::ql::kCancel);
  };
  window_->runCommand(qlm::cmd::kCameraInterface);
  ASSERT_FALSE(peak.empty());
  EXPECT_GT(std::stoi(peak), 0);
  EXPECT_EQ(std::stoi(peak), qlm::readoutState().PeakValue);
  EXPECT_GT(std::stod(hfr), 0.5);  // the simulated star in the focus window is measured
  EXPECT_TRUE(image_shown);
  EXPECT_FALSE(qlm::frameState().focus_mode);  // closing the panel shows the whole frame again
}

TEST_F(CaptureWindowTest, PanelArrowsAndTogglesGoThroughTheRules) {
  onPanel = [](TQLDialog& panel) {
    // The short vertical bars are drawn as spin boxes and act as spin boxes: the up arrow raises.
    auto* exposures = static_cast<QScrollBar*>(panel.control(qlm::ql::kExposuresScroll));
    exposures->triggerAction(QAbstractSlider::SliderSingleStepSub);
    exposures->triggerAction(QAbstractSlider::SliderSingleStepSub);
    click(panel, qlm::ql::kContinuous);
    EXPECT_EQ(static_cast<QLabel*>(panel.control(qlm::ql::kExposuresBox))->text(), "3");
    EXPECT_EQ(static_cast<QLabel*>(panel.control(qlm::ql::kCameraMode))->text(), "Series Imaging");
    EXPECT_EQ(exposures->value(), 3);
    click(panel, qlm::ql::kMinutes);
    auto* value = static_cast<QScrollBar*>(panel.control(qlm::ql::kExposureScroll));
    EXPECT_EQ(value->maximum(), 90);
    value->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(static_cast<QLineEdit*>(panel.control(qlm::ql::kValueBox))->text(), "2");
    value->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // the down arrow lowers again
    EXPECT_EQ(static_cast<QLineEdit*>(panel.control(qlm::ql::kValueBox))->text(), "1");
    value->triggerAction(QAbstractSlider::SliderSingleStepSub);
    panel.reject();  // the window's close box
  };
  window_->runCommand(qlm::cmd::kCameraInterface);
  ASSERT_NE(driven_, nullptr);
  EXPECT_TRUE(qlm::captureSettings().continuous);
  EXPECT_EQ(qlm::captureSettings().unit, 'm');
  EXPECT_EQ(qlm::captureSettings().count, 2);
}

// A series that stacks on a star, with no star picked, is refused once before any exposure (not a
// "Find centre failed" box for every centroid pass).
TEST_F(CaptureWindowTest, StackingWithoutAPickedStarIsRefusedOnceUpFront) {
  onPanel = [](TQLDialog& panel) {
    auto* exposures = static_cast<QScrollBar*>(panel.control(qlm::ql::kExposuresScroll));
    exposures->triggerAction(QAbstractSlider::SliderSingleStepSub);
    exposures->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(static_cast<QLabel*>(panel.control(qlm::ql::kCameraMode))->text(), "Auto Merging");
    click(panel, qlm::ql::kTakePhoto);
  };
  window_->runCommand(qlm::cmd::kCameraInterface);
  // The first capture of a fresh data folder also warns that it has no settings file yet.
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_.back().rfind("Sorry, there is no star to stack on.", 0), 0u) << messages_.back();
  for (const std::string& m : messages_)
    EXPECT_EQ(m.find("Find centre failed"), std::string::npos);
  EXPECT_LE(messages_.size(), 2u);
  EXPECT_EQ(window_->windowTitle(), "QLM_T4_USB - (Untitled)") << "no exposure was taken";
  EXPECT_EQ(qlm::sequenceState().exposure_end, 0);
}

// The dark and flat names and the autosave folder show where they lie on this machine.
TEST_F(CaptureWindowTest, PanelShowsTheFoldersTheWindowsPathsStandFor) {
  std::map<int, QString> shown;
  onPanel = [&shown](TQLDialog& panel) {
    for (int id : {qlm::ql::kDarkName, qlm::ql::kFlatName, qlm::ql::kSubDir})
      shown[id] = static_cast<QLabel*>(panel.control(id))->toolTip();
    EXPECT_FALSE(static_cast<QLabel*>(panel.control(qlm::ql::kDarkName))->text().contains("c:"));
    click(panel, qlm::ql::kCancel);
  };
  window_->runCommand(qlm::cmd::kCameraInterface);
  EXPECT_EQ(qlm::captureSettings().dark_file, "c:\\dark.def") << "the setting keeps its typed form";
  EXPECT_EQ(shown[qlm::ql::kDarkName].toStdString(), (home_.path() / "dark.def").string());
  EXPECT_EQ(shown[qlm::ql::kFlatName].toStdString(), (home_.path() / "flat.def").string());
  EXPECT_EQ(shown[qlm::ql::kSubDir].toStdString(), (home_.path() / "autosave").string());
}

// The simulated telescope capped: focus mode on a window of dark sky leaves HFR and FWHM blank rather
// than measuring noise as a star.
struct CappedSky {
  std::shared_ptr<qlm::sim::SimSystem> sim_ = [] {
    qlm::sim::SimOptions o = qlm::sim::defaultSimOptions();
    EXPECT_EQ(qlm::sim::applySimSetting(o, "cap=on"), "");
    return std::make_shared<qlm::sim::SimSystem>(o);
  }();
};
class CappedFocusTest : protected CappedSky, public CaptureWindowTest {
 protected:
  CappedFocusTest() : CaptureWindowTest(std::shared_ptr<qlm::Transport>(sim_, &sim_->transport())) {}
};

TEST_F(CappedFocusTest, FocusModeOnAnEmptyWindowLeavesTheStarFieldsBlank) {
  std::string peak;
  std::string hfr = "unread";
  std::string fwhm = "unread";
  onPanel = [&](TQLDialog& panel) {
    click(panel, qlm::ql::kHundredths);
    type(panel, "20");
    int shown = 0;
    const std::function<void()> on_exposure = [&, p = &panel] {
      if (++shown < 2) return;
      click(*p, qlm::ql::kFocusStop);
      peak = static_cast<QLabel*>(p->control(qlm::ql::kMaxValue))->text().toStdString();
      hfr = p->findChild<QLabel*>("ql_hfr")->text().toStdString();
      fwhm = p->findChild<QLabel*>("ql_fwhm")->text().toStdString();
    };
    panel.model().focus_runner = [&on_exposure](qlm::QlModel& m) { qlm::runFocusMode(m, on_exposure); };
    click(panel, qlm::ql::kFocusStart);
    click(panel, qlm::ql::kCancel);
  };
  window_->runCommand(qlm::cmd::kCameraInterface);
  EXPECT_FALSE(peak.empty()) << "focus mode ran";
  EXPECT_EQ(hfr, "");
  EXPECT_EQ(fwhm, "");
}

}  // namespace
