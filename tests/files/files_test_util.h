#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "image/frame.h"

namespace qlm::test {

inline std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline unsigned byteAt(const std::string& bytes, std::size_t i) {
  return static_cast<unsigned char>(bytes.at(i));
}

// Big-endian 16-bit value at byte offset `i`.
inline unsigned be16(const std::string& bytes, std::size_t i) {
  return byteAt(bytes, i) << 8 | byteAt(bytes, i + 1);
}

// A card of the header: `text` padded with spaces to 80 characters.
inline std::string card80(const std::string& text) {
  std::string c = text;
  c.resize(80, ' ');
  return c;
}

// Fills the 330,000 pixels with a scrambled pattern that covers the whole 16-bit range.
inline void fillScrambled(Frame& frame, std::uint32_t seed) {
  for (std::size_t i = 0; i < kFrameElements; ++i)
    frame[i] = static_cast<std::uint16_t>(((i + seed) * 2654435761u) >> 13);
}

inline std::uint16_t& pixel(Frame& frame, int row, int col) {
  return frame[static_cast<std::size_t>(row * kFrameWidth + col)];
}

}  // namespace qlm::test
