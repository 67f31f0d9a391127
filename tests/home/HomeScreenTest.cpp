// The home screen's work: the periodic check, notices, the routing switch, the disclaimer's
// schedule, the links and the proxy tools.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QSignalSpy>
#include <QTimer>
#include <QTimeZone>

#include "tests/home/HomeWorld.h"

namespace lumora::test {
namespace {

using helmsey::VPNStatus;
using namespace std::chrono_literals;

TEST(StatusCheckTimer, ManyShowingsKeepOneTimerAndHidingStopsIt) {
  HomeOptions options;
  options.statusInterval = 40ms;
  HomeWorld world(options);
  for (int i = 0; i < 30; ++i) world.home.appear();
  // One timer fires once an interval, however late the event loop gets to it; one per showing
  // would fire thirty times at the first interval already.
  ASSERT_TRUE(waitFor([&] { return world.timerChecks >= 2; }));
  EXPECT_LE(world.timerChecks, 8);
  world.home.disappear();
  EXPECT_FALSE(world.home.statusCheckRunning());
  const int stopped = world.timerChecks;
  spin(120);
  EXPECT_EQ(world.timerChecks, stopped);
  world.home.appear();
  EXPECT_TRUE(world.home.statusCheckRunning());
}

tarnel::Notices noticesOf(std::vector<std::int64_t> ids) {
  tarnel::Notices notices;
  for (auto id : ids) notices.notices.emplace_back(id, "", "", "", 0, 0);
  return notices;
}

TEST(Notices, TheMarkIsSetByAnyUnreadNoticeAndNeverClearedHere) {
  struct Case {
    const char* name;
    std::optional<tarnel::Notices> answer;
    std::vector<std::int64_t> read;
    bool hadMark;
    bool mark;
    std::vector<std::int64_t> all;
  };
  const Case cases[] = {
      {"one unread at the end", noticesOf({1, 2, 3}), {1, 2}, false, true, {1, 2, 3}},
      {"all read keeps the mark", noticesOf({1, 2}), {1, 2}, true, true, {1, 2}},
      {"all read, no mark", noticesOf({1, 2}), {2, 1}, false, false, {1, 2}},
      {"empty list", noticesOf({}), {}, true, true, {}},
      {"failed fetch changes nothing", std::nullopt, {}, false, false, {9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HomeWorld world;
    world.state().setNoticesReadIds(c.read);
    world.state().setHasNotices(c.hadMark);
    world.state().setAllNotices({9});
    world.fakes.notices->script.answer<std::optional<tarnel::Notices>>("notices", c.answer);
    world.home.loadNotices();
    ASSERT_TRUE(waitFor([&] { return world.fakes.notices->script.count("notices") == 1; }));
    // The answer is applied on the GUI thread once the fetch has ended.
    EXPECT_TRUE(waitFor([&] { return world.state().hasNotices() == c.mark && world.state().allNotices() == c.all; }));
    spin(40);
    EXPECT_EQ(world.state().hasNotices(), c.mark);
    EXPECT_EQ(world.state().allNotices(), c.all);
  }
}

TEST(RouteMode, DisconnectedFlipsAtOnceConnectedAsksOnceThenReconnects) {
  HomeWorld world;
  world.state().setSmartRoute(true);
  world.home.switchRouteMode();
  EXPECT_FALSE(world.state().smartRoute());
  EXPECT_FALSE(world.dialog().isShow());
  EXPECT_EQ(world.calls("disconnect"), 0u);

  // The engine reports the end of each connection it is asked to end.
  world.fakes.connection->reportStopOnDisconnect();
  world.state().setVpnStatus(VPNStatus::connected);
  world.home.switchRouteMode();
  EXPECT_EQ(world.dialogText(), "setting change tips");
  EXPECT_FALSE(world.state().smartRoute()) << "nothing changes before Confirm";
  world.dialog().close();
  EXPECT_FALSE(world.state().showRouteTips());

  world.home.switchRouteMode();
  world.dialog().press(0);
  world.dialog().press(0);  // closed by the first press
  EXPECT_TRUE(world.state().showRouteTips());
  EXPECT_TRUE(world.state().smartRoute());
  ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 1; })) << "connects again in the new mode";
  EXPECT_EQ(world.calls("disconnect"), 1u);
  EXPECT_TRUE(world.fakes.connection->settings().smartRoute);

  // Later switches while connected ask nothing.
  world.later();
  world.state().setVpnStatus(VPNStatus::connected);
  world.home.switchRouteMode();
  EXPECT_FALSE(world.dialog().isShow());
  EXPECT_FALSE(world.state().smartRoute());
  ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 2; }));
  EXPECT_EQ(world.calls("disconnect"), 2u);
  EXPECT_FALSE(world.fakes.connection->settings().smartRoute);
}

