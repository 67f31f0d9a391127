// The sign-in page's model over the real account check and the service fakes: field checks in
// their order, the suggestion list, form kinds, sign-in, registration, reset, the code
// countdown, the guest sign-in on showing, and the links.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <memory>

#include "tests/shell/AccountWorld.h"
#include "ui/account/LoginModel.h"
#include "ui/base/Feedback.h"

namespace lumora::test {
namespace {

using tarnel::APIErrorInfo;
using Type = LoginModel::LoginType;

struct EmailCase {
  const char* text;
  bool valid;
};

class EmailCheck : public ::testing::TestWithParam<EmailCase> {};

TEST_P(EmailCheck, AcceptsOnlyWholeAddressesOfSixCharactersOrMore) {
  EXPECT_EQ(LoginModel::isValidEmail(QString::fromUtf8(GetParam().text)), GetParam().valid) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, EmailCheck,
    ::testing::Values(EmailCase{"a@b.cd", true},             // exactly six, two-letter domain
                      EmailCase{"a@b.c", false},             // one-letter domain, five characters
                      EmailCase{"ab@cd.e", false},           // one-letter domain
                      EmailCase{"ann@mail.email", true},     // five letters
                      EmailCase{"ann@mail.travel", true},    // six letters
                      EmailCase{"ann@example.photography", true},
                      EmailCase{"a.b_c%d+e-f@sub.mail.org", true},
                      EmailCase{"ann@mail.c0m", false},      // the domain ends in letters only
                      EmailCase{"ann@@mail.com", false},
                      EmailCase{"annmail.com", false},
                      EmailCase{"ann b@mail.com", false},
                      EmailCase{" ann@mail.com", false},
                      EmailCase{"ann@mail.com\n", false},    // a line break after the address
                      EmailCase{"ann@mail.com ", false},
                      EmailCase{"", false}));

struct SuggestionCase {
  const char* name;
  Type type;
  const char* account;
  QStringList history;
  QStringList expected;
};

class Suggestions : public ::testing::TestWithParam<SuggestionCase> {};

TEST_P(Suggestions, FollowTheHistoryThenTheMailDomains) {
  const auto& c = GetParam();
  const QStringList suffixes{QStringLiteral("gmail.com"), QStringLiteral("a.com")};
  EXPECT_EQ(LoginModel::suggestionsFor(c.type, QString::fromUtf8(c.account), c.history, suffixes), c.expected);
}

const QStringList kHistory{QStringLiteral("ann@a.com"), QStringLiteral("bob@b.com")};

INSTANTIATE_TEST_SUITE_P(
    Lists, Suggestions,
    ::testing::Values(
        SuggestionCase{"EmptyShowsTheWholeHistory", Type::login, "", kHistory, kHistory},
        SuggestionCase{"PartOfAnEarlierAccount", Type::login, "ann", kHistory, {"ann@a.com"}},
        SuggestionCase{"ResetFormUsesTheHistoryToo", Type::forget, "b@", kHistory, {"bob@b.com"}},
        // The full address is no suggestion of itself: completion takes over.
        SuggestionCase{"FullAddressFallsThrough", Type::login, "ann@a.com", kHistory, {"ann@a.com"}},
        SuggestionCase{"NoMatchWithoutAtIsEmpty", Type::login, "zed", kHistory, {}},
        SuggestionCase{"NoMatchWithAtCompletes", Type::login, "zed@g", kHistory, {"zed@gmail.com"}},
        SuggestionCase{"SubstringsAreCaseSensitive", Type::login, "ANN", kHistory, {}},
        SuggestionCase{"RegistrationIgnoresTheHistory", Type::register_singl, "ann", kHistory,
                       {"ann@gmail.com", "ann@a.com"}},
        SuggestionCase{"RegistrationWithNothingTyped", Type::register_multiple, "", kHistory, {}},
        SuggestionCase{"NoHistoryCompletes", Type::login, "jo", {}, {"jo@gmail.com", "jo@a.com"}},
        SuggestionCase{"OnlyAtSigns", Type::register_singl, "@@@", {}, {}},
        SuggestionCase{"OnlyAtSignsWithHistory", Type::login, "@@", kHistory, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SignInForm, KindSwitchesKeepTheFieldsAndClearTheCodeOnlyOnTheLink) {
  AccountWorld world;
  LoginModel page(&world.context, nullptr);
  page.setAccount(QStringLiteral("ann@a.com"));
  page.setPassword(QStringLiteral("secret1"));
  struct Step {
    void (LoginModel::*action)();
    const char* codeBefore;  // typed before the step
    Type type;
    const char* codeAfter;
  };
  const std::vector<Step> steps{
      {&LoginModel::switchPlan, "P1", Type::login, "P1"},  // no plan switch on the sign-in form
      {&LoginModel::switchType, "P1", Type::register_singl, ""},
      {&LoginModel::switchPlan, "PROMO", Type::register_multiple, "PROMO"},  // the promoter code goes along
      {&LoginModel::switchPlan, "PROMO", Type::register_singl, "PROMO"},
      {&LoginModel::switchType, "PROMO", Type::login, ""},
      {&LoginModel::retrievePassword, "4711", Type::forget, "4711"},
      {&LoginModel::switchType, "4711", Type::login, ""},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    page.setCode(QString::fromUtf8(steps[i].codeBefore));
    (page.*steps[i].action)();
    EXPECT_EQ(page.loginType(), steps[i].type) << "step " << i;
    EXPECT_EQ(page.code(), QString::fromUtf8(steps[i].codeAfter)) << "step " << i;
  }
  EXPECT_EQ(page.account(), QStringLiteral("ann@a.com"));
  EXPECT_EQ(page.password(), QStringLiteral("secret1"));
}

TEST(SignInForm, FocusOpensTheListUntilTheAccountIsFinished) {
  AccountWorld world;
  LoginModel page(&world.context, nullptr);
  page.accountFocusChanged();
  EXPECT_TRUE(page.showHistory());
  page.toggleHistory();
  EXPECT_FALSE(page.showHistory());
  page.pickSuggestion(QStringLiteral("bob@b.com"));
  EXPECT_EQ(page.account(), QStringLiteral("bob@b.com"));
  EXPECT_TRUE(page.accountComplete());
  page.accountFocusChanged();
  EXPECT_FALSE(page.showHistory()) << "a finished account no longer opens the list on focus";
  page.toggleHistory();
  EXPECT_TRUE(page.showHistory()) << "the chevron still opens it";
}

TEST(SignInForm, ListsComeFromTheAccountService) {
  AccountWorld world;
  world.fakes.account->script.answer<std::vector<std::string>>("historyAccount", {"ann@a.com"});
  world.fakes.account->script.answer<std::vector<std::string>>("emailSuffix", {"mail.test"});
  LoginModel page(&world.context, nullptr);
  ASSERT_TRUE(waitFor([&] { return !page.suggestions().isEmpty(); }));
  EXPECT_EQ(page.suggestions(), QStringList{"ann@a.com"});
  page.setAccount(QStringLiteral("zed@"));
  EXPECT_EQ(page.suggestions(), QStringList{"zed@mail.test"});
}

struct SubmitCase {
  const char* name;
  Type type;
  const char* account;
  const char* password;
  const char* code;
  bool agree;
  const char* toast;  // "" for none
  ToastType toastType;
  const char* call;   // the account call made, "" for none
  const char* then = "";  // the account call that follows it in the same submission
};

class SubmitChecks : public ::testing::TestWithParam<SubmitCase> {};

TEST_P(SubmitChecks, StopAtTheFirstFailingCheck) {
  const auto& c = GetParam();
  AccountWorld world;
  // The guest that the page's showing signs in is there already.
  world.fakes.account->setLoginInfo(guestLogin());
  world.ui.state->setLoginInfo(guestLogin());
  world.fakes.account->script.answer<std::vector<std::string>>("emailSuffix", {"mail.test"});
  LoginModel page(&world.context, nullptr);
  // The mail domains a registration is checked against come from the service on a worker and
  // are applied later, with a change of the suggestions.
  QSignalSpy listed(&page, &LoginModel::suggestionsChanged);
  ASSERT_TRUE(waitFor([&] { return listed.count() > 0; }));
  if (c.type == Type::register_singl) page.switchType();
  if (c.type == Type::forget) page.retrievePassword();
  page.setAccount(QString::fromUtf8(c.account));
  page.setPassword(QString::fromUtf8(c.password));
  page.setCode(QString::fromUtf8(c.code));
  page.setAgree(c.agree);

  page.submit();
  if (*c.call) {
    ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, c.call));
    // The overlay goes when the submission is over, with what follows the call.
    ASSERT_TRUE(waitFor([&] { return !world.loadingShown(); }));
  } else {
    spin(50);
  }
  EXPECT_EQ(world.toastText(), QString::fromUtf8(c.toast));
  if (*c.toast) {
    EXPECT_EQ(world.ui.toast.type(), c.toastType);
  }
  for (const char* call : {"login", "registerAccount", "forgetPassword"}) {
    const bool made = std::string(call) == c.call || std::string(call) == c.then;
    EXPECT_EQ(world.fakes.account->script.count(call), made ? 1u : 0u) << call;
  }
  EXPECT_FALSE(world.dialog().isShow());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SubmitChecks,
    ::testing::Values(
        SubmitCase{"BadAddress", Type::login, "ann@mail", "secret1", "", true, "input_email_error", ToastType::error, ""},
        SubmitCase{"ShortAddress", Type::login, "a@b.c", "secret1", "", true, "input_email_error", ToastType::error, ""},
        SubmitCase{"FivePasswordCharacters", Type::login, "ann@mail.test", "12345", "", true, "input_password_error",
                   ToastType::info, ""},
        SubmitCase{"SeventeenPasswordCharacters", Type::login, "ann@mail.test", "12345678901234567", "", true,
                   "input_password_error", ToastType::info, ""},
        SubmitCase{"SixPasswordCharacters", Type::login, "ann@mail.test", "123456", "", true, "", ToastType::info, "login"},
        SubmitCase{"SixteenPasswordCharacters", Type::login, "ann@mail.test", "1234567890123456", "", true, "",
                   ToastType::info, "login"},
        SubmitCase{"ResetWithoutCodeAfterTheOtherChecks", Type::forget, "ann@mail.test", "secret1", "", true,
                   "please enter verification code", ToastType::error, ""},
        SubmitCase{"ResetChecksTheAddressFirst", Type::forget, "ann", "1", "", true, "input_email_error",
                   ToastType::error, ""},
        SubmitCase{"ResetWithCode", Type::forget, "ann@mail.test", "secret1", "4711", true, "", ToastType::info,
                   "forgetPassword", "login"},
        SubmitCase{"RegistrationWithoutAgreement", Type::register_singl, "ann@mail.test", "secret1", "", false,
                   "tip_please_read", ToastType::error, ""},
        SubmitCase{"RegistrationOnAKnownDomain", Type::register_singl, "ann@mail.test", "secret1", "", true, "",
                   ToastType::info, "registerAccount"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SignIn, SuccessGoesHomeRecordsTheEventAndUncoversTheWindow) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  world.fakes.account->script.onCall("login", [&] { world.fakes.account->setLoginInfo(accountLogin("u-7")); });
  LoginModel page(&world.context, nullptr);
  page.setAccount(QStringLiteral("me@example.test"));
  page.setPassword(QStringLiteral("secret1"));
  page.submit();
  EXPECT_TRUE(world.loadingShown());
  ASSERT_TRUE(waitFor([&] { return world.router().root().kind() == Route::main; }));
  ASSERT_TRUE(waitFor([&] { return !world.loadingShown(); }));
  const auto calls = world.fakes.account->script.calls("login");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].arguments, (std::vector<std::string>{"me@example.test", "secret1", "0", ""}));
  EXPECT_EQ(world.ui.state->loginInfo().user.id, "u-7");
  EXPECT_EQ(world.events(), std::vector<std::string>{"LOG_IN"});
}

struct RefusalCase {
  const char* name;
  bool withDevices;
};

class DeviceLimit : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(DeviceLimit, HandsTheDevicesToTheDeviceListWithoutAToast) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  auto refusal = APIErrorInfo::make(3303, "too many devices");
  if (GetParam().withDevices) {
    tarnel::Devices one;
    one.device_id = "d-1";
    one.device_name = "laptop";
    tarnel::Devices two;
    two.device_id = "d-2";
    refusal->devices = std::vector<tarnel::Devices>{one, two};
  }
  world.fakes.account->script.answer<ServiceError>("login", refusal);
  LoginModel page(&world.context, nullptr);
  page.setAccount(QStringLiteral("me@example.test"));
  page.setPassword(QStringLiteral("secret1"));
  page.submit();
  ASSERT_TRUE(waitFor([&] { return world.router().topName() == QStringLiteral("devices"); }));
  EXPECT_TRUE(world.devices.isLogin());
  ASSERT_EQ(world.devices.devices().size(), GetParam().withDevices ? 2u : 0u);
  if (GetParam().withDevices) {
    EXPECT_EQ(world.devices.devicesValue().at(0).toMap().value("device_name"), "laptop");
  }
  EXPECT_EQ(world.router().root().kind(), Route::login);
  EXPECT_FALSE(world.loadingShown());
  EXPECT_EQ(world.toastText(), QString());
  EXPECT_TRUE(world.events().empty());
}

