#include "app/startup.h"

#include "app/program_state.h"
#include "platform/platform.h"

namespace qlm {

bool startProgram() {
  const bool root_ok = platform().paths.ensureRoot();
  resetProgramState();
  return root_ok;
}

}  // namespace qlm
