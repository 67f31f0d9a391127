// The sign-in page against the real account check and the service fakes: which sign-in wins
// when answers overtake each other, which account a registration goes under, one submission at
// a time, and password lengths in characters.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <atomic>
#include <memory>
#include <mutex>

#include "tests/shell/AccountWorld.h"
#include "ui/account/DeviceListModel.h"
#include "ui/account/DeviceManager.h"
#include "ui/account/LoginModel.h"
#include "ui/base/Feedback.h"

namespace lumora::test {
namespace {

using tarnel::APIErrorInfo;

// The fake service's sign-in: the guest password signs the guest in, anything else account
// "u-7". Guest sign-ins wait at `guestGate` when it is closed.
struct SignInService {
  explicit SignInService(AccountWorld& world) : world(world) {
    world.fakes.account->script.onCall("login", [this] {
      const auto calls = this->world.fakes.account->script.calls("login");
      // The effect runs after the call was recorded, but calls may be recorded in any order
      // while one waits: the guest is told by the call this thread made, counted here.
      const bool guest = [&] {
        std::lock_guard lock(mutex);
        const auto& arguments = calls.at(handled++).arguments;
        return arguments.at(0).empty();
      }();
      if (guest) {
        guestGate->pass();
        this->world.fakes.account->setLoginInfo(guestLogin());
      } else {
        this->world.fakes.account->setLoginInfo(accountLogin("u-7"));
      }
    });
  }
  // A guest sign-in still held is let go before the world ends, whatever the test found.
  ~SignInService() { guestGate->open(); }
  AccountWorld& world;
  std::shared_ptr<FakeGate> guestGate = std::make_shared<FakeGate>();
  std::mutex mutex;
  std::size_t handled = 0;
};

// Waits for a call to reach `gate`, running the GUI thread's events meanwhile.
bool reached(const std::shared_ptr<FakeGate>& gate) {
  return waitFor([&] { return gate->waitForVisits(1, std::chrono::milliseconds(0)); });
}

TEST(SignInOrder, TheGuestSignInOfTheShowingNeverReplacesTheUsersOwnSignIn) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  SignInService service(world);
  service.guestGate->close();
  LoginModel page(&world.context, nullptr);
  page.appear();  // the guest sign-in of the showing, whose answer is slow
  ASSERT_TRUE(reached(service.guestGate));

  page.setAccount(QStringLiteral("me@example.test"));
  page.setPassword(QStringLiteral("secret1"));
  page.submit();
  spin(100);
  service.guestGate->open();

