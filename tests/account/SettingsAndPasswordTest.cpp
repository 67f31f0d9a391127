// The settings page, the change-password page and the feedback page over the fakes.
#include <gtest/gtest.h>

#include "services/common/StoreKeys.h"
#include "tests/shell/AccountWorld.h"
#include "ui/account/PasswordPages.h"
#include "ui/account/SettingsModel.h"
#include "ui/base/Feedback.h"

namespace lumora::test {
namespace {

using tarnel::APIErrorInfo;

tarnel::Login member(const std::string& ownCode, const std::string& inviter = "") {
  tarnel::Login login = accountLogin("u-9");
  login.user.code = ownCode;
  login.user.pcode = inviter;
  return login;
}

void signIn(AccountWorld& world, const tarnel::Login& login) {
  world.fakes.account->setLoginInfo(login);
  world.ui.state->setLoginInfo(login);
}

TEST(Settings, RowsReadTheAppStateAndTheSwitchAndChoicesReachTheStore) {
  AccountWorld world;
  signIn(world, member("OWN1"));
  SettingsModel page(&world.context, nullptr);
  EXPECT_EQ(page.invitee(), localized(QStringLiteral("Unbound")));
  EXPECT_TRUE(page.canBind());

  world.ui.state->setSmartRoute(true);
  world.ui.state->setConnectProtocol(tarnel::VPNProtocol::AUTO);
  world.ui.state->setTunnelMode(false);
  const QString automatic = localized(QStringLiteral("Automatic"));
  EXPECT_EQ(page.connectionSummary(),
            localized(QStringLiteral("smart")) + "/" + automatic + "/" + localized(QStringLiteral("normal")));
  world.ui.state->setSmartRoute(false);
  world.ui.state->setTunnelMode(true);
  EXPECT_EQ(page.connectionSummary(),
            localized(QStringLiteral("global")) + "/" + automatic + "/" + localized(QStringLiteral("tunnel")));

  EXPECT_EQ(SettingsModel::closeChoices(),
            (QStringList{QStringLiteral("hide"), QStringLiteral("hideWindowAndDockIcon"), QStringLiteral("exit")}));
  // The page's drop-down and switch write through the app state's setters, which store them.
  world.ui.state->setProperty("closeEvent", QStringLiteral("exit"));
  world.ui.state->setProperty("checkConnection", false);
  const auto stored = world.fakes.settings->values();
  ASSERT_TRUE(stored.count(tarnel::StoreKeys::CLOSE_EVENT));
  EXPECT_EQ(stored.at(tarnel::StoreKeys::CLOSE_EVENT).string(), "exit");
  ASSERT_TRUE(stored.count(tarnel::StoreKeys::CHECK_CONNECTION));
  EXPECT_EQ(stored.at(tarnel::StoreKeys::CHECK_CONNECTION).boolean(), false);

  signIn(world, member("OWN1", "INV7"));
  EXPECT_EQ(page.invitee(), QStringLiteral("INV7"));
  EXPECT_FALSE(page.canBind());
}

TEST(Settings, InvitationChecksComeBeforeAnyRequest) {
  AccountWorld world;
  signIn(world, member("Ab12"));
  SettingsModel page(&world.context, nullptr);

  page.bindInvitation();
  EXPECT_EQ(world.toastText(), QStringLiteral("please enter the invitation code"));
  // The user's own code, in any letter case, is refused without a request or an event.
  for (const char* own : {"Ab12", "AB12", "ab12"}) {
    world.ui.toast.show(QString(), ToastType::info);
    page.setInvitation(QString::fromUtf8(own));
    page.bindInvitation();
    EXPECT_EQ(world.toastText(), QStringLiteral("Unable to bind your own invitation code")) << own;
  }
  spin(30);
  EXPECT_EQ(world.fakes.account->script.count("bindInvitationCode"), 0u);
  EXPECT_EQ(world.fakes.account->script.count("getShareInfo"), 0u);
  EXPECT_TRUE(world.events().empty());
}

TEST(Settings, UnknownOwnCodeIsFetchedFirstThenTheBindStoresTheInviter) {
  AccountWorld world;
  signIn(world, member(""));
  // The share information brings the user's own code into the held login.
  world.fakes.account->script.onCall("getShareInfo", [&] {
    world.fakes.account->modifyLoginInfo([](tarnel::Login& login) { login.user.code = "MINE"; });
  });
  SettingsModel page(&world.context, nullptr);
  world.ui.dialog.showContent(DialogContent::fromText(QStringLiteral("invitation")));

  page.setInvitation(QStringLiteral("mine"));
  page.bindInvitation();
  ASSERT_TRUE(waitFor([&] { return !world.toastText().isEmpty(); }));
  EXPECT_EQ(world.toastText(), QStringLiteral("Unable to bind your own invitation code"));
  EXPECT_EQ(world.ui.state->loginInfo().user.code, "MINE");
  EXPECT_TRUE(world.ui.dialog.isShow());

  // A refused bind shows the service's text and changes nothing.
  world.ui.toast.show(QString(), ToastType::info);
  world.fakes.account->script.enqueue<ServiceError>("bindInvitationCode", APIErrorInfo::make(4001, "no such code"));
  page.setInvitation(QStringLiteral("FRIEND"));
  page.bindInvitation();
  ASSERT_TRUE(waitFor([&] { return !world.toastText().isEmpty(); }));
  EXPECT_EQ(world.toastText(), QStringLiteral("no such code"));
  EXPECT_EQ(page.invitee(), localized(QStringLiteral("Unbound")));
  EXPECT_TRUE(world.ui.dialog.isShow());

  page.bindInvitation();
  ASSERT_TRUE(waitFor([&] { return !world.ui.dialog.isShow(); }));
  EXPECT_EQ(page.invitee(), QStringLiteral("FRIEND"));
  EXPECT_EQ(world.fakes.account->loginInfo().user.pcode, "FRIEND") << "the held login is stored too";
  EXPECT_EQ(world.fakes.account->script.count("getShareInfo"), 1u) << "the own code is known after the first fetch";
  EXPECT_EQ(world.events(), (std::vector<std::string>{"MENU_ACCOUNT_CENTER", "MENU_ACCOUNT_CENTER"}));
}

struct PasswordCase {
  const char* name;
  const char* old;
  const char* password;
  const char* confirm;
  const char* toast;  // empty: the checks pass
};

TEST(ChangePassword, ChecksRunInOrderAndStopAtTheFirstFailure) {
  const PasswordCase cases[] = {
      {"all empty", "", "", "", "Old password"},
      {"no new", "old", "", "", "New password"},
      {"no repetition", "old", "abcdef", "", "Confirm password"},
      {"five", "old", "abcde", "abcde", "input_password_error"},
      {"seventeen", "old", "abcdefghijklmnopq", "abcdefghijklmnopq", "input_password_error"},
      {"length before mismatch", "old", "abc", "xyz", "input_password_error"},
      {"mismatch", "old", "abcdef", "abcdeg", "Inconsistent passwords"},
      {"six", "o", "abcdef", "abcdef", ""},
      {"sixteen", "o", "abcdefghijklmnop", "abcdefghijklmnop", ""},
      {"six wide characters", "o", "密码密码密码", "密码密码密码", ""},
  };
  AccountWorld world;
  ChangePasswordModel page(&world.context, nullptr);
  for (const auto& c : cases) {
    page.setFields(QString::fromUtf8(c.old), QString::fromUtf8(c.password), QString::fromUtf8(c.confirm));
    EXPECT_EQ(page.check(), QString::fromUtf8(c.toast)) << c.name;
  }
}

TEST(ChangePassword, SuccessGoesBackOneAndAFailureKeepsThePage) {
  AccountWorld world;
  world.router().setRoot(Route::main);
  world.router().push(Route::settings);
  world.router().push(Route::changePWD);
  ChangePasswordModel page(&world.context, nullptr);
  page.setFields(QStringLiteral("old-secret"), QStringLiteral("new-secret"), QStringLiteral("new-secret"));

  world.fakes.account->script.enqueue<ServiceError>("changePassword", APIErrorInfo::make(4003, "wrong password"));
  page.confirm();
  ASSERT_TRUE(waitFor([&] { return !world.toastText().isEmpty(); }));
  EXPECT_EQ(world.toastText(), QStringLiteral("wrong password"));
  EXPECT_FALSE(world.loadingShown());
  EXPECT_EQ(world.router().depth(), 2);

  page.confirm();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("Password changed successfully"); }));
  EXPECT_EQ(world.ui.toast.type(), ToastType::success);
  ASSERT_TRUE(waitFor([&] { return world.router().depth() == 1; }));
  EXPECT_EQ(world.router().topName(), QStringLiteral("settings"));
  EXPECT_EQ(world.fakes.account->script.calls("changePassword")[1].arguments,
            (std::vector<std::string>{"old-secret", "new-secret"}));
}

