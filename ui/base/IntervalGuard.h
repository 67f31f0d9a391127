#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace lumora {

// Lets an action through only when enough time has passed since the last one let through
// (a double-click on connect, a resend button). Measured on the monotonic clock: the
// server-adjusted wall clock jumps whenever the server's offset or the system time changes.
class IntervalGuard {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit IntervalGuard(std::chrono::milliseconds interval, Clock clock = &std::chrono::steady_clock::now)
      : interval_(interval), clock_(std::move(clock)) {}

  // True (and the time is noted) when no earlier call passed, or the last one that passed is at
  // least the interval ago.
  bool pass() {
    const auto now = clock_();
    if (last_ && now - *last_ < interval_) return false;
    last_ = now;
    return true;
  }

 private:
  std::chrono::milliseconds interval_;
  Clock clock_;
  std::optional<std::chrono::steady_clock::time_point> last_;
};

// Time since a moment on the monotonic clock, for the pages' "how long did this take" checks.
class Elapsed {
 public:
  using Clock = IntervalGuard::Clock;
  explicit Elapsed(Clock clock = &std::chrono::steady_clock::now) : clock_(std::move(clock)), start_(clock_()) {}
  std::chrono::milliseconds sinceStart() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock_() - start_);
  }
  void restart() { start_ = clock_(); }

 private:
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace lumora
