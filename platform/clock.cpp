#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace qlm {

namespace {
std::int64_t steadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

RealClock::RealClock() : origin_ns_(steadyNs()) {}

std::uint32_t RealClock::millis() {
  return static_cast<std::uint32_t>((steadyNs() - origin_ns_) / 1000000);
}

std::time_t RealClock::calendarSeconds() {
  return std::time(nullptr);
}

void RealClock::idle(std::uint32_t ms) {
  // Sleep at most a millisecond so that busy loops keep their resolution.
  if (ms == 0) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void waitMs(Clock& clock, std::uint32_t ms) {
  const std::uint32_t start = clock.millis();
  while (clock.millis() - start < ms) {
    clock.idle(1);
  }
}

}  // namespace qlm
