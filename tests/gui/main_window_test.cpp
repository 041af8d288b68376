#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "app/command_table.h"
#include "app/qt/image_view.h"
#include "app/qt/main_window.h"
#include "app/window_model.h"
#include "files/settings.h"
#include "image/display.h"
#include "platform/platform.h"
#include "sim/sim_transport.h"
#include "support/test_home.h"

namespace {

// One QApplication for the whole GUI test program, offscreen.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "test_gui";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
    QApplication::setApplicationName("QLM_T4_USB");
  }
  void TearDown() override { delete app_; }

 private:
  QApplication* app_ = nullptr;
};

const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QString qs(std::string_view s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    options.transport = std::make_shared<qlm::sim::SimTransport>();
    options.home = home.path().string();
    options.auto_contrast = false;  // the display's own rules, as the start-up ramp shows them
    window = std::make_unique<TQLM_T4Window>(options);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  ~MainWindowTest() override {
    window.reset();
    qlm::clickHooks() = {};
  }
  // Saves what the window shows when QLM_T4_SCREENSHOTS names a folder (for looking at it by eye).
  QImage grab(const char* name) {
    QApplication::processEvents();
    const QImage image = window->grab().toImage();
    if (const char* dir = std::getenv("QLM_T4_SCREENSHOTS")) {
      image.save(QString::fromUtf8(dir) + "/" + name + ".png");
    }
    return image;
  }
  QImage grabView(const char* name) {
    QApplication::processEvents();
    const QImage image = window->imageView().viewport()->grab().toImage();
    if (const char* dir = std::getenv("QLM_T4_SCREENSHOTS")) {
      image.save(QString::fromUtf8(dir) + "/" + name + "_view.png");
    }
    return image;
  }
  std::vector<int> toolCommands() const {
    std::vector<int> ids;
    for (QAction* a : window->findChild<QToolBar*>("ToolBar")->actions())
      ids.push_back(a->isSeparator() ? 0 : a->data().toInt());
    return ids;
  }

  qlm::test::TempHome home;
  WindowOptions options;
  std::unique_ptr<TQLM_T4Window> window;
};

TEST_F(MainWindowTest, StartsWithCaptionTitleGeometryAndStatusText) {
  EXPECT_EQ(QApplication::applicationName(), "QLM_T4_USB");
  EXPECT_EQ(window->windowTitle(), "QLM_T4_USB - (Untitled)");
  EXPECT_EQ(window->statusBar()->currentMessage(), "QLM T4 Camera Control and Image processing program");
  EXPECT_EQ(window->geometry().size(), QSize(720, 620));
  EXPECT_EQ(qlm::platform().paths.root(), home.path());
}

TEST_F(MainWindowTest, EveryMenuItemHasTheTableTextIdentifierAndShortcut) {
  const QList<QAction*> menus = window->menuBar()->actions();
  const auto& table = qlm::menuBar();
  ASSERT_EQ(menus.size(), qsizetype(table.size()));
  int items = 0;
  for (std::size_t m = 0; m < table.size(); ++m) {
    EXPECT_EQ(menus[qsizetype(m)]->text(), qs(table[m].title));
    const QList<QAction*> actions = menus[qsizetype(m)]->menu()->actions();
    ASSERT_EQ(actions.size(), qsizetype(table[m].items.size())) << table[m].title;
    for (std::size_t i = 0; i < table[m].items.size(); ++i) {
      QAction* a = actions[qsizetype(i)];
      const int id = table[m].items[i];
      if (id == qlm::kSeparator) {
        EXPECT_TRUE(a->isSeparator());
        continue;
      }
      const qlm::CommandInfo* c = qlm::findCommand(id);
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(a->data().toInt(), id);
      EXPECT_EQ(a->text(), qs(c->text)) << id;
      EXPECT_EQ(a->shortcut(), QKeySequence(qs(c->key), QKeySequence::PortableText)) << id;
      EXPECT_EQ(a->statusTip(), qs(qlm::commandHint(id))) << id;
      ++items;
    }
  }
  // Each menu as it opens, for looking at by eye.
  if (const char* dir = std::getenv("QLM_T4_SCREENSHOTS")) {
    for (QAction* m : menus) {
      m->menu()->popup(QPoint(0, 0));
      QApplication::processEvents();
      m->menu()->grab().save(QString::fromUtf8(dir) + "/menu_" + m->text().remove('&') + ".png");
      m->menu()->hide();
    }
  }
  const auto with_text = std::count_if(qlm::commandTable().begin(), qlm::commandTable().end(),
                                       [](const qlm::CommandInfo& c) { return !c.text.empty(); });
  EXPECT_EQ(items, with_text);
  EXPECT_EQ(items, 61);
  // Ctrl+W works without a menu entry.
  QAction* ctrl_w = window->commandAction(qlm::cmd::kSaveUnexpandedBinned);
  ASSERT_NE(ctrl_w, nullptr);
  EXPECT_EQ(ctrl_w->shortcut(), QKeySequence("Ctrl+W"));
  EXPECT_TRUE(window->actions().contains(ctrl_w));
}

