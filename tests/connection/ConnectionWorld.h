#pragma once

// The connection state machine over a scripted node service and the fake engine, with its three
// callbacks recorded as one ordered list of events, and loopback pages for the availability check.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/HttpEngine.h"
#include "services/common/Global.h"
#include "services/connection/ConnectionController.h"
#include "tests/connection/FakeEngine.h"
#include "tests/connection/NodeServiceDouble.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"

namespace tarnel::test {

using namespace std::chrono_literals;

// Every callback as text, in arrival order: "connecting", "open_node", "failed 10001", ...
class Recorder {
 public:
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
  // True once `event` arrived `count` times.
  bool waitFor(const std::string& event, int count = 1, std::chrono::milliseconds timeout = 15s) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      return std::count(events_.begin(), events_.end(), event) >= count;
    });
  }
  void clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
    errors_.clear();
  }

 private:
  void add(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> events_;
  std::vector<std::shared_ptr<APIErrorInfo>> errors_;
};

inline void signInWith(std::vector<std::string> priority) {
  Login login;
  login.user.id = "user-1";
  Other other;
  other.protocal_priority = std::move(priority);
  other.lite_update_interval = 60;
  login.other = other;
  Global::setLoginInfo(login);
}

struct ConnectionWorld {
  NodeServiceDouble* service = nullptr;
  FakeEngine* engine = nullptr;
  std::unique_ptr<NodeController> nodes;
  std::unique_ptr<ConnectionController> controller;
  Recorder recorder;

  explicit ConnectionWorld(std::vector<Node> list, std::vector<std::string> priority = {"d", "f"}) {
    signInWith(std::move(priority));
    auto serviceDouble = std::make_unique<NodeServiceDouble>();
    service = serviceDouble.get();
    service->answerNodes(std::move(list));
    nodes = std::make_unique<NodeController>(std::move(serviceDouble));
    auto fake = std::make_unique<FakeEngine>();
    engine = fake.get();
    controller = std::make_unique<ConnectionController>(*nodes, std::move(fake));
    recorder.attach(*controller);
  }
  ~ConnectionWorld() {
    controller.reset();
    nodes.reset();
  }
};

// Loopback HTTPS pages for the availability check. Each request takes the next answer of the
// script; when the script is used up, the last answer stays. "block" holds the request until
// release() (or the end of the test).
class CheckPages {
 public:
  enum class Answer { ok, fail, block };

  CheckPages() : ca_(dir_.path()), server_(ca_.issue("pages", {"page.test"})) {
    helmsey::HttpEngine::setExtraCertificateAuthority(ca_.certificatePath());
    server_.setHandler([this](const ReceivedRequest&) {
      std::unique_lock lock(mutex_);
      Answer answer = script_.empty() ? Answer::ok : script_.front();
      if (script_.size() > 1) script_.erase(script_.begin());
      ++requests_;
      changed_.notify_all();
      if (answer == Answer::block) {
        changed_.wait(lock, [this] { return released_; });
        answer = Answer::ok;
      }
      return answer == Answer::ok ? CannedReply::text(200, "page") : CannedReply::text(530, "origin down", "Down");
    });
    ConnectionController::setAvailabilityPagesForTesting({url("one"), url("two"), url("three")});
  }
  ~CheckPages() {
    release();
    ConnectionController::setAvailabilityPagesForTesting({});
  }

  void script(std::vector<Answer> answers) {
    std::lock_guard lock(mutex_);
    script_ = std::move(answers);
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  bool waitForRequests(int count, std::chrono::milliseconds timeout = 10s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_ >= count; });
  }
  std::string url(const std::string& path) const { return server_.url() + "/" + path; }

 private:
  TempDir dir_;
  TestCA ca_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Answer> script_;
  bool released_ = false;
  int requests_ = 0;
  LoopbackHttpServer server_;
};

// A one-shot gate a scripted service call can wait at.
class Latch {
 public:
  void wait() {
    std::unique_lock lock(mutex_);
    reached_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
  }
  bool waitReached(std::chrono::milliseconds timeout = 10s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return reached_; });
  }
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool reached_ = false;
  bool open_ = false;
};

}  // namespace tarnel::test
