#include <gtest/gtest.h>

#include <QApplication>
#include <QStatusBar>

#include "app/main_window.h"
#include "platform/platform.h"
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

TEST(MainWindow, StartsWithCaptionTitleGeometryAndStatusText) {
  qlm::test::TempHome home;
  WindowOptions options;
  options.simulate = true;
  options.home = home.path().string();
  TQLM_T4Window window(options);
  window.show();
  EXPECT_EQ(QApplication::applicationName(), "QLM_T4_USB");
  EXPECT_EQ(window.windowTitle(), "QLM_T4_USB - (Untitled)");
  EXPECT_EQ(window.statusBar()->currentMessage(), "QLM T4 Camera Control and Image processing program");
  EXPECT_EQ(window.geometry().size(), QSize(720, 620));
  EXPECT_EQ(qlm::platform().paths.root(), home.path());
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