TEST_F(MainWindowTest, ChosenCommandRunsItsHandlerOrSaysItIsNotAvailable) {
  int runs = 0;
  window->setCommandHandler(qlm::cmd::kHistogram, [&] { ++runs; });
  window->commandAction(qlm::cmd::kHistogram)->trigger();
  EXPECT_EQ(runs, 1);
  window->setCommandHandler(qlm::cmd::kHistogram, nullptr);
  EXPECT_FALSE(window->hasCommandHandler(qlm::cmd::kHistogram));
  window->commandAction(qlm::cmd::kHistogram)->trigger();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(window->statusBar()->currentMessage(), "Histogram is not available yet");
}

TEST_F(MainWindowTest, OnlyTheAcceleratorsStartCommandsNotEnterTabOrBackspace) {
  window->activateWindow();
  QApplication::setActiveWindow(window.get());
  if (!QTest::qWaitForWindowActive(window.get())) {
    GTEST_SKIP()
        << "the window system gives the window no keyboard focus (an X server without a window manager)";
  }
  std::map<int, int> runs;
  for (int id : {qlm::cmd::kMerge, qlm::cmd::kLoadNextAutosaved, qlm::cmd::kHistogram})
    window->setCommandHandler(id, [&runs, id] { ++runs[id]; });
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Tab, Qt::Key_Backspace})
    QTest::keyClick(window.get(), key);
  EXPECT_TRUE(runs.empty());
  QTest::keyClick(window.get(), Qt::Key_M, Qt::ControlModifier);
  QTest::keyClick(window.get(), Qt::Key_I, Qt::ControlModifier);
  QTest::keyClick(window.get(), Qt::Key_H, Qt::ControlModifier);
  EXPECT_EQ(runs, (std::map<int, int>{
                      {qlm::cmd::kMerge, 1}, {qlm::cmd::kLoadNextAutosaved, 1}, {qlm::cmd::kHistogram, 1}}));
}

TEST_F(MainWindowTest, ToolBarSwapsThePaletteButtonAndShowsTelescopeOnlyWithADriveMethod) {
  auto ids = toolCommands();
  std::vector<int> expected;
  for (const qlm::ToolButton& b : qlm::toolBarLayout(false, 'n'))
    expected.push_back(b.command);
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), qlm::cmd::kTelescopeControl), 0);
  EXPECT_EQ(ids[7], qlm::cmd::kUseMaxPalette);
  window->runCommand(qlm::cmd::kUseMaxPalette);
  EXPECT_TRUE(qlm::frameState().max_palette_stretch);
  EXPECT_EQ(toolCommands()[7], qlm::cmd::kDontUseMaxPalette);
  window->setDriveMethod('b');
  EXPECT_EQ(toolCommands().back(), qlm::cmd::kTelescopeControl);
  window->setDriveMethod('n');
  EXPECT_NE(toolCommands().back(), qlm::cmd::kTelescopeControl);
}

