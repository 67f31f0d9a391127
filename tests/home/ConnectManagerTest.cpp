// The connection front as the pages drive it: the connect switch, its guard, what a connect
// needs first, the connection's reports and the game-console listener.
#include <gtest/gtest.h>

#include <thread>

#include "tests/home/HomeWorld.h"

namespace lumora::test {
namespace {

using helmsey::VPNStatus;

void report(const std::function<void()>& fromEngine) {
  std::thread engine(fromEngine);
  engine.join();
}

TEST(ConnectToggle, EachStatusAndEventFlagGivesItsAction) {
  struct Case {
    VPNStatus status;
    bool record;
    std::size_t connects;
    std::size_t disconnects;
    std::size_t events;
  };
  const Case cases[] = {
      {VPNStatus::disconnected, true, 1, 0, 1},  {VPNStatus::disconnected, false, 1, 0, 0},
      {VPNStatus::connecting, true, 0, 1, 0},    {VPNStatus::connected, true, 0, 1, 0},
      {VPNStatus::connected, false, 0, 1, 0},    {VPNStatus::disconnecting, true, 0, 0, 0},
      {VPNStatus::userCanceled, true, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(helmsey::rawValue(c.status)) + (c.record ? " recording" : ""));
    HomeWorld world;
    world.state().setVpnStatus(c.status);
    world.connect.toggleConnection(c.record, {});
    if (c.connects + c.disconnects > 0) {
      ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") + world.calls("disconnect") > 0; }));
    } else {
      spin(80);
    }
    world.fakes.logQueue->flush(std::chrono::seconds(30));
    EXPECT_EQ(world.calls("openConnection"), c.connects);
    EXPECT_EQ(world.calls("disconnect"), c.disconnects);
    EXPECT_EQ(world.fakes.cloudLog->events().size(), c.events);
  }
}

TEST(ConnectToggle, TheEventNamesCountryAndTagOrAutoAndEmpty) {
  HomeWorld world;
  world.connect.toggleConnection(true, {});
  world.fakes.logQueue->flush(std::chrono::seconds(30));
  auto calls = world.fakes.cloudLog->script.calls("onEvent");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].arguments.at(0), "HOME_CONNECT");
  EXPECT_EQ(calls[0].arguments.at(1), "auto");
  EXPECT_NE(calls[0].arguments.at(2).find("tag"), std::string::npos);

  tarnel::Country country;
  country.country = "JP";
  tarnel::Tag tag;
  tag.tag = "Games";
  world.fakes.nodes->setCurrentCountry(country);
  world.fakes.nodes->setCurrentTag(tag);
  world.later();
  world.connect.toggleConnection(true, {});
  world.fakes.logQueue->flush(std::chrono::seconds(30));
  calls = world.fakes.cloudLog->script.calls("onEvent");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].arguments.at(1), "JP");
  EXPECT_NE(calls[1].arguments.at(2).find("Games"), std::string::npos);
}

TEST(ConnectToggle, ACallWithinASecondOfThePreviousCallIsIgnoredEvenWhenThatOneWas) {
  HomeWorld world;
  world.connect.toggleConnection(false, {});  // acted on
  world.nowMs += 999;
  world.connect.toggleConnection(false, {});  // ignored: 999 ms
  world.nowMs += 999;
  world.connect.toggleConnection(false, {});  // ignored: 999 ms after the ignored one
  world.nowMs += 1000;
  world.connect.toggleConnection(false, {});  // acted on
  ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 2; }));
  spin(50);
  EXPECT_EQ(world.calls("openConnection"), 2u);
}

TEST(ConnectPreconditions, AnExpiredMembershipOffersThePaymentPageAndStartsNothing) {
  for (const bool appStore : {false, true}) {
    SCOPED_TRACE(appStore ? "store build" : "direct build");
    HomeOptions options;
    options.isAppStore = appStore;
    HomeWorld world(options);
    tarnel::Login login = world.state().loginInfo();
    login.max_age = 0;
    world.state().setLoginInfo(login);
    world.connect.toggleConnection(true, {});
    spin(60);
    EXPECT_EQ(world.dialogText(), "vip expired tips");
    ASSERT_EQ(world.dialog().buttons().size(), 1u);
    EXPECT_EQ(world.dialog().buttons()[0].title, "Subscribe") << "a key, shown translated";
    EXPECT_EQ(world.calls("configure") + world.calls("openConnection"), 0u);
    EXPECT_EQ(world.animation.buttonAnimation(), AnimationNames::ani_no);

    world.dialog().press(0);
    world.dialog().press(0);  // a second press on the closed dialog does nothing
    EXPECT_FALSE(world.dialog().isShow());
    if (appStore) {
      EXPECT_EQ(world.state().router()->topName(), "shop");
      EXPECT_TRUE(world.payments.empty());
    } else {
      ASSERT_TRUE(waitFor([&] { return !world.payments.empty(); }));
      spin(30);
      EXPECT_EQ(world.payments, std::vector<QUrl>{QUrl("https://shop.test/")});
    }
  }
}

