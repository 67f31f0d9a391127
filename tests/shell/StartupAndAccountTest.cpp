#include <gtest/gtest.h>

#include "tests/shell/ShellWorld.h"
#include "ui/base/Feedback.h"

namespace lumora::test {
namespace {

using tarnel::APIErrorInfo;

struct StartupCase {
  bool discovered;
  bool guest;
};

class StartupMatrix : public ::testing::TestWithParam<StartupCase> {};

TEST_P(StartupMatrix, ChoosesTheFirstPageAndReportsDiscovery) {
  const auto [discovered, guest] = GetParam();
  ShellWorld world;
  world.fakes.status->script.answer<bool>("initDNS", discovered);
  world.fakes.account->setLoginInfo(guest ? guestLogin() : accountLogin());
  world.fakes.links->script.answer<std::string>("officialDomain", "tarnel.test");
  bool finished = false;
  QObject::connect(&world.startup, &StartupController::finished, [&] { finished = true; });

  world.startup.appear();
  EXPECT_EQ(world.startup.currentInitStep(), 1);  // while discovery runs
  ASSERT_TRUE(waitFor([&] { return finished; }));

  EXPECT_EQ(world.router().root().kind(), guest ? Route::login : Route::main);
  EXPECT_EQ(world.ui.state->loginInfo().user.id, guest ? "u-guest" : "u-1");
  // Only an account is checked with the service.
  ASSERT_TRUE(waitFor([&] { return world.fakes.status->script.count("live") == (guest ? 0u : 1u); }));
  EXPECT_EQ(world.fakes.status->script.count("startNetworkMonitor"), 1u);

  if (discovered) {
    EXPECT_EQ(world.startup.currentInitStep(), 2);
    EXPECT_FALSE(world.dialog().isShow());
    EXPECT_TRUE(world.ui.state->appTitle().contains(QStringLiteral("tarnel.test"))) << world.ui.state->appTitle().toStdString();
  } else {
    EXPECT_EQ(world.startup.currentInitStep(), 1);
    ASSERT_TRUE(world.dialog().isShow());
    EXPECT_EQ(world.dialog().text(), localized(QStringLiteral("network error")));
    ASSERT_EQ(world.dialog().buttons().size(), 1u);
    // Its only button leaves through the quit path: the VPN is stopped first, then the exit.
    world.dialog().press(0);
    ASSERT_TRUE(waitFor([&] { return !world.exits.empty(); }));
    EXPECT_EQ(world.exits, std::vector<int>{0});
    EXPECT_EQ(world.fakes.engine->script.count("stopVPN"), 1u);
    EXPECT_FALSE(world.dialog().isShow());
  }
}

INSTANTIATE_TEST_SUITE_P(Startup, StartupMatrix,
                         ::testing::Values(StartupCase{true, true}, StartupCase{true, false},
                                           StartupCase{false, true}, StartupCase{false, false}),
                         [](const auto& info) {
                           return std::string(info.param.discovered ? "Discovered" : "Undiscovered") +
                                  (info.param.guest ? "Guest" : "Account");
                         });

struct LiveCase {
  const char* name;
  std::int64_t code;
  const char* message;
  enum Outcome { accountGone, refusal, silent } outcome;
};

class AccountCheckOutcomes : public ::testing::TestWithParam<LiveCase> {};

TEST_P(AccountCheckOutcomes, OnlyAnInvalidAccountLeavesTheHomePage) {
  const LiveCase c = GetParam();
  ShellWorld world;
  world.fakes.account->setLoginInfo(accountLogin());
  world.router().setRoot(Route::main);
  world.router().push(Route::settings);
  world.fakes.status->script.answer<ServiceError>("live", APIErrorInfo::make(c.code, c.message));
  ServiceError heard;
  bool done = false;

  world.accountCheck.checkLive([&](ServiceError error) {
    heard = error;
    done = true;
  });
  ASSERT_TRUE(waitFor([&] { return done; }));
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->errCode, c.code);

