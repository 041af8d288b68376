#include "app/startup.h"

#include "app/calibration_commands.h"
#include "app/guiding_commands.h"
#include "app/program_state.h"
#include "files/settings.h"
#include "guiding/guide_algorithm.h"
#include "platform/atomic_file.h"
#include "platform/platform.h"

namespace qlm {

bool startProgram() {
  const bool root_ok = platform().paths.ensureRoot();
  platform().paths.ensureScratch();  // a missing folder shows up as the bitmap's own message
  resetProgramState();
  loadSettings();                // a missing or short file leaves the built-in values; nothing is shown
  loadGuideAlgorithmSettings();  // the guide algorithm's choice, kept beside the settings file
  // Files that a run killed while writing left under temporary names.
  removeStaleTempFiles(platform().paths.root());
  if (const auto folder = autosaveFolder(settings()); !folder.empty()) removeStaleTempFiles(folder);
  connectGuidingLinks();
  connectMergeLinks();
  return root_ok;
}

}  // namespace qlm