TEST_F(MainWindowTest, ShowsTheStartUpRampLoadedBackFromTheTemporaryBitmap) {
  EXPECT_TRUE(std::filesystem::exists(qlm::platform().paths.displayBitmap()));
  const QImage& picture = window->imageView().picture();
  ASSERT_EQ(picture.size(), QSize(660, 500));
  EXPECT_EQ(qGray(picture.pixel(10, 0)), 0);
  EXPECT_EQ(qGray(picture.pixel(10, 499)), (499 * 62) >> 8);
  const QImage shot = grab("startup_ramp");
  const QImage view = grabView("startup_ramp");
  EXPECT_EQ(qGray(view.pixel(5, 0)), 0);
  EXPECT_GT(qGray(view.pixel(5, view.height() - 1)), 0) << "the ramp brightens downwards";
  // In a smaller window the scroll bars reach the rest of the picture, 1 pixel a step.
  window->resize(500, 400);
  QApplication::processEvents();
  const QWidget* viewport = window->imageView().viewport();
  EXPECT_EQ(window->imageView().horizontalScrollBar()->maximum(), 660 - viewport->width());
  EXPECT_EQ(window->imageView().verticalScrollBar()->maximum(), 500 - viewport->height());
  window->imageView().verticalScrollBar()->setValue(30);
  EXPECT_EQ(qlm::mouseModes().top, 30);
  const QImage scrolled = grabView("scrolled");
  EXPECT_EQ(qGray(scrolled.pixel(5, 0)), (30 * 62) >> 8);
  EXPECT_FALSE(shot.isNull());
}

TEST_F(MainWindowTest, FittedViewStretchesThePictureOverTheClientArea) {
  window->commandAction(qlm::cmd::kFitToWindow)->trigger();
  EXPECT_TRUE(qlm::frameState().fit_to_window);
  EXPECT_TRUE(window->commandAction(qlm::cmd::kFitToWindow)->isChecked());
  EXPECT_EQ(window->imageView().verticalScrollBar()->maximum(), 0);
  grab("fitted");
  const QImage view = grabView("fitted");
  // The bottom row of the picture (the ramp's brightest) lands on the last row of the view.
  EXPECT_NEAR(qGray(view.pixel(view.width() / 2, view.height() - 1)), (499 * 62) >> 8, 2);
  EXPECT_NEAR(qGray(view.pixel(view.width() - 1, 0)), 0, 2);
}

TEST_F(MainWindowTest, CentredViewLeavesBackgroundMarginsInALargeWindow) {
  window->resize(1000, 800);
  window->setBackgroundColour(120, 40, 40);
  window->commandAction(qlm::cmd::kCentreImage)->trigger();
  EXPECT_TRUE(qlm::frameState().centre_image);
  grab("centred");
  const QImage view = grabView("centred");
  const int x0 = (view.width() - 660) / 2;
  ASSERT_GT(x0, 2);
  EXPECT_EQ(view.pixel(x0 / 2, view.height() / 2), qRgb(120, 40, 40)) << "left margin";
  const int y0 = (view.height() - 500) / 2;
  EXPECT_EQ(qGray(view.pixel(x0 + 10, y0 + 499)), (499 * 62) >> 8);
  // Mirror then flip: the brightest row is now at the top of the centred picture.
  window->runCommand(qlm::cmd::kFlipImage);
  const QImage flipped = grabView("centred_flipped");
  EXPECT_EQ(qGray(flipped.pixel(x0 + 10, y0)), (499 * 62) >> 8);
}

TEST_F(MainWindowTest, ClickOnThePictureReachesTheActiveMode) {
  int row = -1;
  qlm::clickHooks().row_plot = [&](int r) { row = r; };
  qlm::mouseModes().row_plot = true;
  QTest::mouseClick(window->imageView().viewport(), Qt::LeftButton, {}, QPoint(30, 40));
  EXPECT_EQ(row, 40 + qlm::mouseModes().top);
}

