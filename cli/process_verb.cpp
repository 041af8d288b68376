#include <string>
#include <vector>

#include "cli/image_io.h"
#include "cli/operations.h"
#include "cli/verbs.h"

namespace qlm {

// process IN OUT [--op NAME[:ARG...]]...: load, apply each operation in order, save.
int runProcessVerb(const std::vector<std::string>& words, const CliOptions&, std::ostream&,
                   std::ostream& err) {
  std::vector<std::string> files;
  std::vector<std::string> ops;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--op") {
      if (i + 1 >= words.size()) {
        err << "--op needs an operation\n";
        return 2;
      }
      ops.push_back(words[++i]);
    } else if (words[i].rfind("--op=", 0) == 0) {
      ops.push_back(words[i].substr(5));
    } else {
      files.push_back(words[i]);
    }
  }
  if (files.size() != 2) {
    err << "usage: process IN OUT [--op NAME[:ARG...]]...\n";
    return 2;
  }
  // Check every operation before touching any file.
  const auto& table = cliOperations();
  std::vector<std::vector<std::string>> parsed;
  for (const auto& op : ops) {
    auto parts = splitOperation(op);
    auto it = table.find(parts[0]);
    if (it == table.end()) {
      err << "Unknown operation '" << parts[0] << "'\n";
      return 2;
    }
    const int nargs = static_cast<int>(parts.size()) - 1;
    if (nargs < it->second.min_args || nargs > it->second.max_args) {
      err << "Operation '" << parts[0] << "' takes " << it->second.min_args;
      if (it->second.max_args != it->second.min_args) err << " to " << it->second.max_args;
      err << " arguments\n";
      return 2;
    }
    parsed.push_back(std::move(parts));
  }
  if (!cliLoadImage(files[0])) return 1;
  for (const auto& parts : parsed) {
    const std::vector<std::string> args(parts.begin() + 1, parts.end());
    if (!table.at(parts[0]).run(args, err)) return 1;
  }
  return cliSaveImage(files[1], err) ? 0 : 1;
}

}  // namespace qlm
