#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarnel::test {

// A door a scripted call or a loopback page can be made to wait at. It starts open; pass()
// counts the visit and waits while the door is closed.
class Gate {
 public:
  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  void open() {
    std::lock_guard lock(mutex_);
    closed_ = false;
    changed_.notify_all();
  }
  void pass() {
    std::unique_lock lock(mutex_);
    ++visits_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !closed_; });
  }
  bool waitForVisits(int count, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return visits_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
  int visits_ = 0;
};

}  // namespace tarnel::test
