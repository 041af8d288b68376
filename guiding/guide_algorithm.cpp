#include "guiding/guide_algorithm.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "files/settings.h"
#include "guiding/guider.h"
#include "platform/atomic_file.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A number from the file, kept only inside its range.
void readNumber(const std::string& text, double lo, double hi, double& into) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() && *end == '\0' && std::isfinite(v) && v >= lo && v <= hi) into = v;
}
void readInt(const std::string& text, int lo, int hi, int& into) {
  double v = into;
  readNumber(text, lo, hi, v);
  if (v == std::floor(v)) into = static_cast<int>(v);
}

}  // namespace

GuideAlgorithmSettings& guideAlgorithmSettings() {
  static GuideAlgorithmSettings s;
  return s;
}

std::filesystem::path guideAlgorithmFile() {
  return platform().paths.autosaveDir() / "QLM_T4_guiding.txt";
}

std::optional<GuideAlgorithm> guideAlgorithmFromWord(const std::string& word) {
  const std::string w = lower(word);
  if (w == "classic") return GuideAlgorithm::Classic;
  if (w == "predictive") return GuideAlgorithm::Predictive;
  return std::nullopt;
}

std::string guideAlgorithmText(const GuideAlgorithmSettings& s) {
  std::string text;
  const auto line = [&](const char* name, double v) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s=%.9g\n", name, v);
    text += buf;
  };
  text += std::string("algorithm=") + lower(guideAlgorithmName(s.algorithm)) + "\n";
  line("ra_hysteresis", s.ra.hysteresis);
  line("ra_aggressiveness", s.ra.aggressiveness);
  line("ra_min_move_px", s.ra.min_move_px);
  line("dec_hysteresis", s.dec.hysteresis);
  line("dec_aggressiveness", s.dec.aggressiveness);
  line("dec_min_move_px", s.dec.min_move_px);
  line("periodic_model", s.periodic_model ? 1 : 0);
  line("trained", s.trained ? 1 : 0);
  if (s.trained) {
    line("ra_ms_per_px", s.ra_ms_per_px);
    line("dec_ms_per_px", s.dec_ms_per_px);
    line("ra_angle_deg", s.ra_angle_deg);
    line("dec_angle_deg", s.dec_angle_deg);
    line("dec_backlash_px", s.dec_backlash_px);
    line("ra_rate", s.ra_rate);
    line("dec_rate", s.dec_rate);
    line("dec_backlash", s.dec_backlash);
  }
  return text;
}

GuideAlgorithmSettings parseGuideAlgorithmText(const std::string& text) {
  GuideAlgorithmSettings s;
  std::istringstream in(text);
  std::string line;
  double flag_trained = 0.0, flag_model = 1.0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq), v = line.substr(eq + 1);
    if (name == "algorithm") {
      if (const auto a = guideAlgorithmFromWord(v)) s.algorithm = *a;
    } else if (name == "ra_hysteresis") {
      readNumber(v, 0.0, 0.99, s.ra.hysteresis);
    } else if (name == "ra_aggressiveness") {
      readNumber(v, 0.0, 2.0, s.ra.aggressiveness);
    } else if (name == "ra_min_move_px") {
      readNumber(v, 0.0, 20.0, s.ra.min_move_px);
    } else if (name == "dec_hysteresis") {
      readNumber(v, 0.0, 0.99, s.dec.hysteresis);
    } else if (name == "dec_aggressiveness") {
      readNumber(v, 0.0, 2.0, s.dec.aggressiveness);
    } else if (name == "dec_min_move_px") {
      readNumber(v, 0.0, 20.0, s.dec.min_move_px);
    } else if (name == "periodic_model") {
      readNumber(v, 0.0, 1.0, flag_model);
    } else if (name == "trained") {
      readNumber(v, 0.0, 1.0, flag_trained);
    } else if (name == "ra_ms_per_px") {
      readNumber(v, 1.0, 1e6, s.ra_ms_per_px);
    } else if (name == "dec_ms_per_px") {
      readNumber(v, 1.0, 1e6, s.dec_ms_per_px);
    } else if (name == "ra_angle_deg") {
      readNumber(v, -360.0, 360.0, s.ra_angle_deg);
    } else if (name == "dec_angle_deg") {
      readNumber(v, -360.0, 360.0, s.dec_angle_deg);
    } else if (name == "dec_backlash_px") {
      readNumber(v, 0.0, 1000.0, s.dec_backlash_px);
    } else if (name == "ra_rate") {
      readInt(v, 0, 32767, s.ra_rate);
    } else if (name == "dec_rate") {
      readInt(v, 0, 32767, s.dec_rate);
    } else if (name == "dec_backlash") {
      readInt(v, 0, 32767, s.dec_backlash);
    }
  }
  s.periodic_model = flag_model >= 0.5;
  // A training is only believed with both responses present.
  s.trained = flag_trained >= 0.5 && s.ra_ms_per_px > 0.0 && s.dec_ms_per_px > 0.0;
  return s;
}

bool loadGuideAlgorithmSettings() {
  std::ifstream in(guideAlgorithmFile(), std::ios::binary);
  if (!in) return false;
  std::string text;
  char buf[4096];
  // A file of this kind is a few hundred bytes: anything far larger is not one.
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    text.append(buf, static_cast<std::size_t>(in.gcount()));
    if (text.size() > 65536) return false;
  }
  guideAlgorithmSettings() = parseGuideAlgorithmText(text);
  return true;
}

