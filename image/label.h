#pragma once
#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "image/frame.h"

namespace qlm {

inline constexpr int kLabelMaxChars = 30;  // characters of the user's text that a label takes
inline constexpr int kGlyphRows = 10;
inline constexpr int kGlyphWidth = 8;

// The 10 rows of a character's built-in glyph (most significant bit leftmost); nothing for a
// character without one.
std::optional<std::array<std::uint8_t, kGlyphRows>> glyphFor(char c);

// The label line: centring spaces, the text (at most 30 characters) and, when `utc` is given (Auto
// Date), "  hh:mm:ss UT dd-mm-yyyy " from that time.
std::string labelLine(std::string_view text, const std::tm* utc);

// Clears the label band, draws `line` from column 0 (8 pixels a character, set bits 65535) and sets
// the label marker.
void drawLabel(Frame& frame, std::string_view line);

}  // namespace qlm