// A change that the service confirms after the user opened another page over its page (the
// tray's "About" does) closes nothing else.
TEST(ChangePassword, ASuccessThatComesLateClosesNoOtherPage) {
  AccountWorld world;
  world.router().setRoot(Route::main);
  world.router().push(Route::settings);
  world.router().push(Route::changePWD);
  auto answer = std::make_shared<FakeGate>();
  answer->close();
  world.fakes.account->script.gate("changePassword", answer);
  ChangePasswordModel page(&world.context, nullptr);
  page.setFields(QStringLiteral("old-secret"), QStringLiteral("new-secret"), QStringLiteral("new-secret"));
  page.confirm();
  ASSERT_TRUE(answer->waitForVisits(1));
  world.router().push(Route::about);
  answer->open();
  ASSERT_TRUE(waitFor([&] { return world.toastText() == QStringLiteral("Password changed successfully"); }));
  EXPECT_EQ(standingPages(world.router()), (std::vector<Route>{Route::settings, Route::changePWD, Route::about}));
}

TEST(Feedback, EmptyTextSendsNothingAndOtherTextIsCleanedSentAndLeaves) {
  AccountWorld world;
  signIn(world, member("X"));
  world.router().setRoot(Route::main);
  world.router().push(Route::about);
  world.router().push(Route::feedback);
  FeedbackModel page(&world.context, nullptr);

  page.submit();
  EXPECT_TRUE(world.toastText().isEmpty());
  EXPECT_EQ(world.router().depth(), 2);

  page.setFeedback(QStringLiteral("  \n"));  // blanks count as text
  page.submit();
  page.setFeedback(QStringLiteral("say \"hi\" {x} a\\b é"));
  page.submit();
  EXPECT_EQ(world.toastText().left(29), QStringLiteral("Thank you for your feedback, "));
  EXPECT_EQ(world.ui.toast.type(), ToastType::success);
  EXPECT_EQ(world.events(), (std::vector<std::string>{"MENU_FEEDBACK_SUBMIT", "MENU_FEEDBACK_SUBMIT"}));
  const auto sent = world.fakes.cloudLog->script.calls("addFeedback");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].arguments, (std::vector<std::string>{"  \n", "me@example.test"}));
  EXPECT_EQ(sent[1].arguments, (std::vector<std::string>{"say 'hi' (x) a/b é", "me@example.test"}));
}

TEST(Feedback, TheUploadNeverHoldsTheGuiThread) {
  AccountWorld world;
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  world.fakes.cloudLog->script.gate("addFeedback", gate);
  FeedbackModel page(&world.context, nullptr);
  page.setFeedback(QStringLiteral("slow network"));
  page.submit();  // returns although the upload waits at the gate
  EXPECT_FALSE(world.toastText().isEmpty());
  gate->open();
  EXPECT_TRUE(world.fakes.logQueue->flush(std::chrono::seconds(30)));
  EXPECT_EQ(world.fakes.cloudLog->script.count("addFeedback"), 1u);
}

}  // namespace
}  // namespace lumora::test
