#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QRadioButton>
#include <QTimer>

#include "app/calibration_commands.h"
#include "app/command_table.h"
#include "app/qt/main_window.h"
#include "app/window_model.h"
#include "image/qt/merge_dialog.h"
#include "support/test_home.h"

namespace {

class MergeDialogTest : public ::testing::Test {
 protected:
  MergeDialogTest() {
    options_.home = home_.path().string();
    window_ = std::make_unique<TQLM_T4Window>(options_);
    window_->show();
  }
  template <typename T>
  T* child(const char* name) {
    auto* w = dialog()->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  qlm::TMergeDialog* dialog() { return window_->findChild<qlm::TMergeDialog*>(); }

  qlm::test::TempHome home_;
  WindowOptions options_;
  std::unique_ptr<TQLM_T4Window> window_;
};

TEST_F(MergeDialogTest, TheModelessDialogForwardsItsControlsAndMergeEndsTheMode) {
  window_->runCommand(qlm::cmd::kMerge);
  ASSERT_NE(dialog(), nullptr);
  EXPECT_TRUE(dialog()->isVisible());
  EXPECT_FALSE(dialog()->isModal());
  EXPECT_EQ(dialog()->windowTitle(), "MERGE IMAGES");

  QString caption;
  QString text;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      caption = box->windowTitle();
      text = box->text();
      box->accept();
    }
  });
  child<QAbstractButton>("HelpButton")->click();
  EXPECT_EQ(caption, "QLM_T4_USB - Control Merging");
  EXPECT_EQ(text.toStdString(), qlm::MergeModel::kHelpText);

  child<QCheckBox>("Centre")->click();
  EXPECT_TRUE(qlm::mouseModes().merge_refine);
  child<QCheckBox>("Superimpose")->click();
  EXPECT_FALSE(child<QCheckBox>("Centre")->isChecked());
  EXPECT_FALSE(qlm::mouseModes().merge_refine);
  child<QRadioButton>("Merge")->click();
  child<QAbstractButton>("MergeButton")->click();
  EXPECT_FALSE(dialog()->isVisible());
  EXPECT_FALSE(qlm::mouseModes().merge_marking);

  window_->runCommand(qlm::cmd::kMerge);  // a new session, ended by Cancel
  EXPECT_TRUE(dialog()->isVisible());
  child<QAbstractButton>("CancelButton")->click();
  EXPECT_FALSE(dialog()->isVisible());
  EXPECT_FALSE(qlm::mergeModel().active() || qlm::mouseModes().merge_marking);
}

}  // namespace
