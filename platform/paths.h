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
  explicit Paths(std::filesystem::path root) : root_(std::move(root)) {}

  // R: `home_arg` when given (--home DIR), else $QLM_T4_HOME, else ~/QLM_T4.
  static std::filesystem::path resolveRoot(const std::optional<std::string>& home_arg = std::nullopt);

  const std::filesystem::path& root() const { return root_; }
  // Creates R when missing; false when it cannot be made.
  bool ensureRoot() const;

  std::filesystem::path autosaveDir() const { return root_ / "autosave"; }
  std::filesystem::path settingsFile() const { return autosaveDir() / "QLM_T4.ini"; }
  std::filesystem::path darkDefault() const { return root_ / "dark.def"; }
  std::filesystem::path flatDefault() const { return root_ / "flat.def"; }
  // Temporary bitmaps: main display, focus window, guider display, print copy.
  std::filesystem::path displayBitmap() const { return root_ / "qlmt4.bmp"; }
  std::filesystem::path focusBitmap() const { return root_ / "qlmt4f.bmp"; }
  std::filesystem::path guiderBitmap() const { return root_ / "QLM_T4G.bmp"; }
  std::filesystem::path printBitmap() const { return root_ / "QLMT4.bmp"; }

  // Maps a typed directory or file text: "c:\a\b" or "C:/a/b" -> R/a/b, "/abs" -> /abs,
  // "name" -> R/name. Nothing for another drive letter (a drive the machine lacks).
  std::optional<std::filesystem::path> mapTyped(std::string_view text) const;

 private:
  std::filesystem::path root_;
};

}  // namespace qlm
