#include "cli/stack_verb.h"

#include <memory>
#include <vector>

#include "app/calibration_commands.h"
#include "app/window_model.h"
#include "cli/image_io.h"
#include "cli/operations.h"
#include "cli/verbs.h"
#include "files/fits_details.h"
#include "files/fits_image.h"
#include "files/settings.h"
#include "image/centroid.h"
#include "image/display.h"
#include "image/frame.h"
#include "image/stacking.h"
#include "image/star_measure.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"

namespace qlm {

namespace {
// Pixels beyond the centroid window a star may drift before tracking loses it.
constexpr int kStarDriftMargin = 10;

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

int runStackVerb(const StackArgs& a, std::ostream& out, std::ostream& err) {
  ParsedOperations ops;
  if (!parseOperations(a.ops, ops, err)) return 2;
  const NoDisplayBitmaps no_window;  // frames pass through, none is shown
  const KeptCalibrationFiles read_once;
  ImageBuffers& b = imageBuffers();
  StackState& state = stackState();
  resetStackState(state);
  state.lose_unmeasured = true;   // never an unaligned frame in a stack that reports success
  state.frames_on_demand = true;  // only the final stack is saved
  // The star is picked as the main-window pick does: that also sets the centroid radius.
  CentroidState& centroid = centroidState();
  centroid.working_radius = pickRadius(settings().mask_radius);
  if (a.star) centroid.main = {a.star->first, a.star->second, 0, 0};
  const int count = static_cast<int>(a.inputs.size());
  double seconds = 0.0;  // the exposures in the stack
  // The running 16-bit stack, apart from the second frame that operations load their files into.
  const auto stack = std::make_unique<Frame>();
  int result = kStackMerged;
  for (const auto& input : a.inputs) {
    if (!cliLoadFrameImage(input, err)) {
      err << "Cannot load " << input << '\n';
      return 1;
    }
    if (!applyOperations(ops, err)) {
      err << "Cannot apply the operations to " << input << '\n';
      return 1;
    }
    if (!a.profile && !a.star && !state.started) {
      // Room for the star to drift as far as tracking follows it before its window leaves the frame.
      const auto star = brightestStar(b.CurrentFrame.data(), kFrameWidth, kFrameHeight,
                                      centroid.working_radius + kStarDriftMargin);
      if (!star) {
        ShowMessage(5);
        return 3;
      }
      centroid.main = {star->first, star->second, 0, 0};
      out << "star: " << star->first << ',' << star->second << '\n';
    }
    const double exposure = fitsDetails().exposureSeconds;
    result = a.profile ? stackByProfile(state, b.CurrentFrame, *stack, count, a.average)
                       : stackByStar(state, b.CurrentFrame, *stack, count, a.average, centroid.working_radius,
                                     centroid);
    // A first frame whose star could not be centred gives no reference to align the others on.
    if (result == kStackMerged && state.centre_failed) result = kStackNoStar;
    if (result != kStackMerged) {
      ShowMessage(result == kStackStarLost ? 4 : 5);
      if (seconds == 0.0) seconds = exposure;  // the first frame is all there is
      break;
    }
    seconds += exposure;
  }
  fitsDetails().exposureSeconds = seconds;
  if (a.float_out) {
    std::vector<float> pixels(static_cast<std::size_t>(kFrameElements));
    stackFloatResult(state, a.average, pixels.data());
    if (!writeFloatFits(a.out, pixels.data(), kFrameWidth, kFrameHeight, fitsDetails(), historyList())) {
      err << "Cannot save " << describeWriteFailure(AtomicFile::lastFailure()) << '\n';
      return 1;
    }
  } else {
    writeStackFrames(state, *stack, b.CurrentFrame, count, a.average);
    if (!cliSaveImage(a.out, err)) return 1;
  }
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
  sub->add_flag("--average", args->average, "the mean of the frames instead of their sum");
  sub->add_flag("--float", args->float_out,
                "write OUT as 32-bit float FITS (BITPIX -32): the mean or sum without rounding or clipping");
  sub->add_option_function<std::string>(
         "--star",
         [args](const std::string& t) {
           if (!parseStar(t, *args))
             throw CLI::ValidationError("--star takes X,Y inside the frame (0-659, 0-499)");
         },
         "where the star method's centroid passes start")
      ->type_name("X,Y");
  sub->add_option(
         "--op", args->ops,
         "an operation NAME[:ARG...] applied to each input before it is stacked, repeated for a chain")
      ->allow_extra_args(false);
  sub->callback([&run, args] { run.start([&] { return runStackVerb(*args, run.out, run.err); }); });
}

}  // namespace qlm
