#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/image_io.h"
#include "cli/verbs.h"
#include "image/display.h"
#include "platform/platform.h"

namespace qlm {

namespace {
constexpr const char* kRenderUsage =
    "usage: render IN OUT.bmp [--auto-contrast] [--false-colour] [--max-palette POWER]\n";

bool parsePower(const std::string& text, double& power) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !(v >= 2.0 && v <= 50.0)) return false;
  power = v;
  return true;
}
}  // namespace

// render IN OUT.bmp [...]: the temporary bitmap that a refresh of the loaded frame writes, copied out.
int runRenderVerb(const std::vector<std::string>& words, const CliOptions&, std::ostream&,
                  std::ostream& err) {
  std::vector<std::string> files;
  FrameState& f = frameState();
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--auto-contrast") {
      f.auto_contrast = true;
    } else if (words[i] == "--false-colour") {
      f.false_colour = true;
    } else if (words[i] == "--max-palette") {
      if (i + 1 >= words.size() || !parsePower(words[i + 1], displayState().stretch_display_power)) {
        err << "--max-palette needs a stretch display power from 2 to 50\n";
        return 2;
      }
      f.max_palette_stretch = true;
      ++i;
    } else {
      files.push_back(words[i]);
    }
  }
  if (files.size() != 2) {
    err << kRenderUsage;
    return 2;
  }
  if (!cliLoadImage(files[0])) return 1;
  afterPaint();  // the background level a paint of this frame leaves
  refreshDisplay();
  if (displayState().last_write_result != 0 || !windowBitmap()) return 1;
  std::error_code ec;
  std::filesystem::copy_file(platform().paths.displayBitmap(), files[1],
                             std::filesystem::copy_options::overwrite_existing, ec);
  if (ec) {
    err << "Cannot write " << files[1] << ": " << ec.message() << '\n';
    return 1;
  }
  return 0;
}

}  // namespace qlm
