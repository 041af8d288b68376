#include "files/tiff.h"

#include "platform/atomic_file.h"

namespace qlm {

namespace {

constexpr int kEntries = 13;
constexpr int kEntryBytes = 12;
constexpr int kStrips = 10;
constexpr std::uint32_t kStripBytes = 33000;
constexpr std::size_t kEntriesAt = 10;
constexpr std::size_t kNextDirectoryAt = kEntriesAt + kEntries * kEntryBytes;  // 166
constexpr std::size_t kXResolutionAt = 170;
constexpr std::size_t kYResolutionAt = 178;
constexpr std::size_t kStripOffsetsAt = 186;
constexpr std::size_t kStripCountsAt = 226;

void put16(TiffHeader& h, std::size_t at, std::uint32_t v) {
  h[at] = static_cast<std::uint8_t>(v & 0xFF);
  h[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void put32(TiffHeader& h, std::size_t at, std::uint32_t v) {
  put16(h, at, v & 0xFFFF);
  put16(h, at + 2, v >> 16);
}

struct Entry {
  std::uint16_t tag;
  std::uint16_t type;  // 3 SHORT, 4 LONG, 5 RATIONAL
  std::uint32_t count;
  std::uint32_t value;  // the value itself, or the offset of the values
};

constexpr Entry kDirectory[kEntries] = {
    {254, 4, 1, 0},                      // NewSubfileType
    {256, 3, 1, 660},                    // ImageWidth
    {257, 3, 1, 500},                    // ImageLength
    {258, 3, 1, 8},                      // BitsPerSample
    {259, 3, 1, 1},                      // Compression: none
    {262, 3, 1, 1},                      // PhotometricInterpretation: black is zero
    {273, 4, kStrips, kStripOffsetsAt},  // StripOffsets
    {277, 3, 1, 1},                      // SamplesPerPixel
    {278, 4, 1, 50},                     // RowsPerStrip
    {279, 3, kStrips, kStripCountsAt},   // StripByteCounts
    {282, 5, 1, kXResolutionAt},         // XResolution
    {283, 5, 1, kYResolutionAt},         // YResolution
    {296, 3, 1, 3},                      // ResolutionUnit: centimetre
};

TiffHeader buildHeader() {
  TiffHeader h{};
  h[0] = 0x49;
  h[1] = 0x49;
  put16(h, 2, 42);
  put32(h, 4, 8);
  put16(h, 8, kEntries);
  for (int i = 0; i < kEntries; ++i) {
    const Entry& e = kDirectory[i];
    const std::size_t at = kEntriesAt + static_cast<std::size_t>(i) * kEntryBytes;
    put16(h, at, e.tag);
    put16(h, at + 2, e.type);
    put32(h, at + 4, e.count);
    // A single SHORT sits in the first two bytes of the value field, the rest stays zero.
    if (e.type == 3 && e.count == 1)
      put16(h, at + 8, e.value);
    else
      put32(h, at + 8, e.value);
  }
  put32(h, kNextDirectoryAt, 0);
  put32(h, kXResolutionAt, 510);
  put32(h, kXResolutionAt + 4, 6);
  put32(h, kYResolutionAt, 256);
  put32(h, kYResolutionAt + 4, 4);
  for (int k = 0; k < kStrips; ++k) {
    put32(h, kStripOffsetsAt + 4 * static_cast<std::size_t>(k),
          kTiffHeaderBytes + kStripBytes * static_cast<std::uint32_t>(k));
    put16(h, kStripCountsAt + 2 * static_cast<std::size_t>(k), kStripBytes);
  }
  return h;
}

// The header in the writes the format is built from: 10 bytes, 13 entries, the next-directory word,
// two rationals, strip offsets two at a time, strip byte counts one at a time.
bool writeHeader(AtomicFile& file, const TiffHeader& h) {
  const auto part = [&](std::size_t at, std::size_t n) { return file.write(h.data() + at, n); };
  if (!part(0, kEntriesAt)) return false;
  for (int i = 0; i < kEntries; ++i)
    if (!part(kEntriesAt + static_cast<std::size_t>(i) * kEntryBytes, kEntryBytes)) return false;
  if (!part(kNextDirectoryAt, 4) || !part(kXResolutionAt, 8) || !part(kYResolutionAt, 8)) return false;
  for (int k = 0; k < kStrips / 2; ++k)
    if (!part(kStripOffsetsAt + 8 * static_cast<std::size_t>(k), 8)) return false;
  for (int k = 0; k < kStrips; ++k)
    if (!part(kStripCountsAt + 2 * static_cast<std::size_t>(k), 2)) return false;
  return true;
}

}  // namespace

const TiffHeader& tiffHeader() {
  static const TiffHeader header = buildHeader();
  return header;
}

bool writeTiffFile(const std::filesystem::path& path, const Frame& frame) {
  static std::array<std::uint8_t, kTiffPixelChunkBytes> chunk;
  AtomicFile file(path);
  if (!file.open() || !writeHeader(file, tiffHeader())) return false;
  for (int k = 0; k < kFrameElements / kTiffPixelChunkBytes; ++k) {
    const std::size_t first = static_cast<std::size_t>(k) * kTiffPixelChunkBytes;
    for (std::size_t i = 0; i < chunk.size(); ++i)
      chunk[i] = static_cast<std::uint8_t>(frame[first + i] >> 8);
    if (!file.write(chunk.data(), chunk.size())) return false;
  }
  return file.commit();
}

}  // namespace qlm
