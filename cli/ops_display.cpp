#include "cli/operations.h"

namespace qlm {

void addDisplayOperations(CliOperationTable& table) {
  (void)table;
}

}  // namespace qlm
