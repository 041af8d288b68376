#include "files/settings.h"

namespace qlm {

Settings& settings() {
  static Settings s;
  return s;
}

void resetSettings(Settings& s) { s = Settings{}; }

}  // namespace qlm
