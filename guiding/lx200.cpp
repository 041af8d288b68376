#include "guiding/lx200.h"

#include <cstdio>
#include <cstdlib>

namespace qlm::lx200 {

bool isDirectionLetter(char letter) {
  return letter == 'e' || letter == 'w' || letter == 'n' || letter == 's';
}

std::string moveCommand(char letter) {
  return std::string("#:M") + letter + "#";
}

std::string quitCommand(char letter) {
  return std::string("#:Q") + letter + "#";
}

std::uint16_t relayBit(char letter) {
  switch (letter) {
    case 'w':
      return 1;
    case 's':
      return 2;
    case 'n':
      return 4;
    case 'e':
      return 8;
    default:
      return 0;
  }
}

std::string catalogueCommand(char kind, int number) {
  const char* prefix = kind == 'm' ? "#:LM " : (kind == 's' ? "#:LS " : "#:LC ");
  char text[32];
  std::snprintf(text, sizeof text, "%s%04d#", prefix, number);
  return text;
}

std::string raCommand(int hours, int minutes) {
  char text[32];
  std::snprintf(text, sizeof text, "#:Sr %02d:%02d.0#", hours, minutes);
  return text;
}

std::string decCommand(int degrees, int minutes) {
  char text[32];
  std::snprintf(text, sizeof text, "#:Sd %c%02d*%02d#", degrees < 0 ? '-' : '+', std::abs(degrees), minutes);
  return text;
}

std::string replyText(const std::uint8_t* bytes, std::size_t received) {
  std::string text;
  for (std::size_t i = 0; i < received && i < kReplyChars; ++i) {
    if (bytes[i] == '#' || bytes[i] == 0) break;
    text += static_cast<char>(bytes[i]);
  }
  return text;
}

std::string positionText(std::string_view reply) {
  std::string text(reply);
  for (char& c : text)
    if (c == '*' || c == '\'' || c == static_cast<char>(0xDF)) c = ':';
  return text;
}

}  // namespace qlm::lx200
