#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "services/connection/ConnectionController.h"

namespace tarnel::test {

// Every callback of a connection controller as text, in arrival order: "connecting", "open_node",
// "failed 10001", ...; the errors of the failure callback are kept as well.
class ControllerEvents {
 public:
  explicit ControllerEvents(std::chrono::milliseconds waitLimit) : waitLimit_(waitLimit) {}

  void attach(ConnectionController& controller) {
    controller.onStep([this](ConnectStep step) { add(std::string(rawValue(step))); })
        .onStatus([this](helmsey::VPNStatus status) { add(std::string(helmsey::rawValue(status))); })
        .onFailed([this](std::shared_ptr<APIErrorInfo> error) {
          {
            std::lock_guard lock(mutex_);
            errors_.push_back(error);
          }
          add("failed " + std::to_string(error->errCode));
        });
  }

  std::vector<std::string> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<std::shared_ptr<APIErrorInfo>> errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
  }
  // True once `event` arrived `count` times (within the limit given at construction).
  bool waitFor(const std::string& event, int count = 1) const { return waitFor(event, count, waitLimit_); }
  bool waitFor(const std::string& event, int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      return std::count(events_.begin(), events_.end(), event) >= count;
    });
  }
  // The events with the time each arrived.
  std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> timeline() const {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> out;
    for (std::size_t i = 0; i < events_.size(); ++i) out.emplace_back(events_[i], times_[i]);
    return out;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
    times_.clear();
    errors_.clear();
  }

 private:
  void add(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    times_.push_back(std::chrono::steady_clock::now());
    changed_.notify_all();
  }

  const std::chrono::milliseconds waitLimit_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> events_;
  std::vector<std::chrono::steady_clock::time_point> times_;
  std::vector<std::shared_ptr<APIErrorInfo>> errors_;
};

}  // namespace tarnel::test
