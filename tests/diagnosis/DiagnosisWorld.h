#pragma once

// The diagnosis page's state over the service fakes and a recording connection front, with the
// helpers the scenarios share: scripted answers and the run's end.

#include <gtest/gtest.h>

#include <QObject>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "services/model/Json.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/UiObjects.h"
#include "ui/diagnosis/NetworkDiagnosis.h"

namespace lumora::test {

inline std::shared_ptr<tarnel::HttpResponse> answer(std::int64_t status, std::string host = "", std::int64_t port = 0,
                                                    const std::string& body = "") {
  std::optional<std::vector<std::uint8_t>> data;
  if (!body.empty()) data = std::vector<std::uint8_t>(body.begin(), body.end());
  return std::make_shared<tarnel::HttpResponse>(status, "status " + std::to_string(status), data, 12,
                                                std::move(host), "", port, std::map<std::string, std::string>{});
}

inline tarnel::NetworkResult ok(std::int64_t status) { return tarnel::NetworkResult::success(answer(status)); }
inline tarnel::NetworkResult failed(std::int64_t code) {
  return tarnel::NetworkResult::failure({"NSURLErrorDomain", code, "no route"});
}

using OpenResult = tarnel::APIResult<std::shared_ptr<tarnel::HttpResponse>>;
using Answers = std::vector<std::shared_ptr<tarnel::HttpResponse>>;

// The service's open answer for a node, with a relay list when `relays` is not empty.
inline OpenResult opened(const std::string& relays = "") {
  nlohmann::json body = {{"ts", 1},
                         {"status", 0},
                         {"max_age", 60},
                         {"message", ""},
                         {"node", {{"server", "203.0.113.7"}, {"host", "h7"}, {"domain", "nodes.test"}, {"port", 443}}}};
  if (!relays.empty()) body["turn"] = {{"server", relays}, {"port", 8443}, {"ports", {8443}}};
  return OpenResult::success(answer(200, "api.test", 443, body.dump()));
}

inline tarnel::Node node(const std::string& protocol, const std::string& country = "jp") {
  tarnel::Node n("n-1", protocol, {}, "Tokyo 1", country, 0, 2, 0);
  n.tags.reset();
  n.port_turn.reset();
  return n;
}

// The connection front of the page: records its calls; calls after the first `free` wait at
// `gate` when one is set.
class GatedFront final : public ConnectFront {
 public:
  void setNeedSwitch(bool) override {}
  void toggleConnection(bool) override {}
  void disconnect() override {
    std::shared_ptr<FakeGate> wait;
    {
      std::lock_guard lock(mutex_);
      ++calls_;
      if (calls_ > free_) wait = gate_;
    }
    if (wait) wait->pass();
  }
  void hold(std::shared_ptr<FakeGate> gate, int free) {
    std::lock_guard lock(mutex_);
    gate_ = std::move(gate);
    free_ = free;
  }
  int calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<FakeGate> gate_;
  int free_ = 0;
  int calls_ = 0;
};

// Opens the gate when the scenario ends, however it ends, so no worker stays behind it.
struct GateOpener {
  std::shared_ptr<FakeGate> gate;
  ~GateOpener() { gate->open(); }
};

struct DiagnosisWorld {
  DiagnosisWorld() : ui(fakes.services(), AppStateOptions{}) {
    tarnel::ReportData base;
    base.ver = "2.1_77";
    base.app.protocol_setup = "Automatic";
    base.app.protocol_used = "Trojan WS";
    fakes.diagnosis->script.answer<tarnel::ReportData>("newReport", base);
  }

  DiagnosisContext context() {
    DiagnosisContext c;
    c.services = fakes.services();
    c.state = ui.state.get();
    c.front = front;
    c.addresses = {{"https://portal-one.test", "https://portal-two.test"},
                   {"https://far-one.test", "https://far-two.test", "https://far-one.test"}};
    c.trialTimeout = trialTimeout;
    return c;
  }

  // A page with its state; the steps it showed are kept in `steps`.
  std::unique_ptr<NetworkDiagnosis> page() {
    auto made = std::make_unique<NetworkDiagnosis>(context(), nullptr);
    NetworkDiagnosis* raw = made.get();
    QObject::connect(raw, &NetworkDiagnosis::stepChanged, [this, raw] { steps.push_back(raw->step()); });
    return made;
  }

  // Taps the button and waits until the run has reached step 8 on the page.
  void runToEnd(NetworkDiagnosis& diagnosis) {
    diagnosis.action();
    ASSERT_TRUE(waitFor([&] { return diagnosis.step() == 8; })) << "stopped at step " << diagnosis.step();
  }

  std::vector<std::string> engineCalls() const {
    std::vector<std::string> names;
    for (const auto& name : fakes.engine->script.operations()) {
      if (name == "startVPN" || name == "stopVPN") names.push_back(name);
    }
    return names;
  }
  // The engine was stopped after its last start (or never started).
  bool noTrialLeft() const {
    const auto calls = engineCalls();
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
      if (*it == "stopVPN") return true;
      if (*it == "startVPN") return false;
    }
    return true;
  }

  FakeServices fakes;
  UiObjects ui;
  std::shared_ptr<GatedFront> front = std::make_shared<GatedFront>();
  // Trials that connect do so at once; one that is to time out sets its own.
  std::chrono::milliseconds trialTimeout = std::chrono::seconds(30);
  std::vector<int> steps;
};

}  // namespace lumora::test
