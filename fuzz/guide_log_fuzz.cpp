// The CSV guide-log reader on any bytes: each line parsed on its own, then the whole file read, and
// every row read back written again and parsed to the same values.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "guiding/guide_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qlm::fuzz::FuzzPlatform p;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    if (const auto row = qlm::parseGuideLogLine(text.substr(start, end - start))) {
      const auto again = qlm::parseGuideLogLine(qlm::guideLogLine(*row));
      if (!again || again->frame != row->frame || again->ra_ms != row->ra_ms || again->dx != row->dx)
        std::abort();
    }
    start = end + 1;
  }
  qlm::readGuideLog(p.writeInput(data, size).string());
  p.endInput();
  return 0;
}
