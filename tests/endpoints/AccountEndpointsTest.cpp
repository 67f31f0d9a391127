// Account operations as the service receives them, and what they keep of the answers.
#include <gtest/gtest.h>

#include "services/common/Store.h"
#include "tests/endpoints/EndpointFixture.h"

namespace tarnel::test {
namespace {

using AccountEndpointsTest = EndpointTest;

struct WireCase {
  std::string name;
  std::function<std::shared_ptr<APIErrorInfo>()> call;
  ExpectedRequest expected;
};

TEST_F(AccountEndpointsTest, EachOperationSendsItsMethodPathQueryAndBody) {
  const WireJson device = expectedDevice();
  const std::vector<WireCase> cases = {
      {"guest sign-in",
       [] { return APIManager::login("", APIManager::kGuestPassword, 0, ""); },
       {"POST", "lite/users", {},
        WireJson{{"force", 0}, {"email", ""}, {"passwd", wire::passwordDigest("fjord")}, {"device", device}, {"code", ""}}}},
      {"sign-in with force and code",
       [] { return APIManager::login("a@b.test", "pässword", 1, "INV1"); },
       {"POST", "lite/users", {},
        WireJson{{"force", 1},
                 {"email", "a@b.test"},
                 {"passwd", wire::passwordDigest("pässword")},
                 {"device", device},
                 {"code", "INV1"}}}},
      {"sign-out of another device",
       [] { return APIManager::logout("u-9", "0badc0de"); },
       {"POST", "users/u-9/device/0badc0de", {}, WireJson{{"device", device}}}},
      {"registration",
       [] { return APIManager::registerAccount("new@b.test", "secret-1", "INV2", true); },
       {"PUT", "lite/users/u-7", {},
        WireJson{{"device", device},
                 {"email", "new@b.test"},
                 {"passwd", wire::passwordDigest("secret-1")},
                 {"code", "INV2"},
                 {"more_devices", true}}}},
      {"verification",
       [] { return APIManager::verify("654321"); },
       {"PUT", "lite/users/u-7", {}, WireJson{{"device", device}, {"email", kEmail}, {"vcode", "654321"}}}},
      {"code for a password reset",
       [] { return APIManager::getVerificationCode("x@y.test", true); },
       {"GET", "vcode/email", {{"forget", "1"}, {"email", "x@y.test"}}, std::nullopt}},
      {"code for a registration",
       [] { return APIManager::getVerificationCode("x@y.test", false); },
       {"GET", "vcode/email", {{"forget", "0"}, {"email", "x@y.test"}}, std::nullopt}},
      {"password reset",
       [] { return APIManager::forgetPassword("x@y.test", "new-pw", "1111"); },
       {"POST", "password/forget", {},
        WireJson{{"email", "x@y.test"}, {"passwd", wire::passwordDigest("new-pw")}, {"vcode", "1111"}}}},
      {"password change",
       [] { return APIManager::changePassword("old-pw", "new-pw"); },
       {"POST", "password/change", {},
        WireJson{{"email", kEmail},
                 {"old_passwd", wire::passwordDigest("old-pw")},
                 {"passwd", wire::passwordDigest("new-pw")}}}},
      {"invitation code",
       [] { return APIManager::bindInvitationCode("FRIEND"); },
       {"PUT", "lite/users/u-7", {}, WireJson{{"device", device}, {"code", "FRIEND"}}}},
      {"account removal",
       [] { return APIManager::delUser("pw-del"); },
       {"DELETE", "users/u-7", {}, WireJson{{"passwd", wire::passwordDigest("pw-del")}, {"device", device}}}},
      {"official token",
       [] {
         (void)APIManager::getOfficialToken();
         return std::shared_ptr<APIErrorInfo>();
       },
       {"GET", "lite/users/u-7/official-token", {}, std::nullopt}},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ApiTestBed::signIn(kUserId, kEmail);
    service().clearRequests();
    service().clearScripts();
    // A sign-in needs an account in its answer; the other operations take an empty one.
    service().script(c.expected.method, c.expected.path,
                     c.expected.path == "lite/users" ? Answer::model(wireLogin(kUserId, kEmail, 2))
                                                     : Answer::empty(204));
    const auto error = c.call();
    EXPECT_EQ(error, nullptr) << error->errCode << " " << error->errMsg;
    const auto seen = service().requests(ServiceRequest::Kind::api);
    ASSERT_EQ(seen.size(), 1u);
    expectRequest(seen.front(), c.expected, kUserId);
  }
}

TEST_F(AccountEndpointsTest, ServerRefusalsReachTheCallerUnchangedAndStoreNothing) {
  const Login before = Global::loginInfo();
  const std::vector<std::pair<std::string, std::function<std::shared_ptr<APIErrorInfo>()>>> calls = {
      {"sign-in", [] { return APIManager::login("a@b.test", "pw", 0, ""); }},
      {"sign-out", [] { return APIManager::logout(kUserId, "dev"); }},
      {"registration", [] { return APIManager::registerAccount("a@b.test", "pw", "", false); }},
      {"verification", [] { return APIManager::verify("1"); }},
      {"code", [] { return APIManager::getVerificationCode("a@b.test", false); }},
      {"reset", [] { return APIManager::forgetPassword("a@b.test", "pw", "1"); }},
      {"change", [] { return APIManager::changePassword("a", "b"); }},
      {"invitation", [] { return APIManager::bindInvitationCode("C"); }},
      {"removal", [] { return APIManager::delUser("pw"); }},
  };
  answerEverything(service(), Answer::error(3102, "账号错误\nwrong account", 400));
  Global::setLanguage("en");
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    const auto error = call();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->errCode, 3102);
    EXPECT_EQ(error->errMsg, "wrong account");
  }
  EXPECT_EQ(toJson(Global::loginInfo()), toJson(before));
}

