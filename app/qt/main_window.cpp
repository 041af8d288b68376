#include "app/qt/main_window.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>

#include "app/command_table.h"
#include "app/qt/analysis_commands_view.h"
#include "app/qt/calibration_commands_view.h"
#include "app/qt/display_commands_view.h"
#include "app/qt/image_view.h"
#include "app/qt/shell_commands_view.h"
#include "app/qt/tool_icons.h"
#include "app/startup.h"
#include "app/window_model.h"
#include "camera/link.h"
#include "capture/qt/capture_commands_view.h"
#include "files/qt/file_commands_view.h"
#include "files/settings.h"
#include "guiding/qt/autoguider_commands_view.h"
#include "guiding/qt/telescope_commands_view.h"
#include "image/display.h"
#include "image/qt/processing_commands_view.h"
#include "platform/platform.h"
#include "platform/qt/qt_ui.h"

namespace {

QString qs(std::string_view s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

}  // namespace

TQLM_T4Window::TQLM_T4Window(const WindowOptions& options, QWidget* parent) : QMainWindow(parent) {
  ui_ = std::make_unique<qlm::QtUi>(this);
  clock_ = std::make_unique<qlm::RealClock>();
  transport_ = options.transport;
  const std::filesystem::path root = qlm::Paths::resolveRoot(options.home);
  const std::filesystem::path scratch =
      options.scratch ? std::filesystem::path(*options.scratch) : qlm::Paths::cacheFolderFor(root);
  platform_ = std::make_unique<qlm::ScopedPlatform>(
      qlm::Platform{clock_.get(), ui_.get(), transport_.get(), qlm::Paths(root, scratch)});
  qlm::startProgram();
  qlm::frameState().auto_contrast = options.auto_contrast;

  setObjectName("TQLM_T4Window");
  view_ = new qlm::ImageView(this);
  setCentralWidget(view_);
  ui_->setRepaintHandler([this] {
    view_->reloadBitmap();
    if (QAction* copy = commandAction(qlm::cmd::kCopy)) copy->setEnabled(qlm::windowBitmap().has_value());
    updateForSettings();
    updateToolBar();
    updateViewChecks();
  });
  buildMenus();
  tool_bar_ = addToolBar("Tools");
  tool_bar_->setObjectName("ToolBar");
  tool_bar_->setMovable(false);
  buildToolBar();
  updateForSettings();

  // 720 x 620, centred in the screen's free area (its top edge where the screen is too low), placed by
  // its frame so that the title bar stays on screen.
  resize(720, 620);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect free = screen->availableGeometry();
    move(free.left() + std::max(0, (free.width() - width()) / 2),
         free.top() + std::max(0, (free.height() - height()) / 2));
  }
  setWindowTitle(QString::fromStdString(qlm::windowTitleFor(qlm::displayState().image_title)));
  statusBar()->showMessage("QLM T4 Camera Control and Image processing program");

  // Each subsystem connects its own commands, one line each.
  qlm::connectShellCommands(*this);
  qlm::connectDisplayCommands(*this);
  qlm::connectCaptureCommands(*this);
  qlm::connectFileCommands(*this);
  qlm::connectProcessingCommands(*this);
  qlm::connectAnalysisCommands(*this);
  qlm::connectCalibrationCommands(*this);
  qlm::connectTelescopeCommands(*this);
  qlm::connectAutoguiderCommands(*this);

  qlm::refreshDisplay();  // shows the start-up frame
}

TQLM_T4Window::~TQLM_T4Window() {
  ui_->setRepaintHandler({});
  qlm::CloseCamera();
}

void TQLM_T4Window::setCommandHandler(int commandId, std::function<void()> handler) {
  handlers_[commandId] = std::move(handler);
}

bool TQLM_T4Window::hasCommandHandler(int commandId) const {
  auto it = handlers_.find(commandId);
  return it != handlers_.end() && it->second;
}

void TQLM_T4Window::runCommand(int commandId) {
  auto it = handlers_.find(commandId);
  if (it == handlers_.end() || !it->second) {
    statusBar()->showMessage(QString::fromStdString(qlm::notAvailableText(commandId)));
    return;
  }
  // The handler may replace itself; run a copy.
  auto handler = it->second;
  handler();
}

