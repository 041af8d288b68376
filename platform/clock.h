#pragma once
#include <cstdint>
#include <ctime>

namespace qlm {

// The program's two clocks: a wrapping millisecond counter for every wait, pulse and time-out, and the
// calendar clock in seconds for exposure time stamps. Waits are busy loops that call idle() between
// looks at millis(), so a virtual clock can make them instant.
class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary origin; wraps at 2^32 (compare with unsigned subtraction).
  virtual std::uint32_t millis() = 0;
  // Seconds since the epoch (UTC), as time() gives.
  virtual std::time_t calendarSeconds() = 0;
  // Lets time pass inside a busy wait: the real clock yields, the virtual one advances by `ms`.
  virtual void idle(std::uint32_t ms) = 0;
};

// The computer's clocks.
class RealClock final : public Clock {
 public:
  RealClock();
  std::uint32_t millis() override;
  std::time_t calendarSeconds() override;
  void idle(std::uint32_t ms) override;

 private:
  std::int64_t origin_ns_;
};

// Time that moves only when the program waits (idle) or a test advances it. Deterministic.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(std::uint32_t start_ms = 0, std::time_t start_calendar = 1700000000)
      : now_ms_(start_ms), calendar_origin_(start_calendar) {}
  std::uint32_t millis() override { return static_cast<std::uint32_t>(now_ms_); }
  std::time_t calendarSeconds() override {
    return calendar_origin_ + static_cast<std::time_t>((now_ms_ - start_ms_) / 1000);
  }
  void idle(std::uint32_t ms) override { advance(ms == 0 ? 1 : ms); }
  void advance(std::uint64_t ms) { now_ms_ += ms; }
  // Total virtual milliseconds elapsed since construction (not wrapped).
  std::uint64_t elapsed() const { return now_ms_ - start_ms_; }

 private:
  std::uint64_t now_ms_;
  std::uint64_t start_ms_ = now_ms_;
  std::time_t calendar_origin_;
};

// Busy-waits `ms` milliseconds on `clock`, calling idle between looks (the program's plain delay).
void waitMs(Clock& clock, std::uint32_t ms);

}  // namespace qlm
