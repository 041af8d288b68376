#include "app/qt/help_window.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace qlm {

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
  setObjectName("HelpWindow");
  setWindowTitle("QLM_T4_USB Help");
  resize(560, 520);
  auto* layout = new QVBoxLayout(this);
  auto* browser = new QTextBrowser(this);
  browser->setObjectName("HelpText");
  browser->setHtml(guideText());
  layout->addWidget(browser);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  layout->addWidget(buttons);
}

QString HelpWindow::guideText() {
  return R"(<h2>Using QLM_T4_USB</h2>
<h3>Taking pictures</h3>
<p><b>Camera, QLM T8 Camera Interface</b> (Ctrl+Z) opens the camera control panel. Choose the exposure
time and readout mode and press <i>Take Photo</i>. A key press or a mouse click stops a series.
<i>Start</i> runs focus mode: short exposures of a 128 x 128 window, redrawn over and over;
<b>Focus Frame Centre</b> then a click on the picture chooses where that window lies.</p>
<h3>Looking at the picture</h3>
<p>The picture is the 660 x 500 frame, shown one screen pixel per frame pixel. In the <b>View</b> menu,
<i>Fit to window</i> stretches it over the whole window and <i>Centre Image</i> centres it; clicks on the
picture (photometry, row plot, merging, picking a guide star) need neither of them.
<i>False Colour Palette</i> colours the grey levels, <i>Auto contrast stretch image</i> makes the sky
background black and lifts faint detail, and <i>Max Palette Stretch</i> brightens the display with an
adjustable power (2-50). None of these change the image data.</p>
<p><i>Mirror Image</i> and <i>Flip Image</i> turn the image data left to right and top to bottom.
<i>Label</i> writes a line of text (and, with <i>Auto Date</i>, the UT time and date) into the top ten rows
of the image.</p>
<h3>Improving the picture</h3>
<p>The <b>Contrast</b> menu stretches the image data: normal (Ctrl+N), power law, sine, remove
background (Ctrl+B), non-linear (Ctrl+L), logarithmic, antilogarithmic, invert. The <b>Filters</b> menu
smooths, sharpens (unsharp mask, Ctrl+U) and removes noise (median filter). The <b>Merging</b> menu
subtracts a dark frame (Ctrl+D), applies a flat field and merges two images (Ctrl+M).
<b>Edit, Undo Last Filter</b> takes back the last operation.</p>
<h3>Files</h3>
<p><b>File, Open</b> (Ctrl+O) loads FITS and PK raw files; <i>Save</i> (Ctrl+S), <i>Save as FITS file</i>
(Ctrl+F), <i>Save as Tiff file</i> and <i>Quick Save as FITS</i> (Ctrl+Q) write them. Pictures taken
with autosave on are numbered IMG1.FIT, IMG2.FIT ... in the autosave folder; <i>Load next Autosaved
File</i> (Ctrl+I) steps through them.</p>
<h3>Guiding</h3>
<p><b>Guiding, Pick Guide Star</b> arms the pick: click near a star and the program finds its centre.
<i>Train Auto-Guiding</i> measures how the mount moves, <i>Start Auto-Guiding</i> holds the star, and
<i>Telescope Control</i> moves and points the mount (choose the drive method in <b>File, Set Program
Defaults</b> first).</p>
<h3>Shortcut keys</h3>
<p>Ctrl+O open, Ctrl+S save, Ctrl+F save as FITS, Ctrl+Q quick save, Ctrl+I next autosaved file,
Ctrl+Z camera, Ctrl+G autoguider camera, Ctrl+N, Ctrl+B, Ctrl+L stretches, Ctrl+U unsharp mask,
Ctrl+D dark frame, Ctrl+M merge, Ctrl+H histogram, Alt+X exit.</p>)";
}

}  // namespace qlm
