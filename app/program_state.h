#pragma once

namespace qlm {

// Puts every program-wide record back to its start-up values (buffers, history, frame state, and the
// records of the other subsystems as they join). Tests call it before each case.
void resetProgramState();

}  // namespace qlm
