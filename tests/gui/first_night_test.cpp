#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "app/window_model.h"
#include "guiding/qt/move_dialog.h"
#include "image/display.h"
#include "image/frame.h"
#include "image/qt/analysis_dialog.h"
#include "image/qt/progress_dialog.h"
#include "image/qt/readable_plots.h"
#include "platform/platform.h"
#include "platform/qt/qt_ui.h"
#include "sim/sim_transport.h"
#include "support/test_home.h"

namespace {

// What a new user meets on the first night: the desktop program in a fresh data folder.
class FirstNightTest : public ::testing::Test {
 protected:
  FirstNightTest() {
    options.transport = std::make_shared<qlm::sim::SimTransport>();
    options.home = home.path().string();
    window = std::make_unique<TQLM_T4Window>(options);
    window->show();
    QApplication::processEvents();
  }
  ~FirstNightTest() override {
    window.reset();
    qlm::clickHooks() = {};
  }

  // Answers the next file dialog with `file` once it is up, noting the filters it offered first.
  void answerFileDialog(const std::filesystem::path& file) {
    QTimer::singleShot(0, [this, file] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      filters = dialog->nameFilters();
      selected_filter = dialog->selectedNameFilter();
      dialog->selectFile(QString::fromStdString(file.string()));
      QMetaObject::invokeMethod(dialog, "accept");
    });
  }

  qlm::test::TempHome home;
  WindowOptions options;
  std::unique_ptr<TQLM_T4Window> window;
  QStringList filters;
  QString selected_filter;
};

// A 16-bit 660 x 500 FITS file as another program writes it: a one-block header, BZERO 32768.
void writeForeignFits(const std::filesystem::path& path, std::uint16_t value) {
  std::string header;
  auto card = [&header](std::string text) {
    text.resize(80, ' ');
    header += text;
  };
  card("SIMPLE  =                    T");
  card("BITPIX  =                   16");
  card("NAXIS   =                    2");
  card("NAXIS1  =                  660");
  card("NAXIS2  =                  500");
  card("BZERO   =                32768");
  card("END");
  header.resize(2880, ' ');
  std::ofstream out(path, std::ios::binary);
  out << header;
  const std::uint16_t stored = static_cast<std::uint16_t>(value - 32768);
  for (int i = 0; i < qlm::kFrameElements; ++i)
    out.put(static_cast<char>(stored >> 8)).put(static_cast<char>(stored & 0xFF));
}

TEST_F(FirstNightTest, StartsOnScreenWithAutoContrastAndItsScratchBitmapsOutOfTheDataFolder) {
  EXPECT_TRUE(qlm::frameState().auto_contrast);
  EXPECT_TRUE(window->commandAction(qlm::cmd::kAutoContrast)->isChecked());
  // Placed by its frame inside the screen's free area, centred across it, not at its corner.
  const QRect free = window->screen()->availableGeometry();
  EXPECT_GT(window->pos().x(), free.left());
  EXPECT_TRUE(free.contains(window->frameGeometry().topLeft()));
  EXPECT_LE(window->frameGeometry().right(), free.right());
  // No temporary bitmap in the folder the file dialogs open on.
  for (const auto& entry : std::filesystem::directory_iterator(home.path()))
    EXPECT_NE(entry.path().extension(), ".bmp") << entry.path();
  EXPECT_TRUE(std::filesystem::exists(qlm::platform().paths.displayBitmap()));
}

TEST_F(FirstNightTest, PickGuideStarHasCtrlKShowsItIsArmedAndItsCrossGoesWithTheImage) {
  QAction* pick = window->commandAction(qlm::cmd::kPickGuideStar);
  EXPECT_EQ(pick->shortcut(), QKeySequence("Ctrl+K"));
  pick->trigger();
  EXPECT_TRUE(qlm::mouseModes().pick);
  EXPECT_TRUE(pick->isChecked());
  pick->trigger();
  EXPECT_FALSE(qlm::mouseModes().pick);
  EXPECT_FALSE(pick->isChecked());

  qlm::mouseModes().guide_star_shown = true;  // as a pick leaves it
  std::ofstream(home.path() / "other.raw", std::ios::binary) << std::string(660000, '\0');
  answerFileDialog(home.path() / "other.raw");
  window->runCommand(qlm::cmd::kOpen);
  EXPECT_EQ(window->windowTitle(), "QLM_T4_USB - other.raw");
  EXPECT_FALSE(qlm::mouseModes().guide_star_shown) << "the cross marked the image before";
}

