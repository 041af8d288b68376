#include "files/autosave.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "files/fits_details.h"
#include "files/fits_writer.h"
#include "files/settings.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"

namespace qlm {

AutosaveResult autosaveFrame(const Frame& frame, std::time_t start, std::time_t end) {
  Settings& s = settings();
  FitsDetails& d = fitsDetails();
  applyLocalTimeRule(d.timeDifferenceHours);
  std::error_code ec;
  const std::filesystem::path folder = autosaveFolder(s);
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  // The next number whose file is not there yet; after a full round every number is taken. The
  // counter moves on at least once, also when the folder is on a drive the machine lacks. The file
  // takes its name only if no other writer took it meanwhile; else the next free number is tried.
  AutosaveResult result;
  result.midpoint = exposureMidpoint(start, end);
  stampObservationTime(result.midpoint, d);
  bool written = false;
  for (unsigned tries = 0; tries < kLastAutosaveNumber && !written; ++tries) {
    s.autosave_counter =
        static_cast<std::uint16_t>(s.autosave_counter >= kLastAutosaveNumber ? 1 : s.autosave_counter + 1);
    // A drive the machine lacks gives no folder: the write fails like a full disk.
    if (folder.empty()) break;
    const std::filesystem::path name = autosaveFileName(s, s.autosave_counter);
    std::error_code exists_ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(name, exists_ec))) continue;
    const int failed = writeFitsFile(name, frame, d.object, d.observer, d.dateObs, d.telescope, d.instrument,
                                     d.commentText, d.historyText, false, AtomicFile::Replace::Never);
    written = failed == 0;
    if (!written && AtomicFile::lastFailure().error != EEXIST) break;
  }
  result.status = written ? saveSettings() : kAutosaveFileFailed;
  return result;
}

void reportAutosave(int status) {
  if (status == kAutosaveFileFailed) {
    ShowWriteFailure(29);
  } else if (status != kSettingsOk) {
    ShowWriteFailure(24);
  }
}

}  // namespace qlm