TEST(ConnectPreconditions, EmptyPrioritiesWaitForTheStatusCheckBeforeTheAttempt) {
  HomeWorld world;
  tarnel::Live live = world.state().live();
  live.other.protocal_priority.clear();
  world.state().setLive(live);
  world.connect.toggleConnection(false, {});
  spin(60);
  EXPECT_EQ(world.liveChecks, 1);
  EXPECT_EQ(world.calls("openConnection"), 0u);
  EXPECT_TRUE(world.ui.loading.isShowing());
  ASSERT_TRUE(world.pendingLive);
  world.pendingLive();
  EXPECT_FALSE(world.ui.loading.isShowing());
  EXPECT_TRUE(waitFor([&] { return world.calls("openConnection") == 1; }));
}

TEST(ConnectPreconditions, ADomainVersionThatDiffersOrIsMissingRefreshesTheDomainsFirst) {
  struct Case {
    const char* name;
    std::optional<std::string> signedInVersion;
    std::string liveVersion;
    std::size_t refreshes;
  };
  const Case cases[] = {{"same", "7", "7", 0}, {"changed", "7", "8", 1}, {"no sign-in settings", std::nullopt, "7", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HomeWorld world;
    tarnel::Login login = world.state().loginInfo();
    if (c.signedInVersion) {
      login.other = tarnel::Other{};
      login.other->app_domain_version = *c.signedInVersion;
    } else {
      login.other.reset();
    }
    world.state().setLoginInfo(login);
    tarnel::Live live = world.state().live();
    live.other.app_domain_version = c.liveVersion;
    world.state().setLive(live);

    auto gate = std::make_shared<FakeGate>();
    gate->close();
    world.fakes.status->script.gate("updateDomain", gate);
    world.connect.toggleConnection(false, {});
    spin(60);
    if (c.refreshes > 0) {
      EXPECT_EQ(world.calls("openConnection"), 0u) << "the attempt waits for the domains";
    }
    gate->open();
    ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 1; }));
    EXPECT_EQ(world.fakes.status->script.count("updateDomain"), c.refreshes);
  }
}

TEST(ConnectSettings, TheEightSettingsReachTheConnectionWithTheSystemProxyFlagTurned) {
  HomeWorld world;
  world.state().setSmartRoute(false);
  world.state().setTunnelMode(true);
  world.state().setReconnect(true);
  world.state().setCheckConnection(false);
  world.state().setSystemProxy(true);  // stored meaning: leave the system proxy alone
  world.state().setCommadnProxy(true);
  world.state().setDns(QStringLiteral("8.8.8.8"));
  world.state().setDnsStrategy(QStringLiteral("UseIPv4"));
  world.connect.toggleConnection(false, {});
  ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 1; }));
  ConnectionSettings expected;
  expected.smartRoute = false;
  expected.tunnel = true;
  expected.autoReconnect = true;
  expected.checkConnection = false;
  expected.enableSystemProxy = false;
  expected.enableCmdProxy = true;
  expected.dnsServer = "8.8.8.8";
  expected.strategy = "UseIPv4";
  EXPECT_EQ(world.fakes.connection->settings(), expected);
  EXPECT_EQ(world.connectionOrder(), (std::vector<std::string>{"setCallbacks", "configure", "openConnection"}));
}

TEST(ConnectReports, StepsBecomeToastsAndSuccessRunsTheTogglesClosureOnce) {
  HomeWorld world;
  int connectedRuns = 0;
  world.connect.toggleConnection(false, [&] { ++connectedRuns; });
  for (const auto step : tarnel::kAllConnectSteps) {
    report([&] { world.fakes.connection->emitStep(step); });
    ASSERT_TRUE(waitFor([&] { return world.ui.toast.message() == QString::fromUtf8(tarnel::rawValue(step)); }));
    EXPECT_EQ(world.ui.toast.type(), ToastType::info);
  }
  EXPECT_EQ(connectedRuns, 1);
}

