#include "cli/stack_verb.h"

#include <memory>

#include "app/window_model.h"
#include "cli/image_io.h"
#include "cli/operations.h"
#include "cli/verbs.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "image/centroid.h"
#include "image/frame.h"
#include "image/stacking.h"
#include "platform/messages.h"

namespace qlm {

namespace {
bool parseStar(const std::string& text, StackArgs& a) {
  const auto comma = text.find(',');
  if (comma == std::string::npos) return false;
  int x = 0;
  int y = 0;
  if (!parseIntArg(text.substr(0, comma), 0, kFrameWidth - 1, x) ||
      !parseIntArg(text.substr(comma + 1), 0, kLastRow, y))
    return false;
  a.star = std::pair<int, int>{x, y};
  return true;
}
}  // namespace

int runStackVerb(const StackArgs& a, std::ostream&, std::ostream& err) {
  ImageBuffers& b = imageBuffers();
  StackState& state = stackState();
  resetStackState(state);
  // A star given on the command line is picked as the main-window pick does: it also sets the radius.
  CentroidState& centroid = centroidState();
  if (a.star) {
    centroid.main = {a.star->first, a.star->second, 0, 0};
    centroid.working_radius = pickRadius(settings().mask_radius);
  }
  const int count = static_cast<int>(a.inputs.size());
  double seconds = 0.0;  // the exposures in the stack
  int result = kStackMerged;
  for (const auto& input : a.inputs) {
    if (!cliLoadImage(input)) {
      err << "Cannot load " << input << '\n';
      return 1;
    }
    const double exposure = fitsDetails().exposureSeconds;
    result = a.profile ? stackByProfile(state, b.CurrentFrame, b.SecondFrame, count, a.average)
                       : stackByStar(state, b.CurrentFrame, b.SecondFrame, count, a.average,
                                     centroid.working_radius, centroid);
    if (result != kStackMerged) {
      ShowMessage(result == kStackStarLost ? 4 : 5);
      if (state.exposures == 0) seconds = exposure;  // no stack yet: the frame itself is saved
      break;
    }
    seconds += exposure;
  }
  fitsDetails().exposureSeconds = seconds;
  if (!cliSaveImage(a.out, err)) return 1;
  return result == kStackMerged ? 0 : 3;
}

void addStackVerb(CLI::App& app, CliRun& run) {
  auto args = std::make_shared<StackArgs>();
  CLI::App* sub = addVerb(app, "stack", "stack frames in order as a multi-exposure capture does");
  sub->add_option("OUT", args->out, "file to save the stack to")->required();
  sub->add_option("IN", args->inputs, "frames to stack, in order")->required()->expected(1, 9999);
  sub->add_option_function<std::string>(
         "--method", [args](const std::string& m) { args->profile = m == "profile"; },
         "star tracking (default) or profile correlation")
      ->check(CLI::IsMember({"star", "profile"}));
  sub->add_flag("--average", args->average, "divide each frame by the number of inputs");
  sub->add_option_function<std::string>(
         "--star",
         [args](const std::string& t) {
           if (!parseStar(t, *args))
             throw CLI::ValidationError("--star takes X,Y inside the frame (0-659, 0-499)");
         },
         "where the star method's centroid passes start")
      ->type_name("X,Y");
  sub->callback([&run, args] { run.start([&] { return runStackVerb(*args, run.out, run.err); }); });
}

}  // namespace qlm
