#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/image_io.h"
#include "cli/verbs.h"
#include "image/display.h"
#include "platform/platform.h"

namespace qlm {

namespace {

struct RenderArgs {
  std::string in;
  std::string out;
  bool auto_contrast = false;
  bool false_colour = false;
  double max_palette = 0.0;  // 0: max palette stretch off
};

// The temporary bitmap that a refresh of the loaded frame writes, copied out.
int runRender(const RenderArgs& a, std::ostream& err) {
  FrameState& f = frameState();
  f.auto_contrast = a.auto_contrast;
  f.false_colour = a.false_colour;
  if (a.max_palette > 0.0) {
    f.max_palette_stretch = true;
    displayState().stretch_display_power = a.max_palette;
  }
  const std::vector<std::string> files = {a.in, a.out};
  if (!cliLoadImage(files[0])) return 1;
  afterPaint();  // the background level a paint of this frame leaves
  refreshDisplay();
  if (displayState().last_write_result != 0 || !windowBitmap()) return 1;
  return cliCopyFile(platform().paths.displayBitmap(), files[1], err) ? 0 : 1;
}

}  // namespace

void addRenderVerb(CLI::App& app, CliRun& run) {
  auto args = std::make_shared<RenderArgs>();
  CLI::App* sub = addVerb(app, "render", "write the display bitmap of IN to OUT.bmp as the window shows it");
  sub->add_option("IN", args->in, "image file to load (PK or FITS)")->required();
  sub->add_option("OUT", args->out, "bitmap file to write")->required();
  sub->add_flag("--auto-contrast", args->auto_contrast, "auto contrast stretch the display");
  sub->add_flag("--false-colour", args->false_colour, "false colour palette");
  sub->add_option("--max-palette", args->max_palette, "max palette stretch with this power")
      ->check(CLI::Range(2.0, 50.0));
  sub->callback([&run, args] { run.start([&] { return runRender(*args, run.err); }); });
}

}  // namespace qlm
