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
<h3>Darks and flats</h3>
<p>A <i>dark frame</i> is an exposure of the same length with the telescope capped: it holds the
camera's own signal (hot pixels, warm corners) that every picture carries. A <i>flat field</i> is an
even, unsaturated exposure of a bright blank surface (a twilight sky or a light box): it maps dust and
vignetting. <b>Merging, Subtract Image (Dark Frame)</b> (Ctrl+D) and <b>Apply Flat Field</b> use a file
once, on the picture on show. For every picture, choose the files with <b>File, Select Dark Frame</b> and
<b>Select Flatfield File</b> and tick <i>Auto-Remove Dark Frame</i> and <i>Auto-Apply Flatfield</i> in the
camera panel. Either may be a raw PK file (saved with <i>Save</i>) or a 16-bit 660 x 500 FITS file,
from this program or another. The panel shows the folder each file lies in.</p>
<h3>Stacking</h3>
<p>Set <i>No of Exposures</i> in the camera panel above 1 (with <i>Continuous Mode</i> off) and the
exposures are summed into one picture, each shifted onto the first so that drift does not smear it;
<i>Average Multiple Exposures</i> divides the sum by their number. The frames are aligned on a star:
pick one first with <b>Guiding, Pick Guide Star</b> (Ctrl+K) and a click on it, away from the edge.
<i>Alternative Slew Method</i> aligns the frames by their light profiles instead, without a star. If the
star is lost (clouds, or a drift of more than about 10 pixels) the stack so far is kept.</p>
<h3>Guiding</h3>
<p>Guiding keeps a star still on the guider (or main) camera by nudging the mount. The steps:</p>
<ol>
<li><b>Drive method.</b> In <b>File, Set Program Defaults</b> choose how the mount is driven:
<i>Autoguider Socket</i> (pulses through the camera's guide port, for any mount with an ST-4 socket),
<i>Meade LX200 (Tm)</i> or <i>Meade Autostar(Tm)</i> (text commands through the camera's serial port).
Without one, guiding and training refuse to start; on the simulated camera the program offers the
autoguider socket, which the simulated mount is wired to.</li>
<li><b>Pick.</b> Open <b>Camera, AutoGuider Camera</b> (Ctrl+G), take a guider exposure, press <i>Select
Guide Star</i> and click a star that stands clear of others and of the edge. For the main camera,
<b>Guiding, Pick Guide Star</b> (Ctrl+K, checked while armed) and a click on the star; choose it again
to disarm.</li>
<li><b>Train.</b> <i>Train</i> in the autoguider panel (or <b>Guiding, Train Auto-Guiding</b> for the
main camera) moves the mount in each direction and measures how far the star goes: the rates, the
backlash and the camera's angle. <i>Save Latest</i> keeps them for later nights.</li>
<li><b>Guide.</b> <i>Start Guiding</i> opens the guiding window: the star's position, the errors, the
pulses sent and a graph; <i>Stop Guiding</i> ends it. <i>Autoguide Photo</i> in the camera panel takes
a picture while guiding runs.</li>
</ol>
<p><b>Guiding, Telescope Control</b> moves and points the mount (the arrows are marked N, S, E and W).
Its panel shows the mount's R.A. and Dec, read every second while the panel is open (the Autostar
panel until a right mouse click), and says when a go-to's slew has ended: <i>Slew ended at the
target</i> for typed co-ordinates, <i>Slew ended</i> when the position has stood still for two
seconds, <i>The mount did not move</i> when it never moved.</p>
<h3>Plots</h3>
<p><b>View, Histogram</b> (Ctrl+H), <i>Intensity Plot of Current Row</i> and <i>3-D Intensity Plot</i>
show the program's own pictures and, beside them, plots with numbered axes: the histogram's true
counts on a logarithmic scale with the display's black and white points, the row scaled to its own
range (or to 0-65535), and the region around the last click in 3-D. The status bar shows the position and
value under the pointer.</p>
<h3>Shortcut keys</h3>
<p>Ctrl+O open, Ctrl+S save, Ctrl+F save as FITS, Ctrl+Q quick save, Ctrl+I next autosaved file,
Ctrl+Z camera, Ctrl+G autoguider camera, Ctrl+N, Ctrl+B, Ctrl+L stretches, Ctrl+U unsharp mask,
Ctrl+D dark frame, Ctrl+M merge, Ctrl+H histogram, Alt+X exit.</p>)";
}

}  // namespace qlm