TEST(RouteMode, ASwitchWithinASecondOfAClickStillConnectsAgainInTheNewMode) {
  // The click that connected, then the connection, then the switch, all within the guard.
  for (const int afterClickMs : {0, 400, 999}) {
    SCOPED_TRACE(afterClickMs);
    HomeWorld world;
    world.fakes.connection->reportStopOnDisconnect();
    world.state().setShowRouteTips(true);
    world.state().setSmartRoute(true);
    world.connect.toggle(true);
    ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 1; }));
    world.state().setVpnStatus(VPNStatus::connected);
    world.nowMs += afterClickMs;
    world.home.switchRouteMode();
    EXPECT_FALSE(world.state().smartRoute());
    ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 2; })) << "left disconnected";
    EXPECT_EQ(world.calls("disconnect"), 1u);
    EXPECT_FALSE(world.fakes.connection->settings().smartRoute) << "connected in the new mode";
    // The guard still stands for clicks: one right after the switch's connect is ignored.
    world.state().setVpnStatus(VPNStatus::connecting);
    world.connect.toggle(true);
    spin(50);
    EXPECT_EQ(world.calls("disconnect"), 1u);
  }
}

TEST(Links, PromotionTextByLanguageAndOnlyWebAddressesOpen) {
  struct Case {
    const char* name;
    std::optional<std::string> link;
    std::vector<QUrl> opened;
  };
  const Case cases[] = {
      {"a web address", "https://promo.test/a", {QUrl("https://promo.test/a")}},
      {"none sent: the official site", std::nullopt, {QUrl("https://site.test")}},
      {"empty: the official site", "", {QUrl("https://site.test")}},
      {"a local file", "file:///etc/passwd", {}},
      {"another program's scheme", "javascript:alert(1)", {}},
      {"no address at all", "not a url", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HomeWorld world;
    tarnel::Live live = world.state().live();
    live.link.show = true;
    live.link.link = c.link;
    live.link.text = {{"zh", "推广"}};
    world.state().setLive(live);
    world.home.openPromotionLink();
    EXPECT_EQ(world.opened, c.opened);
    EXPECT_EQ(world.home.promotionText(), "") << "no text for the English key";
    world.fakes.status->setLanguage("zh-Hans");
    EXPECT_EQ(world.home.promotionText(), QString::fromUtf8("推广"));
  }
}

TEST(Membership, NoMembershipOrTheRemainingTime) {
  HomeWorld world;
  tarnel::Login login = world.state().loginInfo();
  login.expired_vip = 0;
  world.state().setLoginInfo(login);
  EXPECT_EQ(world.home.membershipText(), qtTrId("not vip"));
  login.expired_vip = 1;
  world.state().setLoginInfo(login);
  EXPECT_EQ(world.home.membershipText(), qtTrId("vip_time").arg("3day 4hour"));
  EXPECT_TRUE(world.home.membershipText().contains("3day 4hour"));
}

TEST(ProxyTools, TelegramAndBrowserButtonsByStatusAndMode) {
  struct Case {
    VPNStatus status;
    bool tunnel;
    QString telegramDialog;
    bool telegramOpens;
    QString browserDialog;
    bool browserOpens;
  };
  const QString need = QStringLiteral("need connected");
  const Case cases[] = {
      {VPNStatus::connected, false, QString(), true, QString(), true},
      {VPNStatus::connected, true, QStringLiteral("only support normal"), false, QString(), true},
      {VPNStatus::connecting, false, need, false, QString(), true},
      {VPNStatus::disconnecting, false, need, false, QString(), true},
      {VPNStatus::userCanceled, false, need, false, QString(), true},
      {VPNStatus::disconnected, false, need, false, need, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(helmsey::rawValue(c.status)) + (c.tunnel ? " tunnel" : ""));
    HomeWorld world;
    world.fakes.engine->script.answer<std::uint16_t>("socksPort", 10808);
    world.state().setVpnStatus(c.status);
    world.state().setTunnelMode(c.tunnel);
    world.home.openTelegramProxy();
    EXPECT_EQ(world.dialogText(), c.telegramDialog);
    world.dialog().setIsShow(false);
    if (c.telegramOpens) {
      ASSERT_EQ(world.opened.size(), 1u);
      EXPECT_EQ(world.opened[0].toString(), "tg://socks?server=127.0.0.1&port=" +
                                                QString::number(world.home.socksPort()) + "&user=&pass=");
    } else {
      EXPECT_TRUE(world.opened.empty());
    }
    world.opened.clear();
    world.home.openBrowserCheck();
    EXPECT_EQ(world.dialogText(), c.browserDialog);
    EXPECT_EQ(world.opened.size(), c.browserOpens ? 1u : 0u);
  }
}

TEST(ProxyTools, NeedConnectedConfirmConnectsWithoutAnEventOrStopsAnAttempt) {
  HomeWorld world;
  world.home.openBrowserCheck();
  world.dialog().press(0);
  world.dialog().press(0);
  EXPECT_FALSE(world.dialog().isShow());
  ASSERT_TRUE(waitFor([&] { return world.calls("openConnection") == 1; }));
  world.fakes.logQueue->flush(std::chrono::seconds(30));
  EXPECT_TRUE(world.fakes.cloudLog->events().empty());

  world.later();
  world.state().setVpnStatus(VPNStatus::connecting);
  world.home.openTelegramProxy();
  world.dialog().press(0);
  EXPECT_TRUE(waitFor([&] { return world.calls("disconnect") == 1; }));
}

TEST(ProxyTools, SwitchHelpAddressCarriesDomainAndLanguage) {
  HomeWorld world;
  world.home.openSwitchHelp();
  ASSERT_EQ(world.opened.size(), 1u);
  EXPECT_EQ(world.opened[0], QUrl("https://site.test/faq/?lang=en&tag=nintendo-switch"));
}

std::int64_t localMs(int year, int month, int day, int hour) {
  return QDateTime(QDate(year, month, day), QTime(hour, 0)).toMSecsSinceEpoch();
}

TEST(Disclaimer, DayComponentCountsWholeLocalDays) {
  struct Case {
    std::int64_t then;
    std::int64_t now;
    std::int64_t days;
  };
  const Case cases[] = {
      {localMs(2026, 3, 1, 12), localMs(2026, 3, 7, 12), 6},
      {localMs(2026, 3, 1, 12), localMs(2026, 3, 8, 11), 6},
      {localMs(2026, 3, 1, 12), localMs(2026, 3, 8, 12), 7},
      {localMs(2026, 3, 1, 23), localMs(2026, 3, 2, 1), 0},
      {localMs(2026, 3, 9, 12), localMs(2026, 3, 8, 12), -1},
      {0, localMs(2026, 3, 8, 12), QDateTime::fromMSecsSinceEpoch(0).daysTo(QDateTime::fromMSecsSinceEpoch(localMs(2026, 3, 8, 12)))},
  };
  for (const Case& c : cases) EXPECT_EQ(HomeScreen::dayComponent(c.then, c.now), c.days) << c.then << " → " << c.now;
}

TEST(Disclaimer, ShownUnlessTickedLessThanSevenDaysAgo) {
  const std::int64_t now = localMs(2026, 3, 20, 12);
  struct Case {
    const char* name;
    std::optional<tarnel::StoreValue> stored;
    bool shown;
  };
  const Case cases[] = {
      {"never ticked", std::nullopt, true},
      {"unticked", tarnel::StoreValue(std::int64_t{0}), true},
      {"ticked today", tarnel::StoreValue(now - 3'600'000), false},
      {"six days ago", tarnel::StoreValue(localMs(2026, 3, 14, 12)), false},
      {"seven days ago", tarnel::StoreValue(localMs(2026, 3, 13, 12)), true},
      {"in the future", tarnel::StoreValue(now + 86'400'000), false},
      {"not a number", tarnel::StoreValue("yesterday"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HomeWorld world;
    world.fakes.status->setServerTimeMilliseconds(now);
    world.fakes.settings->setValue(tarnel::StoreKeys::DISCLAIMER_TIME, c.stored);
    QSignalSpy due(&world.home, &HomeScreen::disclaimerDue);
    world.home.checkDisclaimer();
    world.home.checkDisclaimer();  // shown again at once: still one dialog
    EXPECT_EQ(due.count(), 0) << "never at once";
    // A timer started now with a longer interval comes due after the disclaimer's would: once it
    // has fired, a dialog that is coming has come, however slowly this machine runs.
    bool passed = false;
    QTimer::singleShot(HomeOptions{}.disclaimerDelay * 2, [&] { passed = true; });
    ASSERT_TRUE(waitFor([&] { return passed; }));
    EXPECT_EQ(due.count(), c.shown ? 1 : 0);
  }
}

TEST(Disclaimer, TheBoxStoresTheTickTimeAndZeroWhenUnticked) {
  HomeWorld world;
  world.fakes.status->setServerTimeMilliseconds(1'700'000'000'123);
  world.home.setDisclaimerIgnored(true);
  EXPECT_EQ(world.fakes.settings->value(tarnel::StoreKeys::DISCLAIMER_TIME)->integer(), 1'700'000'000'123);
  world.home.setDisclaimerIgnored(false);
  EXPECT_EQ(world.fakes.settings->value(tarnel::StoreKeys::DISCLAIMER_TIME)->integer(), 0);
  QSignalSpy due(&world.home, &HomeScreen::disclaimerDue);
  world.home.checkDisclaimer();
  EXPECT_TRUE(waitFor([&] { return due.count() == 1; }));
}

}  // namespace
}  // namespace lumora::test
