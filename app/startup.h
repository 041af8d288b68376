#pragma once

namespace qlm {

// What every front end does at start, after installing its platform: creates the data root when it
// is missing and puts the program-wide records in their start-up state (later: reads the settings).
// False when the data root cannot be created.
bool startProgram();

}  // namespace qlm
