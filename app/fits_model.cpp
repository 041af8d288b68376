#include "app/fits_model.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace qlm {

std::string formatFixed(double value) {
  char buf[400];  // room for "%f" of the largest double
  std::snprintf(buf, sizeof buf, "%f", value);
  // A locale with a decimal comma would print one; the record is always shown with a point.
  for (char* p = buf; *p != '\0'; ++p) {
    if (*p == ',') *p = '.';
  }
  return buf;
}

bool scanReal(const std::string& text, double& value) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) return false;  // one sign only
  double v = 0.0;
  const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), v);
  if (end == text.data() + i) return false;  // no number at all
  if (ec == std::errc::result_out_of_range) {
    // Too large gives infinity and too small gives 0, as the C library does.
    const std::string_view digits(text.data() + i, static_cast<std::size_t>(end - (text.data() + i)));
    const bool tiny =
        digits.find("e-") != std::string_view::npos || digits.find("E-") != std::string_view::npos;
    v = tiny ? 0.0 : HUGE_VAL;
  }
  value = negative ? -v : v;
  return true;
}

FitsModel::FitsModel(FitsDetails& details) : d_(details) {
  texts.object = d_.object;
  texts.observer = d_.observer;
  texts.origin = d_.origin;
  texts.telescope = d_.telescope;
  texts.instrument = d_.instrument;
  texts.history = d_.historyText;
  texts.comments = d_.commentText;
  texts.date = d_.dateObs;
  texts.time = d_.timeObs;
  texts.focal_length = formatFixed(d_.focalLength);
  texts.aperture = formatFixed(d_.aperture);
  texts.filter = d_.filterName;
  texts.exposure = formatFixed(d_.exposureSeconds);
  const int stored = d_.timeDifferenceHours;
  time_difference_ = stored < kMinTimeDifference || stored > kMaxTimeDifference ? 0 : stored;
}

void FitsModel::arrowUp() {
  if (time_difference_ >= kMinTimeDifference + 1) --time_difference_;
}

void FitsModel::arrowDown() {
  if (time_difference_ <= kMaxTimeDifference - 1) ++time_difference_;
}

void FitsModel::toggleEightBit() {
  d_.eightBit = !d_.eightBit;
}

void FitsModel::toggleUnsigned() {
  d_.unsignedFits = !d_.unsignedFits;
}

void FitsModel::store() {
  d_.object = texts.object.substr(0, kTextChars);
  d_.observer = texts.observer.substr(0, kTextChars);
  d_.origin = texts.origin.substr(0, kTextChars);
  d_.telescope = texts.telescope.substr(0, kTextChars);
  d_.instrument = texts.instrument.substr(0, kTextChars);
  d_.historyText = texts.history.substr(0, kFreeTextChars);
  d_.commentText = texts.comments.substr(0, kFreeTextChars);
  d_.dateObs = texts.date.substr(0, kDateChars);
  d_.timeObs = texts.time.substr(0, kTimeChars);
  scanReal(texts.focal_length.substr(0, kNumberChars), d_.focalLength);
  scanReal(texts.aperture.substr(0, kNumberChars), d_.aperture);
  d_.filterName = texts.filter.substr(0, kTextChars);
  scanReal(texts.exposure.substr(0, kNumberChars), d_.exposureSeconds);
  d_.timeDifferenceHours = static_cast<std::int16_t>(time_difference_);
}

}  // namespace qlm
