#include "guiding/guide_log.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/messages.h"

namespace qlm {

std::string formatted(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

std::string guideLogLine(const GuideLogRow& r) {
  const auto letter = [](char c) { return c == 0 ? std::string() : std::string(1, c); };
  const std::string truth = r.truth ? formatted("%.3f,%.3f", r.truth->first, r.truth->second) : ",";
  std::string ao = ",";
  if (r.ao) ao = std::to_string(r.ao->first) + "," + std::to_string(r.ao->second);
  return formatted("%lu,%d,%.1f,%.1f,%.3f,%.3f,%s,%d,%s,%d,%s,%s", r.time_ms, r.frame, r.x, r.y,
                   r.dx / 1000.0, r.dy / 1000.0, letter(r.ra_dir).c_str(), r.ra_ms, letter(r.dec_dir).c_str(),
                   r.dec_ms, ao.c_str(), truth.c_str());
}

std::optional<GuideLogRow> parseGuideLogLine(std::string_view line) {
  // The fields are views into the line: a row has exactly 14, and a longer line stops at the 15th.
  std::array<std::string_view, 14> f;
  std::size_t n = 0;
  for (std::size_t start = 0;;) {
    if (n == f.size()) return std::nullopt;
    const std::size_t comma = line.find(',', start);
    f[n++] = line.substr(start, comma == std::string_view::npos ? comma : comma - start);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (n != f.size()) return std::nullopt;
  const auto number = [](std::string_view field, double& out) {
    if (field.empty()) return false;
    const std::string s(field);  // strtod needs the terminating zero
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size();
  };
  double v[6];
  for (int i = 0; i < 6; ++i)
    if (!number(f[static_cast<std::size_t>(i)], v[i])) return std::nullopt;
  double ra_ms = 0.0, dec_ms = 0.0;
  if (!number(f[7], ra_ms) || !number(f[9], dec_ms) || f[6].size() > 1 || f[8].size() > 1)
    return std::nullopt;
  // Counts and pulses must fit their integers (a damaged line may hold anything, "nan" included).
  const auto fits = [](double d, double lo, double hi) { return d >= lo && d <= hi; };
  if (!fits(v[0], 0.0, 4294967295.0) || !fits(v[1], -2147483648.0, 2147483647.0) ||
      !fits(v[4], -2147483.648, 2147483.647) || !fits(v[5], -2147483.648, 2147483.647) ||
      !fits(ra_ms, -2147483648.0, 2147483647.0) || !fits(dec_ms, -2147483648.0, 2147483647.0))
    return std::nullopt;
  GuideLogRow r;
  r.time_ms = static_cast<unsigned long>(v[0]);
  r.frame = static_cast<int>(v[1]);
  r.x = v[2];
  r.y = v[3];
  r.dx = static_cast<int>(std::lround(v[4] * 1000.0));
  r.dy = static_cast<int>(std::lround(v[5] * 1000.0));
  r.ra_dir = f[6].empty() ? 0 : f[6][0];
  r.ra_ms = static_cast<int>(ra_ms);
  r.dec_dir = f[8].empty() ? 0 : f[8][0];
  r.dec_ms = static_cast<int>(dec_ms);
  double ax = 0.0, ay = 0.0;
  if (number(f[10], ax) && number(f[11], ay) && fits(ax, -32768.0, 32767.0) && fits(ay, -32768.0, 32767.0))
    r.ao = std::make_pair(static_cast<int>(ax), static_cast<int>(ay));
  double tx = 0.0, ty = 0.0;
  if (number(f[12], tx) && number(f[13], ty)) r.truth = std::make_pair(tx, ty);
  return r;
}

std::vector<GuideLogRow> readGuideLog(const std::string& path) {
  std::vector<GuideLogRow> rows;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (auto row = parseGuideLogLine(line)) rows.push_back(*row);
  }
  return rows;
}

GuideLogWriter::~GuideLogWriter() {
  if (file_ == nullptr) return;
  header(kGuideLogHeader);
  std::fclose(file_);
}

bool GuideLogWriter::open(const std::string& path, bool csv) {
  close();
  failed_ = false;
  path_ = path;
  std::error_code ec;
  const std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  errno = 0;
  file_ = std::fopen(path.c_str(), "w");
  header_written_ = !csv;
  if (file_ == nullptr) {
    fail(errno);
    return false;
  }
  return true;
}

bool GuideLogWriter::header(const char* text) {
  if (header_written_) return true;
  header_written_ = true;
  return std::fprintf(file_, "%s\n", text) >= 0;
}

void GuideLogWriter::write(const GuideLogRow& row) {
  if (file_ == nullptr) return;
  errno = 0;
  if (!header(row.ao ? kAOGuideLogHeader : kGuideLogHeader) ||
      std::fprintf(file_, "%s\n", guideLogLine(row).c_str()) < 0 || std::fflush(file_) != 0)
    fail(errno);
}

void GuideLogWriter::writeText(const std::string& text) {
  if (file_ == nullptr) return;
  errno = 0;
  if (std::fputs(text.c_str(), file_) < 0 || std::fflush(file_) != 0) fail(errno);
}

void GuideLogWriter::close() {
  if (file_ == nullptr) return;
  errno = 0;
  const bool written = header(kGuideLogHeader);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!written || !closed) fail(errno);
}

void GuideLogWriter::fail(int error) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (failed_) return;
  failed_ = true;
  ShowMessage(kCallerTextMessage,
              "Cannot write the guide log " + path_ + ": " + std::strerror(error != 0 ? error : EIO));
}

double PositionScatter::rms() const {
  if (n <= 0) return 0.0;
  const double var = (sxx - sx * sx / n + syy - sy * sy / n) / n;
  return std::sqrt(var > 0 ? var : 0.0);
}

double trueRms(const std::vector<GuideLogRow>& rows) {
  PositionScatter s;
  for (const GuideLogRow& r : rows)
    if (r.truth) s.add(r.truth->first, r.truth->second);
  return s.rms();
}

}  // namespace qlm
