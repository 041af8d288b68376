#pragma once
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/main_window.h"
#include "camera/link.h"
#include "platform/platform.h"
#include "support/test_home.h"

// The desktop program on a simulated camera in a fresh home, its waits on a virtual clock. A timer
// answers message boxes (their texts land in `messages_`) and hands every other moment to `onTick`,
// with the modal widget shown then (nullptr when none is).
class SimWindowTest : public ::testing::Test {
 protected:
  SimWindowTest(std::shared_ptr<qlm::Transport> transport, int tick_ms) {
    options_.transport = std::move(transport);
    options_.home = home_.path().string();
    window_ = std::make_unique<TQLM_T4Window>(options_);
    qlm::Platform p = qlm::platform();
    p.clock = &clock_;
    virtual_time_ = std::make_unique<qlm::ScopedPlatform>(p);
    window_->show();
    QApplication::setActiveWindow(window_.get());
    timer_ = std::make_unique<QTimer>();
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { tick(); });
    timer_->start(tick_ms);
  }
  ~SimWindowTest() override {
    timer_.reset();
    qlm::CloseCamera();
    virtual_time_.reset();
    window_.reset();
  }

  virtual void onTick(QWidget* modal) = 0;

  qlm::test::TempHome home_;
  WindowOptions options_;
  qlm::VirtualClock clock_;
  std::unique_ptr<TQLM_T4Window> window_;
  std::unique_ptr<qlm::ScopedPlatform> virtual_time_;
  std::vector<std::string> messages_;
  bool answer_yes_ = false;  // a question box is answered "Yes" (else as its default)

 private:
  void tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      messages_.push_back(box->text().toStdString());
      if (QAbstractButton* yes = box->button(QMessageBox::Yes); yes != nullptr && answer_yes_) {
        yes->click();
      } else {
        box->accept();
      }
      return;
    }
    onTick(modal);
  }
  std::unique_ptr<QTimer> timer_;
};
