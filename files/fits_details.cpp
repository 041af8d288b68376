#include "files/fits_details.h"

#include "platform/platform.h"

namespace qlm {

FitsDetails& fitsDetails() {
  static FitsDetails details;
  return details;
}

int& fileBinning() {
  static int binning = 0;
  return binning;
}

void resetFitsDetails(FitsDetails& details, HistoryList& history) {
  history.clear();
  details.dateObs.clear();
  details.timeObs.clear();
  details.object.clear();
  details.observer.clear();
  details.telescope.clear();
  details.commentText.clear();
  details.historyText.clear();
  details.instrument = "Orbilux CCD";
  details.filterName = "None";
  details.focalLength = 0.0;
  details.aperture = 0.0;
  details.exposureSeconds = 0.0;
}

LocalTimeRule& localTimeRule() {
  static LocalTimeRule rule;
  return rule;
}

void resetLocalTimeRule(LocalTimeRule& rule) {
  rule.hours = 0;  // a pinned machine zone belongs to the test that pinned it
}

void applyLocalTimeRule(int hours) {
  localTimeRule().hours = hours;
}

std::time_t machineLocalSeconds(std::time_t utc_seconds, const LocalTimeRule& rule) {
  if (rule.machineOffsetSeconds) return utc_seconds + *rule.machineOffsetSeconds;
  std::tm local{};
  if (localtime_r(&utc_seconds, &local) == nullptr) return utc_seconds;
  return utc_seconds + local.tm_gmtoff;
}

std::time_t programUtSeconds(std::time_t utc_seconds, const LocalTimeRule& rule) {
  return machineLocalSeconds(utc_seconds, rule) + static_cast<std::time_t>(rule.hours) * 3600;
}

std::time_t programUtNow() {
  return programUtSeconds(platform().clock->calendarSeconds(), localTimeRule());
}

std::tm calendarFields(std::time_t seconds) {
  std::tm fields{};
  gmtime_r(&seconds, &fields);
  return fields;
}

ScopedMachineZone::ScopedMachineZone(long offset_seconds) : saved_(localTimeRule()) {
  localTimeRule().machineOffsetSeconds = offset_seconds;
}

ScopedMachineZone::~ScopedMachineZone() {
  localTimeRule().machineOffsetSeconds = saved_.machineOffsetSeconds;
}

}  // namespace qlm