TEST_F(FirstNightTest, DarkDialogShowsRawAndFitsFramesAndTakesASixteenBitFitsFile) {
  const auto dark = home.path() / "dark_5s.fits";
  writeForeignFits(dark, 1000);
  qlm::Frame& frame = qlm::imageBuffers().CurrentFrame;
  frame.fill(5000);
  answerFileDialog(dark);
  window->runCommand(qlm::cmd::kSubtractDark);
  EXPECT_TRUE(selected_filter.startsWith("Raw and FITS frames")) << selected_filter.toStdString();
  EXPECT_TRUE(filters.contains("Raw frames (*.raw *.RAW *.def ~*)")) << filters.join("|").toStdString();
  EXPECT_EQ(frame[0], 4000);
  EXPECT_EQ(frame[qlm::kFrameElements - 1], 4000);
}

TEST_F(FirstNightTest, AnalysisViewsOpenBesideTheWindowNotOverThePicture) {
  window->resize(300, 240);
  window->move(window->screen()->availableGeometry().topLeft());
  QApplication::processEvents();
  window->runCommand(qlm::cmd::kPhotometry);
  auto* photometry = window->findChild<qlm::TPHDialog*>();
  ASSERT_NE(photometry, nullptr);
  EXPECT_FALSE(photometry->frameGeometry().intersects(window->frameGeometry()));
  EXPECT_TRUE(window->screen()->availableGeometry().contains(photometry->frameGeometry()));
  photometry->close();
}

TEST_F(FirstNightTest, CaptionsAndArrowsCanBeRead) {
  window->ui().progressOpen("READING PK CAMERA - takes 5-6 seconds");
  auto* progress = window->findChild<qlm::TProgressDialog*>();
  ASSERT_NE(progress, nullptr);
  EXPECT_GE(progress->width(), qlm::captionWidth(*progress));
  window->ui().progressClose();

  qlm::TMoveDialog move(window.get());
  move.show();
  EXPECT_GE(move.width(), qlm::captionWidth(move));
  std::string letters;
  for (const char* name : {"North", "South", "East", "West"})
    letters += move.findChild<QToolButton*>(name)->text().toStdString();
  EXPECT_EQ(letters, "NSEW");
}

// The plots beside the views' own pictures: true counts past 65,535, the row on its own scale (the
// fixed one still a choice) and the region around the last click in 3-D.
TEST_F(FirstNightTest, PlotsShowTrueCountsTheRowsOwnRangeAndTheClickedRegion) {
  qlm::Frame& frame = qlm::imageBuffers().CurrentFrame;
  frame.fill(100 << 8);  // one display value over the estimate area but one row: 483 x 650 pixels
  for (int c = 0; c < qlm::kFrameWidth; ++c)
    frame[static_cast<std::size_t>(300) * qlm::kFrameWidth + c] = static_cast<std::uint16_t>(20000 + c);
  qlm::refreshDisplay();
  window->runCommand(qlm::cmd::kHistogram);
  auto* histogram = window->findChild<qlm::THistDialog*>();
  ASSERT_NE(histogram, nullptr);
  histogram->grab();  // a paint takes the counts
  EXPECT_TRUE(histogram->plot().listText().contains("313950")) << histogram->plot().listText().toStdString();
  histogram->close();

  qlm::mouseModes().last_click_x = 600;
  qlm::mouseModes().last_click_y = 40;
  window->runCommand(qlm::cmd::kIntensityPlot3d);
  auto* plot3d = window->findChild<qlm::T3DDialog*>();
  ASSERT_NE(plot3d, nullptr);
  EXPECT_TRUE(plot3d->region().region().contains(600, 40));
  EXPECT_LT(plot3d->region().region().width(), 100);
  plot3d->close();
  QApplication::processEvents();

  window->runCommand(qlm::cmd::kRowPlot);
  auto* row = window->findChild<qlm::TRowDialog*>();
  ASSERT_NE(row, nullptr);
  qlm::mouseModes().selected_row = 300;
  row->rowChanged();
  const auto [lo, hi] = row->plot().valueRange();
  EXPECT_LE(lo, 20000);
  EXPECT_GE(hi, 20659);
  EXPECT_LT(hi - lo, 2000) << "scaled to the row, not to 0-65535";
  row->findChild<QCheckBox*>("AutoScale")->click();
  EXPECT_EQ(row->plot().valueRange(), (std::pair<int, int>(0, 65535)));
  row->close();
}

}  // namespace
