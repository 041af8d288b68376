#include "cli/stack_verb.h"

#include "app/messages.h"
#include "cli/image_io.h"
#include "cli/operations.h"
#include "files/fits_details.h"
#include "files/settings.h"
#include "image/centroid.h"
#include "image/frame.h"
#include "image/stacking.h"

namespace qlm {

namespace {
constexpr const char* kStackUsage =
    "usage: stack OUT IN... [--method star|profile] [--average] [--star X,Y]\n";

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

bool parseStackArgs(const std::vector<std::string>& words, StackArgs& a, std::ostream& err) {
  std::vector<std::string> files;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if ((w == "--method" || w == "--star") && i + 1 >= words.size()) {
      err << w << " needs a value\n" << kStackUsage;
      return false;
    }
    if (w == "--method") {
      const std::string& m = words[++i];
      if (m != "star" && m != "profile") {
        err << "--method is star or profile, not '" << m << "'\n";
        return false;
      }
      a.profile = m == "profile";
    } else if (w == "--average") {
      a.average = true;
    } else if (w == "--star") {
      if (!parseStar(words[++i], a)) {
        err << "--star takes X,Y inside the frame (0-659, 0-499), not '" << words[i] << "'\n";
        return false;
      }
    } else {
      files.push_back(w);
    }
  }
  if (files.size() < 2) {
    err << kStackUsage;
    return false;
  }
  a.out = files.front();
  a.inputs.assign(files.begin() + 1, files.end());
  return true;
}

int runStackVerb(const StackArgs& a, std::ostream&, std::ostream& err) {
  ImageBuffers& b = imageBuffers();
  StackState& state = stackState();
  resetStackState(state);
  // A star given on the command line is picked as the main-window pick does: it also sets the radius.
  CentroidState& centroid = centroidState();
  if (a.star) {
    centroid.main = {a.star->first, a.star->second, 0, 0};
    centroid.working_radius = settings().mask_radius;
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

int runStackWords(const std::vector<std::string>& words, const CliOptions&, std::ostream& out,
                  std::ostream& err) {
  StackArgs args;
  if (!parseStackArgs(words, args, err)) return 2;
  return runStackVerb(args, out, err);
}

}  // namespace qlm
