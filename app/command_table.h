#pragma once
#include <string_view>
#include <vector>

namespace qlm {

// Numeric command identifiers of the main window. Menus, tool bar and shortcut keys all dispatch by
// these numbers; each subsystem connects its own handlers with TQLM_T4Window::setCommandHandler.
namespace cmd {
// File menu
inline constexpr int kOpen = 24332;
inline constexpr int kSave = 24333;
inline constexpr int kSaveAsTiff = 24334;
inline constexpr int kSaveAsFits = 24335;
inline constexpr int kQuickSaveFits = 24336;
inline constexpr int kLoadNextAutosaved = 24337;
inline constexpr int kSaveUnexpandedBinned = 24339;  // Ctrl+W only, no menu entry
inline constexpr int kDeleteFile = 13;
inline constexpr int kEditAutosaveFitsText = 19;
inline constexpr int kSelectDarkFrame = 104;
inline constexpr int kSelectFlatfield = 122;
inline constexpr int kProgramDefaults = 121;
inline constexpr int kPrintSetup = 114;
inline constexpr int kPrint = 116;
inline constexpr int kExit = 24310;
// Camera menu
inline constexpr int kCameraInterface = 12;
inline constexpr int kAutoguiderCamera = 27;
inline constexpr int kFocusFrameCentre = 25;
inline constexpr int kDefaultFocusFrameCentre = 26;
// Guiding menu
inline constexpr int kPickGuideStar = 21;
inline constexpr int kStartAutoGuiding = 22;
inline constexpr int kTrainAutoGuiding = 23;
inline constexpr int kTelescopeControl = 24;
inline constexpr int kStartAutoGuidingFromPanel = 101;  // sent by the autoguider panel, no menu entry
// Edit menu
inline constexpr int kUndoLastFilter = 9;
inline constexpr int kCopy = 17999;
inline constexpr int kSetAutoProcessing = 24324;
// View menu
inline constexpr int kFitToWindow = 301;
inline constexpr int kCentreImage = 303;
inline constexpr int kFalseColour = 118;
inline constexpr int kAutoContrast = 119;
inline constexpr int kMaxPaletteStretch = 123;
inline constexpr int kUseMaxPalette = 1901;      // tool bar only
inline constexpr int kDontUseMaxPalette = 1902;  // tool bar only
inline constexpr int kMirrorImage = 302;
inline constexpr int kFlipImage = 304;
inline constexpr int kPhotometry = 14;
inline constexpr int kIntensityPlot3d = 15;
inline constexpr int kRowPlot = 16;
inline constexpr int kHistogram = 6;
inline constexpr int kProcessingHistory = 17;
inline constexpr int kFitsDetails = 20;
inline constexpr int kLabel = 8;
inline constexpr int kRepaint = 891;  // internal: realise the palette and repaint
// Contrast menu
inline constexpr int kNormalStretch = 1;
inline constexpr int kPowerLawStretch = 2;
inline constexpr int kSineStretch = 8101;
inline constexpr int kRemoveBackground = 120;
inline constexpr int kNonLinearStretch = 117;
inline constexpr int kLogStretch = 102;
inline constexpr int kAntilogStretch = 103;
inline constexpr int kInvertImage = 105;
// Filters menu
inline constexpr int kUnsharpMask = 106;
inline constexpr int kLowPassSmoother = 107;
inline constexpr int kGaussianSmoother = 108;
inline constexpr int kHighPassLowPower = 109;
inline constexpr int kMedianFilter = 3;
inline constexpr int kHighPassHighPower = 4;
inline constexpr int kSmootherSharper = 5;
inline constexpr int kBasRelief = 7;
inline constexpr int kGradientFilter = 18;
// Merging menu
inline constexpr int kSubtractDark = 110;
inline constexpr int kApplyFlatField = 115;
inline constexpr int kMerge = 111;
// Help menu
inline constexpr int kHelp = 112;
inline constexpr int kAbout = 113;
}  // namespace cmd

// One command: its identifier, its menu text exactly as shown ("" when it has no menu entry) and its
// working shortcut key as a portable key-sequence text ("Ctrl+O"; "" when it has none). A menu text
// may show a key after a tab that does not work (Ctrl+K, Shift+Ins): only `key` is bound.
struct CommandInfo {
  int id;
  std::string_view text;
  std::string_view key;
};

// A top-level menu: its title and its commands in order; 0 stands for a separator.
struct MenuInfo {
  std::string_view title;
  std::vector<int> items;
};

inline constexpr int kSeparator = 0;

// Every command of the program, menu or not.
const std::vector<CommandInfo>& commandTable();
// The command of an identifier; nullptr for an unknown one.
const CommandInfo* findCommand(int id);
// The menu bar, left to right.
const std::vector<MenuInfo>& menuBar();

// The status-bar hint of a command or tool-bar bitmap from the string table; "" when it has none.
std::string_view commandHint(int id);

// One tool-bar button: the bitmap it shows and the command it sends; command 0 is a separator.
struct ToolButton {
  int bitmap;
  int command;
};

// The tool bar in its order. The palette button matches the max-palette-stretch state (turning it on
// while it is off, off while on); Telescope Control is present only with a drive method other than 'n'.
std::vector<ToolButton> toolBarLayout(bool max_palette_on, char drive_method);

// The text shown in the status bar when a command is chosen that the program cannot run yet.
std::string notAvailableText(int id);

}  // namespace qlm
