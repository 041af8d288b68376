#pragma once
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qlm {

// The CSV guide log: one row per guide frame with the columns
// time_ms,frame,x,y,dx_px,dy_px,ra_dir,ra_ms,dec_dir,dec_ms,ao_x,ao_y,true_x,true_y
// (directions and pulses empty / 0 when nothing was sent; the true position only from the simulator).
// When the AO unit guides, the corrections are tilt steps, not milliseconds: those two columns are then
// named ra_steps and dec_steps.

// printf-style formatting into a string of whatever length the values need (the guide logs' rows).
[[gnu::format(printf, 1, 2)]] std::string formatted(const char* format, ...);

inline constexpr const char* kGuideLogHeader =
    "time_ms,frame,x,y,dx_px,dy_px,ra_dir,ra_ms,dec_dir,dec_ms,ao_x,ao_y,true_x,true_y";
inline constexpr const char* kAOGuideLogHeader =
    "time_ms,frame,x,y,dx_px,dy_px,ra_dir,ra_steps,dec_dir,dec_steps,ao_x,ao_y,true_x,true_y";

struct GuideLogRow {
  unsigned long time_ms = 0;
  int frame = 0;
  double x = 0.0;  // pixels and tenths
  double y = 0.0;
  int dx = 0;  // thousandths of a pixel (written as pixels with three decimals)
  int dy = 0;
  char ra_dir = 0;  // 0: no RA pulse
  int ra_ms = 0;    // AO steps when `ao` holds a value
  char dec_dir = 0;
  int dec_ms = 0;
  std::optional<std::pair<int, int>> ao;  // the AO unit's net tilt (x, y steps) when it guides
  std::optional<std::pair<double, double>> truth;
};

// Writes rows as they come; a log that cannot be created writes nothing (guiding goes on).
class GuideLogWriter {
 public:
  GuideLogWriter() = default;
  ~GuideLogWriter();  // closes without a message: the program may be ending
  GuideLogWriter(const GuideLogWriter&) = delete;
  GuideLogWriter& operator=(const GuideLogWriter&) = delete;

  // Creates the file (and its folder); false when it cannot. The header goes before the first row,
  // named by it (AO steps or milliseconds), or at the close of a log without rows. A log that is not
  // `csv` gets no header: its writer writes whole texts.
  bool open(const std::string& path, bool csv = true);
  // Appends one row. The first row that cannot be written (a full disk) is reported once, with the
  // path and the system's reason; the log is closed then and stays failed until the next open.
  void write(const GuideLogRow& row);
  // Appends text as it is (its own line ends), failing as a row does.
  void writeText(const std::string& text);
  void close();
  bool isOpen() const { return file_ != nullptr; }
  // True when a row or the header of the log opened last was lost.
  bool failed() const { return failed_; }

 private:
  bool header(const char* text);  // false when it could not be written
  void fail(int error);

  std::FILE* file_ = nullptr;
  bool header_written_ = false;
  std::string path_;
  bool failed_ = false;
};

// One row's text (without the line end) and its reading; nothing for a malformed line.
std::string guideLogLine(const GuideLogRow& row);
std::optional<GuideLogRow> parseGuideLogLine(std::string_view line);
// Every row of a log file (the header and malformed lines skipped).
std::vector<GuideLogRow> readGuideLog(const std::string& path);

// The scatter of star positions about their mean: rms of the distance, both axes together.
struct PositionScatter {
  double n = 0, sx = 0, sy = 0, sxx = 0, syy = 0;
  void add(double x, double y) {
    n += 1;
    sx += x;
    sy += y;
    sxx += x * x;
    syy += y * y;
  }
  double rms() const;  // 0 without positions
};
// The scatter of the rows' true positions (rows without one are skipped).
double trueRms(const std::vector<GuideLogRow>& rows);

}  // namespace qlm