QAction* TQLM_T4Window::commandAction(int commandId) const {
  auto it = actions_.find(commandId);
  return it == actions_.end() ? nullptr : it->second;
}

void TQLM_T4Window::buildMenus() {
  for (const qlm::CommandInfo& c : qlm::commandTable()) {
    if (c.text.empty() && c.key.empty()) continue;
    auto* action = new QAction(qs(c.text), this);
    action->setData(c.id);
    if (!c.key.empty()) {
      action->setShortcut(QKeySequence(qs(c.key), QKeySequence::PortableText));
      action->setShortcutContext(Qt::WindowShortcut);
    }
    if (const auto hint = qlm::commandHint(c.id); !hint.empty()) action->setStatusTip(qs(hint));
    const int id = c.id;
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    actions_[id] = action;
    if (c.text.empty()) addAction(action);  // a shortcut key without a menu entry
  }
  for (const qlm::MenuInfo& m : qlm::menuBar()) {
    QMenu* menu = menuBar()->addMenu(qs(m.title));
    for (int id : m.items) {
      if (id == qlm::kSeparator) {
        menu->addSeparator();
      } else {
        menu->addAction(actions_.at(id));
      }
    }
  }
  // The View toggles and the armed guide-star pick carry a check mark. Checking is the program's
  // business, not the click's.
  for (int id : {qlm::cmd::kFitToWindow, qlm::cmd::kCentreImage, qlm::cmd::kFalseColour,
                 qlm::cmd::kAutoContrast, qlm::cmd::kPickGuideStar}) {
    actions_.at(id)->setCheckable(true);
    connect(actions_.at(id), &QAction::triggered, this, [this] { updateViewChecks(); });
  }
}

void TQLM_T4Window::buildToolBar() {
  tool_bar_->clear();
  for (const qlm::ToolButton& b : qlm::toolBarLayout(qlm::frameState().max_palette_stretch, drive_method_)) {
    if (b.command == 0) {
      tool_bar_->addSeparator();
      continue;
    }
    QAction* action = tool_bar_->addAction(qlm::toolIcon(b.bitmap), qlm::toolName(b.bitmap));
    action->setData(b.command);
    const auto hint = qlm::commandHint(b.command);
    action->setToolTip(qlm::toolTip(b.bitmap, hint));
    action->setStatusTip(qs(hint));
    const int id = b.command;
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
  }
  tool_bar_max_palette_ = qlm::frameState().max_palette_stretch;
}

void TQLM_T4Window::updateToolBar() {
  if (tool_bar_ != nullptr && tool_bar_max_palette_ != qlm::frameState().max_palette_stretch) buildToolBar();
}

void TQLM_T4Window::setDriveMethod(char method) {
  drive_method_ = method;
  buildToolBar();
}

void TQLM_T4Window::updateForSettings() {
  if (qlm::settings().drive_method != drive_method_) setDriveMethod(qlm::settings().drive_method);
  if (qlm::settings().window_background != background_letter_) {
    background_letter_ = qlm::settings().window_background;
    const qlm::Rgb c = qlm::windowBackground(background_letter_);
    setBackgroundColour(c.red, c.green, c.blue);
  }
}

void TQLM_T4Window::setBackgroundColour(int red, int green, int blue) {
  view_->setBackground(QColor(red, green, blue));
}

void TQLM_T4Window::updateViewChecks() {
  const qlm::FrameState& f = qlm::frameState();
  actions_.at(qlm::cmd::kFitToWindow)->setChecked(f.fit_to_window);
  actions_.at(qlm::cmd::kCentreImage)->setChecked(f.centre_image);
  actions_.at(qlm::cmd::kFalseColour)->setChecked(f.false_colour);
  actions_.at(qlm::cmd::kAutoContrast)->setChecked(f.auto_contrast);
  actions_.at(qlm::cmd::kPickGuideStar)->setChecked(qlm::mouseModes().pick);
}