INSTANTIATE_TEST_SUITE_P(Refusals, DeviceLimit,
                         ::testing::Values(RefusalCase{"WithDevices", true}, RefusalCase{"WithoutDevices", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SignIn, OtherRefusalsShowTheServiceMessage) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  world.fakes.account->script.answer<ServiceError>("login", APIErrorInfo::make(3302, "wrong password"));
  LoginModel page(&world.context, nullptr);
  page.setAccount(QStringLiteral("me@example.test"));
  page.setPassword(QStringLiteral("secret1"));
  page.submit();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("wrong password"); }));
  EXPECT_EQ(world.ui.toast.type(), ToastType::error);
  EXPECT_FALSE(world.loadingShown());
  EXPECT_EQ(world.router().depth(), 0);
  EXPECT_EQ(page.account(), QStringLiteral("me@example.test")) << "the form keeps its contents";
}

struct RegistrationCase {
  const char* name;
  bool several;
};

class Registration : public ::testing::TestWithParam<RegistrationCase> {};

TEST_P(Registration, SendsThePlanAndTheCodeAndGoesHome) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  world.fakes.account->script.onCall("registerAccount",
                                     [&] { world.fakes.account->setLoginInfo(accountLogin("u-new")); });
  LoginModel page(&world.context, nullptr);
  QSignalSpy listed(&page, &LoginModel::suggestionsChanged);
  ASSERT_TRUE(waitFor([&] { return listed.count() > 0; }));
  page.switchType();
  page.setCode(QStringLiteral("PROMO"));
  if (GetParam().several) page.switchPlan();
  page.setAccount(QStringLiteral("ann@gmail.com"));
  page.setPassword(QStringLiteral("secret1"));
  page.submit();
  ASSERT_TRUE(waitFor([&] { return world.router().root().kind() == Route::main; }));
  const auto calls = world.fakes.account->script.calls("registerAccount");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].arguments,
            (std::vector<std::string>{"ann@gmail.com", "secret1", "PROMO", GetParam().several ? "true" : "false"}));
  EXPECT_EQ(world.ui.state->loginInfo().user.id, "u-new");
  EXPECT_FALSE(world.loadingShown());
  EXPECT_EQ(world.events(), std::vector<std::string>{"SIGN_UP"});
}

