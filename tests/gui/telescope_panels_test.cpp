#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <memory>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "files/settings.h"
#include "guiding/qt/autostar_dialog.h"
#include "guiding/qt/lx200_dialog.h"
#include "guiding/qt/move_dialog.h"
#include "guiding/qt/position_box.h"
#include "platform/platform.h"
#include "sim/sim_setup.h"
#include "support/sim_mount.h"
#include "support/test_home.h"

namespace {

using Commands = std::vector<std::string>;

// The window on the simulated camera with its mount; the panel chosen by the drive method. With
// `virtual_clock` the program and the simulator share a clock that moves only when the program waits
// or the test moves it.
class TelescopePanelsTest : public ::testing::Test {
 protected:
  void open(char drive_method, bool virtual_clock = false) {
    options.transport = std::shared_ptr<qlm::Transport>(sim, &sim->transport());
    options.home = home.path().string();
    window = std::make_unique<TQLM_T4Window>(options);
    if (virtual_clock) {
      qlm::Platform p = qlm::platform();
      p.clock = &clock;
      virtual_time = std::make_unique<qlm::ScopedPlatform>(p);
    }
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

  // One tick of a panel's position timer, a second after the last.
  void tick(qlm::TPositionBox& box) {
    clock.advance(1000);
    EXPECT_TRUE(box.poll());
  }

  std::shared_ptr<qlm::sim::SimSystem> sim = std::make_shared<qlm::sim::SimSystem>(qlm::test::quietMount());
  qlm::sim::Mount& mount = sim->mount();
  qlm::test::TempHome home;
  WindowOptions options;
  qlm::VirtualClock clock;
  std::unique_ptr<TQLM_T4Window> window;
  std::unique_ptr<qlm::ScopedPlatform> virtual_time;  // after the window: uninstalled first
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

// The LX200 panel reads the position every second while it is open, keeps the object info the mount
// gave, and says when a go-to's slew has ended: at the typed co-ordinates, or when the position stands
// still after a catalogue go-to. A tick while a box is up or long work delivers events leaves the
// mount alone: it would take the replies that work waits for.
TEST_F(TelescopePanelsTest, Lx200PanelFollowsTheMountThroughAGoTo) {
  open('l', true);
  auto* panel = window->findChild<qlm::TLX200Dialog*>();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(child<QTimer>(panel, "Position Poll")->isActive());
  qlm::TPositionBox& box = panel->positionBox();
  bool asked_in_box = true;
  QTimer::singleShot(0, [&] {
    asked_in_box = box.poll();
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  child<QAbstractButton>(panel, "Help")->click();
  bool asked_in_pump = true;
  QTimer::singleShot(0, [&] { asked_in_pump = box.poll(); });
  for (int i = 0; i < 5; ++i)
    qlm::platform().ui->pumpEvents();
  EXPECT_FALSE(asked_in_box);
  EXPECT_FALSE(asked_in_pump);
  EXPECT_TRUE(mount.commands().empty());
  auto* ra = child<QLineEdit>(panel, "Position R.A.");
  auto* dec = child<QLineEdit>(panel, "Position Dec");
  auto* status = child<QLabel>(panel, "Slew Status");
  tick(box);
  EXPECT_EQ(mount.commands(), (Commands{"#:GR#", "#:GD#"}));
  EXPECT_EQ(ra->text(), "00:00:00");
  EXPECT_EQ(dec->text(), QString::fromUtf8("+00\u00b000'00\""));
  EXPECT_EQ(status->text(), "");

  // Co-ordinates: the slew ends on the target, said at the first reading there.
  const std::array<const char*, 4> fields = {"RA hrs", "RA mins", "Dec Deg", "Dec mins"};
  const std::array<const char*, 4> typed = {"5", "34", "-22", "7"};
  for (std::size_t i = 0; i < fields.size(); ++i)
    child<QLineEdit>(panel, fields[i])->setText(typed[i]);
  child<QAbstractButton>(panel, "Go To")->click();
  EXPECT_EQ(status->text(), "Slewing");
  for (int ticks = 0; status->text() == "Slewing" && ticks < 120; ++ticks) {
    EXPECT_TRUE(mount.slewing()) << "the end was not said at the first reading after it";
    tick(box);
  }
  EXPECT_EQ(status->text(), "Slew ended at the target");
  EXPECT_EQ(ra->text(), "05:34:00");
  EXPECT_EQ(dec->text(), QString::fromUtf8("-22\u00b007'00\""));

  // A catalogue go-to has no target here: the end is the position standing still for two seconds.
  child<QLineEdit>(panel, "Messier Object")->setText("42");
  child<QAbstractButton>(panel, "GoTo Object")->click();
  int still_ticks = 0;
  for (int ticks = 0; status->text() == "Slewing" && ticks < 120; ++ticks) {
    tick(box);
    still_ticks = mount.slewing() ? 0 : still_ticks + 1;
  }
  EXPECT_EQ(status->text(), "Slew ended");
  EXPECT_EQ(still_ticks, 3);  // three readings that agree, two seconds apart
  EXPECT_EQ(child<QLineEdit>(panel, "Object Info")->text(), "M42 Orion Nebula");  // not the last reading
  child<QAbstractButton>(panel, "GoTo Object")->click();                          // where it already is
  for (int i = 0; i < 3; ++i)
    tick(box);
  EXPECT_EQ(status->text(), "The mount did not move");

  // A manual move takes over from the go-to; a slew the mount refuses is no slew.
  press(panel, "East");
  release(panel, "East");
  EXPECT_EQ(status->text(), "");
  child<QLineEdit>(panel, "Messier Object")->setText("0");
  child<QLineEdit>(panel, "CNGC Object")->setText("5");
  child<QAbstractButton>(panel, "GoTo Object")->click();
  EXPECT_EQ(child<QLineEdit>(panel, "Slew Reply")->text(), "Object not in library");
  EXPECT_EQ(status->text(), "");

  mount.setReplyFault(qlm::sim::ReplyFault::Silent);
  tick(box);
  EXPECT_EQ(status->text(), "No position from the mount");
}

// "Move Telescope" drives a mount on the relay socket, and shows where its serial port says it is.
TEST_F(TelescopePanelsTest, MoveTelescopePanelShowsTheMountMoving) {
  open('b', true);
  auto* panel = window->findChild<qlm::TMoveDialog*>();
  ASSERT_NE(panel, nullptr);
  auto* dec = child<QLineEdit>(panel, "Position Dec");
  qlm::TPositionBox& box = panel->positionBox();
  press(panel, "North");
  clock.advance(20000);
  tick(box);
  release(panel, "North");
  // 21 s at the guide rate (half the sidereal rate, 7.5 arcseconds a second).
  EXPECT_EQ(dec->text(), QString::fromUtf8("+00\u00b002'38\""));
  EXPECT_EQ(mount.commands(), (Commands{"#:GR#", "#:GD#"}));

  // A failed read is shown, and ends the readout rather than coming back as a box every second.
  sim->transport().failReads(1);
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  answer.start(5);
  tick(box);
  EXPECT_FALSE(child<QTimer>(panel, "Position Poll")->isActive());
}

}  // namespace
