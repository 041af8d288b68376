#include "platform/messages.h"

#include <utility>

#include "platform/atomic_file.h"
#include "platform/platform.h"

namespace qlm {

namespace {
constexpr std::pair<int, const char*> kMessages[] = {
    {1, "Warning!\nNo INI file found, please set defaults..."},
    {2, "Sorry, outside Image area - try again"},
    {4,
     "Sorry. Guide star lost.\n\nStar may have moved more than 10 pixels, or has different intensity "
     "to previous reading (+/-5%)"},
    {5, "Sorry. Cannot find suitable guide star\n\nStar must be at least +/-5% of next brightest."},
    {7, "Failed to Open Darkframe PK File"},
    {8, "Failed to create temp bitmap"},
    {9, "Unable to create temp bitmap file header"},
    {10, "Unable to create temp bitmap file"},
    {11, "Failed to Open PK File"},
    {12, "You didn't choose a valid PK or suitable FITs File"},
    {13, "Unable to load FITS file"},
    {14, "Unable to load FITS file, File was not saved by this program"},
    {16, "Sorry, you didn't choose a PK File"},
    {17, "Failed to Save PK File"},
    {18, "Unable to create/overwrite PK File"},
    {22, "Sorry, chosen Darkframe is not an PK File"},
    {23, "Unable to load INI file, please delete and try again"},
    {24, "Unable to save INI file, please check disk space"},
    {25, "Failed to Open Flatfield PK File"},
    {26, "Sorry, chosen Flatfield is not a PK File"},
    {27, "Unable to load INI file, please delete and try again"},
    {29, "Unable to create file, check disk space"},
    {30,
     "Sorry, Merging only available in standard Geometry. Ensure Image is not stretched to fit window "
     "or in PL geometry."},
    {31, "Sorry, you are already in Merging mode."},
    {32, "Cannot open bitmap file"},
    {33, "Sorry. Cannot Pick Star in ths display mode"},
    {34, "Sorry. No Connection to Telescope"},
    {35, "Sorry, you cannot run Photometry, Row Plot and Merging at the same time"},
    {36,
     "Sorry, Photometry only available in standard Geometry. Ensure Image is not stretched to fit "
     "window or in PK geometry."},
    {37,
     "Sorry, you are already in Photometry mode. Click left Mouse button when on object you wish to "
     "measure"},
    {38,
     "Sorry, Row Plot only available in standard Geometry. Ensure Image is not stretched to fit window "
     "or in PK geometry."},
    {40, "Sorry, you must first load an autosaved file to start the sequence, or there are no more files"},
    {51, "AutoGuiding Terminated"},
    {52, "Sorry, Invalid directory"},
    {53, "Sorry, you haven't picked a guide star. Go to Guider dialog and select a star to guide on"},
    {55, "Sorry, No telescope to guide, or no camera found"},
    {59, "Sorry, already guiding with external camera"},
    {68, "Sorry, there is no 4x4 or 3x3 unexpanded binned image to save"},
};
}  // namespace

std::string_view messageText(int number) {
  for (const auto& [n, text] : kMessages) {
    if (n == number) return text;
  }
  return {};
}

std::string messageBoxText(int number, std::string_view text) {
  if (number == kCallerTextMessage) return std::string(text.substr(0, kMessageMaxChars));
  return std::string(messageText(number));
}

void ShowMessage(int number, std::string_view text) {
  platform().ui->messageBox(kProgramCaption, messageBoxText(number, text), MessageButtons::Ok,
                            MessageIcon::None);
}

void ShowWriteFailure(int number) {
  std::string text(messageText(number));
  const std::string reason = describeWriteFailure(AtomicFile::lastFailure());
  if (!reason.empty()) text += ": " + reason;
  AtomicFile::clearLastFailure();
  platform().ui->messageBox(kProgramCaption, text, MessageButtons::Ok, MessageIcon::None);
}

}  // namespace qlm
