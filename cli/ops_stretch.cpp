#include <string>

#include "cli/operations.h"
#include "files/auto_model.h"
#include "files/settings.h"
#include "image/autoprocess.h"
#include "image/convolve.h"
#include "image/display.h"
#include "image/median_unsharp.h"
#include "image/stretch.h"

namespace qlm {

namespace {

using Args = std::vector<std::string>;

// Reads argument `i` as a whole number within lo-hi, or explains why not.
bool intArg(const Args& args, std::size_t i, int lo, int hi, const char* op, int& value, std::ostream& err) {
  if (parseIntArg(args[i], lo, hi, value)) return true;
  err << "Operation '" << op << "': '" << args[i] << "' is not a whole number from " << lo << " to " << hi
      << '\n';
  return false;
}

// A power "P" or "P.D" from 0.1 to 3.0, in tenths.
bool tenthsArg(const std::string& text, int& tenths) {
  const auto dot = text.find('.');
  int whole = 0;
  int tenth = 0;
  if (!parseIntArg(text.substr(0, dot), 0, 3, whole)) return false;
  if (dot != std::string::npos && !parseIntArg(text.substr(dot + 1), 0, 9, tenth)) return false;
  if (dot != std::string::npos && text.size() != dot + 2) return false;
  const int t = whole * 10 + tenth;
  if (t < 1 || t > 30) return false;
  tenths = t;
  return true;
}

CliOperation simple(void (*command)()) {
  return {0, 0, [command](const Args&, std::ostream&) {
            command();
            return true;
          }};
}

}  // namespace

void addStretchOperations(CliOperationTable& table) {
  table["normal"] = {2, 2, [](const Args& a, std::ostream& err) {
                       int black = 0;
                       int white = 0;
                       if (!intArg(a, 0, 0, 255, "normal", black, err)) return false;
                       if (!intArg(a, 1, 1, 300, "normal", white, err)) return false;
                       normalStretch(black, white);
                       return true;
                     }};
  table["power"] = {1, 1, [](const Args& a, std::ostream& err) {
                      int tenths = 0;
                      if (!tenthsArg(a[0], tenths)) {
                        err << "Operation 'power': '" << a[0] << "' is not a power from 0.1 to 3.0\n";
                        return false;
                      }
                      powerStretch(tenths);
                      return true;
                    }};
  table["sine"] = simple(sineStretch);
  table["log"] = simple(logStretch);
  table["antilog"] = simple(antilogStretch);
  table["invert"] = simple(invertImage);
  table["background"] = {0, 0, [](const Args&, std::ostream&) {
                           // The level a paint of the frame as it stands would leave.
                           ImageBuffers& b = imageBuffers();
                           displayState().background_level = backgroundLevelB2(b.CurrentFrame, b);
                           removeBackgroundCommand();
                           return true;
                         }};
  table["nonlinear"] = {1, 1, [](const Args& a, std::ostream& err) {
                          int power = 0;
                          if (!intArg(a, 0, 1, 50, "nonlinear", power, err)) return false;
                          nonLinearStretch(power, true);
                          return true;
                        }};
  table["kernel"] = {1, 1, [](const Args& a, std::ostream& err) {
                       int k = 0;
                       if (!intArg(a, 0, 0, kKernelCount - 1, "kernel", k, err)) return false;
                       kernelFilterCommand(k);
                       return true;
                     }};
  table["gradient"] = simple(gradientFilterCommand);
  table["median"] = {2, 2, [](const Args& a, std::ostream& err) {
                       int radius = 0;
                       int power = 0;
                       if (!intArg(a, 0, 1, 3, "median", radius, err)) return false;
                       if (!intArg(a, 1, 1, 10, "median", power, err)) return false;
                       medianFilter(radius, power);
                       return true;
                     }};
  table["unsharp"] = {2, 2, [](const Args& a, std::ostream& err) {
                        int radius = 0;
                        int power = 0;
                        if (!intArg(a, 0, 1, 7, "unsharp", radius, err)) return false;
                        if (!intArg(a, 1, 1, 7, "unsharp", power, err)) return false;
                        unsharpMask(radius, power, false);
                        return true;
                      }};
  table["autoprocess"] = {0, 0, [](const Args&, std::ostream&) {
                            runAutoProcessing(autoProcessChoice(settings()));
                            return true;
                          }};
}

}  // namespace qlm