  ASSERT_TRUE(waitFor([&] { return world.fakes.account->script.count("login") == 2 && !world.loadingShown(); }));
  spin(100);
  EXPECT_EQ(world.router().root().kind(), Route::main);
  EXPECT_EQ(world.ui.state->loginInfo().user.id, "u-7");
  EXPECT_EQ(world.fakes.account->loginInfo().user.id, "u-7") << "the service keeps the user's account";
  const auto calls = world.fakes.account->script.calls("login");
  EXPECT_EQ(calls[0].arguments.at(0), "");
  EXPECT_EQ(calls[1].arguments.at(0), "me@example.test");
}

TEST(SignInOrder, ARegistrationAfterTheAccountCheckRefusedTheAccountGoesUnderTheGuest) {
  struct Case {
    const char* name;
    bool guestSlow;  // the user registers while the guest sign-in is still on its way
  };
  for (const Case c : {Case{"guest signed in first", false}, Case{"registered while the guest signs in", true}}) {
    SCOPED_TRACE(c.name);
    AccountWorld world;
    SignInService service(world);
    // The account check found the account gone and sent the user back here, still holding it.
    world.fakes.account->setLoginInfo(accountLogin("u-dead"));
    world.ui.state->setLoginInfo(accountLogin("u-dead"));
    world.router().setRoot(Route::login);
    std::string registeredAs;
    world.fakes.account->script.onCall("registerAccount", [&] {
      registeredAs = world.fakes.account->userId();
      world.fakes.account->setLoginInfo(accountLogin("u-new"));
    });
    if (c.guestSlow) service.guestGate->close();

    LoginModel page(&world.context, nullptr);
    // The mail domains a registration is checked against come from the service on a worker and
    // are applied later, with a change of the suggestions.
    QSignalSpy listed(&page, &LoginModel::suggestionsChanged);
    ASSERT_TRUE(waitFor([&] { return listed.count() > 0; }));
    page.appear();
    if (c.guestSlow) {
      ASSERT_TRUE(reached(service.guestGate));
    } else {
      ASSERT_TRUE(waitFor([&] { return world.ui.state->loginInfo().user.id == "u-guest"; }));
    }
    page.switchType();
    page.setAccount(QStringLiteral("ann@gmail.com"));
    page.setPassword(QStringLiteral("secret1"));
    page.submit();
    if (c.guestSlow) {
      spin(100);
      EXPECT_EQ(world.fakes.account->script.count("registerAccount"), 0u) << "it waits for the guest";
      service.guestGate->open();
    }
    ASSERT_TRUE(waitFor([&] { return world.router().root().kind() == Route::main; }))
        << world.toastText().toStdString();
    EXPECT_EQ(registeredAs, "u-guest");
    EXPECT_EQ(world.ui.state->loginInfo().user.id, "u-new");
    EXPECT_FALSE(world.loadingShown());
  }
}

// A registration sends the form as it passed the checks, whatever the fields became while it
// waited: for the guest sign-in under the overlay, or for the user to confirm an unfamiliar
// address (the dialog names the address it will register).
TEST(SignInOrder, ARegistrationSendsTheFormItChecked) {
  struct Case {
    const char* name;
    const char* account;
    bool guestHeld;
  };
  for (const Case c : {Case{"while the guest signs in", "ann@gmail.com", true},
                       Case{"while the address is confirmed", "ann@mail.example", false}}) {
    SCOPED_TRACE(c.name);
    AccountWorld world;
    SignInService service(world);
    world.router().setRoot(Route::login);
    world.fakes.account->script.onCall("registerAccount",
                                       [&] { world.fakes.account->setLoginInfo(accountLogin("u-new")); });
    if (c.guestHeld) service.guestGate->close();
    LoginModel page(&world.context, nullptr);
    QSignalSpy listed(&page, &LoginModel::suggestionsChanged);
    ASSERT_TRUE(waitFor([&] { return listed.count() > 0; }));
    page.appear();
    if (c.guestHeld) {
      ASSERT_TRUE(reached(service.guestGate));
    } else {
      ASSERT_TRUE(waitFor([&] { return world.ui.state->loginInfo().user.id == "u-guest"; }));
    }
    page.switchType();
    page.switchPlan();
    page.setCode(QStringLiteral("PROMO"));
    page.setAccount(QString::fromLatin1(c.account));
    page.setPassword(QStringLiteral("secret1"));
    page.submit();
    ASSERT_EQ(world.dialog().isShow(), !c.guestHeld);

    page.setAccount(QStringLiteral("x"));
    page.setPassword(QStringLiteral("12345678901234567890"));
    page.setCode(QStringLiteral("OTHER"));
    page.switchPlan();
    if (c.guestHeld) {
      spin(50);
      service.guestGate->open();
    } else {
      world.dialog().press(0);
    }
    ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "registerAccount", 1));
    EXPECT_EQ(world.fakes.account->script.calls("registerAccount")[0].arguments,
              (std::vector<std::string>{c.account, "secret1", "PROMO", "true"}));
    EXPECT_TRUE(waitFor([&] { return world.router().root().kind() == Route::main && !world.loadingShown(); }));
  }
}

TEST(SignInOrder, AGuestSignInThatFailsBeforeARegistrationSendsNoRegistration) {
  AccountWorld world;
  world.fakes.account->setLoginInfo(accountLogin("u-dead"));
  world.ui.state->setLoginInfo(accountLogin("u-dead"));
  world.router().setRoot(Route::login);
  world.fakes.account->script.answer<ServiceError>("login", APIErrorInfo::make(-1, "network error."));
  LoginModel page(&world.context, nullptr);
  QSignalSpy listed(&page, &LoginModel::suggestionsChanged);
  ASSERT_TRUE(waitFor([&] { return listed.count() > 0; }));
  page.switchType();
  page.setAccount(QStringLiteral("ann@gmail.com"));
  page.setPassword(QStringLiteral("secret1"));
  page.submit();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("network error."); }));
  EXPECT_EQ(world.fakes.account->script.count("registerAccount"), 0u);
  EXPECT_FALSE(world.loadingShown());
  // The form can be sent again.
  world.fakes.account->script.answer<ServiceError>("login", nullptr);
  world.fakes.account->script.onCall("login", [&] { world.fakes.account->setLoginInfo(guestLogin()); });
  page.submit();
  EXPECT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "registerAccount", 1));
}

