#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <memory>

#include "app/command_table.h"
#include "app/qt/image_view.h"
#include "app/qt/main_window.h"
#include "app/window_model.h"
#include "image/analysis_views.h"
#include "image/display.h"
#include "image/qt/analysis_dialog.h"
#include "image/star_measure.h"
#include "sim/sim_transport.h"
#include "sim/sky_renderer.h"
#include "support/test_home.h"

namespace {

// The window showing a simulated star field, and the analysis dialogs opened from its menu.
class AnalysisDialogsTest : public ::testing::Test {
 protected:
  AnalysisDialogsTest() {
    options.transport = std::make_shared<qlm::sim::SimTransport>();
    options.home = home.path().string();
    window = std::make_unique<TQLM_T4Window>(options);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    qlm::sim::RenderRequest req;
    req.width = 660;
    req.height = 494;
    req.exposure_s = 2.0;
    qlm::sim::SkyRenderer().render(qlm::sim::mainHeadConfig(), req,
                                   qlm::imageBuffers().CurrentFrame.data() + 6 * 660);
    qlm::refreshDisplay();
    QApplication::processEvents();
  }
  ~AnalysisDialogsTest() override {
    window.reset();
    qlm::clickHooks() = {};
  }
  template <typename Dialog>
  Dialog* dialog() const {
    QApplication::processEvents();
    return window->findChild<Dialog*>();
  }
  void shot(QWidget* w, const char* name) {
    if (const char* dir = std::getenv("QLM_T4_SCREENSHOTS"))
      w->grab().save(QString(dir) + "/" + name + ".png");
  }
  QWidget* view() { return window->imageView().viewport(); }
  void press(QWidget* parent, const char* name) {
    auto* b = parent->findChild<QAbstractButton*>(name);
    ASSERT_NE(b, nullptr) << name;
    b->click();
  }

  qlm::test::TempHome home;
  WindowOptions options;
  std::unique_ptr<TQLM_T4Window> window;
};

TEST_F(AnalysisDialogsTest, RowPlotFollowsClicksUntilFinished) {
  window->runCommand(qlm::cmd::kRowPlot);
  auto* d = dialog<qlm::TRowDialog>();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->windowTitle(), "INTENSITY PROFILE OF ONE ROW");
  EXPECT_EQ(d->findChild<QLineEdit*>("Row")->text(), "250");
  QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(120, 96 + qlm::mouseModes().top));
  EXPECT_EQ(d->findChild<QLineEdit*>("Row")->text().toInt(), 96 + qlm::mouseModes().top);
  shot(d, "row_plot");
  press(d, "Finished");
  EXPECT_FALSE(qlm::mouseModes().row_plot);
  EXPECT_EQ(dialog<qlm::TRowDialog>(), nullptr);
}

TEST_F(AnalysisDialogsTest, PhotometryMeasuresTheClickedStarAndFollowsThePointer) {
  window->runCommand(qlm::cmd::kPhotometry);
  auto* d = dialog<qlm::TPHDialog>();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->windowTitle(), "PHOTOMETRY");
  // The brightest star of the field sits in the middle of the default focus window.
  const auto& m = qlm::mouseModes();
  const auto star = qlm::measureStar(qlm::imageBuffers().CurrentFrame.data(), 660, 500, 330, 250, 20);
  ASSERT_TRUE(star.has_value());
  const QPoint at(static_cast<int>(star->x + 0.5) - m.left, static_cast<int>(star->y + 0.5) - m.top);
  QTest::mouseClick(view(), Qt::LeftButton, {}, at);
  EXPECT_EQ(d->field("object_x")->text().toInt(), at.x() + m.left);
  EXPECT_GT(d->field("object_mean")->text().toInt(), 2 * d->field("background")->text().toInt());
  EXPECT_GT(d->field("object_fwhm")->text().toDouble(), 1.0);
  press(d, "Comparison");
  QTest::mouseClick(view(), Qt::LeftButton, {}, at);
  EXPECT_EQ(d->field("magnitude")->text(), "-0.00");
  QTest::mouseMove(view(), QPoint(50, 60));
  EXPECT_EQ(d->field("cursor_x")->text(), QString::number(50 + m.left));
  press(d, "17 Pixels");
  EXPECT_EQ(m.radius, 8);
  EXPECT_EQ(d->field("object_x")->text(), "0");
  shot(d, "photometry");
  d->close();
  QApplication::processEvents();
  EXPECT_FALSE(m.photometry);
}

}  // namespace
