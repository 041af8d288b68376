#pragma once
#include <QDialog>
#include <QImage>
#include <QWidget>
#include <functional>

#include "image/raster.h"

class QLabel;
class QLineEdit;
class QAbstractButton;

namespace qlm {

class PhotometryModel;
class HistogramPlot;
class RowProfilePlot;
class RegionPlot3d;

// Shows a raster 1:1; `draw` makes the picture at every paint (so it follows what it shows).
class RasterView : public QWidget {
  Q_OBJECT
 public:
  RasterView(int width, int height, std::function<Raster()> draw, QWidget* parent);
  // Shows `picture` from now on instead of drawing at paint time.
  void show(const Raster& picture);
  static QImage toImage(const Raster& r);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  std::function<Raster()> draw_;
  QImage fixed_;
};

// "Histogram of Current Image" (modeless): the histogram of the program's display-value counters with
// "Close" and "Help". Closing tells the program the view is gone.
class THistDialog : public QDialog {
  Q_OBJECT
 public:
  explicit THistDialog(QWidget* parent);
  // Beside the picture: the true counts with numbered axes and the display's black and white points.
  HistogramPlot& plot() { return *plot_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  HistogramPlot* plot_ = nullptr;
};

// "INTENSITY PROFILE OF ONE ROW" (modeless): the profile of the selected row, the "Row" field,
// "Finished" and "Help". Closing ends row mode.
class TRowDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TRowDialog(QWidget* parent);
  // The selected row changed: show its number and redraw.
  void rowChanged();
  // Beside the picture: the row with numbered axes, scaled to its own range (or the picture's).
  RowProfilePlot& plot() { return *readable_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLineEdit* row_ = nullptr;
  RasterView* plot_ = nullptr;
  RowProfilePlot* readable_ = nullptr;
};

// "3-D Intensity Plot" (modeless): drawn once into an off-screen picture, shown trace by trace as it
// is built; "Finished" and "Help".
class T3DDialog : public QDialog {
  Q_OBJECT
 public:
  explicit T3DDialog(QWidget* parent);
  // Draws the 128 traces, showing the picture after each and handling window events in between.
  void build();
  // The first tab: the region around the last click on the picture (the whole frame's traces are in
  // the second).
  RegionPlot3d& region() { return *region_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  RasterView* plot_ = nullptr;
  RegionPlot3d* region_ = nullptr;
  bool closed_ = false;
};

// "PHOTOMETRY" (modeless, TPHDialog): aperture buttons, the slot the next click fills, the fields of
// the photometry rules, "Help" and "Close". Closing ends photometry mode.
class TPHDialog : public QDialog {
  Q_OBJECT
 public:
  TPHDialog(PhotometryModel& model, QWidget* parent);
  // Shows the rules' fields again.
  void display();
  QLineEdit* field(const char* name) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  PhotometryModel& model_;
};

}  // namespace qlm