INSTANTIATE_TEST_SUITE_P(Plans, Registration,
                         ::testing::Values(RegistrationCase{"OneDevice", false}, RegistrationCase{"SeveralDevices", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Registration, AnUnlistedDomainIsConfirmedFirst) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  LoginModel page(&world.context, nullptr);
  QSignalSpy listed(&page, &LoginModel::suggestionsChanged);
  ASSERT_TRUE(waitFor([&] { return listed.count() > 0; }));
  page.switchType();
  // A listed domain typed in capitals is no exact match either.
  page.setAccount(QStringLiteral("ann@GMAIL.com"));
  page.setPassword(QStringLiteral("secret1"));

  page.submit();
  ASSERT_TRUE(world.dialog().isShow());
  EXPECT_EQ(world.dialog().text(), localized(QStringLiteral("txt_confirm_email")).arg(QStringLiteral("ann@GMAIL.com")));
  EXPECT_TRUE(world.dialog().showClose());
  world.dialog().close();  // closing registers nothing
  spin(30);
  EXPECT_EQ(world.fakes.account->script.count("registerAccount"), 0u);

  page.submit();
  ASSERT_EQ(world.dialog().buttons().size(), 1u);
  world.dialog().press(0);
  EXPECT_FALSE(world.dialog().isShow());
  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "registerAccount", 1));
  ASSERT_TRUE(waitFor([&] { return world.router().root().kind() == Route::main; }));
}

