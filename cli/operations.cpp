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

bool parseOperations(const std::vector<std::string>& ops, ParsedOperations& parsed, std::ostream& err) {
  const auto& table = cliOperations();
  for (const auto& op : ops) {
    auto parts = splitOperation(op);
    auto it = table.find(parts[0]);
    if (it == table.end()) {
      err << "Unknown operation '" << parts[0] << "'\n";
      return false;
    }
    const int nargs = static_cast<int>(parts.size()) - 1;
    if (nargs < it->second.min_args || nargs > it->second.max_args) {
      err << "Operation '" << parts[0] << "' takes " << it->second.min_args;
      if (it->second.max_args != it->second.min_args) err << " to " << it->second.max_args;
      err << " arguments\n";
      return false;
    }
    parsed.push_back(std::move(parts));
  }
  return true;
}

bool applyOperations(const ParsedOperations& parsed, std::ostream& err) {
  const auto& table = cliOperations();
  for (const auto& parts : parsed) {
    const std::vector<std::string> args(parts.begin() + 1, parts.end());
    if (!table.at(parts[0]).run(args, err)) return false;
  }
  return true;
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
