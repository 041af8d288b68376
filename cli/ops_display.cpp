#include "cli/operations.h"
#include "image/frame.h"
#include "image/label.h"
#include "image/view_ops.h"

namespace qlm {

void addDisplayOperations(CliOperationTable& table) {
  table["mirror"] = {0, 0, [](const std::vector<std::string>&, std::ostream&) {
                       mirrorImage(imageBuffers().CurrentFrame, imageBuffers().SecondFrame);
                       return true;
                     }};
  table["flip"] = {0, 0, [](const std::vector<std::string>&, std::ostream&) {
                     flipImage(imageBuffers().CurrentFrame, imageBuffers().SecondFrame);
                     return true;
                   }};
  // label:TEXT, as the Label dialog with "Auto Date" off; the dialog takes at most 30 characters.
  table["label"] = {0, 1, [](const std::vector<std::string>& args, std::ostream&) {
                      drawLabel(imageBuffers().CurrentFrame, labelLine(args.empty() ? "" : args[0], nullptr));
                      return true;
                    }};
}

}  // namespace qlm
