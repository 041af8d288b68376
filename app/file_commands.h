#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace qlm {

// What the file commands keep between commands.
struct FileCommandState {
  std::string current_file_name;           // last image opened or saved; shown in the window caption
  std::uint16_t last_opened_autosave = 0;  // number of the IMG<n>.FIT file opened last
  int file_kind = 1;                       // filter the next file dialog shows first: 1 PK, 2 FITS, 3 all
  std::string directory;                   // folder the last file dialog ended in ("" = the data root)
};

FileCommandState& fileCommandState();
void resetFileCommandState(FileCommandState& s);

// Parts that join the file commands later. Empty hooks do nothing.
struct FileCommandHooks {
  std::function<bool()> merge_open;     // the merge dialog is showing
  std::function<void()> merge_refresh;  // it shows SecondFrame again after an open
};
FileCommandHooks& fileCommandHooks();

// The three filter lists of the file dialogs, and the list of the dark and flat choices: raw and FITS
// frames together first (both can serve), then each alone, then all files.
enum class FileDialogKind { Open, Pk, Tiff, Fits, Calibration };
std::vector<FileFilter> fileFilters(FileDialogKind kind);
// The list as a dialog shows it for `file_kind`: that kind's filter first, when the list has it.
std::vector<FileFilter> filtersFor(FileDialogKind kind, int file_kind);
// The file kind after a dialog ended with `chosen`: 2 for the FITS save, else 1 when the name holds
// "~", else 3.
int fileKindAfter(FileDialogKind kind, const std::string& chosen);

// The open dialog of the dark and flat choices and of the second image (the Calibration list, always
// opening on raw and FITS frames together); the full path on OK, nothing on Cancel.
std::optional<std::filesystem::path> chooseCalibrationFile(const std::string& title);

// Panel name and model of the delete confirmation ("Delete this file?" and the path).
inline constexpr const char* kDeleteFilePanel = "DELETE FILE DIALOG";
struct DeleteFileModel : PanelModel {
  std::string path;
};

// The File menu.
void openCommand();
void saveCommand();        // raw PK file
void saveAsTiffCommand();  // 660 x 500 high bytes
void saveAsFitsCommand();  // FITS details first, then the FITS file
void quickSaveCommand();   // the next autosave name, no dialog
void loadNextAutosavedCommand();
void deleteFileCommand();
void editAutosaveFitsTextCommand();  // FITS details kept in the settings file
void selectDarkFrameCommand();
void selectFlatfieldCommand();
void programDefaultsCommand();
// The View menu's two.
void processingHistoryCommand();
void showCurrentFitsDetailsCommand();

// Writes CurrentFrame as the next autosave file (see autosaveFrame) stamped at the midpoint of the
// last exposure, or at the time of saving when nothing was exposed yet. Returns autosaveFrame's status.
int autosaveImage();

}  // namespace qlm
