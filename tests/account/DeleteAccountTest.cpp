// The account-deletion page over the fakes: the countdown, the checks, and what a deletion
// leaves behind.
#include <gtest/gtest.h>

#include "tests/shell/AccountWorld.h"
#include "ui/account/PasswordPages.h"

namespace lumora::test {
namespace {

constexpr int kTickMs = 20;

struct DeleteWorld : AccountWorld {
  DeleteWorld() {
    setAppStoreBuildForTesting(true);
    fakes.account->setLoginInfo(accountLogin("u-del"));
    ui.state->setLoginInfo(accountLogin("u-del"));
    router().setRoot(Route::main);
    router().push(Route::advanced);
    router().push(Route::deleteAccount);
  }
};

void arm(DeleteAccountModel& page) {
  page.appear();
  ASSERT_TRUE(waitFor([&] { return page.armed(); }));
}

TEST(DeleteAccount, TheButtonCountsDownTenSecondsAndDoesNothingMeanwhile) {
  DeleteWorld world;
  DeleteAccountModel page(&world.context, nullptr, kTickMs);
  EXPECT_EQ(page.elapsedSeconds(), 10);
  page.appear();
  page.setAgree(true);
  page.setPassword(QStringLiteral("secret-1"));
  std::vector<int> seen{page.elapsedSeconds()};
  QObject::connect(&page, &DeleteAccountModel::countdownChanged, [&] { seen.push_back(page.elapsedSeconds()); });
  page.confirm();
  EXPECT_TRUE(world.toastText().isEmpty());
  ASSERT_TRUE(waitFor([&] { return page.armed(); }));
  EXPECT_EQ(seen, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
  spin(3 * kTickMs);
  EXPECT_EQ(page.elapsedSeconds(), 0) << "the countdown stops by itself";
  EXPECT_EQ(world.fakes.account->script.count("delUser"), 0u);
}

TEST(DeleteAccount, ChecksRunInOrderOnceArmed) {
  DeleteWorld world;
  DeleteAccountModel page(&world.context, nullptr, kTickMs);
  arm(page);
  const struct {
    bool agree;
    const char* password;
    const char* toast;
  } cases[] = {
      {false, "", "read and confirm"},
      {true, "", "please enter password"},
      {true, "12345", "input_password_error"},
      {true, "12345678901234567", "input_password_error"},
  };
  for (const auto& c : cases) {
    page.setAgree(c.agree);
    page.setPassword(QString::fromUtf8(c.password));
    page.confirm();
    EXPECT_EQ(world.toastText(), QString::fromUtf8(c.toast)) << c.password;
    EXPECT_EQ(world.ui.toast.type(), ToastType::error);
  }
  spin(30);
  EXPECT_EQ(world.fakes.account->script.count("delUser"), 0u);
}

TEST(DeleteAccount, AFailureKeepsThePageAndSuccessStopsTheConnectionAndForgetsTheAccount) {
  DeleteWorld world;
  DeleteAccountModel page(&world.context, nullptr, kTickMs);
  arm(page);
  page.setAgree(true);
  page.setPassword(QStringLiteral("sixteen-chars-ok"));

  world.fakes.account->script.enqueue<ServiceError>("delUser", tarnel::APIErrorInfo::make(4003, "wrong password"));
  page.confirm();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("wrong password"); }));
  EXPECT_EQ(world.router().depth(), 2);
  EXPECT_EQ(world.fakes.connection->script.count("disconnect"), 0u);

  // The retry is under way when the user presses again: only one request goes out.
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  world.fakes.account->script.gate("delUser", gate);
  // What the page leaves must be in place before the sign-in page can show.
  std::string userAtDisconnect = "unset";
  world.fakes.connection->script.onCall("disconnect",
                                        [&] { userAtDisconnect = world.fakes.account->loginInfo().user.id; });
  page.confirm();
  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "delUser", 2));
  page.confirm();
  EXPECT_TRUE(world.loadingShown());
  gate->open();
  ASSERT_TRUE(waitFor([&] { return world.router().root().kind() == Route::login; }));
  EXPECT_TRUE(waitFor([&] { return world.router().depth() == 0; }));
  EXPECT_FALSE(world.loadingShown());
  EXPECT_EQ(world.fakes.account->script.count("delUser"), 2u);
  EXPECT_EQ(world.fakes.account->script.calls("delUser").back().arguments,
            std::vector<std::string>{"sixteen-chars-ok"});
  EXPECT_EQ(world.fakes.connection->script.count("disconnect"), 1u);
  EXPECT_EQ(userAtDisconnect, "u-del") << "the connection stops first, then the sign-in is cleared";
  EXPECT_TRUE(world.fakes.account->loginInfo().user.id.empty());
  EXPECT_TRUE(world.ui.state->loginInfo().user.id.empty());
}

TEST(DeleteAccount, OutsideStoreBuildsThePageDeletesNothing) {
  DeleteWorld world;
  setAppStoreBuildForTesting(false);
  DeleteAccountModel page(&world.context, nullptr, kTickMs);
  arm(page);
  page.setAgree(true);
  page.setPassword(QStringLiteral("secret-1"));
  page.confirm();
  spin(30);
  EXPECT_EQ(world.fakes.account->script.count("delUser"), 0u);
}

}  // namespace
}  // namespace lumora::test
