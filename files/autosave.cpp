#include "files/autosave.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "files/fits_details.h"
#include "files/fits_writer.h"
#include "files/settings.h"
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
  // counter moves on at least once, also when the folder is on a drive the machine lacks.
  bool free_number = false;
  for (unsigned tries = 0; tries < kLastAutosaveNumber && !free_number; ++tries) {
    s.autosave_counter =
        static_cast<std::uint16_t>(s.autosave_counter >= kLastAutosaveNumber ? 1 : s.autosave_counter + 1);
    if (folder.empty()) break;
    free_number = !std::filesystem::exists(autosaveFileName(s, s.autosave_counter), ec);
  }
  AutosaveResult result;
  result.midpoint = exposureMidpoint(start, end);
  stampObservationTime(result.midpoint, d);
  // A drive the machine lacks gives no folder: the write fails like a full disk.
  const bool written = free_number && writeFitsFile(autosaveFileName(s, s.autosave_counter), frame, d.object,
                                                    d.observer, d.dateObs, d.telescope, d.instrument,
                                                    d.commentText, d.historyText, false) == 0;
  result.status = written ? saveSettings() : kAutosaveFileFailed;
  return result;
}

void reportAutosave(int status) {
  if (status == kAutosaveFileFailed) {
    ShowMessage(29);
  } else if (status != kSettingsOk) {
    ShowMessage(24);
  }
}

}  // namespace qlm
