#pragma once

// The connection front, the animation state and the home screen over the service fakes, built
// as the program builds them, with a clock the test moves and recorded side effects.

#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/home/AnimationController.h"
#include "ui/home/ConnectManager.h"
#include "ui/home/HomeScreen.h"

namespace lumora::test {

struct HomeOptions {
  bool isAppStore = false;
  std::chrono::milliseconds statusInterval = std::chrono::seconds(180);
  std::chrono::milliseconds disclaimerDelay = std::chrono::milliseconds(20);
};

struct HomeWorld {
  explicit HomeWorld(HomeOptions options = {})
      : ui(fakes.services(), AppStateOptions{}),
        animation(*ui.state, [this] { ++broughtForward; }, nullptr),
        connect(fakes.services(), *ui.state, animation, connectHooks(options)),
        home(fakes.services(), *ui.state, connect, homeHooks(options)) {
    // A member who may connect, with the server's priorities and the same domain version.
    tarnel::Login login;
    login.max_age = 3600;
    login.other = tarnel::Other{};
    ui.state->setLoginInfo(login);
    tarnel::Live live;
    live.max_age = 3600;
    live.other.protocal_priority = {"v2ray"};
    ui.state->setLive(live);
  }

  ConnectManager::Hooks connectHooks(const HomeOptions& options) {
    ConnectManager::Hooks hooks;
    hooks.isAppStore = options.isAppStore;
    hooks.checkLive = [this](std::function<void()> done) {
      ++liveChecks;
      pendingLive = std::move(done);
    };
    hooks.openPaymentWindow = [this](const QUrl& url) { payments.push_back(url); };
    hooks.clock = [this] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(nowMs.load())); };
    return hooks;
  }

  HomeScreen::Hooks homeHooks(const HomeOptions& options) {
    HomeScreen::Hooks hooks;
    hooks.checkLive = [this] { ++timerChecks; };
    hooks.vipRemainingTime = [] { return QStringLiteral("3day 4hour"); };
    hooks.openUrl = [this](const QUrl& url) {
      opened.push_back(url);
      return true;
    };
    hooks.statusInterval = options.statusInterval;
    hooks.disclaimerDelay = options.disclaimerDelay;
    return hooks;
  }

  // Moves the toggle's clock past its guard.
  void later() { nowMs += 5000; }
  std::size_t calls(const std::string& operation) const { return fakes.connection->script.count(operation); }
  std::vector<std::string> connectionOrder() const {
    std::vector<std::string> names;
    for (const auto& call : fakes.connection->script.calls()) names.push_back(call.operation);
    return names;
  }
  DialogManager& dialog() { return ui.dialog; }
  // The shown dialog's message as its key when it is one of ours, else as shown.
  QString dialogText() {
    if (!ui.dialog.isShow()) return {};
    for (const char* key : {"vip expired tips", "need connected", "only support normal", "switch failed",
                            "setting change tips"}) {
      if (ui.dialog.text() == qtTrId(key)) return QString::fromUtf8(key);
    }
    return ui.dialog.text();
  }
  AppStateManager& state() { return *ui.state; }

  FakeServices fakes;
  UiObjects ui;
  std::atomic<std::int64_t> nowMs{1'000'000};
  int broughtForward = 0;
  int liveChecks = 0;
  int timerChecks = 0;
  std::function<void()> pendingLive;
  std::vector<QUrl> payments;
  std::vector<QUrl> opened;
  AnimationController animation;
  ConnectManager connect;
  HomeScreen home;
};

}  // namespace lumora::test
