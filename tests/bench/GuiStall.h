#pragma once

// The GUI thread's stalls, measured from a timer on it, for the benchmarks that drive the real
// window.

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <vector>

namespace lumora::test::bench {

using Clock = std::chrono::steady_clock;

inline double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The calling thread's processor time so far.
inline double threadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

// The calling thread's time waiting to run: runnable, but the processor was busy with others.
inline double runQueueMs() {
  std::ifstream file("/proc/thread-self/schedstat");
  double onCpuNs = 0, waitingNs = 0;
  file >> onCpuNs >> waitingNs;
  return waitingNs / 1e6;
}

// A timer on the GUI thread: each tick later than its interval is a stall of the thread. Of a
// stall, the time the thread was runnable but not run is the loaded machine's; the rest (work
// on the thread, or the thread waiting on something) is the program's.
class StallMeter {
 public:
  static constexpr int kIntervalMs = 2;
  struct Worst {
    double wall = 0;     // the longest late tick
    double program = 0;  // the longest late tick less the time the machine kept the thread waiting
    // The longest late tick's parts: work on the thread, waiting to run, and the rest (blocked).
    double work = 0, queued = 0, blocked = 0;
  };
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const auto now = Clock::now();
      const double queued = runQueueMs();
      const double cpu = threadCpuMs();
      if (measuring_) {
        const double gap = ms(now - last_);
        const double late = gap - kIntervalMs;
        if (late > worst_.wall) {
          worst_.wall = late;
          worst_.work = cpu - lastCpu_;
          worst_.queued = queued - lastQueued_;
          worst_.blocked = gap - worst_.work - worst_.queued;
        }
        worst_.program = std::max(worst_.program, late - (queued - lastQueued_));
      }
      last_ = now;
      lastQueued_ = queued;
      lastCpu_ = cpu;
    });
    timer_.start();
  }
  void begin() {
    last_ = Clock::now();
    lastQueued_ = runQueueMs();
    lastCpu_ = threadCpuMs();
    worst_ = {};
    measuring_ = true;
  }
  Worst end() {
    measuring_ = false;
    return worst_;
  }

 private:
  QTimer timer_;
  Clock::time_point last_ = Clock::now();
  double lastQueued_ = 0;
  double lastCpu_ = 0;
  Worst worst_;
  bool measuring_ = false;
};

// Runs the GUI thread's event loop (never sleeping on it) until `done` holds; false on timeout.
inline bool runUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(1);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  QTimer::singleShot(timeoutMs, &loop, [&] { loop.exit(1); });
  if (done()) return true;
  poll.start();
  return loop.exec() == 0;
}

}  // namespace lumora::test::bench
