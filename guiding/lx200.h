#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qlm::lx200 {

// The texts the program sends to a Meade LX200 or Autostar mount and the reading of its replies. Pure
// text work: nothing here touches the camera, the clock or program-wide state.

// Fixed commands (5 characters each).
inline constexpr std::string_view kSlewRate = "#:RS#";
inline constexpr std::string_view kFindRate = "#:RM#";
inline constexpr std::string_view kCentreRate = "#:RC#";
inline constexpr std::string_view kGuideRate = "#:RG#";
inline constexpr std::string_view kFocusFast = "#:FF#";
inline constexpr std::string_view kFocusSlow = "#:FS#";
inline constexpr std::string_view kFocusIn = "#:F+#";   // the upper focus arrow
inline constexpr std::string_view kFocusOut = "#:F-#";  // the lower focus arrow
inline constexpr std::string_view kFocusQuit = "#:FQ#";
inline constexpr std::string_view kObjectInfo = "#:LI#";
inline constexpr std::string_view kSlewToObject = "#:MS#";
inline constexpr std::string_view kGetRa = "#:GR#";
inline constexpr std::string_view kGetDec = "#:GD#";
inline constexpr std::size_t kShortCommandBytes = 5;
inline constexpr std::size_t kCatalogueCommandBytes = 10;
inline constexpr std::size_t kRaCommandBytes = 13;
inline constexpr std::size_t kDecCommandBytes = 12;
inline constexpr std::size_t kReplyChars = 33;  // the longest reply text the program keeps

// The four stop commands a manual move ends with, in the order they are sent.
inline constexpr std::string_view kQuitAll[4] = {"#:Qn#", "#:Qs#", "#:Qe#", "#:Qw#"};

// True for the four direction letters the mount knows: e, w, n, s.
bool isDirectionLetter(char letter);
// "#:M" + letter + "#" and "#:Q" + letter + "#".
std::string moveCommand(char letter);
std::string quitCommand(char letter);
// Relay bit of a direction letter on the guide socket: w 1, s 2, n 4, e 8; 0 for any other letter.
std::uint16_t relayBit(char letter);

// Catalogue selection: kind 'm' Messier ("#:LM "), 's' star ("#:LS "), anything else CNGC ("#:LC "),
// then the number as "%04d" and "#". Messier 31 gives "#:LM 0031#".
std::string catalogueCommand(char kind, int number);
// "#:Sr HH:MM.0#" (5 h 34 min gives "#:Sr 05:34.0#").
std::string raCommand(int hours, int minutes);
// "#:Sd sDD*MM#" with s '-' only for negative degrees (-5 deg 23 min gives "#:Sd -05*23#"; degree 0
// is always '+').
std::string decCommand(int degrees, int minutes);

// The reply text in the first `received` bytes of `bytes`: up to the first '#' (not included), a zero
// byte, or 33 characters, whichever comes first. Bytes beyond `received` are never looked at.
std::string replyText(const std::uint8_t* bytes, std::size_t received);

// A position reply ("HH:MM:SS", "sDD*MM'SS", "sDD*MM", ...) with its field separators ('*', '\'',
// ':', the degree sign 0xDF) written as ':'; other characters are kept as received.
std::string positionText(std::string_view reply);

}  // namespace qlm::lx200
