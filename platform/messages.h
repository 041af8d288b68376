#pragma once
#include <string>
#include <string_view>

namespace qlm {

inline constexpr const char* kProgramCaption = "QLM_T4_USB";
inline constexpr int kCallerTextMessage = 50;
inline constexpr std::size_t kMessageMaxChars = 255;

// The fixed text of a message number; empty for a number without a text (and for 50, whose text is
// the caller's).
std::string_view messageText(int number);

// The text a box for `number` shows: the fixed text, or for 50 the caller's text cut to 255 characters.
std::string messageBoxText(int number, std::string_view text = {});

// Shows the numbered message in an OK-only box without an icon, captioned "QLM_T4_USB", and returns
// when the user has pressed OK.
void ShowMessage(int number, std::string_view text = {});

// Shows a numbered message about a file that could not be written, with the path and the system's
// reason of the last failed write appended ("<text>: <path>: <reason>"), and forgets that failure.
void ShowWriteFailure(int number);

}  // namespace qlm
