#include "platform/paths.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace qlm {

std::filesystem::path Paths::resolveRoot(const std::optional<std::string>& home_arg) {
  if (home_arg && !home_arg->empty()) return std::filesystem::path(*home_arg);
  if (const char* env = std::getenv("QLM_T4_HOME"); env != nullptr && *env != '\0') {
    return std::filesystem::path(env);
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr && *home != '\0' ? home : ".") / "QLM_T4";
}

std::filesystem::path Paths::cacheFolderFor(const std::filesystem::path& root) {
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home != nullptr && *home != '\0' ? home : ".") / ".cache";
  }
  // FNV-1a of the root's absolute text: a short, stable folder name per data root.
  std::error_code ec;
  const std::string text = std::filesystem::absolute(root, ec).lexically_normal().string();
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char name[17];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(h));
  return base / "qlm_t4" / name;
}

bool Paths::ensureScratch() const {
  std::error_code ec;
  if (std::filesystem::is_directory(scratch_, ec)) return true;
  std::filesystem::create_directories(scratch_, ec);
  return std::filesystem::is_directory(scratch_, ec);
}

bool Paths::ensureRoot() const {
  std::error_code ec;
  if (std::filesystem::is_directory(root_, ec)) return true;
  std::filesystem::create_directories(root_, ec);
  return std::filesystem::is_directory(root_, ec);
}

std::optional<std::filesystem::path> Paths::mapTyped(std::string_view text) const {
  std::filesystem::path base = root_;
  std::string_view rest = text;
  if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':') {
    if (std::tolower(static_cast<unsigned char>(rest[0])) != 'c') return std::nullopt;
    rest.remove_prefix(2);
  } else if (!rest.empty() && rest[0] == '/') {
    base = "/";
  }
  // Both separators divide folders; empty parts (leading or doubled separators) are skipped.
  std::filesystem::path out = base;
  std::string part;
  for (char c : rest) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) out /= part;
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) out /= part;
  return out;
}

}  // namespace qlm