TEST(SignInOrder, ARefusalForTheDeviceLimitOutlivesThePageOfAnEarlierOne) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  auto refusal = [](const char* id) {
    auto error = APIErrorInfo::make(3303, "too many devices");
    tarnel::Devices device;
    device.device_id = id;
    error->devices = std::vector<tarnel::Devices>{device};
    return error;
  };
  world.fakes.account->script.enqueue<ServiceError>("login", refusal("first"));
  world.fakes.account->script.enqueue<ServiceError>("login", refusal("second"));
  LoginModel page(&world.context, nullptr);
  page.setAccount(QStringLiteral("me@example.test"));
  page.setPassword(QStringLiteral("secret1"));
  page.submit();
  ASSERT_TRUE(waitFor([&] { return world.router().topName() == QStringLiteral("devices"); }));
  auto firstPage = std::make_unique<DeviceListModel>(&world.context, nullptr);
  firstPage->appear();
  // Back, and a second refusal before the first device page has gone.
  world.router().back();
  ASSERT_TRUE(waitFor([&] { return world.router().depth() == 0; }));
  page.submit();
  ASSERT_TRUE(waitFor([&] { return world.router().topName() == QStringLiteral("devices"); }));
  ASSERT_EQ(world.devices.devices().size(), 1u);
  EXPECT_EQ(world.devices.devices()[0].device_id, "second");
  firstPage.reset();
  EXPECT_TRUE(world.devices.isLogin()) << "the second refusal's list stays for its own page";
  ASSERT_EQ(world.devices.devices().size(), 1u);
  EXPECT_EQ(world.devices.devices()[0].device_id, "second");
}

TEST(SignInForm, ASecondReturnUnderTheOverlayStartsNoSecondSignIn) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  const std::unique_ptr<FakeGate, void (*)(FakeGate*)> release(gate.get(), [](FakeGate* g) { g->open(); });
  world.fakes.account->script.gate("login", gate);
  world.fakes.account->script.answer<ServiceError>("login", APIErrorInfo::make(3302, "wrong password"));
  LoginModel page(&world.context, nullptr);
  page.setAccount(QStringLiteral("me@example.test"));
  page.setPassword(QStringLiteral("secret1"));
  page.submit();
  ASSERT_TRUE(reached(gate));
  ASSERT_TRUE(world.loadingShown());
  page.submit();
  page.submit();
  spin(100);
  gate->open();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("wrong password"); }));
  spin(100);
  EXPECT_EQ(world.fakes.account->script.count("login"), 1u);
  // Once the answer is in, the form sends again.
  page.submit();
  EXPECT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "login", 2));
}

TEST(SignInForm, PasswordLengthsAreCountedInCharacters) {
  const QString face = QString::fromUcs4(U"\U0001F600");  // two UTF-16 units, one character
  struct Case {
    const char* name;
    QString password;
    bool accepted;
  };
  const Case cases[] = {
      {"five faces: ten units but five characters", face.repeated(5), false},
      {"six faces", face.repeated(6), true},
      {"nine faces: eighteen units but nine characters", face.repeated(9), true},
      {"sixteen faces", face.repeated(16), true},
      {"seventeen faces", face.repeated(17), false},
      {"sixteen letters with an accent", QStringLiteral("pässwörd-pässwör"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AccountWorld world;
    world.router().setRoot(Route::login);
    world.fakes.account->script.answer<ServiceError>("login", APIErrorInfo::make(3302, "wrong password"));
    LoginModel page(&world.context, nullptr);
    page.setAccount(QStringLiteral("me@example.test"));
    page.setPassword(c.password);
    page.submit();
    if (c.accepted) {
      EXPECT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "login", 1));
      EXPECT_TRUE(waitFor([&] { return !world.loadingShown(); }));
    } else {
      EXPECT_EQ(world.toastText(), QStringLiteral("input_password_error"));
      spin(20);
      EXPECT_EQ(world.fakes.account->script.count("login"), 0u);
    }
  }
}

}  // namespace
}  // namespace lumora::test