  switch (c.outcome) {
    case LiveCase::accountGone:
      EXPECT_EQ(world.router().root().kind(), Route::login);
      ASSERT_TRUE(waitFor([&] { return world.front->calls() == std::vector<std::string>{"disconnect"}; }));
      ASSERT_TRUE(world.dialog().isShow());
      EXPECT_EQ(world.dialog().text(), localized(QStringLiteral("unbound tips")));
      world.dialog().press(0);
      EXPECT_FALSE(world.dialog().isShow());
      EXPECT_EQ(world.router().root().kind(), Route::login);
      break;
    case LiveCase::refusal:
      // The service's own message, shown as it stands; its button returns to the sign-in page.
      EXPECT_EQ(world.router().root().kind(), Route::main);
      ASSERT_TRUE(world.dialog().isShow());
      EXPECT_EQ(world.dialog().text(), QString::fromUtf8(c.message));
      world.dialog().press(0);
      EXPECT_FALSE(world.dialog().isShow());
      EXPECT_EQ(world.router().root().kind(), Route::login);
      ASSERT_TRUE(waitFor([&] { return world.router().depth() == 0; }));
      EXPECT_TRUE(world.front->calls().empty());
      break;
    case LiveCase::silent:
      // A passing outage: the user stays signed in, on the page they were on.
      spin(50);
      EXPECT_EQ(world.router().root().kind(), Route::main);
      EXPECT_EQ(world.router().depth(), 1);
      EXPECT_FALSE(world.dialog().isShow());
      EXPECT_TRUE(world.front->calls().empty());
      EXPECT_EQ(world.ui.state->loginInfo().user.id, "");  // nothing applied
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Live, AccountCheckOutcomes,
    ::testing::Values(LiveCase{"Unbound", 3305, "unbound", LiveCase::accountGone},
                      LiveCase{"DeviceGone", 3306, "gone", LiveCase::accountGone},
                      LiveCase{"NoUser", 404, "", LiveCase::accountGone},
                      LiveCase{"OtherRefusal", 3310, "账号异常\nAccount problem", LiveCase::refusal},
                      LiveCase{"NetworkDown", -1, "network error.", LiveCase::silent},
                      LiveCase{"ProbeFailed", 0, "", LiveCase::silent},
                      LiveCase{"UndecodableAnswer", 500, "response turn to model error", LiveCase::silent},
                      LiveCase{"GatewayPage", 502, "empty response", LiveCase::silent},
                      LiveCase{"ServerErrorPage", 503, "<html>busy</html>", LiveCase::silent}),
    [](const auto& info) { return std::string(info.param.name); });

// The check of one account answers after the user signed in with another: whatever it says, it
// says nothing about the account now signed in, which stays where it is.
TEST(AccountCheck, AnOutcomeForAnAccountNoLongerSignedInChangesNothing) {
  struct Case {
    const char* name;
    ServiceError answer;
  };
  const Case cases[] = {
      {"unbound", APIErrorInfo::make(3305, "unbound")},
      {"no such user", APIErrorInfo::make(404, "")},
      {"other refusal", APIErrorInfo::make(3310, "Account problem")},
      {"success", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShellWorld world;
    world.fakes.account->setLoginInfo(accountLogin("u-old"));
    const std::int64_t shownLimit = world.ui.state->live().device_count;
    tarnel::Live oldLive;
    oldLive.device_count = shownLimit + 4;
    world.fakes.status->setCurrentLive(oldLive);
    auto answer = std::make_shared<FakeGate>();
    answer->close();
    world.fakes.status->script.gate("live", answer);
    world.fakes.status->script.answer<ServiceError>("live", c.answer);
    bool done = false;
    ServiceError heard;
    world.accountCheck.checkLive([&](ServiceError error) {
      heard = error;
      done = true;
    });
    ASSERT_TRUE(answer->waitForVisits(1));
    // Meanwhile the user signs in with another account and opens a page.
    world.fakes.account->setLoginInfo(accountLogin("u-new"));
    world.ui.state->setLoginInfo(accountLogin("u-new"));
    world.router().setRoot(Route::main);
    world.router().push(Route::settings);
    answer->open();
    ASSERT_TRUE(waitFor([&] { return done; }));

    EXPECT_EQ(heard, c.answer) << "the caller hears the outcome all the same";
    EXPECT_EQ(world.router().root().kind(), Route::main);
    EXPECT_EQ(standingPages(world.router()), std::vector<Route>{Route::settings});
    EXPECT_FALSE(world.dialog().isShow());
    EXPECT_EQ(world.ui.state->live().device_count, shownLimit) << "the other account's status is not published";
    EXPECT_EQ(world.ui.state->loginInfo().user.id, "u-new");
  }
}

TEST(AccountCheck, SuccessPublishesTheServiceAnswers) {
  ShellWorld world;
  world.fakes.account->setLoginInfo(accountLogin("u-9"));
  tarnel::Live live;
  live.device_count = 7;
  world.fakes.status->setCurrentLive(live);
  bool done = false;
  world.accountCheck.checkLive([&](ServiceError error) {
    EXPECT_FALSE(error);
    done = true;
  });
  ASSERT_TRUE(waitFor([&] { return done; }));
  EXPECT_EQ(world.ui.state->live().device_count, 7);
  EXPECT_EQ(world.ui.state->loginInfo().user.id, "u-9");
}

TEST(AccountCheck, SignInChoosesTheRootByTheAccountKind) {
  ShellWorld world;
  world.router().setRoot(Route::login);

  // A guest sign-in keeps the sign-in page.
  world.fakes.account->script.onCall("login", [&] { world.fakes.account->setLoginInfo(guestLogin()); });
  bool done = false;
  world.accountCheck.login("", "fjord", 0, "", [&](ServiceError error) {
    EXPECT_FALSE(error);
    done = true;
  });
  ASSERT_TRUE(waitFor([&] { return done; }));
  EXPECT_EQ(world.router().root().kind(), Route::login);

  // An e-mail account goes home.
  world.fakes.account->script.reset();
  world.fakes.account->script.onCall("login", [&] { world.fakes.account->setLoginInfo(accountLogin()); });
  done = false;
  world.accountCheck.login("me@example.test", "secret1", 0, "", [&](ServiceError) { done = true; });
  ASSERT_TRUE(waitFor([&] { return done; }));
  EXPECT_EQ(world.router().root().kind(), Route::main);
  EXPECT_EQ(world.ui.state->loginInfo().user.id, "u-1");

  // A refusal changes nothing and hands the error over.
  world.fakes.account->script.reset();
  world.fakes.account->script.answer<ServiceError>("login", APIErrorInfo::make(3302, "wrong password"));
  world.router().setRoot(Route::login);
  ServiceError heard;
  done = false;
  world.accountCheck.login("me@example.test", "nope123", 0, "", [&](ServiceError error) {
    heard = error;
    done = true;
  });
  ASSERT_TRUE(waitFor([&] { return done; }));
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->errCode, 3302);
  EXPECT_EQ(world.router().root().kind(), Route::login);
}

TEST(AccountCheck, OfficialWebsiteCarriesUserAndTokenAndRefusesNoAddress) {
  ShellWorld world;
  world.fakes.account->setLoginInfo(accountLogin("u-5"));
  world.fakes.account->script.answer<std::string>("getOfficialToken", "tok");
  world.fakes.links->script.answer<std::string>("officialDomain", "tarnel.test");
  world.accountCheck.openOfficialWebsite();
  ASSERT_TRUE(waitFor([&] { return world.opened.size() == 1; }));
  EXPECT_EQ(world.opened[0], QUrl(QStringLiteral("https://tarnel.test?uid=u-5&token=tok")));

  // No official site known yet: nothing opens (not "https://?uid=...").
  world.fakes.links->script.answer<std::string>("officialDomain", "");
  world.accountCheck.openOfficialWebsite();
  spin(100);
  EXPECT_EQ(world.opened.size(), 1u);
}

TEST(AccountCheck, RemainingTimeUsesDaysFromOneDayOnAndNeverGoesNegative) {
  const auto day = localized(QStringLiteral("day"));
  const auto hour = localized(QStringLiteral("hour"));
  const auto minute = localized(QStringLiteral("minute"));
  const auto second = localized(QStringLiteral("second"));
  EXPECT_EQ(AccountCheck::remainingTimeText(86400 + 3600 + 61), "1" + day + " 1" + hour);
  EXPECT_EQ(AccountCheck::remainingTimeText(86400), "1" + day + " 0" + hour);
  EXPECT_EQ(AccountCheck::remainingTimeText(3661), "1" + hour + " 1" + minute + " 1" + second);
  EXPECT_EQ(AccountCheck::remainingTimeText(59), "0" + hour + " 0" + minute + " 59" + second);
  EXPECT_EQ(AccountCheck::remainingTimeText(-3661), "0" + hour + " 0" + minute + " 0" + second);
}

TEST(DialogActions, ConnectionToggleClosesTheDialogFirst) {
  ShellWorld world;
  world.dialog().show({DialogButton{QStringLiteral("Confirm"), [&] { world.accountCheck.toggleConnectionAndDismiss(); }}},
                      QStringLiteral("tips_title"), true, {}, {}, DialogContent::fromText(QStringLiteral("need connected")));
  world.dialog().press(0);
  EXPECT_FALSE(world.dialog().isShow());
  world.dialog().press(0);  // a second press on the closed dialog starts nothing
  EXPECT_EQ(world.front->calls(), std::vector<std::string>{"toggle"});
}

}  // namespace
}  // namespace lumora::test
