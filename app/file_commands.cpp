#include "app/file_commands.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <system_error>

#include "app/fits_model.h"
#include "app/window_model.h"
#include "capture/capture_state.h"
#include "capture/sequence.h"
#include "files/autosave.h"
#include "files/fits_details.h"
#include "files/fits_reader.h"
#include "files/fits_writer.h"
#include "files/ini_model.h"
#include "files/pk.h"
#include "files/settings.h"
#include "files/tiff.h"
#include "image/display.h"
#include "image/frame.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr int kUnableToCreateFile = 29;
constexpr int kNoAutosaveSequence = 40;
constexpr int kUnableToLoadIni = 23;
constexpr int kUnableToSaveIni = 24;
constexpr const char* kUntitled = "(Untitled)";

std::string lowerCase(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The save dialog: the default extension of the kind goes onto a name typed without one before the
// name is checked; a read-only file is refused and an existing one is replaced only when the user
// agrees. Both send the user back to the dialog.
std::optional<std::filesystem::path> askSaveName(FileDialogKind kind, const std::string& title,
                                                 const std::vector<FileFilter>& filters,
                                                 const std::string& dir) {
  Ui& ui = *platform().ui;
  while (const auto chosen = ui.chooseSaveFile(title, filters, dir)) {
    std::filesystem::path path(*chosen);
    if (!path.has_extension() && kind == FileDialogKind::Tiff) path += ".TIF";
    if (!path.has_extension() && kind == FileDialogKind::Fits) path += ".FIT";
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return path;
    const std::string name = path.filename().string();
    if (isReadOnlyFile(path)) {
      ui.messageBox(title, name + "\nThis file is set to read-only.\nTry again with a different file name.",
                    MessageButtons::Ok, MessageIcon::Exclamation);
      continue;
    }
    if (ui.messageBox(title, name + " already exists.\nDo you want to replace it?", MessageButtons::YesNo,
                      MessageIcon::Exclamation) == MessageAnswer::Yes)
      return path;
  }
  return std::nullopt;
}

// Shows a file dialog of `kind`; on OK notes the file kind and folder for the next one.
std::optional<std::filesystem::path> chooseFile(FileDialogKind kind, bool save, const std::string& title) {
  FileCommandState& st = fileCommandState();
  const std::string dir = st.directory.empty() ? platform().paths.root().string() : st.directory;
  const auto filters = filtersFor(kind, st.file_kind);
  std::optional<std::filesystem::path> chosen;
  if (save) {
    chosen = askSaveName(kind, title, filters, dir);
  } else if (const auto name = platform().ui->chooseOpenFile(title, filters, dir)) {
    chosen = *name;
  }
  if (!chosen) return std::nullopt;
  const std::filesystem::path path = *chosen;
  st.file_kind = fileKindAfter(kind, path.filename().string());
  st.directory = path.parent_path().string();
  return path;
}

// The name in the caption and its redraw.
void showImageNamed(const std::string& name) {
  fileCommandState().current_file_name = name;
  displayState().image_title = name.empty() ? kUntitled : name;
  refreshDisplay();
}

// Loading and showing a file: recognition and reading, the autosave number of an IMG<n> name, the
// redraw. A FITS file the program did not write ends the command without a redraw.
void loadAndShow(const std::filesystem::path& path, const std::string& name) {
  fileCommandState().current_file_name = name;
  Ui& ui = *platform().ui;
  ui.setCursor(CursorShape::Wait);
  const ImageLoadResult loaded = loadImageFile(path);
  ui.setCursor(CursorShape::Arrow);
  if (loaded.result == kFitsNotOurs) return;
  if (const auto n = autosaveNumberFromName(name)) fileCommandState().last_opened_autosave = *n;
  // The guide-star and focus crosses marked the image that was on show, not this one.
  mouseModes().guide_star_shown = false;
  mouseModes().focus_cross_shown = false;
  showImageNamed(name);
}

enum class SaveMode { Raw, Tiff, Fits };

// Save, Save as TIFF, Save as FITS: the dialog of the mode, the caption, then the writer.
void commonSave(SaveMode mode) {
  const FileDialogKind kind = mode == SaveMode::Raw    ? FileDialogKind::Pk
                              : mode == SaveMode::Tiff ? FileDialogKind::Tiff
                                                       : FileDialogKind::Fits;
  const auto path = chooseFile(kind, true, "Save As");
  if (!path) return;
  const std::string title = lowerCase(path->filename().string());
  fileCommandState().current_file_name = title;
  displayState().image_title = title;
  Ui& ui = *platform().ui;
  ui.setTitle(windowTitleFor(title));
  const Frame& frame = imageBuffers().CurrentFrame;
  if (mode == SaveMode::Raw) {
    saveRawImage(*path, frame);  // reports its own failures
    return;
  }
  ui.setCursor(CursorShape::Wait);
  bool saved = false;
  if (mode == SaveMode::Tiff) {
    saved = writeTiffFile(*path, frame);
  } else {
    const FitsDetails& d = fitsDetails();
    saved = writeFitsFile(*path, frame, d.object, d.observer, d.dateObs, d.telescope, d.instrument,
                          d.commentText, d.historyText, d.eightBit) == 0;
  }
  ui.setCursor(CursorShape::Arrow);
  if (!saved) ShowWriteFailure(kUnableToCreateFile);
}

// The FITS details dialog on the program-wide record; true when it ended with "Continue".
bool editFitsDetails() {
  FitsModel model(fitsDetails());
  if (platform().ui->runPanel(FitsModel::kPanelName, model) != kPanelOk) return false;
  model.store();
  return true;
}

}  // namespace

