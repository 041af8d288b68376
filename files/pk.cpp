#include "files/pk.h"

#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>

#include "files/fits_reader.h"
#include "files/fits_writer.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"

namespace qlm {

namespace {
// Element i as the two bytes it has in memory order on a little-endian machine.
void packChunk(const Frame& frame, int chunk, std::array<std::uint8_t, kPkChunkBytes>& out) {
  const std::size_t first = static_cast<std::size_t>(chunk) * (kPkChunkBytes / 2);
  for (std::size_t i = 0; i < kPkChunkBytes / 2; ++i) {
    const std::uint16_t v = frame[first + i];
    out[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
    out[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
  }
}
}  // namespace

bool saveRawImage(const std::filesystem::path& path, const Frame& frame) {
  AtomicFile file(path);
  bool ok = file.open();
  std::array<std::uint8_t, kPkChunkBytes> chunk{};
  for (int c = 0; ok && c < kPkChunks; ++c) {
    packChunk(frame, c, chunk);
    ok = file.write(chunk.data(), chunk.size());
  }
  ok = ok && file.commit();
  if (!ok) ShowWriteFailure(18);
  return ok;
}

bool loadRawImage(const std::filesystem::path& path, Frame& frame) {
  std::FILE* f = openRegularFile(path);
  if (f == nullptr) return false;
  std::setvbuf(f, nullptr, _IONBF, 0);  // each chunk is one read of the system, not four 4 kB ones
  std::array<std::uint8_t, kPkChunkBytes> chunk{};
  for (int c = 0; c < kPkChunks; ++c) {
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), f);
    const std::size_t first = static_cast<std::size_t>(c) * (kPkChunkBytes / 2);
    const std::size_t pairs = got / 2;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(frame.data() + first, chunk.data(), pairs * 2);  // the file's order is memory order
    } else {
      for (std::size_t i = 0; i < pairs; ++i)
        frame[first + i] = static_cast<std::uint16_t>(chunk[2 * i] | (chunk[2 * i + 1] << 8));
    }
    // An odd last byte lands where a read straight into memory puts it: the low byte of the next pixel.
    if (got % 2 == 1) {
      std::uint16_t& px = frame[first + pairs];
      px = static_cast<std::uint16_t>((px & 0xFF00u) | chunk[got - 1]);
    }
    if (got != chunk.size()) break;
  }
  std::fclose(f);
  return true;
}

bool loadDarkOrFlat(const std::filesystem::path& path, Frame& frame) {
  const long long size = fileSize(path);
  if (size == kPkFileSize) return loadRawImage(path, frame);
  // The program's own full-size FITS files go through its own reader, which also knows their unsigned
  // form; its texts and history land in scratch records, not the program's.
  if (size == kFitsFullFileSize) {
    auto pixels = std::make_unique<Frame>();
    auto staging = std::make_unique<Frame>();
    FitsDetails details;
    HistoryList history;
    bool binned = false;
    int binning = 0;
    if (readFits(path, kFitsFullForm, FitsReadTarget{*pixels, details, history, binned, binning, *staging}) ==
            kFitsRead &&
        !binned) {
      frame = *pixels;
      return true;
    }
  }
  return readFits16Frame(path, frame);
}

bool loadSecondImage(const std::filesystem::path& path, Frame& second) {
  if (!loadDarkOrFlat(path, second)) {
    ShowMessage(16);
    return false;
  }
  return true;
}

int loadCalibrationFrame(const std::filesystem::path& path, Frame& cache) {
  return loadDarkOrFlat(path, cache) ? kCalibrationRead : kCalibrationNotPk;
}

void reportCalibrationLoad(CalibrationKind kind, int answer) {
  const bool dark = kind == CalibrationKind::Dark;
  if (answer == kCalibrationNoFileObject) ShowMessage(dark ? 7 : 25);
  if (answer == kCalibrationNotPk) ShowMessage(dark ? 22 : 26);
}

}  // namespace qlm
