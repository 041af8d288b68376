#pragma once
#include <string>
#include <vector>

namespace qlm::test {

// A PHD2 guide log read as PHD2 Log Viewer reads it: sections by their opening prefixes, header lines
// up to the column heading, rows that start with a digit 1-9, a frame left out of the statistics when
// it has an error code and no star mass, and rms about the mean of the raw RA and Dec distances.
struct Phd2Entry {
  int frame = 0;
  double dx = 0, ra_raw = 0, dec_raw = 0;
  int ra_duration = 0, dec_duration = 0;  // West and South negative
  bool included = true;
  bool dropped = false;  // the mount column says "DROP"
};
struct Phd2Section {
  std::vector<std::string> header;
  std::vector<Phd2Entry> entries;
  std::vector<std::string> infos;  // INFO lines without the prefix
  bool guiding_enabled = false;    // the Mount (or AO) line says so
  double pixel_scale = 1.0;        // 1 when the line holds no number
  double max_ra_duration = 0;
  bool ended = false;  // "Guiding Ends" seen
  double rms(bool ra) const;
};
struct Phd2Log {
  std::string version_line;
  std::vector<std::vector<std::pair<std::string, double>>> calibrations;  // direction and dx per row
  std::vector<Phd2Section> sessions;
};
Phd2Log readPhd2Log(const std::string& path);

}  // namespace qlm::test
