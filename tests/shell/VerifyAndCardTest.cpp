// The verification page and the account card over the real account check and the fakes.
#include <gtest/gtest.h>

#include <QDateTime>

#include "tests/shell/AccountWorld.h"
#include "ui/account/UserCenterModel.h"
#include "ui/account/VerifyModel.h"

namespace lumora::test {
namespace {

using tarnel::APIErrorInfo;

tarnel::Login unverified(std::int64_t expiredVip = 0) {
  tarnel::Login login = accountLogin("u-4");
  login.user.email = "new@mail.test";
  login.user.email_status = 1;
  login.expired_vip = expiredVip;
  return login;
}

TEST(Verify, AnEmptyCodeIsRefusedBeforeAnythingIsRecorded) {
  AccountWorld world;
  world.ui.state->setLoginInfo(unverified());
  VerifyModel page(&world.context, nullptr);
  EXPECT_EQ(page.email(), QStringLiteral("new@mail.test"));
  page.confirm();
  EXPECT_EQ(world.toastText(), QStringLiteral("please enter verification code"));
  EXPECT_EQ(world.ui.toast.type(), ToastType::error);
  EXPECT_TRUE(world.events().empty());
  EXPECT_EQ(world.fakes.account->script.count("verify"), 0u);
}

TEST(Verify, AConfirmedAddressRefreshesTheAccountAndReturnsToTheRoot) {
  AccountWorld world;
  world.ui.state->setLoginInfo(unverified());
  world.router().setRoot(Route::main);
  world.router().push(Route::menu);
  world.router().push(Route::verify);
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  world.fakes.status->script.gate("live", gate);
  world.fakes.account->setLoginInfo(accountLogin("u-4"));  // what the refreshed status brings

  VerifyModel page(&world.context, nullptr);
  page.setCode(QStringLiteral("  12ab "));  // sent as typed
  page.confirm();
  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.status->script, "live", 1));
  spin(30);
  EXPECT_TRUE(world.loadingShown()) << "the overlay stays while the account is refreshed";
  gate->open();
  ASSERT_TRUE(waitFor([&] { return !world.loadingShown() && world.router().depth() == 0; }));
  EXPECT_EQ(world.fakes.account->script.calls("verify")[0].arguments, std::vector<std::string>{"  12ab "});
  EXPECT_TRUE(world.ui.state->loginInfo().user.verifyed());
  EXPECT_EQ(world.router().root().kind(), Route::main);
  EXPECT_EQ(world.events(), std::vector<std::string>{"MENU_ACCOUNT_SUBMIT"});
}

TEST(Verify, AFailedRefreshStillClosesThePage) {
  AccountWorld world;
  world.ui.state->setLoginInfo(unverified());
  world.router().setRoot(Route::main);
  world.router().push(Route::verify);
  world.fakes.status->script.answer<ServiceError>("live", APIErrorInfo::make(-1, "network error."));
  VerifyModel page(&world.context, nullptr);
  page.setCode(QStringLiteral("1234"));
  page.confirm();
  ASSERT_TRUE(waitFor([&] { return !world.loadingShown() && world.router().depth() == 0; }));
}

TEST(Verify, ARefusedCodeKeepsThePage) {
  AccountWorld world;
  world.ui.state->setLoginInfo(unverified());
  world.router().setRoot(Route::main);
  world.router().push(Route::verify);
  world.fakes.account->script.answer<ServiceError>("verify", APIErrorInfo::make(3105, "wrong code"));
  VerifyModel page(&world.context, nullptr);
  page.setCode(QStringLiteral("9999"));
  page.confirm();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("wrong code"); }));
  EXPECT_FALSE(world.loadingShown());
  EXPECT_EQ(world.router().depth(), 1);
  EXPECT_EQ(page.code(), QStringLiteral("9999"));
  EXPECT_EQ(world.fakes.status->script.count("live"), 0u);
}