TEST_F(AccountEndpointsTest, RegistrationReplacesOnlyMessageAndUser) {
  Global::modifyLoginInfo([](Login& login) {
    login.message = "old message";
    login.max_age = 77;
    login.countries = {Country{"JP", "Japan", {7}, 1}};
    login.tags = {Tag{7, "Streaming", "", "", 0}};
    login.other = fromJson<Other>(wireOther({{"country_version", "kept"}}).dump());
  });
  const WireJson registered = {{"message", "welcome"}, {"user", wireUser("u-8", "new@b.test")}};
  service().script("PUT", "lite/users/u-7", Answer::model(registered));

  ASSERT_EQ(APIManager::registerAccount("new@b.test", "pw", "", false), nullptr);

  const Login after = Global::loginInfo();
  EXPECT_EQ(after.message, "welcome");
  EXPECT_EQ(after.user.id, "u-8");
  EXPECT_EQ(after.user.email, "new@b.test");
  EXPECT_EQ(Global::userId(), "u-8");
  EXPECT_EQ(after.max_age, 77);
  ASSERT_EQ(after.countries.size(), 1u);
  EXPECT_EQ(after.countries[0].country, "JP");
  ASSERT_EQ(after.tags.size(), 1u);
  EXPECT_EQ(after.tags[0].id, 7);
  ASSERT_TRUE(after.other.has_value());
  EXPECT_EQ(after.other->country_version, "kept");
  // Persisted: a fresh read of the store holds the new user.
  const auto stored = Store::getValue(StoreKeys::USER_INFO);
  ASSERT_TRUE(stored && stored->string());
  EXPECT_EQ(WireJson::parse(*stored->string())["user"]["id"], "u-8");
}

struct TokenCase {
  std::string name;
  Answer answer;
  std::string token;
};

TEST_F(AccountEndpointsTest, OfficialTokenIsReadOnlyFromAnObjectOfTexts) {
  const std::vector<TokenCase> cases = {
      {"enciphered object", Answer::model({{"token", "T-1"}, {"kind", "web"}}), "T-1"},
      {"object sent plain", Answer::model({{"token", "T-2"}}).plain(), "T-2"},
      {"object with a number", Answer::model({{"token", "T-3"}, {"ttl", 60}}), ""},
      {"object without token", Answer::model({{"name", "T-4"}}), ""},
      {"a list", Answer::model(WireJson::array({"token", "T-5"})), ""},
      {"a bare text", Answer::model("T-6"), ""},
      {"not JSON", Answer::textBody("token=T-7"), ""},
      {"no body", Answer::empty(204), ""},
      {"service error", Answer::error(3001, "no", 400), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    service().clearScripts();
    service().script("GET", "lite/users/u-7/official-token", c.answer);
    EXPECT_EQ(APIManager::getOfficialToken(), c.token);
  }
}

TEST_F(AccountEndpointsTest, GuestsGetNoTokenAndSendNothing) {
  ApiTestBed::signIn(kUserId, "", 0);
  service().script("GET", "lite/users/u-7/official-token", Answer::model({{"token", "T"}}));
  EXPECT_EQ(APIManager::getOfficialToken(), "");
  EXPECT_EQ(service().requestCount(), 0u);
}

}  // namespace
}  // namespace tarnel::test

namespace tarnel::test {
namespace {

TEST_F(AccountEndpointsTest, ASignInAnsweredWithNullOrNothingFailsLikeAnUndecodableBody) {
  ApiTestBed::signIn(kUserId, kEmail);
  const std::string before = toJson(Global::loginInfo()).value();
  const std::vector<std::pair<std::string, Answer>> answers = {
      {"null enciphered", Answer::model(WireJson(nullptr))},
      {"null plain", Answer::model(WireJson(nullptr)).plain()},
      {"not a sign-in", Answer::model(WireJson::array({1}))},
      {"empty 200", Answer::empty(200)},
      {"empty 204", Answer::empty(204)},
      {"garbage", Answer::garbage()},
  };
  for (const auto& [name, answer] : answers) {
    SCOPED_TRACE(name);
    service().clearScripts();
    service().script("POST", "lite/users", answer);
    const auto error = APIManager::login("a@b.test", "pw", 0, "");
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->errCode, 500);
    EXPECT_EQ(error->errMsg, "response turn to model error");
    EXPECT_EQ(toJson(Global::loginInfo()).value(), before);
  }
}

TEST_F(AccountEndpointsTest, ErrorPagesAreNotReportedAsDone) {
  const std::vector<std::pair<std::string, std::function<std::shared_ptr<APIErrorInfo>()>>> calls = {
      {"verification", [] { return APIManager::verify("1"); }},
      {"code", [] { return APIManager::getVerificationCode("a@b.test", false); }},
      {"change", [] { return APIManager::changePassword("a", "b"); }},
      {"invitation", [] { return APIManager::bindInvitationCode("C"); }},
      {"removal", [] { return APIManager::delUser("pw"); }},
  };
  for (const int status : {404, 502}) {
    answerEverything(service(), Answer::textBody("<html><body>" + std::to_string(status) + "</body></html>", status).plain());
    for (const auto& [name, call] : calls) {
      SCOPED_TRACE(name + " " + std::to_string(status));
      const auto error = call();
      ASSERT_NE(error, nullptr);
      EXPECT_EQ(error->errCode, -1);
      EXPECT_EQ(error->errMsg, "network error.");
    }
  }
  // A 2xx answer with a body of any kind is done.
  answerEverything(service(), Answer::model({{"ok", 1}}));
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    EXPECT_EQ(call(), nullptr);
  }
}

}  // namespace
}  // namespace tarnel::test
