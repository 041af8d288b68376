#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "image/frame.h"
#include "platform/ui.h"

namespace qlm {

// A scroll-bar event as the window system reports it. Line and page "up" move towards the low end
// of the bar, "down" towards the high end; Thumb is a drag to a position.
enum class BarAction { LineUp, LineDown, PageUp, PageDown, Thumb };

// Steps `value` by one for the line and page actions and takes the thumb position, within lo-hi.
int stepWithin(int value, BarAction action, int thumb, int lo, int hi);

// The rules of the "Normal Stretch" dialog: black and white in display-byte units and the histogram
// drawn from the program's 256 histogram counters.
class StretchModel : public PanelModel {
 public:
  static constexpr const char* kPanelName = "Normal Stretch";
  static constexpr int kBarLimit = 210;  // tallest bar, pixels

  struct Bar {
    int height = 0;    // pixels
    bool cut = false;  // taller than the limit: drawn in the second colour
  };

  explicit StretchModel(const std::array<std::uint16_t, kHistogramBins>& counters) : counters_(counters) {}

  int black() const { return black_; }
  int white() const { return white_; }
  void scrollBlack(BarAction action, int thumb = 0);
  void scrollWhite(BarAction action, int thumb = 0);
  // The bar of display value 0-255: its count divided by 5, at most 210 pixels.
  Bar bar(int value) const;
  // The counters the histogram is drawn from.
  const std::array<std::uint16_t, kHistogramBins>& counters() const { return counters_; }

 private:
  const std::array<std::uint16_t, kHistogramBins>& counters_;
  int black_ = 0;
  int white_ = 255;
};

// The rules of the "Power Law Stretch" dialog: the power in tenths, 1-30 (0.1-3.0), starting at 1.0.
class PowerModel : public PanelModel {
 public:
  static constexpr const char* kPanelName = "Power Law Stretch";

  int tenths() const { return tenths_; }
  void scroll(BarAction action);
  std::string text() const;  // "%1.1f"
  void help() const;

 private:
  int tenths_ = 10;
};

// The rules of the "Non-Linear Stretch" dialog (TNonLiniarDialog): an integer power, start 25.
class NonLinearModel : public PanelModel {
 public:
  static constexpr const char* kPanelName = "Non-Linear Stretch";
  static constexpr const char* kHint =
      "This stretch works well for images of nebulae. First use the stretch that removes the background. ";

  int power() const { return power_; }
  std::string text() const { return std::to_string(power_); }
  // An arrow: a typed value of 1-50 is taken over first, then the power steps by 1 within 2-50.
  void scroll(BarAction action, const std::string& typed);
  // OK: true (close) for a typed value of 1-50, which becomes the power; otherwise the power goes
  // back to 25 and the dialog stays open.
  bool accept(const std::string& typed);
  void help() const;

 private:
  int power_ = 25;
};

// Parses a whole decimal number (surrounding blanks allowed) within lo-hi.
bool parseFieldValue(const std::string& text, int lo, int hi, int& value);

}  // namespace qlm
