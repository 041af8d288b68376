#include "support/phd2_log_reader.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qlm::test {

namespace {

bool startsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}
bool blank(const std::string& s) {
  return s.find_first_not_of(" \t\r\n") == std::string::npos;
}

double numberAfter(const std::string& line, const std::string& key, double fallback) {
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return fallback;
  const char* start = line.c_str() + at + key.size();
  char* end = nullptr;
  const double v = std::strtod(start, &end);
  return end == start ? fallback : v;
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> f;
  std::stringstream in(line + ",");
  for (std::string item; std::getline(in, item, ',');)
    f.push_back(item);
  f.resize(19);
  return f;
}

Phd2Entry entry(const std::string& line) {
  const std::vector<std::string> f = fields(line);
  const auto num = [&f](std::size_t i) { return std::atof(f[i].c_str()); };
  Phd2Entry e;
  e.frame = std::atoi(f[0].c_str());
  e.dropped = f[2] == "\"DROP\"";
  e.dx = num(3);
  e.ra_raw = num(5);
  e.dec_raw = num(6);
  e.ra_duration = static_cast<int>(f[10] == "W" ? -num(9) : num(9));
  e.dec_duration = static_cast<int>(f[12] == "S" ? -num(11) : num(11));
  if (!f[13].empty()) e.ra_duration = std::atoi(f[13].c_str());
  if (!f[14].empty()) e.dec_duration = std::atoi(f[14].c_str());
  e.included = !(std::atoi(f[17].c_str()) != 0 && num(15) == 0);
  return e;
}

}  // namespace

double Phd2Section::rms(bool ra) const {
  double n = 0, s = 0, s2 = 0;
  for (const Phd2Entry& e : entries) {
    if (!e.included) continue;
    const double v = ra ? e.ra_raw : e.dec_raw;
    n += 1;
    s += v;
    s2 += v * v;
  }
  return n > 0 ? std::sqrt(n * s2 - s * s) / n : 0.0;
}

Phd2Log readPhd2Log(const std::string& path) {
  enum class State { Skip, GuidingHeader, Guiding, CalibrationHeader, Calibrating } st = State::Skip;
  Phd2Log log;
  std::ifstream in(path);
  for (std::string ln; std::getline(in, ln);) {
    switch (st) {
      case State::Skip:
        if (startsWith(ln, "Guiding Begins at ")) {
          st = State::GuidingHeader;
          log.sessions.emplace_back();
        } else if (startsWith(ln, "Calibration Begins at ")) {
          st = State::CalibrationHeader;
          log.calibrations.emplace_back();
        } else if (startsWith(ln, "PHD2 version ")) {
          log.version_line = ln;
        }
        break;
      case State::GuidingHeader: {
        Phd2Section& s = log.sessions.back();
        if (startsWith(ln, "Frame,Time,mount")) {
          st = State::Guiding;
          break;
        }
        if (startsWith(ln, "Mount = ") || startsWith(ln, "AO = "))
          s.guiding_enabled = ln.find("guiding enabled") != std::string::npos;
        if (startsWith(ln, "Pixel scale = ")) s.pixel_scale = numberAfter(ln, "Pixel scale = ", 1.0);
        s.max_ra_duration = numberAfter(ln, "Max RA duration = ", s.max_ra_duration);
        s.header.push_back(ln);
        break;
      }
      case State::Guiding: {
        Phd2Section& s = log.sessions.back();
        if (blank(ln) || startsWith(ln, "Guiding Ends")) {
          s.ended = startsWith(ln, "Guiding Ends");
          st = State::Skip;
        } else if (ln[0] >= '1' && ln[0] <= '9') {
          s.entries.push_back(entry(ln));
        } else if (startsWith(ln, "INFO: ")) {
          s.infos.push_back(ln.substr(6));
        }
        break;
      }
      case State::CalibrationHeader:
        if (startsWith(ln, "Direction,Step,dx,dy,x,y,Dist")) st = State::Calibrating;
        break;
      case State::Calibrating:
        if (blank(ln) || startsWith(ln, "Calibration complete")) {
          st = State::Skip;
        } else {
          for (const char* d : {"West,", "East,", "Backlash,", "North,", "South,"}) {
            if (!startsWith(ln, d)) continue;
            const std::vector<std::string> f = fields(ln);
            log.calibrations.back().emplace_back(f[0], std::atof(f[2].c_str()));
          }
        }
        break;
    }
  }
  return log;
}

}  // namespace qlm::test
