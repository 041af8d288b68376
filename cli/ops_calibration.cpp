#include <algorithm>

#include "app/calibration_commands.h"
#include "cli/operations.h"
#include "files/fits_reader.h"
#include "image/frame.h"

namespace qlm {

namespace {

// merge:FILE:BX:BY:MX:MY[:average][:superimpose]: the loaded image is the base image; FILE is opened
// as File/Open does while merging and combined as "Merge" does.
bool mergeOperation(const std::vector<std::string>& args, std::ostream& err) {
  int marks[4] = {};
  const int limits[4] = {kFrameWidth - 1, kLastRow, kFrameWidth - 1, kLastRow};
  for (int i = 0; i < 4; ++i) {
    if (!parseIntArg(args[static_cast<std::size_t>(i) + 1], 0, limits[i], marks[i])) {
      err << "merge: marks are BX:BY:MX:MY, columns 0-659 and rows 0-499\n";
      return false;
    }
  }
  bool average = false;
  bool superimpose = false;
  for (std::size_t i = 5; i < args.size(); ++i) {
    if (args[i] == "average") {
      average = true;
    } else if (args[i] == "superimpose") {
      superimpose = true;
    } else {
      err << "merge: unknown option '" << args[i] << "' (average, superimpose)\n";
      return false;
    }
  }
  ImageBuffers& b = imageBuffers();
  std::copy_n(b.CurrentFrame.begin(), kFrameElements, b.SecondFrame.begin());
  const ImageLoadResult loaded = loadImageFile(args[0]);
  if (loaded.kind == ImageFileKind::Unrecognised || loaded.result != kFitsRead) {
    err << "merge: cannot load " << args[0] << '\n';
    return false;
  }
  MergeModel::Combine c{marks[2] - marks[0], marks[3] - marks[1], average};
  if (superimpose) c.dx = c.dy = 0;
  combineMergeImages(c);
  return true;
}

}  // namespace

void addCalibrationOperations(CliOperationTable& table) {
  table["dark"] = {
      1, 1, [](const std::vector<std::string>& args, std::ostream&) { return subtractDarkFile(args[0]); }};
  table["flat"] = {
      1, 1, [](const std::vector<std::string>& args, std::ostream&) { return applyFlatFieldFile(args[0]); }};
  table["merge"] = {5, 7, mergeOperation};
}

}  // namespace qlm
