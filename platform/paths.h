#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qlm {

// The original's fixed drive-letter paths, mapped onto one data root R on this machine.
class Paths {
 public:
  Paths() = default;
  explicit Paths(std::filesystem::path root) : root_(std::move(root)), scratch_(root_) {}
  // The temporary bitmaps go to `scratch` instead of R (the desktop program keeps them in the user's
  // cache folder, out of the file dialogs).
  Paths(std::filesystem::path root, std::filesystem::path scratch)
      : root_(std::move(root)), scratch_(std::move(scratch)) {}

  // R: `home_arg` when given (--home DIR), else $QLM_T4_HOME, else ~/QLM_T4.
  static std::filesystem::path resolveRoot(const std::optional<std::string>& home_arg = std::nullopt);

  const std::filesystem::path& root() const { return root_; }
  // Creates R when missing; false when it cannot be made.
  bool ensureRoot() const;

  std::filesystem::path autosaveDir() const { return root_ / "autosave"; }
  std::filesystem::path settingsFile() const { return autosaveDir() / "QLM_T4.ini"; }
  std::filesystem::path darkDefault() const { return root_ / "dark.def"; }
  std::filesystem::path flatDefault() const { return root_ / "flat.def"; }
  // The folder of the temporary bitmaps: R unless another was given.
  const std::filesystem::path& scratch() const { return scratch_; }
  // The desktop program's folder for them: $XDG_CACHE_HOME/qlm_t4 (else ~/.cache/qlm_t4), one
  // subfolder per data root so that two programs on two roots do not share them.
  static std::filesystem::path cacheFolderFor(const std::filesystem::path& root);
  // Creates the scratch folder when missing (R is created by ensureRoot).
  bool ensureScratch() const;

  // Temporary bitmaps: main display, focus window, guider display, print copy.
  std::filesystem::path displayBitmap() const { return scratch_ / "qlmt4.bmp"; }
  std::filesystem::path focusBitmap() const { return scratch_ / "qlmt4f.bmp"; }
  std::filesystem::path guiderBitmap() const { return scratch_ / "QLM_T4G.bmp"; }
  std::filesystem::path printBitmap() const { return scratch_ / "QLMT4.bmp"; }

  // Maps a typed directory or file text: "c:\a\b" or "C:/a/b" -> R/a/b, "/abs" -> /abs,
  // "name" -> R/name. Nothing for another drive letter (a drive the machine lacks).
  std::optional<std::filesystem::path> mapTyped(std::string_view text) const;

 private:
  std::filesystem::path root_;
  std::filesystem::path scratch_;
};

}  // namespace qlm
