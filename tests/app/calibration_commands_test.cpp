#include "app/calibration_commands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/file_commands.h"
#include "app/window_model.h"
#include "files/pk.h"
#include "image/frame.h"
#include "support/test_home.h"

namespace qlm {
namespace {

constexpr std::size_t at(int row, int col) {
  return static_cast<std::size_t>(row) * kFrameWidth + static_cast<std::size_t>(col);
}

class CalibrationCommandsTest : public ::testing::Test {
 protected:
  CalibrationCommandsTest() {
    connectMergeLinks();
    mergeView().open = [this] { log.push_back("open"); };
    mergeView().refresh = [this] { log.push_back("refresh"); };
    mergeView().close = [this] { log.push_back("close"); };
    clickHooks().move_pointer = [this](int x, int y) { pointer.push_back({x, y}); };
  }
  ~CalibrationCommandsTest() override {
    fileCommandHooks() = FileCommandHooks{};
    clickHooks() = ClickHooks{};
    mergeView() = MergeView{};
  }
  // A PK file of `v` everywhere, with an optional 5 x 5 star of peak `star` at (x, y).
  std::string pk(const std::string& name, std::uint16_t v, int x = -1, int y = -1, int star = 0) {
    auto f = std::make_unique<Frame>();
    f->fill(v);
    for (int dy = -2; x >= 0 && dy <= 2; ++dy) {
      for (int dx = -2; dx <= 2; ++dx)
        (*f)[at(y + dy, x + dx)] = static_cast<std::uint16_t>(v + star / (1 + dx * dx + dy * dy));
    }
    const auto path = p.home.path() / name;
    EXPECT_TRUE(saveRawImage(path, *f));
    return path.string();
  }
  Frame& current() { return imageBuffers().CurrentFrame; }

  test::TestPlatform p;
  std::vector<std::string> log;
  std::vector<std::pair<int, int>> pointer;
};

// While a batch keeps its calibration files, a dark is read once; written again (a later time) it is
// read again, and a removed file still fails as it would unkept.
TEST_F(CalibrationCommandsTest, KeptCalibrationFilesAreReadAgainWhenWrittenAgain) {
  const KeptCalibrationFiles batch;
  const std::string dark = pk("dark", 300);
  const std::string flat = pk("flat", 50);
  const auto later = std::filesystem::last_write_time(dark) + std::chrono::seconds(5);
  for (const std::uint16_t level : {300, 200}) {
    if (level == 200) {
      pk("dark", 200);
      std::filesystem::last_write_time(dark, later);  // not the time the kept copy was read at
    }
    for (int frame = 0; frame < 2; ++frame) {
      current().fill(1000);
      ASSERT_TRUE(subtractDarkFile(dark));
      ASSERT_TRUE(applyFlatFieldFile(flat));
      EXPECT_EQ(current()[at(10, 10)], 1000 - level) << "frame " << frame;
    }
  }
  std::filesystem::remove(dark);
  EXPECT_FALSE(subtractDarkFile(dark));
}

TEST_F(CalibrationCommandsTest, DarkAndFlatTakeASnapshotWriteTheirLinesAndRefuseOtherFiles) {
  current().fill(1000);
  p.ui.queueOpenFile(pk("~dark", 300));
  subtractDarkCommand();
  EXPECT_EQ(current()[at(0, 0)], 700);
  EXPECT_EQ(imageBuffers().UndoFrame[at(499, 659)], 1000);
  p.ui.queueOpenFile(pk("~flat", 50));
  applyFlatFieldCommand();
  EXPECT_EQ(current()[at(300, 300)], 700);  // a uniform flat keeps the image
  ASSERT_EQ(historyList().count(), 2);
  EXPECT_EQ(historyList().entry(0), "Dark Frame Subtracted");
  EXPECT_EQ(historyList().entry(1), "Flat Field Applied");
  EXPECT_EQ(p.ui.callsOf("progress-open").at(0).caption, "FLAT FIELD PROGRESS");

  // Cancelled, or a file that is not a PK file: no snapshot, nothing changes.
  const std::uint32_t snapshots = undoSnapshotCount();
  p.ui.queueOpenFile(std::nullopt);
  subtractDarkCommand();
  const auto small = p.home.path() / "small";
  std::ofstream(small) << "not an image";
  p.ui.queueOpenFile(small.string());
  applyFlatFieldCommand();
  EXPECT_EQ(undoSnapshotCount(), snapshots);
  EXPECT_EQ(current()[at(300, 300)], 700);
  EXPECT_EQ(p.ui.messageTexts(), std::vector<std::string>{"Sorry, you didn't choose a PK File"});
}

TEST_F(CalibrationCommandsTest, ARefusedMergeOpensNothing) {
  mouseModes().row_plot = true;
  mergeCommand();
  mouseModes().row_plot = false;
  mergeCommand();
  mergeCommand();
  EXPECT_EQ(
      p.ui.messageTexts(),
      (std::vector<std::string>{"Sorry, you cannot run Photometry, Row Plot and Merging at the same time",
                                "Sorry, you are already in Merging mode."}));
  EXPECT_EQ(log, std::vector<std::string>{"open"});
}

// Base image with a star at (200, 150), merge image (opened while merging) with it at (205, 147):
// the marks are refined onto the stars and the merge adds the aligned images.
TEST_F(CalibrationCommandsTest, ClicksOpenAndMergeCombineTheTwoImagesOnTheirStars) {
  std::unique_ptr<Frame> base = std::make_unique<Frame>();
  p.ui.queueOpenFile(pk("~base", 1000, 200, 150, 8000));
  openCommand();
  *base = current();
  mergeCommand();
  mergeModel().setCentre(true);
  mergeChoicesChanged();
  MouseModes& m = mouseModes();
  EXPECT_EQ(dispatchClick(m, 198, 152, clickHooks()), ClickResult::Merge);
  EXPECT_EQ(mergeModel().value(MergeModel::Field::BaseX), 200);
  EXPECT_EQ(mergeModel().value(MergeModel::Field::BaseY), 150);
  EXPECT_EQ(pointer.back(), (std::pair<int, int>{200, 150}));

  p.ui.queueOpenFile(pk("~merge", 500, 205, 147, 4000));
  openCommand();
  EXPECT_FALSE(mergeModel().baseMarking());
  EXPECT_EQ(imageBuffers().SecondFrame[at(150, 200)], 9000);
  dispatchClick(m, 206, 146, clickHooks());
  EXPECT_EQ(mergeModel().value(MergeModel::Field::MergeX), 205);
  EXPECT_EQ(mergeModel().value(MergeModel::Field::MergeY), 147);

  const std::uint32_t snapshots = undoSnapshotCount();
  mergeButtonCommand();
  EXPECT_EQ(current()[at(150, 200)], 9000 + 4500);
  EXPECT_EQ(current()[at(400, 400)], 1500);
  EXPECT_EQ(current()[at(400, 656)], 1000);  // its partner column 661 is outside: the base value stays
  EXPECT_FALSE(m.merge_marking || mergeModel().active());
  EXPECT_EQ(log.back(), "close");
  EXPECT_EQ(undoSnapshotCount(), snapshots);
  EXPECT_EQ(historyList().count(), 0);
  EXPECT_EQ(dispatchClick(m, 100, 100, clickHooks()), ClickResult::Ignored);
}

}  // namespace
}  // namespace qlm