std::optional<std::filesystem::path> chooseCalibrationFile(const std::string& title) {
  return chooseFile(FileDialogKind::Calibration, false, title);
}

FileCommandState& fileCommandState() {
  static FileCommandState s;
  return s;
}

void resetFileCommandState(FileCommandState& s) {
  s = FileCommandState{};
}

FileCommandHooks& fileCommandHooks() {
  static FileCommandHooks hooks;
  return hooks;
}

std::vector<FileFilter> fileFilters(FileDialogKind kind) {
  // "~*" lists the program's raw files, whose names begin with "~"; FITS names in either case.
  switch (kind) {
    case FileDialogKind::Open:
      return {{"Orbilux (~*.)", "~*"}, {"FITS files", "*.FIT;*.fit"}, {"All Files", "*"}};
    case FileDialogKind::Pk:
      return {{"Orbilux (~*.)", "~*"}, {"FITS files", "*.FIT;*.fit"}, {"All Files(*.*)", "*"}};
    case FileDialogKind::Tiff:
      return {{"Tiff file (*.TIF)", "*.TIF;*.tif"}, {"All Files(*.*)", "*"}};
    case FileDialogKind::Fits:
      return {{"FITS file (*.FIT)", "*.FIT;*.fit"}, {"All Files(*.*)", "*"}};
    case FileDialogKind::Calibration:
      return {{"Raw and FITS frames", "*.raw;*.RAW;*.def;~*;*.fit;*.FIT;*.fits;*.FITS"},
              {"Raw frames", "*.raw;*.RAW;*.def;~*"},
              {"FITS files", "*.fit;*.FIT;*.fits;*.FITS"},
              {"All Files", "*"}};
  }
  return {};
}

std::vector<FileFilter> filtersFor(FileDialogKind kind, int file_kind) {
  auto filters = fileFilters(kind);
  if (kind == FileDialogKind::Calibration) return filters;  // both kinds shown first, every time
  const auto first = static_cast<std::size_t>(file_kind - 1);
  if (file_kind >= 1 && first < filters.size()) {
    std::rotate(filters.begin(), filters.begin() + static_cast<std::ptrdiff_t>(first),
                filters.begin() + static_cast<std::ptrdiff_t>(first) + 1);
  }
  return filters;
}

int fileKindAfter(FileDialogKind kind, const std::string& chosen) {
  if (kind == FileDialogKind::Fits) return 2;
  return chosen.find('~') != std::string::npos ? 1 : 3;
}