TEST(Registration, ARefusalShowsTheServiceMessageAndStays) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  world.fakes.account->script.answer<ServiceError>("registerAccount", APIErrorInfo::make(3201, "address taken"));
  LoginModel page(&world.context, nullptr);
  QSignalSpy listed(&page, &LoginModel::suggestionsChanged);
  ASSERT_TRUE(waitFor([&] { return listed.count() > 0; }));
  page.switchType();
  page.setAccount(QStringLiteral("ann@gmail.com"));
  page.setPassword(QStringLiteral("secret1"));
  page.submit();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("address taken"); }));
  EXPECT_EQ(world.router().root().kind(), Route::login);
  EXPECT_FALSE(world.loadingShown());
  EXPECT_TRUE(world.events().empty());
}

TEST(PasswordReset, SignsInWithTheNewPasswordUnderOneOverlay) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  world.fakes.account->script.gate("login", gate);
  world.fakes.account->script.onCall("login", [&] { world.fakes.account->setLoginInfo(accountLogin("u-3")); });
  LoginModel page(&world.context, nullptr);
  page.retrievePassword();
  page.setAccount(QStringLiteral("ann@mail.test"));
  page.setPassword(QStringLiteral("newpass1"));
  page.setCode(QStringLiteral("4711"));
  page.submit();

  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "login", 1));
  spin(30);
  EXPECT_TRUE(world.loadingShown()) << "the overlay stays while the new password signs in";
  gate->open();
  ASSERT_TRUE(waitFor([&] { return world.router().root().kind() == Route::main && !world.loadingShown(); }));
  EXPECT_EQ(world.fakes.account->script.calls("forgetPassword")[0].arguments,
            (std::vector<std::string>{"ann@mail.test", "newpass1", "4711"}));
  EXPECT_EQ(world.fakes.account->script.calls("login")[0].arguments,
            (std::vector<std::string>{"ann@mail.test", "newpass1", "0", ""}));
  EXPECT_EQ(world.events(), (std::vector<std::string>{"REGISTER_PASSWORD_CHANGE", "LOG_IN"}));
}

