#include "cli/image_io.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "files/fits_reader.h"
#include "files/fits_writer.h"
#include "files/pk.h"
#include "files/tiff.h"
#include "image/frame.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"

namespace qlm {

namespace {
std::string lowerExtension(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

// Save as FITS file after "Continue": 16-bit, a short DATE-OBS filled from the local date.
bool saveAsFits(const std::filesystem::path& path) {
  FitsDetails& d = fitsDetails();
  d.eightBit = false;
  fillDateObsFromLocalDate(d);
  return writeFitsFile(path, imageBuffers().CurrentFrame, d.object, d.observer, d.dateObs, d.telescope,
                       d.instrument, d.commentText, d.historyText, d.eightBit) == 0;
}
}  // namespace

bool cliLoadImage(const std::filesystem::path& path) {
  const ImageLoadResult loaded = loadImageFile(path);
  if (fileSize(path) < 0) return false;
  return loaded.kind != ImageFileKind::Unrecognised && loaded.result == kFitsRead;
}

bool cliSaveImage(const std::filesystem::path& path, std::ostream&) {
  const std::string ext = lowerExtension(path);
  const bool fits = ext == ".fit" || ext == ".fits";
  const bool tiff = ext == ".tif" || ext == ".tiff";
  if (!fits && !tiff) return saveRawImage(path, imageBuffers().CurrentFrame);
  const bool saved = fits ? saveAsFits(path) : writeTiffFile(path, imageBuffers().CurrentFrame);
  if (!saved) ShowMessage(29);
  return saved;
}

}  // namespace qlm