bool saveGuideAlgorithmSettings() {
  std::error_code ec;
  std::filesystem::create_directories(guideAlgorithmFile().parent_path(), ec);
  const std::string text = guideAlgorithmText(guideAlgorithmSettings());
  AtomicFile f(guideAlgorithmFile());
  return f.open() && f.write(text.data(), text.size()) && f.commit();
}

void rememberGuiderTraining(const GuiderTraining& t, GuideAlgorithmSettings& s) {
  const double ra = std::hypot(t.west_x, t.west_y), dec = std::hypot(t.north_x, t.north_y);
  if (ra <= 0.0 || dec <= 0.0) return;
  s.trained = true;
  s.ra_ms_per_px = 1000.0 / ra;
  s.dec_ms_per_px = 1000.0 / dec;
  // East moves the star against the West vector; a North pulse along (sin d, cos d).
  s.ra_angle_deg = std::atan2(t.west_y, -t.west_x) * 180.0 / kPi;
  s.dec_angle_deg = std::atan2(t.north_x, t.north_y) * 180.0 / kPi;
  s.dec_backlash_px = t.dec_backlash_px;
  s.ra_rate = t.ra_rate;
  s.dec_rate = t.dec_rate;
  s.dec_backlash = t.dec_backlash;
}

namespace {

PredictiveParams tuned(const GuideAlgorithmSettings& g) {
  PredictiveParams p;
  p.letters = settings().direction_letters;
  p.ra = g.ra;
  p.dec = g.dec;
  p.periodic_model = g.periodic_model;
  return p;
}

void fromTraining(const GuideAlgorithmSettings& t, PredictiveParams& p) {
  p.ra_ms_per_px = t.ra_ms_per_px;
  p.dec_ms_per_px = t.dec_ms_per_px;
  p.ra_angle_deg = t.ra_angle_deg;
  p.dec_angle_deg = t.dec_angle_deg;
  p.dec_backlash_px = t.dec_backlash_px;
}

}  // namespace

PredictiveParams predictiveGuiderParams() {
  const GuideAlgorithmSettings& g = guideAlgorithmSettings();
  const Settings& s = settings();
  const CalibrationState& c = calibrationState();
  PredictiveParams p = tuned(g);
  if (c.trained_available && c.use_trained) {
    GuideAlgorithmSettings run;
    rememberGuiderTraining(c.trained, run);
    if (run.trained) {
      fromTraining(run, p);
      return p;
    }
  }
  if (g.trained && g.ra_rate == s.guider_ra_rate && g.dec_rate == s.guider_dec_rate &&
      g.dec_backlash == s.guider_dec_backlash) {
    fromTraining(g, p);
    return p;
  }
  p.ra_ms_per_px = 1000.0 / std::max(1, s.guider_ra_rate);
  p.dec_ms_per_px = 1000.0 / std::max(1, s.guider_dec_rate);
  p.ra_angle_deg = s.ignore_ra_angle ? 0.0 : s.default_ra_angle;
  p.dec_angle_deg = p.ra_angle_deg;
  p.dec_backlash_px = s.guider_dec_backlash;
  return p;
}

PredictiveParams predictiveMainParams() {
  const Settings& s = settings();
  PredictiveParams p = tuned(guideAlgorithmSettings());
  p.ra_ms_per_px = 1000.0 / std::max(1, s.main_ra_rate);
  p.dec_ms_per_px = 1000.0 / std::max(1, s.main_dec_rate);
  p.dec_backlash_px = s.main_dec_backlash;
  p.limit_px = 5.0;  // as the main camera's classic rule
  return p;
}

namespace {

struct PredictiveRun {
  PredictiveGuider guider;
  std::optional<std::uint32_t> first_ms;  // the clock at the run's first measured frame: its time 0
};
PredictiveRun& predictiveRun() {
  static PredictiveRun run;
  return run;
}

}  // namespace

void startPredictiveRun(const PredictiveParams& p) {
  predictiveRun().guider = PredictiveGuider(p);
  predictiveRun().first_ms.reset();
}

GuideCorrection predictiveGuideCorrection(const GuideFrameRecord& rec, const CentroidResult& ref, bool send,
                                          LastLetters& last) {
  PredictiveRun& run = predictiveRun();
  PredictiveInput in;
  if (!run.first_ms) run.first_ms = rec.time_ms;
  in.t_s = static_cast<std::uint32_t>(rec.time_ms - *run.first_ms) / 1000.0;
  in.x = rec.position.x + rec.position.tx / 10.0;
  in.y = rec.position.y + rec.position.ty / 10.0;
  in.ref_x = ref.x + ref.tx / 10.0;
  in.ref_y = ref.y + ref.ty / 10.0;
  in.send = send;
  const GuideCorrection k = run.guider.correct(in);
  if (send && !k.too_far && k.ra.sent()) last.ra = k.ra.letter;
  if (send && !k.too_far && k.dec.sent()) last.dec = k.dec.letter;
  return k;
}

const PredictiveGuider& predictiveRunGuider() {
  return predictiveRun().guider;
}

}  // namespace qlm
