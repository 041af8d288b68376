#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <iterator>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "files/qt/ini_dialog.h"
#include "files/settings.h"
#include "platform/platform.h"
#include "sim/sim_transport.h"
#include "support/test_home.h"

namespace {

// The desktop program with a fresh data folder; `whileOpen` drives the defaults dialog once the
// command has shown it.
class IniDialogTest : public ::testing::Test {
 protected:
  IniDialogTest() {
    options_.transport = std::make_shared<qlm::sim::SimTransport>();
    options_.home = home_.path().string();
    window_ = std::make_unique<TQLM_T4Window>(options_);
    window_->show();
  }

  void runDefaults(std::function<void(qlm::TINIDialog&)> whileOpen) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<qlm::TINIDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      seen = true;
      whileOpen(*dialog);
    });
    window_->runCommand(qlm::cmd::kProgramDefaults);
    EXPECT_TRUE(seen);
  }

  static void click(qlm::TINIDialog& d, const char* name) {
    auto* b = d.findChild<QAbstractButton*>(name);
    ASSERT_NE(b, nullptr) << name;
    b->click();
  }

  char storedBackground() const {
    std::ifstream in(home_.path() / "autosave" / "QLM_T4.ini", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return bytes.size() > 11 ? bytes[11] : '\0';
  }

  qlm::test::TempHome home_;
  WindowOptions options_;
  std::unique_ptr<TQLM_T4Window> window_;
};

TEST_F(IniDialogTest, RedThenCancelLastsUntilTheDialogReloadsTheFile) {
  runDefaults([](qlm::TINIDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Set Program Defaults");
    click(d, "Red");
    EXPECT_TRUE(d.findChild<QRadioButton*>("Red")->isChecked());
    EXPECT_FALSE(d.findChild<QRadioButton*>("Lt Gray")->isChecked());
    click(d, "Cancel");
  });
  EXPECT_EQ(qlm::settings().window_background, 'r');  // in effect, not saved
  EXPECT_EQ(storedBackground(), 'l');
  runDefaults([](qlm::TINIDialog& d) {
    EXPECT_TRUE(d.findChild<QRadioButton*>("Lt Gray")->isChecked());
    EXPECT_FALSE(d.findChild<QRadioButton*>("Red")->isChecked());
    click(d, "Cancel");
  });
  EXPECT_EQ(qlm::settings().window_background, 'l');
}

TEST_F(IniDialogTest, TypedValuesWaitForTheirSetButtonAndSaveChangesWritesThem) {
  runDefaults([](qlm::TINIDialog& d) {
    auto* hysteresis = d.findChild<QLineEdit*>("Main Hysteresis in RA (0-10)");
    ASSERT_NE(hysteresis, nullptr);
    hysteresis->setFocus();
    hysteresis->selectAll();
    QTest::keyClicks(hysteresis, "35");
    click(d, "Com2");  // a press shows the stored value again
    EXPECT_EQ(hysteresis->text(), "0");
    hysteresis->selectAll();
    QTest::keyClicks(hysteresis, "35");
    click(d, "Set slew values");
    EXPECT_EQ(hysteresis->text(), "20");
    click(d, "Filter Wheel");
    EXPECT_EQ(d.findChild<QLabel*>("FilterWheelText")->text(), "on Com1");
    click(d, "Save Changes");
  });
  EXPECT_EQ(qlm::settings().main_ra_hysteresis, 20);
  EXPECT_EQ(qlm::settings().telescope_com, '2');
  qlm::settings().main_ra_hysteresis = 0;
  ASSERT_EQ(qlm::loadSettings(), qlm::kSettingsOk);
  EXPECT_EQ(qlm::settings().main_ra_hysteresis, 20);
  EXPECT_TRUE(qlm::settings().filter_wheel_present);
}

// The directory is kept as typed; the line under it says which folder that is here.
TEST_F(IniDialogTest, AutoSaveDirectoryShowsTheFolderItStandsFor) {
  runDefaults([this](qlm::TINIDialog& d) {
    auto* folder = d.findChild<QLabel*>("AutoSave Folder");
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->toolTip().toStdString(), "in " + (home_.path() / "autosave").string());
    auto* dir = d.findChild<QLineEdit*>("AutoSave Directory");
    dir->setFocus();
    dir->selectAll();
    QTest::keyClicks(dir, "c:\\night1");
    click(d, "Set AutoSave Dir");
    EXPECT_EQ(dir->text(), "c:\\night1");
    EXPECT_EQ(folder->toolTip().toStdString(), "in " + (home_.path() / "night1").string());
    click(d, "Cancel");
  });
}

}  // namespace
