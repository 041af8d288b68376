#include "cli/operations.h"

namespace qlm {

void addStretchOperations(CliOperationTable& table) {
  (void)table;
}

}  // namespace qlm
