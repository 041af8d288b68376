#include "cli/image_io.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

bool cliCopyFile(const std::filesystem::path& from, const std::filesystem::path& to, std::ostream& err) {
  std::vector<char> bytes;
  {
    std::ifstream in(from, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      err << "Cannot read " << from.string() << '\n';
      return false;
    }
  }
  if (isReadOnlyFile(resolveLinks(to))) {
    err << to.string() << ": This file is set to read-only.\n";
    return false;
  }
  AtomicFile file(to);
  if (!file.open() || !file.write(bytes.data(), bytes.size()) || !file.commit()) {
    err << "Cannot write " << describeWriteFailure(AtomicFile::lastFailure()) << '\n';
    return false;
  }
  return true;
}

bool cliLoadImage(const std::filesystem::path& path) {
  const ImageLoadResult loaded = loadImageFile(path);
  if (fileSize(path) < 0) return false;
  return loaded.kind != ImageFileKind::Unrecognised && loaded.result == kFitsRead;
}

namespace {
bool startsAsFits(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  char head[9] = {};
  return in.read(head, 9) && std::string_view(head, 9) == "SIMPLE  =";
}
}  // namespace

bool cliLoadAnyImage(const std::filesystem::path& path, std::ostream& err,
                     std::optional<FitsImage>& foreign) {
  foreign.reset();
  const long long size = fileSize(path);
  if (size < 0 || imageFileKind(size) != ImageFileKind::Unrecognised || !startsAsFits(path))
    return cliLoadImage(path);
  std::string why;
  foreign = readFitsImage(path, why);
  if (!foreign) {
    err << path.string() << ": " << why << '\n';
    return false;
  }
  FitsDetails& d = fitsDetails();
  HistoryList& history = historyList();
  resetFitsDetails(d, history);
  const FitsDetails& f = foreign->details;
  d.object = f.object;
  d.observer = f.observer;
  d.dateObs = f.dateObs;
  d.timeObs = f.timeObs;
  d.telescope = f.telescope;
  d.instrument = f.instrument;
  d.filterName = f.filterName;
  d.exposureSeconds = f.exposureSeconds;
  d.focalLength = f.focalLength;
  d.aperture = f.aperture;
  for (const std::string& h : foreign->history)
    history.append(h);
  fitsImageToFrame(*foreign, imageBuffers().CurrentFrame);
  return true;
}

bool cliLoadFrameImage(const std::filesystem::path& path, std::ostream& err) {
  std::optional<FitsImage> foreign;
  if (!cliLoadAnyImage(path, err, foreign)) return false;
  if (foreign && (foreign->width != kFrameWidth || foreign->height != kFrameHeight)) {
    err << path.string() << ": the image is " << foreign->width << " x " << foreign->height << ", not "
        << kFrameWidth << " x " << kFrameHeight << '\n';
    return false;
  }
  return true;
}

bool cliSaveImage(const std::filesystem::path& path, std::ostream& err) {
  // As the save dialog does, a read-only file is refused rather than replaced.
  if (isReadOnlyFile(resolveLinks(path))) {
    err << path.string() << ": This file is set to read-only.\n";
    return false;
  }
  const std::string ext = lowerExtension(path);
  const bool fits = ext == ".fit" || ext == ".fits";
  const bool tiff = ext == ".tif" || ext == ".tiff";
  // The program's message names the file and the system's reason (a missing folder among them).
  if (!fits && !tiff) return saveRawImage(path, imageBuffers().CurrentFrame);
  const bool saved = fits ? saveAsFits(path) : writeTiffFile(path, imageBuffers().CurrentFrame);
  if (!saved) ShowWriteFailure(29);
  return saved;
}

}  // namespace qlm