void openCommand() {
  const auto path = chooseFile(FileDialogKind::Open, false, "Open");
  if (!path) return;
  FileCommandHooks& hooks = fileCommandHooks();
  // While merging, the image on show becomes the second image.
  if (hooks.merge_open && hooks.merge_open()) {
    ImageBuffers& b = imageBuffers();
    std::copy_n(b.CurrentFrame.begin(), kFrameElements, b.SecondFrame.begin());
    if (hooks.merge_refresh) hooks.merge_refresh();
  }
  loadAndShow(*path, lowerCase(path->filename().string()));
}

void saveCommand() {
  commonSave(SaveMode::Raw);
}

void saveAsTiffCommand() {
  commonSave(SaveMode::Tiff);
}

void saveAsFitsCommand() {
  FitsDetails& d = fitsDetails();
  d.eightBit = false;
  // A frame from an exposure carries that exposure's UT midpoint, as its autosaved file does; any
  // other frame gets the local date when it has no date.
  const SequenceState& seq = sequenceState();
  if (seq.exposure_end != 0 && displayState().image_title == kPhotoTitle) {
    applyLocalTimeRule(d.timeDifferenceHours);
    stampObservationTime(exposureMidpoint(seq.exposure_start, seq.exposure_end), d);
  } else {
    fillDateObsFromLocalDate(d);
  }
  if (editFitsDetails()) commonSave(SaveMode::Fits);
}

int autosaveImage() {
  const SequenceState& seq = sequenceState();
  // Before the first exposure there is no exposure time to stamp: the file gets the time it is saved.
  const bool exposed = seq.exposure_end != 0;
  const std::time_t start = exposed ? seq.exposure_start : programUtNow();
  const std::time_t end = exposed ? seq.exposure_end : start;
  return autosaveFrame(imageBuffers().CurrentFrame, start, end).status;
}

void quickSaveCommand() {
  reportAutosave(autosaveImage());
}

void loadNextAutosavedCommand() {
  FileCommandState& st = fileCommandState();
  if (st.last_opened_autosave == 0 || st.last_opened_autosave >= settings().autosave_counter) {
    ShowMessage(kNoAutosaveSequence);
    return;
  }
  ++st.last_opened_autosave;
  const auto path = autosaveFileName(settings(), st.last_opened_autosave);
  loadAndShow(path, path.string());
}

void deleteFileCommand() {
  const auto path = chooseFile(FileDialogKind::Pk, false, "Delete File");
  if (!path) return;
  DeleteFileModel confirm;
  confirm.path = path->string();
  if (platform().ui->runPanel(kDeleteFilePanel, confirm) != kPanelOk) return;
  std::error_code ec;
  std::filesystem::remove(*path, ec);  // no message either way
}

void editAutosaveFitsTextCommand() {
  if (loadSettings() != kSettingsOk) ShowMessage(kUnableToLoadIni);
  fitsDetails().eightBit = false;
  if (editFitsDetails() && saveSettings() != kSettingsOk) ShowWriteFailure(kUnableToSaveIni);
}

void showCurrentFitsDetailsCommand() {
  editFitsDetails();
}

void selectDarkFrameCommand() {
  if (const auto path = chooseCalibrationFile("Select Dark Frame"))
    captureSettings().dark_file = path->string();
}

void selectFlatfieldCommand() {
  if (const auto path = chooseCalibrationFile("Select Flatfield File"))
    captureSettings().flat_file = path->string();
}

void programDefaultsCommand() {
  if (loadSettings() != kSettingsOk) ShowMessage(kUnableToLoadIni);
  IniModel model(settings());
  // "Cancel" saves nothing, but what the dialog changed stays in effect until the next load.
  if (platform().ui->runPanel(IniModel::kPanelName, model) == kPanelOk && saveSettings() != kSettingsOk)
    ShowWriteFailure(kUnableToSaveIni);
  platform().ui->repaint();  // the window follows the drive method and shows the background colour
}

void processingHistoryCommand() {
  platform().ui->messageBox("QLM_T4 - PROCESSING HISTORY", historyList().boxText(), MessageButtons::Ok,
                            MessageIcon::None);
}

}  // namespace qlm
