#pragma once

// The connection state machine over a scripted node service and the fake engine, with its three
// callbacks recorded as one ordered list of events, and loopback pages for the availability check.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/HttpEngine.h"
#include "services/common/Global.h"
#include "services/connection/ConnectionController.h"
#include "tests/connection/FakeEngine.h"
#include "tests/connection/NodeServiceDouble.h"
#include "tests/support/ControllerEvents.h"
#include "tests/support/Gate.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"

namespace tarnel::test {

using namespace std::chrono_literals;

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
  ControllerEvents recorder{30s};

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
  bool waitForRequests(int count, std::chrono::milliseconds timeout = 30s) {
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

}  // namespace tarnel::test
