#include "image/qt/analysis_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/analysis_commands.h"
#include "app/window_model.h"
#include "image/analysis_views.h"
#include "image/display.h"
#include "image/photometry.h"
#include "image/qt/readable_plots.h"
#include "platform/platform.h"

namespace qlm {

namespace {
constexpr const char* kHistogramHelp =
    "This shows a histogram of the values in the current main window. The horizontal scale represents values "
    "from black (0) to white (256), whilst the vertical scale shows the number of pixels with a particular "
    "value. The vertical scale goes from 0 to 1000, where there are more than 1000 pixels with the same "
    "value "
    "the line is truncated and shown in red.\n\nThe first 15 values where the pixel count exceeds 1000 are "
    "also "
    "listed next to the Histogram\n\nShort key - CTL+H";
constexpr const char* kRowHelp =
    "Select the row you wish to see an intensity plot of by pressing the left mouse button";
constexpr const char* k3dHelp = "This shows a 3-D Intensity Plot of the values in the current main window.";

void help(const char* caption, const char* text) {
  platform().ui->messageBox(caption, text, MessageButtons::Ok, MessageIcon::None);
}

// A row of buttons under a view.
QHBoxLayout* buttonRow(QDialog* d,
                       std::initializer_list<std::pair<const char*, std::function<void()>>> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (const auto& [text, action] : buttons) {
    auto* b = new QPushButton(text, d);
    b->setObjectName(text);
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, d, action);
    row->addWidget(b);
  }
  return row;
}
}  // namespace

RasterView::RasterView(int width, int height, std::function<Raster()> draw, QWidget* parent)
    : QWidget(parent), draw_(std::move(draw)) {
  setFixedSize(width, height);
}

void RasterView::show(const Raster& picture) {
  fixed_ = toImage(picture);
  repaint();
}

QImage RasterView::toImage(const Raster& r) {
  QImage image(r.width(), r.height(), QImage::Format_RGB32);
  for (int y = 0; y < r.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < r.width(); ++x)
      line[x] = 0xFF000000u | r.at(x, y);
  }
  return image;
}

void RasterView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!fixed_.isNull()) {
    p.drawImage(0, 0, fixed_);
  } else if (draw_) {
    p.drawImage(0, 0, toImage(draw_()));
  }
}

THistDialog::THistDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("THistDialog");
  setWindowTitle("Histogram of Current Image");
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  auto* pictures = new QHBoxLayout;
  pictures->addWidget(new RasterView(
      kHistogramWidth, kHistogramHeight, [] { return drawHistogram(imageBuffers().HistogramCounters); },
      this));
  plot_ = new HistogramPlot(this);
  plot_->on_paint = [](HistogramPlot& plot) {
    const FrameState& f = frameState();
    const DisplayState& d = displayState();
    // With auto contrast the display is black up to the background level and white from where its
    // table reaches 255; otherwise a value's high byte is its display value.
    int black = 0;
    int white = 255;
    if (f.auto_contrast) {
      black = d.background_level;
      const auto it = std::find_if(d.auto_contrast_table.begin(), d.auto_contrast_table.end(),
                                   [](int v) { return v >= 255; });
      if (it != d.auto_contrast_table.end()) white = static_cast<int>(it - d.auto_contrast_table.begin());
    }
    plot.setCounts(trueDisplayCounts(imageBuffers().CurrentFrame), black, white);
  };
  pictures->addWidget(plot_, 1);
  layout->addLayout(pictures);
  auto* log = new QCheckBox("Logarithmic count scale", this);
  log->setObjectName("LogScale");
  log->setChecked(plot_->logarithmic());
  connect(log, &QCheckBox::toggled, this, [this](bool on) { plot_->setLogarithmic(on); });
  layout->addWidget(log);
  layout->addLayout(buttonRow(this, {{"Close", [this] { close(); }},
                                     {"Help", [] { help("QLM_T4_USB - Histogram", kHistogramHelp); }}}));
}

void THistDialog::closeEvent(QCloseEvent* event) {
  histogramClosed();
  QDialog::closeEvent(event);
}

