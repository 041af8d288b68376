#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "files/settings.h"
#include "image/frame.h"
#include "image/qt/progress_dialog.h"
#include "platform/qt/qt_ui.h"
#include "sim/sim_transport.h"
#include "support/test_home.h"

namespace {

// The desktop program on a fresh data folder; `whileOpen` drives the dialog a command shows.
class ProcessingDialogTest : public ::testing::Test {
 protected:
  ProcessingDialogTest() {
    options_.transport = std::make_shared<qlm::sim::SimTransport>();
    options_.home = home_.path().string();
    window_ = std::make_unique<TQLM_T4Window>(options_);
    window_->show();
  }

  void runWithDialog(int command, const char* title, std::function<void(QDialog&)> whileOpen) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), title);
      seen = true;
      whileOpen(*dialog);
    });
    window_->runCommand(command);
    EXPECT_TRUE(seen);
  }

  template <typename T>
  static T* child(QDialog& d, const char* name) {
    auto* w = d.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  static QString text(QDialog& d, const char* field) { return child<QLineEdit>(d, field)->text(); }
  static void click(QDialog& d, const char* name) { child<QAbstractButton>(d, name)->click(); }
  static void step(QDialog& d, const char* bar, QAbstractSlider::SliderAction action, int times = 1) {
    for (int i = 0; i < times; ++i)
      child<QScrollBar>(d, bar)->triggerAction(action);
  }

  qlm::test::TempHome home_;
  WindowOptions options_;
  std::unique_ptr<TQLM_T4Window> window_;
};

TEST_F(ProcessingDialogTest, EveryContrastAndFilterCommandHasAHandler) {
  using namespace qlm::cmd;
  for (int id :
       {kNormalStretch, kPowerLawStretch, kSineStretch, kRemoveBackground, kNonLinearStretch, kLogStretch,
        kAntilogStretch, kInvertImage, kUnsharpMask, kLowPassSmoother, kGaussianSmoother, kHighPassLowPower,
        kMedianFilter, kHighPassHighPower, kSmootherSharper, kBasRelief, kGradientFilter, kSetAutoProcessing})
    EXPECT_TRUE(window_->hasCommandHandler(id)) << id;
}

TEST_F(ProcessingDialogTest, MenuFiltersRunWithoutADialog) {
  window_->runCommand(qlm::cmd::kGaussianSmoother);
  window_->runCommand(qlm::cmd::kInvertImage);
  EXPECT_EQ(qlm::historyList().entry(0), "Gaussian Filter");
  EXPECT_EQ(qlm::historyList().entry(1), "Invert Image to Negative");
}

TEST_F(ProcessingDialogTest, NormalStretchScrollBarsSetTheValues) {
  runWithDialog(qlm::cmd::kNormalStretch, "Normal Stretch", [](QDialog& d) {
    EXPECT_EQ(text(d, "Black"), "0");
    EXPECT_EQ(text(d, "White"), "255");
    EXPECT_NE(d.findChild<QWidget*>("Histogram"), nullptr);
    step(d, "BlackBar", QAbstractSlider::SliderPageStepAdd, 2);
    step(d, "WhiteBar", QAbstractSlider::SliderSingleStepAdd, 3);
    EXPECT_EQ(text(d, "Black"), "20");
    EXPECT_EQ(text(d, "White"), "258");
    EXPECT_EQ(child<QScrollBar>(d, "BlackBar")->value(), 20);
    click(d, "OK");
  });
  EXPECT_EQ(qlm::historyList().entry(0), "Normal Stretch : max 516 , min : 40");
}

TEST_F(ProcessingDialogTest, PowerDialogStepsInTenthsAndCancelDoesNothing) {
  runWithDialog(qlm::cmd::kPowerLawStretch, "Power Law Stretch", [](QDialog& d) {
    EXPECT_EQ(text(d, "Power"), "1.0");
    step(d, "PowerBar", QAbstractSlider::SliderSingleStepAdd, 5);
    EXPECT_EQ(text(d, "Power"), "1.5");
    click(d, "Cancel");
  });
  EXPECT_EQ(qlm::historyList().count(), 0);
  runWithDialog(qlm::cmd::kPowerLawStretch, "Power Law Stretch", [](QDialog& d) {
    EXPECT_EQ(text(d, "Power"), "1.0");  // start value again
    step(d, "PowerBar", QAbstractSlider::SliderSingleStepSub, 3);
    click(d, "OK");
  });
  EXPECT_EQ(qlm::historyList().entry(0), "Power Stretch :  0.7");
}