// What a tap asks to run once connected ("open this link") belongs to the attempt that tap
// started: it runs once when that attempt is up and is gone when the attempt ends any other way.
// A later attempt (here the switch listener's "need connected", which connects directly) never
// runs it.
TEST(ConnectReports, TheActionOfAnAttemptRunsForThatAttemptAloneAndAtMostOnce) {
  const auto up = [](HomeWorld& w) {
    report([&] {
      w.fakes.connection->emitStatus(VPNStatus::connected);
      w.fakes.connection->emitStep(tarnel::ConnectStep::connect_success);
    });
    return waitFor([&] { return w.ui.toast.message() == "connect_success"; });
  };
  const auto status = [](HomeWorld& w, VPNStatus s) {
    report([&] { w.fakes.connection->emitStatus(s); });
    return waitFor([&] { return w.state().vpnStatus() == s; });
  };
  struct Case {
    const char* name;
    bool expired;  // the membership has run out: the attempt is refused before it begins
    std::function<bool(HomeWorld&)> ends;
    int runs;  // by the end of the attempt
  };
  const Case cases[] = {
      {"refused for an expired membership", true, [](HomeWorld&) { return true; }, 0},
      {"failed",
       false,
       [&](HomeWorld& w) {
         if (!status(w, VPNStatus::connecting)) return false;
         w.fakes.nodes->setConnecting(true);
         report([&] { w.fakes.connection->emitFailure(tarnel::APIErrorInfo::make(3302, "no node answers")); });
         return waitFor([&] { return w.state().vpnStatus() == VPNStatus::disconnected; });
       },
       0},
      {"stopped by the user",
       false,
       [&](HomeWorld& w) {
         if (!status(w, VPNStatus::connecting)) return false;
         w.later();
         w.connect.toggleConnection(false, {});
         return status(w, VPNStatus::disconnected);
       },
       0},
      {"still under way when another attempt starts", false,
       [&](HomeWorld& w) { return status(w, VPNStatus::connecting); }, 0},
      {"up, then dropped", false,
       [&](HomeWorld& w) { return status(w, VPNStatus::connecting) && up(w) && status(w, VPNStatus::disconnected); },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HomeWorld world;
    tarnel::Login login = world.state().loginInfo();
    login.max_age = c.expired ? 0 : 3600;
    world.state().setLoginInfo(login);
    int runs = 0;
    world.connect.toggleConnection(false, [&] { ++runs; });
    ASSERT_TRUE(c.ends(world));
    EXPECT_EQ(runs, c.runs);

    login.max_age = 3600;
    world.state().setLoginInfo(login);
    const std::size_t attempts = world.calls("openConnection");
    world.connect.toggleSwitchListen();
    ASSERT_EQ(world.dialogText(), "need connected");
    world.dialog().press(0);
    ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == attempts + 1; }));
    world.ui.toast.show(QString(), ToastType::info);
    ASSERT_TRUE(up(world));
    EXPECT_EQ(runs, c.runs) << "the action ran for a later attempt";
  }
}

TEST(ConnectReports, StatusFromTheEngineThreadIsMirroredOnTheGuiThread) {
  HomeWorld world;
  report([&] { world.fakes.connection->emitStatus(VPNStatus::connecting); });
  EXPECT_EQ(world.state().vpnStatus(), VPNStatus::disconnected) << "posted, not applied on the engine's thread";
  ASSERT_TRUE(waitFor([&] { return world.state().vpnStatus() == VPNStatus::connecting; }));
  EXPECT_EQ(world.state().currentState(), "connecting");
}

