#include "app/command_table.h"

#include <algorithm>
#include <string>
#include <utility>

namespace qlm {

const std::vector<CommandInfo>& commandTable() {
  using namespace cmd;
  static const std::vector<CommandInfo> table = {
      // File
      {kOpen, "&Open...     \tCtl+O", "Ctrl+O"},
      {kSave, "&Save...   \tCTL+S", "Ctrl+S"},
      {kSaveAsTiff, "Save as &Tiff file...", ""},
      {kSaveAsFits, "S&ave as FITS file...   \tCtl+F", "Ctrl+F"},
      {kQuickSaveFits, "&Quick Save as FITS...\tCtl+Q ", "Ctrl+Q"},
      {kLoadNextAutosaved, "Load next &Autosaved File  \tCtl+I", "Ctrl+I"},
      {kSaveUnexpandedBinned, "", "Ctrl+W"},
      {kDeleteFile, "&Delete File...", ""},
      {kEditAutosaveFitsText, "&Load/Edit AutoSave FITS text", ""},
      {kSelectDarkFrame, "Select Dark &Frame...", ""},
      {kSelectFlatfield, "Select Flatfield File...", ""},
      {kProgramDefaults, "Set Program Defa&ults", ""},
      {kPrintSetup, "P&rint setup...", ""},
      {kPrint, "&Print...", ""},
      {kExit, "E&xit", "Alt+X"},
      // Camera
      {kCameraInterface, "QLM T8 Camera &Interface\tCTL+Z", "Ctrl+Z"},
      {kAutoguiderCamera, "AutoGuider Camera \tCTL+G", "Ctrl+G"},
      {kFocusFrameCentre, "Focus Frame Centre", ""},
      {kDefaultFocusFrameCentre, "Default Focus Frame Centre", ""},
      // Guiding
      {kPickGuideStar, "Pic&k Guide Star\tCTL+K", "Ctrl+K"},
      {kStartAutoGuiding, "Start Auto-Guiding", ""},
      {kTrainAutoGuiding, "Train Auto-Guiding", ""},
      {kTelescopeControl, "Telescope &Control", ""},
      {kStartAutoGuidingFromPanel, "", ""},
      // Edit
      {kUndoLastFilter, "&Undo Last Filter", ""},
      {kCopy, "&Copy\tShift+Ins", ""},
      {kSetAutoProcessing, "Set Auto &Processing", ""},
      // View
      {kFitToWindow, "&Fit to window", ""},
      {kCentreImage, "&Centre Image", ""},
      {kFalseColour, "False Colour P&alette", ""},
      {kAutoContrast, "&Auto contrast stretch image", ""},
      {kMaxPaletteStretch, "Max Palette Stretch", ""},
      {kUseMaxPalette, "", ""},
      {kDontUseMaxPalette, "", ""},
      {kMirrorImage, "&Mirror Image", ""},
      {kFlipImage, "Flip Image", ""},
      {kPhotometry, "&Photometry of Image", ""},
      {kIntensityPlot3d, "3-D &Intensity Plot", ""},
      {kRowPlot, "Intensity Plot of Current R&ow", ""},
      {kHistogram, "&Histogram", "Ctrl+H"},
      {kProcessingHistory, "Processing &History", ""},
      {kFitsDetails, "&Show/Edit Current Image FITS details", ""},
      {kLabel, "&Label    ", ""},
      {kRepaint, "", ""},
      // Contrast
      {kNormalStretch, "&Normal Stretch", "Ctrl+N"},
      {kPowerLawStretch, "&Power Law Stretch", ""},
      {kSineStretch, "&Sine Law Stretch", ""},
      {kRemoveBackground, "&Remove Background", "Ctrl+B"},
      {kNonLinearStretch, "N&on-Linear Stretch", "Ctrl+L"},
      {kLogStretch, "&Logarithmic Stretch", ""},
      {kAntilogStretch, "&Antilogarithmic Stretch", ""},
      {kInvertImage, "&Invert image to Negative", ""},
      // Filters
      {kUnsharpMask, "&Unsharp masking HPF", "Ctrl+U"},
      {kLowPassSmoother, "Low Pass &Weighted Mean &Smoother", ""},
      {kGaussianSmoother, "&Gaussian Smoother Filter", ""},
      {kHighPassLowPower, "&High Pass, Low Power", ""},
      {kMedianFilter, "&Median Filter - Noise Reduction", ""},
      {kHighPassHighPower, "High Pass, High &Power", ""},
      {kSmootherSharper, "&Smoother/Sharper Filter", ""},
      {kBasRelief, "&Bas Relief Generator", ""},
      {kGradientFilter, "Gradient &Filter", ""},
      // Merging
      {kSubtractDark, "&Subtract Image (Dark Frame)  \tCtl+D", "Ctrl+D"},
      {kApplyFlatField, "Apply &Flat Field", ""},
      {kMerge, "Merge two Images &together   \tCtl+M", "Ctrl+M"},
      // Help
      {kHelp, "Help in using QLM_T4_USB", ""},
      {kAbout, "About QLM_T4_USB", ""},
  };
  return table;
}

const CommandInfo* findCommand(int id) {
  const auto& table = commandTable();
  auto it = std::find_if(table.begin(), table.end(), [id](const CommandInfo& c) { return c.id == id; });
  return it == table.end() ? nullptr : &*it;
}

const std::vector<MenuInfo>& menuBar() {
  using namespace cmd;
  static const std::vector<MenuInfo> menus = {
      {"&File",
       {kOpen, kSave, kSaveAsTiff, kSaveAsFits, kQuickSaveFits, kLoadNextAutosaved, kSeparator, kDeleteFile,
        kSeparator, kEditAutosaveFitsText, kSelectDarkFrame, kSelectFlatfield, kProgramDefaults, kSeparator,
        kPrintSetup, kPrint, kSeparator, kExit}},
      {"&Edit", {kUndoLastFilter, kCopy, kSeparator, kSetAutoProcessing}},
      {"&View",
       {kFitToWindow, kCentreImage, kSeparator, kFalseColour, kAutoContrast, kMaxPaletteStretch, kSeparator,
        kMirrorImage, kFlipImage, kSeparator, kPhotometry, kIntensityPlot3d, kRowPlot, kHistogram, kSeparator,
        kProcessingHistory, kFitsDetails, kSeparator, kLabel}},
      {"&Camera",
       {kCameraInterface, kAutoguiderCamera, kSeparator, kFocusFrameCentre, kDefaultFocusFrameCentre}},
      {"&Guiding",
       {kPickGuideStar, kSeparator, kStartAutoGuiding, kTrainAutoGuiding, kSeparator, kTelescopeControl}},
      {"C&ontrast",
       {kNormalStretch, kPowerLawStretch, kSineStretch, kRemoveBackground, kNonLinearStretch, kLogStretch,
        kAntilogStretch, kInvertImage}},
      {"F&ilters",
       {kLowPassSmoother, kGaussianSmoother, kHighPassLowPower, kHighPassHighPower, kSmootherSharper,
        kBasRelief, kGradientFilter, kSeparator, kUnsharpMask, kMedianFilter}},
      {"&Merging", {kSubtractDark, kApplyFlatField, kMerge}},
      {"&Help", {kHelp, kAbout}},
  };
  return menus;
}

std::string_view commandHint(int id) {
  static const std::pair<int, std::string_view> hints[] = {
      {1, "Adjust the Contrast manually. setting max and min values"},
      {2, "Power Law contrast stretch"},
      {3, "Median Filter - use to reduce electronic noise in image"},
      {12, "Main Camera Control"},
      {14, "Photometry of image - caution, use with unstretched images "},
      {24, "Control a LX200 telescope or Autoguider port"},
      {27, "Load the AutoGuider Camera Control Dialog"},
      {104, "Select a file to be used as a dark frame for automatic processing"},
      {106, "Apply an unsharp mask - good for enhancing planetary detail"},
      {110, "Subtract a dark frame from currently displayed image"},
      {111, "Merge current image with one already saved"},
      {115, "Apply a flatfield to the currently displayed image"},
      {117, "Apply a non-linear stretch - good for nebulae"},
      {120, "Automatically make background black"},
      {121, "View and change most program variables"},
      {122, "Select a Flatfield frame to be used for automatic processing"},
      {123, "Apply non-linear stretch to display only, data is not changed"},
      {1000, "Main QLM T8 Camera Control"},
      {1001, "AutoGuider Camera Control"},
      {1901, "Use Max Palette Stretch"},
      {1902, "Dont use Max Palette Stretch"},
      {24332, "Get an image from Disk"},
      {24333, "Save Image in Raw data format"},
      {24335, "Save Image as a FITs file"},
  };
  for (const auto& [number, text] : hints) {
    if (number == id) return text;
  }
  return {};
}

std::vector<ToolButton> toolBarLayout(bool max_palette_on, char drive_method) {
  using namespace cmd;
  std::vector<ToolButton> bar = {
      {24333, kSave},
      {24336, kSaveAsFits},
      {24332, kOpen},
      {0, 0},
      {1000, kCameraInterface},
      {1001, kAutoguiderCamera},
      {0, 0},
      max_palette_on ? ToolButton{1003, kDontUseMaxPalette} : ToolButton{1002, kUseMaxPalette},
      {1904, kMaxPaletteStretch},
      {0, 0},
      {121, kProgramDefaults},
      {0, 0},
      {1903, kPhotometry},
      {0, 0},
      {1, kNormalStretch},
      {117, kNonLinearStretch},
      {2, kPowerLawStretch},
      {120, kRemoveBackground},
      {106, kUnsharpMask},
      {3, kMedianFilter},
      {0, 0},
      {110, kSubtractDark},
      {115, kApplyFlatField},
      {111, kMerge},
  };
  if (drive_method != 'n') bar.push_back({24, kTelescopeControl});
  return bar;
}

std::string notAvailableText(int id) {
  const CommandInfo* c = findCommand(id);
  std::string name = c != nullptr ? std::string(c->text) : std::string();
  // The menu text without its shortcut column and mnemonic marks.
  if (auto tab = name.find('\t'); tab != std::string::npos) name.erase(tab);
  name.erase(std::remove(name.begin(), name.end(), '&'), name.end());
  while (!name.empty() && name.back() == ' ')
    name.pop_back();
  if (name.empty()) name = "Command " + std::to_string(id);
  return name + " is not available yet";
}

}  // namespace qlm