TEST_F(MainWindowTest, CopyIsEnabledWithAPictureAndPutsItOnTheClipboard) {
  QAction* copy = window->commandAction(qlm::cmd::kCopy);
  EXPECT_TRUE(copy->isEnabled());
  copy->trigger();
  const QImage copied = QApplication::clipboard()->image();
  EXPECT_EQ(copied.size(), QSize(660, 500));
}

TEST_F(MainWindowTest, FalseColourChangesTheShownPalette) {
  window->commandAction(qlm::cmd::kFalseColour)->trigger();
  const QImage& picture = window->imageView().picture();
  const QRgb c = picture.pixel(10, 300);  // byte 72: coloured, not grey
  EXPECT_NE(qRed(c), qBlue(c));
  grab("false_colour");
}

// Runs `check` on the modal dialog that the next command opens, once it is up.
void onModal(std::function<void(QWidget*)> check) {
  QTimer::singleShot(0, [check] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    check(modal);
  });
}

TEST_F(MainWindowTest, LabelDialogTypesTheTextIntoTheFrame) {
  onModal([](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Label Current Image");
    auto* text = dialog->findChild<QLineEdit*>("LabelText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->maxLength(), 30);
    text->setText("Jupiter");
    EXPECT_FALSE(dialog->findChild<QCheckBox*>("AutoDate")->isChecked());
    static_cast<QDialog*>(dialog)->accept();
  });
  window->runCommand(qlm::cmd::kLabel);
  EXPECT_TRUE(qlm::labelled(qlm::imageBuffers().CurrentFrame.data()));
  // The label band shows on screen: white glyph pixels in the top rows.
  const QImage& picture = window->imageView().picture();
  int white = 0;
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 660; ++x)
      white += qGray(picture.pixel(x, y)) == 255;
  }
  EXPECT_GT(white, 50);
  grab("labelled");
}

TEST_F(MainWindowTest, StretchDisplayDialogScrollsThePowerAndActivates) {
  onModal([](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Stretch Display");
    auto* bar = dialog->findChild<QScrollBar*>("PowerBar");
    auto* value = dialog->findChild<QLineEdit*>("PowerValue");
    EXPECT_EQ(value->text(), "25");
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(value->text(), "2");
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(value->text(), "2");
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(value->text(), "3");
    EXPECT_EQ(bar->value(), 3);
    dialog->findChild<QCheckBox*>("Activate")->click();
    static_cast<QDialog*>(dialog)->accept();
  });
  window->runCommand(qlm::cmd::kMaxPaletteStretch);
  EXPECT_TRUE(qlm::frameState().max_palette_stretch);
  EXPECT_EQ(qlm::displayState().stretch_display_power, 3);
  EXPECT_EQ(toolCommands()[7], qlm::cmd::kDontUseMaxPalette);
}

TEST_F(MainWindowTest, AboutIsModalAndHelpOpensTheGuide) {
  QString title;
  onModal([&title](QWidget* dialog) {
    title = dialog->windowTitle();
    static_cast<QDialog*>(dialog)->accept();
  });
  window->runCommand(qlm::cmd::kAbout);
  EXPECT_EQ(title, "Help About QLM_T4_USB");
  window->runCommand(qlm::cmd::kHelp);
  auto* help = window->findChild<QDialog*>("HelpWindow");
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_TRUE(help->findChild<QTextBrowser*>("HelpText")->toPlainText().contains("Fit to window"));
  window->runCommand(qlm::cmd::kHelp);
  EXPECT_EQ(window->findChildren<QDialog*>("HelpWindow").size(), 1) << "one help window at a time";
}

TEST_F(MainWindowTest, SettingsDecideTheTelescopeButtonAndTheBackground) {
  qlm::settings().drive_method = 'a';
  qlm::settings().window_background = 'g';
  qlm::refreshDisplay();
  EXPECT_EQ(toolCommands().back(), qlm::cmd::kTelescopeControl);
  window->runCommand(qlm::cmd::kCentreImage);
  window->resize(1000, 800);
  const QImage view = grabView("grey_background");
  EXPECT_EQ(view.pixel(3, view.height() / 2), qRgb(90, 90, 90));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