TEST(Verify, TheCodeGoesToTheAccountsAddressAndCountsDown) {
  AccountWorld world;
  world.ui.state->setLoginInfo(unverified());
  VerifyModel page(&world.context, nullptr);

  world.fakes.account->script.enqueue<ServiceError>("getVerificationCode", APIErrorInfo::make(-1, "network error."));
  page.requestCode();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("network error."); }));
  EXPECT_FALSE(page.counting());

  page.requestCode();
  ASSERT_TRUE(waitFor([&] { return page.counting(); }));
  EXPECT_EQ(page.elapsedSeconds(), 120);
  EXPECT_EQ(world.toastText(), QStringLiteral("verification_code_sent"));
  EXPECT_EQ(world.fakes.account->script.calls("getVerificationCode")[1].arguments,
            (std::vector<std::string>{"new@mail.test", "false"}));
  page.requestCode();
  spin(30);
  EXPECT_EQ(world.fakes.account->script.count("getVerificationCode"), 2u);
  for (int i = 0; i < 119; ++i) page.countdown().tick();
  EXPECT_EQ(page.elapsedSeconds(), 1);
  page.countdown().tick();
  EXPECT_FALSE(page.counting());
}

struct CardCase {
  const char* name;
  std::int64_t expiredVipFromNow;  // seconds from now; 0: no membership at all
  bool isVip;
};

class CardMembership : public ::testing::TestWithParam<CardCase> {};

TEST_P(CardMembership, ShowsOnlyAMembershipThatHasNotEnded) {
  AccountWorld world;
  const std::int64_t now = 1'800'000'000;
  world.fakes.status->setServerTimeMilliseconds(now * 1000);
  const std::int64_t expiry = GetParam().expiredVipFromNow == 0 ? 0 : now + GetParam().expiredVipFromNow;
  world.fakes.account->setLoginInfo(unverified(expiry));
  world.ui.state->setLoginInfo(unverified(expiry));
  UserCenterModel card(&world.context, nullptr);
  EXPECT_EQ(card.isVip(), GetParam().isVip);
  if (GetParam().isVip) {
    EXPECT_EQ(card.expiryText(), QDateTime::fromSecsSinceEpoch(expiry).toString("yyyy-MM-dd HH:mm"));
    EXPECT_EQ(card.expiryDate(), QDateTime::fromSecsSinceEpoch(expiry).toString("yyyy-MM-dd"));
  } else {
    EXPECT_EQ(card.expiryText(), QString());
  }
  EXPECT_FALSE(card.remainingTime().contains('-')) << card.remainingTime().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Memberships, CardMembership,
                         ::testing::Values(CardCase{"None", 0, false}, CardCase{"Ended", -3600, false},
                                           CardCase{"EndedASecondAgo", -1, false},
                                           CardCase{"Running", 2 * 86400 + 5, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Card, AnUnverifiedAddressLeadsToVerificationAfterOneEvent) {
  AccountWorld world;
  world.router().setRoot(Route::main);
  world.ui.state->setLoginInfo(unverified());
  UserCenterModel card(&world.context, nullptr);
  EXPECT_EQ(card.email(), QStringLiteral("new@mail.test"));
  EXPECT_FALSE(card.verified());
  card.openVerify();
  EXPECT_EQ(world.router().topName(), QStringLiteral("verify"));
  EXPECT_EQ(world.events(), std::vector<std::string>{"MENU_ACCOUNT"});

  int changes = 0;
  QObject::connect(&card, &UserCenterModel::changed, [&] { ++changes; });
  world.ui.state->setLoginInfo(accountLogin());
  EXPECT_GE(changes, 1);
  EXPECT_TRUE(card.verified());
}

TEST(Card, SubscribeOpensTheShopInStoreBuildsAndThePaymentPageElsewhere) {
  AccountWorld world;
  world.router().setRoot(Route::main);
  world.fakes.links->script.answer<std::string>("shop", "https://pay.test/?sign=abc");
  UserCenterModel card(&world.context, nullptr);

  setAppStoreBuildForTesting(true);
  card.subscribe();
  EXPECT_EQ(world.router().topName(), QStringLiteral("shop"));
  EXPECT_TRUE(world.browsed.empty());

  setAppStoreBuildForTesting(false);
  card.subscribe();
  EXPECT_EQ(world.browsed, std::vector<QUrl>{QUrl("https://pay.test/?sign=abc")});
  world.windowShown = false;
  card.subscribe();
  EXPECT_EQ(world.browsed.size(), 1u);
  EXPECT_EQ(world.router().depth(), 1);
}

}  // namespace
}  // namespace lumora::test
