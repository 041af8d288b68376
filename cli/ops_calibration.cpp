#include "cli/operations.h"

namespace qlm {

void addCalibrationOperations(CliOperationTable& table) {
  (void)table;
}

}  // namespace qlm
