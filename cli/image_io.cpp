#include "cli/image_io.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "app/messages.h"
#include "files/atomic_file.h"
#include "files/pk.h"
#include "image/frame.h"

namespace qlm {

namespace {
std::string lowerExtension(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}
}  // namespace

bool cliLoadImage(const std::filesystem::path& path) {
  const long long size = fileSize(path);
  if (size < 0) {
    ShowMessage(11);
    return false;
  }
  if (size != kPkFileSize) {
    ShowMessage(12);
    return false;
  }
  return loadRawImage(path, imageBuffers().CurrentFrame);
}

bool cliSaveImage(const std::filesystem::path& path, std::ostream& err) {
  const std::string ext = lowerExtension(path);
  if (ext == ".fit" || ext == ".fits" || ext == ".tif" || ext == ".tiff") {
    err << "Saving " << ext << " files is not available yet\n";
    return false;
  }
  return saveRawImage(path, imageBuffers().CurrentFrame);
}

}  // namespace qlm
