#pragma once

namespace qlm::sim {

// The simulated camera joins here: renderer, heads, serial receivers, behind the camera transport.

}  // namespace qlm::sim
