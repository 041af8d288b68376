#include "cli/operations.h"

#include <charconv>

#include "image/frame.h"

namespace qlm {

const CliOperationTable& cliOperations() {
  static const CliOperationTable table = [] {
    CliOperationTable t;
    addFrameOperations(t);
    addDisplayOperations(t);
    addStretchOperations(t);
    addCalibrationOperations(t);
    return t;
  }();
  return table;
}

std::vector<std::string> splitOperation(const std::string& text) {
  std::vector<std::string> words;
  const auto colon = text.find(':');
  words.push_back(text.substr(0, colon));
  if (colon == std::string::npos) return words;
  std::string rest = text.substr(colon + 1);
  if (words[0] == "label") {
    words.push_back(rest);
    return words;
  }
  std::size_t start = 0;
  while (true) {
    const auto next = rest.find(':', start);
    words.push_back(rest.substr(start, next - start));
    if (next == std::string::npos) break;
    start = next + 1;
  }
  return words;
}

bool parseIntArg(const std::string& text, int lo, int hi, int& value) {
  int v = 0;
  const auto* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || ptr != end || text.empty() || v < lo || v > hi) return false;
  value = v;
  return true;
}

void addFrameOperations(CliOperationTable& table) {
  table["undo"] = {0, 0, [](const std::vector<std::string>&, std::ostream&) {
                     undoLastFilter(imageBuffers().CurrentFrame, imageBuffers().UndoFrame, historyList());
                     return true;
                   }};
}

}  // namespace qlm