TEST(PasswordReset, ARefusalSignsNothingIn) {
  AccountWorld world;
  world.fakes.account->script.answer<ServiceError>("forgetPassword", APIErrorInfo::make(3105, "wrong code"));
  LoginModel page(&world.context, nullptr);
  page.retrievePassword();
  page.setAccount(QStringLiteral("ann@mail.test"));
  page.setPassword(QStringLiteral("newpass1"));
  page.setCode(QStringLiteral("0000"));
  page.submit();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("wrong code"); }));
  EXPECT_FALSE(world.loadingShown());
  EXPECT_EQ(world.fakes.account->script.count("login"), 0u);
  EXPECT_TRUE(world.events().empty());
}

TEST(ResetCode, CountsDownFromTwoMinutesAndIgnoresTapsMeanwhile) {
  AccountWorld world;
  LoginModel page(&world.context, nullptr);
  page.retrievePassword();

  page.setAccount(QStringLiteral("ann@mail"));
  page.requestCode();
  EXPECT_EQ(world.toastText(), QStringLiteral("input_email_error"));
  EXPECT_EQ(world.fakes.account->script.count("getVerificationCode"), 0u);

  // A failed request leaves the button as it was; the next tap asks again.
  world.fakes.account->script.enqueue<ServiceError>("getVerificationCode", APIErrorInfo::make(-1, "network error."));
  page.setAccount(QStringLiteral("ann@mail.test"));
  page.requestCode();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("network error."); }));
  EXPECT_FALSE(page.counting());

  page.requestCode();
  ASSERT_TRUE(waitFor([&] { return page.counting(); }));
  EXPECT_EQ(world.toastText(), QStringLiteral("verification_code_sent"));
  EXPECT_EQ(world.ui.toast.type(), ToastType::success);
  EXPECT_EQ(page.elapsedSeconds(), 120);
  EXPECT_EQ(world.fakes.account->script.calls("getVerificationCode")[1].arguments,
            (std::vector<std::string>{"ann@mail.test", "true"}));
  EXPECT_FALSE(world.loadingShown());

  page.requestCode();
  spin(30);
  EXPECT_EQ(world.fakes.account->script.count("getVerificationCode"), 2u);

  for (int i = 0; i < 119; ++i) page.countdown().tick();
  EXPECT_TRUE(page.counting());
  EXPECT_EQ(page.elapsedSeconds(), 1);
  page.countdown().tick();
  EXPECT_FALSE(page.counting());
}

TEST(ResetCode, TheCountdownRunsOutByItself) {
  AccountWorld world;
  LoginModel page(&world.context, nullptr, 2);
  page.retrievePassword();
  page.setAccount(QStringLiteral("ann@mail.test"));
  page.requestCode();
  ASSERT_TRUE(waitFor([&] { return page.counting(); }));
  ASSERT_TRUE(waitFor([&] { return !page.counting(); }));
  EXPECT_EQ(page.elapsedSeconds(), 0);
}