TRowDialog::TRowDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("TRowDialog");
  setWindowTitle("INTENSITY PROFILE OF ONE ROW");
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  plot_ = new RasterView(
      kRowPlotWidth, kRowPlotHeight,
      [] { return drawRowPlot(imageBuffers().CurrentFrame, mouseModes().selected_row); }, this);
  layout->addWidget(plot_);
  readable_ = new RowProfilePlot(this);
  layout->addWidget(readable_, 1);
  auto* row = buttonRow(
      this, {{"Finished", [this] { close(); }}, {"Help", [] { help("QLM_T4_USB - Row Plot", kRowHelp); }}});
  auto* scale = new QCheckBox("Scale to the row's range (else 0-65535)", this);
  scale->setObjectName("AutoScale");
  scale->setChecked(readable_->autoScale());
  connect(scale, &QCheckBox::toggled, this, [this](bool on) { readable_->setAutoScale(on); });
  row->insertWidget(2, scale);
  row_ = new QLineEdit(this);
  row_->setObjectName("Row");
  row_->setReadOnly(true);
  row_->setFixedWidth(60);
  row->insertWidget(0, new QLabel("Row", this));
  row->insertWidget(1, row_);
  layout->addLayout(row);
  rowChanged();
}

void TRowDialog::rowChanged() {
  row_->setText(QString::number(mouseModes().selected_row));
  plot_->update();
  readable_->setRow(imageBuffers().CurrentFrame, mouseModes().selected_row);
}

void TRowDialog::closeEvent(QCloseEvent* event) {
  rowPlotFinished();
  QDialog::closeEvent(event);
}

T3DDialog::T3DDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("T3DDialog");
  setWindowTitle("3-D Intensity Plot");
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName("Views");
  region_ = new RegionPlot3d(tabs);
  const MouseModes& m = mouseModes();
  const bool clicked = m.last_click_x >= 0 && m.last_click_y >= 0;
  region_->setRegion(imageBuffers().CurrentFrame, clicked ? m.last_click_x : kFrameWidth / 2,
                     clicked ? m.last_click_y : kFrameHeight / 2);
  tabs->addTab(region_, clicked ? "Around the last click" : "Around the centre");
  plot_ = new RasterView(k3dWidth, k3dHeight, {}, tabs);
  plot_->show(Raster(k3dWidth, k3dHeight, kWhite));
  tabs->addTab(plot_, "Whole frame");
  layout->addWidget(tabs);
  layout->addLayout(buttonRow(
      this, {{"Finished", [this] { close(); }}, {"Help", [] { help("QLM_T4_USB - 3-D Plot", k3dHelp); }}}));
}

void T3DDialog::build() {
  QPointer<T3DDialog> self(this);
  Raster picture(k3dWidth, k3dHeight, kWhite);
  for (int t = k3dFirstTrace; t < k3dFirstTrace + k3dTraces; ++t) {
    drawPlot3dTrace(picture, imageBuffers().CurrentFrame, t);
    plot_->show(picture);
    platform().ui->pumpEvents();
    if (self.isNull() || closed_) return;  // closed while it was being built
  }
}

void T3DDialog::closeEvent(QCloseEvent* event) {
  closed_ = true;
  plot3dClosed();
  QDialog::closeEvent(event);
}

