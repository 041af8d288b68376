#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "camera/readout.h"
#include "capture/qt/ql_dialog.h"
#include "files/settings.h"
#include "guiding/guide_star.h"
#include "guiding/guider.h"
#include "guiding/qt/autoguider_dialog.h"
#include "guiding/qt/guiding_window.h"
#include "image/frame.h"
#include "sim/sim_setup.h"
#include "sim_window_fixture.h"

namespace {

struct ScreenshotSim {
  std::shared_ptr<qlm::sim::SimSystem> sim_ = std::make_shared<qlm::sim::SimSystem>();
};

// The README's pictures, made from the program on the simulated camera and mount as a user would see
// them: a photo in the main window, the camera panel, the autoguider panel with a picked star and the
// guiding window. scripts/screenshots.sh runs this with QLM_T4_README_SHOTS naming the folder; without
// it the pictures go to the test's data folder and are only checked.
class Screenshots : protected ScreenshotSim, public SimWindowTest {
 protected:
  Screenshots() : SimWindowTest(std::shared_ptr<qlm::Transport>(sim_, &sim_->transport()), 10) {
    qlm::settings().show_interface_details = false;
    qlm::settings().drive_method = 'b';
    qlm::saveSettings();
    const char* dir = std::getenv("QLM_T4_README_SHOTS");
    out_ = dir != nullptr && *dir != '\0' ? std::filesystem::path(dir) : home_.path() / "shots";
    std::filesystem::create_directories(out_);
  }

  void onTick(QWidget* modal) override {
    if (step_) step_(modal);
  }

  // Saves `w` as NAME.png: with its window frame from the screen under a window manager, else the
  // widget as it paints itself (offscreen). Checks that it holds a picture, not a blank.
  void shoot(QWidget& w, const char* name) {
    for (int i = 0; i < 5; ++i)
      QApplication::processEvents();
    QImage image;
    if (QGuiApplication::platformName() == "xcb") {
      // Only under the script's X server: the window manager draws frames and takes closed boxes
      // away on its own time.
      EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
      QTest::qWait(400);
      const QRect f = w.frameGeometry();
      image = w.screen()->grabWindow(0, f.x(), f.y(), f.width(), f.height()).toImage();
    } else {
      image = w.grab().toImage();
    }
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
      for (int x = 0; x < image.width(); x += 3)
        colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 20) << name << " looks blank";
    const QString path = QString::fromStdString((out_ / (std::string(name) + ".png")).string());
    EXPECT_TRUE(image.save(path)) << path.toStdString();
    ++saved_;
  }
  static void click(QWidget& parent, const char* name) {
    QTest::mouseClick(parent.findChild<QAbstractButton*>(name), Qt::LeftButton);
  }

  std::filesystem::path out_;
  std::function<void(QWidget*)> step_;
  int saved_ = 0;
};

TEST_F(Screenshots, ReadmeWindows) {
  // The camera panel set for a 5-second photo, then the photo in the main window.
  bool panel_shot = false;
  step_ = [&](QWidget* modal) {
    auto* panel = qobject_cast<TQLDialog*>(modal);
    if (panel == nullptr || panel_shot) return;
    panel_shot = true;
    QTest::mouseClick(static_cast<QAbstractButton*>(panel->control(qlm::ql::kSeconds)), Qt::LeftButton);
    auto* value = static_cast<QLineEdit*>(panel->control(qlm::ql::kValueBox));
    value->selectAll();
    QTest::keyClicks(value, "5");
    EXPECT_EQ(panel->windowTitle(), "QLM_T4 Control Interface");
    shoot(*panel, "camera_panel");
    QTest::mouseClick(static_cast<QAbstractButton*>(panel->control(qlm::ql::kTakePhoto)), Qt::LeftButton);
  };
  window_->runCommand(qlm::cmd::kCameraInterface);
  ASSERT_TRUE(panel_shot);
  EXPECT_EQ(window_->windowTitle(), "QLM_T4_USB - PK Camera Image");
  shoot(*window_, "main_window");

  // The autoguider panel with its guide star picked, then a few frames of guiding.
  qlm::GuiderFrame& image = qlm::imageBuffers().GuiderFrames[0];
  ASSERT_TRUE(qlm::GuiderExposure('s', 1, image, qlm::GuiderProcessing{}));
  const auto star = qlm::brightestGuiderStar(image, qlm::settings().mask_radius);
  ASSERT_TRUE(star);
  bool guider_shot = false;
  bool guiding_shot = false;
  step_ = [&](QWidget* modal) {
    if (auto* panel = qobject_cast<qlm::TGQLDialog*>(modal); panel != nullptr && !guider_shot) {
      guider_shot = true;
      QTimer::singleShot(0, panel, [&, panel] {
        click(*panel, "Select Guide Star");
        QTest::mouseRelease(panel, Qt::LeftButton, {},
                            QPoint(qlm::kGuiderImageLeft + star->x, qlm::kGuiderImageTop + star->y));
        EXPECT_EQ(panel->windowTitle(), "Auto Guider Camera Control");
        shoot(*panel, "autoguider_panel");
        click(*panel, "Start Guiding");
      });
      return;
    }
    for (auto* w : window_->findChildren<qlm::TGuidingWindow*>()) {
      if (!w->isVisible() || guiding_shot || qlm::guidingState().frames < 12) continue;
      guiding_shot = true;
      shoot(*w, "guiding_window");
      w->findChild<QAbstractButton*>("Stop Guiding")->click();
    }
  };
  window_->runCommand(qlm::cmd::kAutoguiderCamera);
  EXPECT_TRUE(guider_shot);
  EXPECT_TRUE(guiding_shot);
  EXPECT_EQ(saved_, 4);
}

}  // namespace