TEST(PageLifetime, ResultsAndCountdownsNeverReachAPageThatIsGone) {
  AccountWorld world;
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  world.fakes.account->script.gate("getVerificationCode", gate);
  auto page = std::make_unique<LoginModel>(&world.context, nullptr, 1);
  page->retrievePassword();
  page->setAccount(QStringLiteral("ann@mail.test"));
  page->requestCode();
  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "getVerificationCode", 1));
  page.reset();  // the user left while the request ran
  gate->open();
  // The app-wide part still lands; nothing is written to the gone page.
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("verification_code_sent"); }));
  EXPECT_FALSE(world.loadingShown());

  // A running countdown goes with its page.
  auto second = std::make_unique<LoginModel>(&world.context, nullptr, 1);
  second->retrievePassword();
  second->setAccount(QStringLiteral("ann@mail.test"));
  second->requestCode();
  ASSERT_TRUE(waitFor([&] { return second->counting(); }));
  second.reset();
  spin(50);
}

TEST(GuestSignIn, EveryShowingSignsInAGuestWhenNoAccountIsSignedIn) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  world.fakes.account->script.onCall("login", [&] { world.fakes.account->setLoginInfo(guestLogin()); });
  for (int showing = 1; showing <= 2; ++showing) {
    LoginModel page(&world.context, nullptr);
    page.appear();
    ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "login", showing));
    ASSERT_TRUE(waitFor([&] { return world.ui.state->loginInfo().user.id == "u-guest"; }));
    EXPECT_EQ(world.toastText(), QStringLiteral("Trying to log in automatically"));
    EXPECT_EQ(world.ui.toast.type(), ToastType::info);
    EXPECT_FALSE(world.loadingShown());
  }
  EXPECT_EQ(world.fakes.account->script.calls("login")[0].arguments,
            (std::vector<std::string>{"", "fjord", "0", ""}));
  EXPECT_EQ(world.router().root().kind(), Route::login);
}

TEST(GuestSignIn, AlsoReplacesAnAccountTheAccountCheckSentBackHere) {
  AccountWorld world;
  // An account whose status check was refused lands on the sign-in page still signed in.
  world.fakes.account->setLoginInfo(accountLogin("u-1"));
  world.ui.state->setLoginInfo(accountLogin("u-1"));
  world.router().setRoot(Route::login);
  world.fakes.account->script.onCall("login", [&] { world.fakes.account->setLoginInfo(guestLogin()); });
  LoginModel page(&world.context, nullptr);
  page.appear();
  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "login", 1));
  ASSERT_TRUE(waitFor([&] { return world.ui.state->loginInfo().user.id == "u-guest"; }));
  EXPECT_EQ(world.toastText(), QStringLiteral("Trying to log in automatically"));
  EXPECT_EQ(world.router().root().kind(), Route::login);
}

TEST(GuestSignIn, AFailureIsSilent) {
  AccountWorld world;
  world.router().setRoot(Route::login);
  world.fakes.account->script.answer<ServiceError>("login", APIErrorInfo::make(-1, "network error."));
  LoginModel page(&world.context, nullptr);
  page.appear();
  ASSERT_TRUE(AccountWorld::waitForCall(world.fakes.account->script, "login", 1));
  spin(50);
  EXPECT_EQ(world.toastText(), QStringLiteral("Trying to log in automatically"));
  EXPECT_FALSE(world.dialog().isShow());
}

TEST(SignInLinks, OpenOnlyWebAddressesAndSupportOnlyWithAWindow) {
  AccountWorld world;
  world.fakes.links->script.answer<std::string>("custom", "https://help.test/chat");
  world.fakes.links->script.answer<std::string>("privacyUrl", "https://site.test/privacy");
  world.fakes.links->script.answer<std::string>("serviceUrl", "file:///etc/passwd");
  LoginModel page(&world.context, nullptr);
  page.openSupport();
  page.openPrivacy();
  page.openTerms();  // not a web address: nothing opens
  EXPECT_EQ(world.browsed, (std::vector<QUrl>{QUrl("https://help.test/chat"), QUrl("https://site.test/privacy")}));

  world.windowShown = false;
  page.openSupport();
  EXPECT_EQ(world.browsed.size(), 2u);

  world.fakes.links->script.answer<std::string>("privacyUrl", "");  // discovery has not answered yet
  page.openPrivacy();
  EXPECT_EQ(world.browsed.size(), 2u);
  EXPECT_TRUE(world.events().empty());
}

}  // namespace
}  // namespace lumora::test
