#include <cstdio>

#include "cli/guiding_verbs.h"
#include "cli/image_io.h"
#include "files/settings.h"
#include "guiding/guide_star.h"
#include "image/frame.h"

namespace qlm {

int runCentroidVerb(const CentroidArgs& args, std::ostream& out, std::ostream& err) {
  const int r = args.radius.value_or(settings().mask_radius);
  if (r < 0 || r > 15) {
    err << "--radius must lie between 0 and 15\n";
    return 2;
  }
  if (!cliLoadImage(args.in)) return 1;
  int x = args.x;
  int y = args.y;
  for (int pass = 0; pass < 3; ++pass)
    if (!mainPickCentre(x, y, r, imageBuffers().CurrentFrame.data())) return 1;
  const CentroidResult& c = centroidState().main;
  char line[64];
  std::snprintf(line, sizeof line, "x=%d.%d y=%d.%d\n", c.x, c.tx, c.y, c.ty);
  out << line;
  return 0;
}

}  // namespace qlm
