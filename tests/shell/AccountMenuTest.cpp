// The account menu: rows per build and account, what each row does, the customer-service
// dialog, and sign-out.
#include <gtest/gtest.h>

#include "tests/shell/AccountWorld.h"
#include "ui/base/Feedback.h"

namespace lumora::test {
namespace {

using tarnel::APIErrorInfo;

struct RowsCase {
  const char* name;
  bool appStore;
  bool multipleDevices;
  bool guest;
  bool linkShown;
  QStringList rows;
};

class MenuRows : public ::testing::TestWithParam<RowsCase> {};

TEST_P(MenuRows, FollowTheBuildAndTheAccount) {
  const auto& c = GetParam();
  AccountWorld world;
  setAppStoreBuildForTesting(c.appStore);
  tarnel::Login login = c.guest ? guestLogin() : accountLogin();
  if (c.multipleDevices) login.user.hot = "3";
  world.fakes.account->setLoginInfo(login);
  world.ui.state->setLoginInfo(login);
  tarnel::Live live;
  live.link.show = c.linkShown;
  world.ui.state->setLive(live);

  EXPECT_EQ(world.menu.rowKeys(), c.rows);
  EXPECT_EQ(world.menu.multipleDevices(), c.multipleDevices);
  const auto first = world.menu.rows().first().toMap();
  if (c.rows.first() == QStringLiteral("share")) {
    EXPECT_EQ(first.value("name"), c.appStore ? QStringLiteral("share") : QStringLiteral("free to use"));
    EXPECT_EQ(first.value("route"), c.appStore ? QString() : QStringLiteral("share"));
  }
}

const QStringList kAllRows{"share", "mobile", "discount", "settings", "help", "email", "about", "signOut"};

INSTANTIATE_TEST_SUITE_P(
    Builds, MenuRows,
    ::testing::Values(
        RowsCase{"SingleDeviceAccount", false, false, false, false, kAllRows},
        RowsCase{"SeveralDevices", false, true, false, false,
                 {"mobile", "discount", "settings", "help", "email", "about", "signOut"}},
        RowsCase{"Guest", false, false, true, false, {"share", "mobile", "discount", "settings", "help", "email", "about"}},
        RowsCase{"StoreBuild", true, false, false, false, {"share", "settings", "help", "email", "about", "signOut"}},
        RowsCase{"StoreBuildWithLink", true, true, false, true,
                 {"share", "discount", "settings", "help", "email", "about", "signOut"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MenuRows, TheEmailRowCarriesTheAddress) {
  AccountWorld world;
  world.fakes.links->script.answer<std::string>("officialEmail", "care@tarnel.test");
  QString name;
  for (const auto& entry : world.menu.rows()) {
    if (entry.toMap().value("key") == QStringLiteral("email")) name = entry.toMap().value("name").toString();
  }
  EXPECT_EQ(name, localized(QStringLiteral("CSR email: %@")).arg(QStringLiteral("care@tarnel.test")));
}

TEST(MenuActions, RecordTheirEventsAndOpenTheirAddresses) {
  AccountWorld world;
  setAppStoreBuildForTesting(false);
  for (const char* key : {"share", "mobile", "discount", "settings", "help", "about"}) {
    world.menu.activate(QString::fromUtf8(key));
  }
  EXPECT_EQ(world.events(), (std::vector<std::string>{"MENU_MOBILE", "MENU_COUPON_CENTER", "MENU_ABOUTUS"}));
  EXPECT_EQ(world.handed, std::vector<QUrl>{QUrl(AccountMenu::helpCentreUrl())});
  EXPECT_TRUE(world.clipboard.isEmpty()) << "outside store builds the share row only opens its page";
  EXPECT_EQ(AccountMenu::helpCentreUrl().left(8), QStringLiteral("https://"));

  setAppStoreBuildForTesting(true);
  world.menu.activate(QStringLiteral("share"));
  EXPECT_EQ(world.clipboard, QStringList{AccountMenu::appStoreUrl()});
  EXPECT_EQ(world.toastText(), QStringLiteral("Copy Success"));
  EXPECT_EQ(world.ui.toast.type(), ToastType::success);
}

// The help centre goes to the desktop; when nothing there opens it (no browser), the window
// says so instead of leaving the tap without an answer.
TEST(MenuActions, AHelpCentreNoBrowserOpensIsReported) {
  for (const bool opens : {true, false}) {
    SCOPED_TRACE(opens ? "the desktop opens it" : "no browser");
    AccountWorld world;
    world.ui.state->setCurrentLanguage(QStringLiteral("en"));
    world.desktopOpens = opens;
    world.menu.activate(QStringLiteral("help"));
    EXPECT_EQ(world.handed, std::vector<QUrl>{QUrl(AccountMenu::helpCentreUrl())});
    if (opens) {
      EXPECT_EQ(world.toastText(), QString());
    } else {
      EXPECT_EQ(world.toastText(), localized(QStringLiteral("can not open link")).arg(AccountMenu::helpCentreUrl()));
      EXPECT_TRUE(world.toastText().contains(AccountMenu::helpCentreUrl())) << world.toastText().toStdString();
      EXPECT_EQ(world.ui.toast.type(), ToastType::error);
    }
  }
}

TEST(MenuEmailDialog, CopiesOrMailsTheAddress) {
  AccountWorld world;
  world.fakes.links->script.answer<std::string>("officialEmail", "care@tarnel.test");
  world.menu.activate(QStringLiteral("email"));
  ASSERT_TRUE(world.dialog().isShow());
  EXPECT_EQ(world.dialog().title(), localized(QStringLiteral("CSR email: %@")).arg(QStringLiteral("care@tarnel.test")));
  EXPECT_TRUE(world.dialog().showClose());
  EXPECT_EQ(world.dialog().text(), QString());
  ASSERT_EQ(world.dialog().buttons().size(), 2u);
  EXPECT_TRUE(world.dialog().buttons()[0].isLight);
  EXPECT_FALSE(world.dialog().buttons()[1].isLight);

  world.dialog().press(0);
  EXPECT_FALSE(world.dialog().isShow());
  EXPECT_EQ(world.clipboard, QStringList{"care@tarnel.test"});
  EXPECT_EQ(world.toastText(), QStringLiteral("Copy Success"));

  world.menu.activate(QStringLiteral("email"));
  world.dialog().press(1);
  EXPECT_FALSE(world.dialog().isShow());
  EXPECT_EQ(world.handed, std::vector<QUrl>{QUrl("mailto:care@tarnel.test")});

  // An address that makes no mail link opens nothing, and the dialog still closes.
  world.fakes.links->script.answer<std::string>("officialEmail", "care team@tarnel .test");
  world.menu.activate(QStringLiteral("email"));
  world.dialog().press(1);
  EXPECT_FALSE(world.dialog().isShow());
  EXPECT_EQ(world.handed.size(), 1u);
}

struct SignOutCase {
  const char* name;
  ServiceError answer;
};

class SignOut : public ::testing::TestWithParam<SignOutCase> {};

TEST_P(SignOut, ForgetsTheAccountBeforeTheSignInPageShows) {
  AccountWorld world;
  world.fakes.account->setLoginInfo(accountLogin("u-8"));
  world.ui.state->setLoginInfo(accountLogin("u-8"));
  world.router().setRoot(Route::main);
  world.router().push(Route::menu);
  world.fakes.account->script.answer<ServiceError>("logout", GetParam().answer);
  std::string heldWhenShown = "(not shown)";
  std::string stateWhenShown;
  QObject::connect(&world.router(), &Router::rootChanged, [&] {
    if (world.router().root().kind() != Route::login) return;
    heldWhenShown = world.fakes.account->loginInfo().user.id;
    stateWhenShown = world.ui.state->loginInfo().user.id;
  });

  world.menu.signOut();
  EXPECT_TRUE(world.loadingShown());
  ASSERT_TRUE(waitFor([&] { return world.router().root().kind() == Route::login; }));
  EXPECT_EQ(heldWhenShown, "") << "the library kept the signed-out user";
  EXPECT_EQ(stateWhenShown, "") << "the views still showed the signed-out user";
  EXPECT_EQ(world.fakes.account->script.calls("logout")[0].arguments,
            (std::vector<std::string>{"u-8", FakeDeviceService::kThisDevice}));
  EXPECT_FALSE(world.loadingShown());
  EXPECT_EQ(world.events(), std::vector<std::string>{"SETTING_LOG_OUT"});
  ASSERT_TRUE(waitFor([&] { return world.router().depth() == 0; }));
  EXPECT_FALSE(world.menu.rowKeys().contains(QStringLiteral("signOut")));
}

INSTANTIATE_TEST_SUITE_P(Answers, SignOut,
                         ::testing::Values(SignOutCase{"Accepted", nullptr},
                                           SignOutCase{"Unreachable", APIErrorInfo::make(-1, "network error.")},
                                           SignOutCase{"Refused", APIErrorInfo::make(3306, "gone")}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumora::test
