#pragma once

// An engine of the test's own in place of the core framework: statuses come from one engine
// thread of its own, in order; what it is told to do is recorded. Behaves as the engine's contract
// says: a new start ends the running connection first (its callback hears disconnected), a stopped
// connection's callback hears nothing more, a cancel makes the connection's callback hear
// disconnected.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "services/connection/ConnectionBackend.h"

namespace tarnel::test {

class FakeEngine final : public ConnectionBackend {
 public:
  enum class OnStart {
    connect,     // connecting, then connected
    hold,        // connecting, then nothing until the test says
    fail,        // connecting, then disconnected
    userCancel,  // connecting, then userCanceled
    refuse,      // connecting, then disconnected with the engine's refusal
    noDesktop,   // connecting, then disconnected because the system proxy could not be set
  };

  struct Start {
    Json configuration;
    bool reconnect = false;
    bool systemProxy = false;
    bool commandLineProxy = false;
  };

  FakeEngine() : thread_([this] { run(); }) {}
  ~FakeEngine() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  void setOnStart(OnStart behaviour) {
    std::lock_guard lock(mutex_);
    onStart_ = behaviour;
  }

  void startVPN(const Json& configuration, bool reconnect, bool systemProxy, bool commandLineProxy,
                StatusCallback callback) override {
    std::lock_guard lock(mutex_);
    if (current_) endLocked(current_, helmsey::VPNStatus::disconnected);
    starts_.push_back(Start{configuration, reconnect, systemProxy, commandLineProxy});
    failure_ = helmsey::StartFailure::none;
    log_.push_back("start");
    auto connection = std::make_shared<Connection>();
    connection->callback = std::move(callback);
    connections_.push_back(connection);
    current_ = connection;
    postLocked(connection, helmsey::VPNStatus::connecting);
    switch (onStart_) {
      case OnStart::connect: postLocked(connection, helmsey::VPNStatus::connected); break;
      case OnStart::hold: break;
      case OnStart::fail: endLocked(connection, helmsey::VPNStatus::disconnected); break;
      case OnStart::userCancel: endLocked(connection, helmsey::VPNStatus::userCanceled); break;
      case OnStart::refuse:
      case OnStart::noDesktop:
        failure_ = onStart_ == OnStart::refuse ? helmsey::StartFailure::refused : helmsey::StartFailure::systemProxy;
        endLocked(connection, helmsey::VPNStatus::disconnected);
        break;
    }
  }

  void stopVPN(StatusCallback callback) override {
    std::lock_guard lock(mutex_);
    log_.push_back("stop");
    if (current_) endLocked(current_, std::nullopt);
    queue_.push_back([callback] { callback(helmsey::VPNStatus::disconnected); });
    changed_.notify_all();
  }

  void cancelVPN() override {
    std::lock_guard lock(mutex_);
    log_.push_back("cancel");
    if (current_) endLocked(current_, helmsey::VPNStatus::disconnected);
  }

  helmsey::StartFailure startFailure() override {
    std::lock_guard lock(mutex_);
    return failure_;
  }
  std::uint16_t httpPort() override { return 1; }

  bool startSwitchListen(const Json& options) override {
    std::lock_guard lock(mutex_);
    switchOptions_.push_back(options);
    return true;
  }
  void stopSwitchListen() override {
    std::lock_guard lock(mutex_);
    log_.push_back("stop switch");
  }

  void log(const std::map<std::string, std::string>& fields, LogTopic topic) override {
    std::lock_guard lock(mutex_);
    records_.push_back({fields, topic});
  }

  // The running connection says `status` (connected after a hold, disconnected when it drops).
  void emit(helmsey::VPNStatus status) {
    std::lock_guard lock(mutex_);
    if (!current_) return;
    if (status == helmsey::VPNStatus::disconnected) {
      endLocked(current_, status);
    } else {
      postLocked(current_, status);
    }
  }
  // A status that reaches connection `index` (from 0) late, whether it still runs or not.
  void emitLate(std::size_t index, helmsey::VPNStatus status) {
    std::lock_guard lock(mutex_);
    auto connection = connections_.at(index);
    queue_.push_back([connection, status] { connection->callback(status); });
    changed_.notify_all();
  }

  // True once `count` connections were started.
  bool waitForStarts(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(30)) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return starts_.size() >= count; });
  }

  bool running() const {
    std::lock_guard lock(mutex_);
    return current_ != nullptr;
  }
  std::vector<Start> starts() const {
    std::lock_guard lock(mutex_);
    return starts_;
  }
  // "start", "stop", "cancel", "stop switch" in the order they came.
  std::vector<std::string> commands() const {
    std::lock_guard lock(mutex_);
    return log_;
  }
  std::vector<Json> switchOptions() const {
    std::lock_guard lock(mutex_);
    return switchOptions_;
  }
  struct Record {
    std::map<std::string, std::string> fields;
    LogTopic topic;
  };
  std::vector<Record> records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }

 private:
  struct Connection {
    StatusCallback callback;
    bool alive = true;  // guarded by mutex_
  };

  // A status for `connection`, delivered only while it is alive.
  void postLocked(const std::shared_ptr<Connection>& connection, helmsey::VPNStatus status) {
    queue_.push_back([this, connection, status] {
      {
        std::lock_guard lock(mutex_);
        if (!connection->alive) return;
      }
      connection->callback(status);
    });
    changed_.notify_all();
  }
  // Ends `connection`: its callback hears `lastWord` (when given) and nothing after it.
  void endLocked(const std::shared_ptr<Connection>& connection, std::optional<helmsey::VPNStatus> lastWord) {
    if (lastWord) {
      postLocked(connection, *lastWord);
      queue_.push_back([this, connection] {
        std::lock_guard lock(mutex_);
        connection->alive = false;
      });
    } else {
      connection->alive = false;
    }
    if (current_ == connection) current_.reset();
    changed_.notify_all();
  }

  void run() {
    std::unique_lock lock(mutex_);
    while (true) {
      changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      auto task = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  OnStart onStart_ = OnStart::connect;
  helmsey::StartFailure failure_ = helmsey::StartFailure::none;
  std::shared_ptr<Connection> current_;
  std::vector<std::shared_ptr<Connection>> connections_;
  std::vector<Start> starts_;
  std::vector<std::string> log_;
  std::vector<Json> switchOptions_;
  std::vector<Record> records_;
  std::thread thread_;
};

}  // namespace tarnel::test