TPHDialog::TPHDialog(PhotometryModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TPHDialog");
  setWindowTitle(PhotometryModel::kCaption);
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);

  auto* apertures = new QGroupBox("Aperture", this);
  auto* aperture_grid = new QGridLayout(apertures);
  auto* aperture_group = new QButtonGroup(this);
  for (std::size_t i = 0; i < kApertureButtons.size(); ++i) {
    const ApertureButton& b = kApertureButtons[i];
    auto* radio = new QRadioButton(b.text, apertures);
    radio->setObjectName(b.text);
    radio->setChecked(b.radius == model.radius());
    aperture_group->addButton(radio);
    aperture_grid->addWidget(radio, static_cast<int>(i) / 3, static_cast<int>(i) % 3);
    connect(radio, &QRadioButton::clicked, this, [this, r = b.radius] {
      choosePhotometryAperture(r);
      display();
    });
  }
  layout->addWidget(apertures);

  auto* slot_box = new QGroupBox("Next left click measures", this);
  auto* slot_row = new QHBoxLayout(slot_box);
  auto* slot_group = new QButtonGroup(this);
  for (auto [text, slot] :
       {std::pair{"Object", PhotometrySlot::Object}, std::pair{"Comparison", PhotometrySlot::Comparison},
        std::pair{"Background", PhotometrySlot::Background}}) {
    auto* radio = new QRadioButton(text, slot_box);
    radio->setObjectName(text);
    radio->setChecked(slot == model.slot());
    slot_group->addButton(radio);
    slot_row->addWidget(radio);
    connect(radio, &QRadioButton::clicked, this, [this, s = slot] {
      model_.chooseSlot(s);
      display();
    });
  }
  layout->addWidget(slot_box);

  auto* grid = new QGridLayout;
  auto field = [this, grid](const char* name, int row, int column, int width = 70) {
    auto* f = new QLineEdit(this);
    f->setObjectName(name);
    f->setReadOnly(true);
    f->setFixedWidth(width);
    grid->addWidget(f, row, column);
  };
  grid->addWidget(new QLabel("x", this), 0, 1);
  grid->addWidget(new QLabel("y", this), 0, 2);
  grid->addWidget(new QLabel("value", this), 0, 3);
  const char* position_rows[][3] = {{"Object", "object_x", "object_y"},
                                    {"Comparison", "comparison_x", "comparison_y"},
                                    {"Background", "background_x", "background_y"},
                                    {"Cursor", "cursor_x", "cursor_y"}};
  for (int r = 0; r < 4; ++r) {
    grid->addWidget(new QLabel(position_rows[r][0], this), r + 1, 0);
    field(position_rows[r][1], r + 1, 1);
    field(position_rows[r][2], r + 1, 2);
  }
  field("cursor_value", 4, 3);
  const char* value_rows[][2] = {
      {"Object mean", "object_mean"},        {"Comparison mean", "comparison_mean"},
      {"Background", "background"},          {"Magnitude difference", "magnitude"},
      {"Object HFR (pixels)", "object_hfr"}, {"Object FWHM (pixels)", "object_fwhm"}};
  for (int r = 0; r < 6; ++r) {
    grid->addWidget(new QLabel(value_rows[r][0], this), r + 5, 0);
    field(value_rows[r][1], r + 5, 1);
  }
  layout->addLayout(grid);
  layout->addLayout(
      buttonRow(this, {{"Help", [] { help(PhotometryModel::kHelpCaption, PhotometryModel::kHelpText); }},
                       {"Close", [this] { close(); }}}));
  display();
}

QLineEdit* TPHDialog::field(const char* name) const {
  return findChild<QLineEdit*>(name);
}

void TPHDialog::display() {
  const PhotometryFields f = model_.fields(displayState().background_level);
  const std::pair<const char*, const std::string*> texts[] = {
      {"object_x", &f.object_x},
      {"object_y", &f.object_y},
      {"comparison_x", &f.comparison_x},
      {"comparison_y", &f.comparison_y},
      {"background_x", &f.background_x},
      {"background_y", &f.background_y},
      {"cursor_x", &f.cursor_x},
      {"cursor_y", &f.cursor_y},
      {"cursor_value", &f.cursor_value},
      {"object_mean", &f.object_mean},
      {"comparison_mean", &f.comparison_mean},
      {"background", &f.background},
      {"magnitude", &f.magnitude},
      {"object_hfr", &f.object_hfr},
      {"object_fwhm", &f.object_fwhm},
  };
  for (const auto& [name, text] : texts)
    field(name)->setText(QString::fromStdString(*text));
}

void TPHDialog::closeEvent(QCloseEvent* event) {
  photometryClosed();
  QDialog::closeEvent(event);
}

}  // namespace qlm
