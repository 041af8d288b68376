#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "files/settings.h"
#include "guiding/qt/autostar_dialog.h"
#include "guiding/qt/lx200_dialog.h"
#include "guiding/qt/move_dialog.h"
#include "sim/sim_setup.h"
#include "support/test_home.h"

namespace {

using Commands = std::vector<std::string>;

// The window on the simulated camera with its mount; the panel chosen by the drive method.
class TelescopePanelsTest : public ::testing::Test {
 protected:
  void open(char drive_method) {
    options.transport = std::shared_ptr<qlm::Transport>(sim, &sim->transport());
    options.home = home.path().string();
    window = std::make_unique<TQLM_T4Window>(options);
    qlm::settings().show_interface_details = false;
    qlm::settings().drive_method = drive_method;
    qlm::saveSettings();  // the command reads the settings file first
    window->show();
    window->runCommand(qlm::cmd::kTelescopeControl);
  }
  template <typename T>
  T* child(QWidget* parent, const char* name) {
    auto* w = parent->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void press(QWidget* parent, const char* name) {
    QTest::mousePress(child<QToolButton>(parent, name), Qt::LeftButton);
  }
  void release(QWidget* parent, const char* name) {
    QTest::mouseRelease(child<QToolButton>(parent, name), Qt::LeftButton);
  }

  std::shared_ptr<qlm::sim::SimSystem> sim = std::make_shared<qlm::sim::SimSystem>();
  qlm::sim::Mount& mount = sim->mount();
  qlm::test::TempHome home;
  WindowOptions options;
  std::unique_ptr<TQLM_T4Window> window;
};

TEST_F(TelescopePanelsTest, Lx200PanelGoesToObjectsMovesAndFocuses) {
  open('l');
  auto* panel = window->findChild<qlm::TLX200Dialog*>();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->isVisible());
  EXPECT_FALSE(panel->isModal());
  EXPECT_EQ(panel->windowTitle(), "QLM_T4_USB Move Telescope - LX200 non-GPS (TM)");
  EXPECT_TRUE(child<QRadioButton>(panel, "Slew")->isChecked());
  EXPECT_TRUE(child<QRadioButton>(panel, "Slow")->isChecked());

  child<QLineEdit>(panel, "CNGC Object")->setText("224");
  child<QAbstractButton>(panel, "GoTo Object")->click();
  EXPECT_EQ(mount.commands(), (Commands{"#:LC 0224#", "#:LI#", "#:MS#"}));
  EXPECT_EQ(child<QLineEdit>(panel, "Object Info")->text(), "NGC224 Andromeda Galaxy");
  EXPECT_EQ(child<QLineEdit>(panel, "Slew Reply")->text(), "");

  mount.clearLog();
  child<QAbstractButton>(panel, "Guide")->click();
  press(panel, "East");
  press(panel, "North");  // a second arrow while moving sends nothing
  release(panel, "East");
  child<QAbstractButton>(panel, "Fast")->click();
  press(panel, "Focus Down");
  release(panel, "Focus Down");
  EXPECT_EQ(mount.commands(),
            (Commands{"#:RG#", "#:Me#", "#:Qn#", "#:Qs#", "#:Qe#", "#:Qw#", "#:FF#", "#:F-#", "#:FQ#"}));
  EXPECT_TRUE(child<QRadioButton>(panel, "Guide")->isChecked());
  EXPECT_TRUE(child<QRadioButton>(panel, "Fast")->isChecked());

  window->runCommand(qlm::cmd::kTelescopeControl);  // one panel at a time
  EXPECT_EQ(window->findChildren<qlm::TLX200Dialog*>().size(), 1u);
  child<QAbstractButton>(panel, "Finished")->click();
  EXPECT_FALSE(panel->isVisible());
}

TEST_F(TelescopePanelsTest, AutostarPanelPollsUntilARightButtonPress) {
  qlm::TAutostarDialog* seen = nullptr;
  QTimer::singleShot(300, [&] {
    seen = window->findChild<qlm::TAutostarDialog*>();
    if (seen != nullptr) QTest::mouseClick(seen, Qt::RightButton);
  });
  open('a');  // returns when the polling has ended
  ASSERT_NE(seen, nullptr);
  EXPECT_TRUE(seen->isVisible());
  EXPECT_EQ(seen->windowTitle(), "QLM_T4_USB Move Telescope  - Meade Acustar (TM)");
  EXPECT_EQ(seen->findChild<QAbstractButton*>("Saturn"), nullptr);
  const Commands polled = mount.commands();
  ASSERT_GE(polled.size(), 2u);
  EXPECT_EQ(polled[0], "#:GR#");
  EXPECT_EQ(polled[1], "#:GD#");
  mount.clearLog();
  QTest::qWait(50);
  EXPECT_TRUE(mount.commands().empty());  // polling over, the panel stays
  child<QLineEdit>(seen, "Messier Object")->setText("42");
  child<QAbstractButton>(seen, "GoTo Object")->click();
  EXPECT_EQ(mount.commands(), (Commands{"#:LM 0042#", "#:LI#", "#:MS#"}));
}

TEST_F(TelescopePanelsTest, MoveTelescopePanelHoldsARelayWhileAnArrowIsDown) {
  open('b');
  auto* panel = window->findChild<qlm::TMoveDialog*>();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->windowTitle(), "Move Telescope");
  press(panel, "West");
  press(panel, "South");  // ignored while the west relay is closed
  EXPECT_EQ(sim->transport().relayValue(), 1);
  release(panel, "West");
  press(panel, "North");
  EXPECT_EQ(sim->transport().relayValue(), 4);
  release(panel, "North");
  EXPECT_EQ(sim->transport().relayValue(), 0);
  EXPECT_TRUE(mount.receivedBytes().empty());
}

}  // namespace