TEST_F(ProcessingDialogTest, NonLinearOkChecksTheTypedPower) {
  runWithDialog(qlm::cmd::kNonLinearStretch, "Non-Linear Stretch", [](QDialog& d) {
    EXPECT_EQ(text(d, "Non-Linear Power"), "25");
    child<QLineEdit>(d, "Non-Linear Power")->setText("51");
    click(d, "OK");
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(text(d, "Non-Linear Power"), "25");
    child<QLineEdit>(d, "Non-Linear Power")->setText("6");
    step(d, "PowerBar", QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(text(d, "Non-Linear Power"), "7");
    click(d, "OK");
  });
  EXPECT_EQ(qlm::historyList().entry(0), "Non-Linear Stretch : power 7");
}

TEST_F(ProcessingDialogTest, MedianAndUnsharpDialogs) {
  runWithDialog(qlm::cmd::kMedianFilter, "Median Filter", [](QDialog& d) {
    EXPECT_EQ(text(d, "Radius"), "1");
    EXPECT_EQ(text(d, "Power"), "0.6");
    step(d, "RadiusBar", QAbstractSlider::SliderSingleStepAdd, 5);
    step(d, "PowerBar", QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(text(d, "Radius"), "3");
    click(d, "OK");
  });
  runWithDialog(qlm::cmd::kUnsharpMask, "Unsharp Mask Filter", [](QDialog& d) {
    EXPECT_EQ(text(d, "Radius"), "3");
    EXPECT_EQ(text(d, "Power"), "1");
    step(d, "PowerBar", QAbstractSlider::SliderSingleStepAdd, 2);
    click(d, "OK");
  });
  EXPECT_EQ(qlm::historyList().entry(0), "Median Filter : rad 3 ,power 0.7");
  EXPECT_EQ(qlm::historyList().entry(1), "Unsharp Mask : rad 3 ,power 3");
}

TEST_F(ProcessingDialogTest, AutoDialogActsAtOnceAndSavesOnlyValidNumbers) {
  const auto file = home_.path() / "autosave" / "QLM_T4.ini";
  std::filesystem::remove(file);
  runWithDialog(qlm::cmd::kSetAutoProcessing, "Auto-Processing Choices", [&](QDialog& d) {
    EXPECT_TRUE(child<QRadioButton>(d, "No Auto Stretch")->isChecked());
    click(d, "Apply Strong Stretch");
    EXPECT_TRUE(qlm::settings().apply_strong_stretch);
    EXPECT_TRUE(child<QRadioButton>(d, "Apply Strong Stretch")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(d, "No Auto Stretch")->isChecked());
    click(d, "Unsharp Mask");
    EXPECT_TRUE(qlm::settings().unsharp_mask);
    child<QLineEdit>(d, "dia.")->setText("1");
    child<QLineEdit>(d, "power")->setText("5");
    click(d, "Save");
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(text(d, "dia."), "3");  // refused: the stored value again
    EXPECT_EQ(text(d, "power"), "5");
    EXPECT_FALSE(std::filesystem::exists(file));
    child<QLineEdit>(d, "dia.")->setText("6");
    click(d, "Save");
  });
  EXPECT_EQ(qlm::settings().unsharp_dia, 6);
  EXPECT_EQ(qlm::settings().unsharp_power, 5);
  EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(ProcessingDialogTest, ProgressWindowShowsTheCallersCaption) {
  qlm::QtUi& ui = window_->ui();
  ui.progressOpen("MEDIAN FILTER PROGRESS");
  auto* progress = window_->findChild<qlm::TProgressDialog*>("TProgressDialog");
  ASSERT_NE(progress, nullptr);
  EXPECT_TRUE(progress->isVisible());
  EXPECT_EQ(progress->windowTitle(), "MEDIAN FILTER PROGRESS");
  EXPECT_EQ(progress->maximum(), 256);
  const auto* start = progress->findChild<QLabel*>("ProgressStart");
  const auto* end = progress->findChild<QLabel*>("ProgressEnd");
  ASSERT_TRUE(start != nullptr && end != nullptr);
  EXPECT_EQ(start->text(), "0%");
  EXPECT_EQ(end->text(), "100%");
  EXPECT_LT(start->geometry().right(), end->geometry().left());
  ui.progressSet(128);
  EXPECT_EQ(progress->value(), 128);
  ui.progressOpen("FLAT FIELD PROGRESS");  // a new caption while open
  EXPECT_EQ(progress->windowTitle(), "FLAT FIELD PROGRESS");
  ui.progressClose();
  EXPECT_FALSE(progress->isVisible());
}

}  // namespace
