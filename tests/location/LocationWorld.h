#pragma once

// The pickers over the service fakes, wired as the program wires them: the app state restarts
// the connection through the real connection front, whose toggle clock the test moves.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/base/Workers.h"
#include "ui/home/AnimationController.h"
#include "ui/home/ConnectManager.h"
#include "ui/location/LocationScreen.h"

namespace lumora::test {

// The state is built before the front it restarts.
class LateFront final : public ConnectFront {
 public:
  std::atomic<ConnectFront*> target{nullptr};
  void setNeedSwitch(bool need) override {
    if (auto* front = target.load()) front->setNeedSwitch(need);
  }
  void disconnect() override {
    if (auto* front = target.load()) front->disconnect();
  }
  void toggleConnection(bool record) override {
    if (auto* front = target.load()) front->toggleConnection(record);
  }
};

inline tarnel::Country country(std::string code, std::string name, std::vector<std::int64_t> tags = {}) {
  tarnel::Country c;
  c.country = std::move(code);
  c.name = std::move(name);
  c.tags = std::move(tags);
  return c;
}

inline tarnel::Tag tag(std::int64_t id, std::string name) {
  tarnel::Tag t;
  t.id = id;
  t.tag = std::move(name);
  t.icon_new = "https://127.0.0.1:9/tags/" + std::to_string(id) + ".png";
  return t;
}

inline tarnel::Node node(std::string id, std::string name, std::string countryCode = "JP",
                         std::optional<std::int64_t> uptime = 0) {
  tarnel::Node n(std::move(id), "v2ray", {}, std::move(name), std::move(countryCode), 0, 2, 0);
  n.uptime = uptime;
  return n;
}

struct LocationWorld {
  LocationWorld()
      : front(std::make_shared<LateFront>()),
        ui(fakes.services(), options(front)),
        animation(*ui.state, [] {}, nullptr),
        connect(fakes.services(), *ui.state, animation, connectHooks()),
        screen(LocationContext{fakes.services(), ui.state.get()}) {
    front->target = &connect;
    SharedInstance<LocationScreen>::install(&screen);
    // A member who may connect, with four countries; tag 1 on JP and US, tag 2 on JP and DE.
    tarnel::Login login;
    login.max_age = 3600;
    login.other = tarnel::Other{};
    login.countries = {country("JP", "Japan", {1, 2}), country("US", "United States", {1}),
                       country("HK", "Hong Kong"), country("DE", "Germany", {2})};
    login.tags = {tag(1, "Streaming"), tag(2, "Gaming")};
    ui.state->setLoginInfo(login);
    tarnel::Live live;
    live.max_age = 3600;
    live.other.protocal_priority = {"v2ray"};
    ui.state->setLive(live);
    // The connection ends as soon as it is told to, reporting it on the library's thread.
    fakes.connection->reportStopOnDisconnect();
  }
  ~LocationWorld() {
    SharedInstance<LocationScreen>::uninstall(&screen);
    // A switch-over may still be on its way through the front.
    front->target = nullptr;
    Workers::pool().waitForDone();
  }

  static AppStateOptions options(std::shared_ptr<LateFront> front) {
    AppStateOptions o;
    o.front = std::move(front);
    return o;
  }
  ConnectManager::Hooks connectHooks() {
    ConnectManager::Hooks hooks;
    hooks.clock = [this] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(nowMs.load())); };
    return hooks;
  }

  AppStateManager& state() { return *ui.state; }
  std::size_t calls(const std::string& operation) const { return fakes.connection->script.count(operation); }
  // The node selection's calls of `operation`, by their first argument.
  std::vector<std::string> selection(const std::string& operation) const {
    std::vector<std::string> arguments;
    for (const auto& call : fakes.nodes->script.calls(operation)) arguments.push_back(call.arguments.at(0));
    return arguments;
  }
  std::vector<FakeCall> events() {
    fakes.logQueue->flush(std::chrono::seconds(30));
    return fakes.cloudLog->script.calls("onEvent");
  }

  FakeServices fakes;
  std::atomic<std::int64_t> nowMs{1'000'000};
  std::shared_ptr<LateFront> front;
  UiObjects ui;
  AnimationController animation;
  ConnectManager connect;
  LocationScreen screen;
};

}  // namespace lumora::test