TEST(ConnectReports, FailuresCountOnlyWhileConnectingAndAnAbandonedAttemptIsSilent) {
  struct Case {
    const char* name;
    bool connecting;
    std::int64_t code;
    bool stops;
    QString dialog;
  };
  const Case cases[] = {
      {"no attempt runs", false, 500, false, QString()},
      {"abandoned", true, 10001, true, QString()},
      {"refused", true, 3302, true, QStringLiteral("no node answers")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HomeWorld world;
    world.state().setVpnStatus(VPNStatus::connecting);
    world.fakes.nodes->setConnecting(c.connecting);
    report([&] { world.fakes.connection->emitFailure(tarnel::APIErrorInfo::make(c.code, "no node answers")); });
    if (c.stops) {
      ASSERT_TRUE(waitFor([&] {
        return world.state().vpnStatus() == VPNStatus::disconnected && world.calls("disconnect") == 1 &&
               world.animation.buttonAnimation() == AnimationNames::ani_close;
      }));
    } else {
      spin(80);
      EXPECT_EQ(world.state().vpnStatus(), VPNStatus::connecting);
      EXPECT_EQ(world.calls("disconnect"), 0u);
    }
    EXPECT_EQ(world.dialogText(), c.dialog);
    if (!c.dialog.isEmpty()) {
      EXPECT_EQ(world.dialog().title(), "tips_title");
    }
  }
}

TEST(SwitchListening, EachStateGivesItsDialogOrAction) {
  struct Case {
    const char* name;
    bool listening;
    bool tunnel;
    VPNStatus status;
    bool startSucceeds;
    QString dialog;
  };
  const Case cases[] = {
      {"listening in tunnel mode stops", true, true, VPNStatus::connected, true, QString()},
      {"tunnel mode", false, true, VPNStatus::connected, true, QStringLiteral("only support normal")},
      {"not connected", false, false, VPNStatus::connecting, true, QStringLiteral("need connected")},
      {"start fails", false, false, VPNStatus::connected, false, QStringLiteral("switch failed")},
      {"starts", false, false, VPNStatus::connected, true, QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HomeWorld world;
    world.state().setSwitchListen(c.listening);
    world.state().setTunnelMode(c.tunnel);
    world.state().setVpnStatus(c.status);
    world.fakes.connection->script.answer<bool>("startSwitchListen", c.startSucceeds);
    world.connect.toggleSwitchListen();
    if (c.listening) {
      ASSERT_TRUE(waitFor([&] { return world.calls("stopSwitchListen") == 1; }));
      EXPECT_FALSE(world.state().switchListen());
    } else if (c.status == VPNStatus::connected && !c.tunnel) {
      ASSERT_TRUE(waitFor([&] { return world.calls("startSwitchListen") == 1; }));
      // Its answer comes back to the GUI thread.
      EXPECT_TRUE(waitFor([&] { return world.state().switchListen() == c.startSucceeds && world.dialogText() == c.dialog; }));
      spin(40);
      EXPECT_EQ(world.state().switchListen(), c.startSucceeds);
    } else {
      spin(40);
      EXPECT_EQ(world.calls("startSwitchListen"), 0u);
    }
    EXPECT_EQ(world.dialogText(), c.dialog);
  }
}

TEST(SwitchListening, TheGivenButtonsCloseTheirDialogSoASecondPressStartsNothing) {
  HomeWorld world;
  world.state().setTunnelMode(true);
  world.state().setVpnStatus(VPNStatus::connected);
  world.connect.toggleSwitchListen();
  world.dialog().press(0);
  world.dialog().press(0);
  EXPECT_FALSE(world.dialog().isShow());
  EXPECT_EQ(world.state().router()->topName(), "settings");
  EXPECT_EQ(world.state().router()->depth(), 1);

  HomeWorld other;
  other.connect.toggleSwitchListen();  // disconnected
  ASSERT_EQ(other.dialogText(), "need connected");
  other.dialog().press(0);
  other.dialog().press(0);
  EXPECT_FALSE(other.dialog().isShow());
  EXPECT_TRUE(other.connect.needSwitch());
  ASSERT_TRUE(waitFor([&] { return other.calls("openConnection") == 1; }));
  spin(50);
  EXPECT_EQ(other.calls("openConnection"), 1u) << "one attempt for two presses";

  // The connection comes up: listening starts and the wish is done.
  report([&] { other.fakes.connection->emitStatus(VPNStatus::connected); });
  ASSERT_TRUE(waitFor([&] { return other.state().switchListen(); }));
  EXPECT_FALSE(other.connect.needSwitch());
}

TEST(SwitchListening, DisconnectAndReconnectStopListeningFirstAndReconnectBringsItBack) {
  HomeWorld world;
  world.state().setVpnStatus(VPNStatus::connected);
  world.connect.toggleSwitchListen();
  ASSERT_TRUE(waitFor([&] { return world.state().switchListen(); }));

  // The stop reaches the GUI thread before the reconnect's toggle does.
  world.fakes.connection->reportStopOnDisconnect();
  world.connect.reconnect();
  EXPECT_TRUE(world.connect.needSwitch());
  EXPECT_FALSE(world.state().switchListen());
  ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 1; }));
  EXPECT_EQ(world.calls("disconnect"), 1u) << "the toggle after the stop connects, it does not stop again";
  world.fakes.connection->script.onCall("disconnect", {});
  auto order = world.connectionOrder();
  const auto stop = std::find(order.begin(), order.end(), "stopSwitchListen");
  const auto end = std::find(order.begin(), order.end(), "disconnect");
  EXPECT_LT(stop, end) << "listening stops before the connection goes";

  report([&] { world.fakes.connection->emitStatus(VPNStatus::connected); });
  ASSERT_TRUE(waitFor([&] { return world.state().switchListen(); }));
  EXPECT_EQ(world.calls("startSwitchListen"), 2u);

  // The blocking disconnect of other pages turns listening off too.
  std::thread page([&] { world.connect.disconnect(); });
  page.join();
  ASSERT_TRUE(waitFor([&] { return !world.state().switchListen(); }));
  EXPECT_EQ(world.calls("stopSwitchListen"), 2u);
  EXPECT_EQ(world.calls("disconnect"), 2u);
}

}  // namespace
}  // namespace lumora::test
