#pragma once
#include <string>

#include "files/fits_details.h"
#include "platform/ui.h"

namespace qlm {

// The rules of "FITS DETAILS". The text boxes start with the record's values; "Continue" reads them
// back at their widths, "Abort" stores nothing. The two check boxes change the record at once.
class FitsModel : public PanelModel {
 public:
  static constexpr const char* kPanelName = "TFITSDialog";
  static constexpr int kMinTimeDifference = -11;
  static constexpr int kMaxTimeDifference = 11;
  // Widths read back by "Continue".
  static constexpr std::size_t kTextChars = 67;
  static constexpr std::size_t kFreeTextChars = 254;
  static constexpr std::size_t kDateChars = 11;
  static constexpr std::size_t kTimeChars = 9;
  static constexpr std::size_t kNumberChars = 19;

  // What the boxes hold: the record's values when the dialog opens, the user's typing afterwards.
  struct Texts {
    std::string object;
    std::string observer;
    std::string origin;
    std::string telescope;
    std::string instrument;
    std::string history;
    std::string comments;
    std::string date;
    std::string time;
    std::string focal_length;
    std::string aperture;
    std::string filter;
    std::string exposure;
  };

  // Fills the boxes from `details`: the texts as stored, the three numbers with "%f", and the time
  // difference (0 when the stored one lies outside -11 to 11).
  explicit FitsModel(FitsDetails& details = fitsDetails());

  Texts texts;
  int timeDifference() const { return time_difference_; }
  bool eightBit() const { return d_.eightBit; }
  bool unsignedFits() const { return d_.unsignedFits; }

  // Scroll arrows: up lowers the difference while it is -10 or more, down raises it while 10 or less.
  void arrowUp();
  void arrowDown();
  // The check boxes: each click flips the record's flag at once.
  void toggleEightBit();
  void toggleUnsigned();
  // "Continue": every box into its field at its width, the numbers read as "%lf" reads them (a box
  // without a number leaves the field as it was), and the time difference.
  void store();

 private:
  FitsDetails& d_;
  int time_difference_ = 0;
};

// "%f" formatting in every locale: six decimals.
std::string formatFixed(double value);
// Reads a decimal number as "%lf" does: leading blanks, then as much as forms a number. False when
// the text does not begin with one.
bool scanReal(const std::string& text, double& value);

}  // namespace qlm
