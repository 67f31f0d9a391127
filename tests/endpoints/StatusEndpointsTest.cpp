// The status check with its refresh chain, the account data refresh and the device operations.
#include <gtest/gtest.h>

#include "services/common/Store.h"
#include "tests/endpoints/EndpointFixture.h"

namespace tarnel::test {
namespace {

const std::string kStatusPath = std::string("lite/users/") + kUserId + "/device/";
const std::string kDataPath = std::string("lite/users/") + kUserId + "/data";
constexpr const char* kPromotion = "https://promo.test/41";

class StatusEndpointsTest : public EndpointTest {
 protected:
  void SetUp() override {
    EndpointTest::SetUp();
    statusPath = kStatusPath + DeviceInfo::ID();
  }

  // The stored login's settings: the defaults of wireOther() with `patch`, or none at all.
  static void storeSettings(const std::optional<WireJson>& patch) {
    std::optional<Other> other;
    if (patch) {
      other = fromJson<Other>(wireOther(*patch).dump());
      ASSERT_TRUE(other.has_value());
    }
    Global::modifyLoginInfo([&](Login& login) { login.other = other; });
  }

  // The status answer and the answers of the whole chain.
  void scriptChain(const WireJson& live, const WireJson& base = WireJson::object()) {
    service().clearScripts();
    service().script("GET", statusPath, Answer::model(live));
    service().script("GET", kDataPath, Answer::model(base));
    service().script("GET", "app/domains", Answer::model(wireDomains("fresh")));
    service().script("GET", "data/link/41", Answer::model({{"link", kPromotion}}));
  }

  std::vector<std::string> apiPaths() {
    std::vector<std::string> paths;
    for (const auto& seen : api.service().requests(ServiceRequest::Kind::api)) paths.push_back(seen.path);
    return paths;
  }

  std::string statusPath;
};

struct MaskCase {
  std::string name;
  std::optional<WireJson> stored;  // patch of the stored settings; none: the login has no settings
  WireJson fresh;                  // patch of the status answer's settings
  bool domainsHeld;
  std::optional<std::string> fetch;  // none: no data refresh
  bool domainsFetched;
};

TEST_F(StatusEndpointsTest, FetchMaskDecidesWhatTheStatusCheckRefreshes) {
  const WireJson noProxy = {{"proxy_version", nullptr}};
  const std::vector<MaskCase> cases = {
      {"no stored settings, fresh proxy version", std::nullopt, {}, true, "23", true},
      {"no stored settings, no proxy version", std::nullopt, noProxy, true, "7", true},
      {"nothing changed", WireJson::object(), {}, true, std::nullopt, false},
      {"countries", WireJson::object(), {{"country_version", "c2"}}, true, "1", false},
      {"tags", WireJson::object(), {{"tag_version", "t2"}}, true, "2", false},
      {"user", WireJson::object(), {{"user_version", "u2"}}, true, "4", false},
      {"proxy rules changed", WireJson::object(), {{"proxy_version", "pv2"}}, true, "16", false},
      {"proxy rules appeared", noProxy, {}, true, "16", false},
      {"proxy rules vanished", WireJson::object(), noProxy, true, "16", false},
      {"no proxy version on either side", noProxy, noProxy, true, std::nullopt, false},
      {"all four",
       WireJson::object(),
       {{"country_version", "c2"}, {"tag_version", "t2"}, {"user_version", "u2"}, {"proxy_version", "pv2"}},
       true,
       "23",
       false},
      {"case counts", WireJson{{"country_version", "C1"}}, {}, true, "1", false},
      // Canonically equivalent stamps are the same stamp ("é" precomposed and decomposed, the
      // angstrom sign and "Å"); compatibility forms ("ﬁ" and "fi") are not.
      {"canonically equivalent stamps",
       WireJson{{"country_version", "caf\xc3\xa9"}, {"tag_version", "\xe2\x84\xab"},
                {"user_version", "u\xcc\x88"}, {"proxy_version", "p\xc3\xa9"},
                {"app_domain_version", "d\xc3\xa9"}},
       {{"country_version", "cafe\xcc\x81"}, {"tag_version", "A\xcc\x8a"}, {"user_version", "\xc3\xbc"},
        {"proxy_version", "pe\xcc\x81"}, {"app_domain_version", "de\xcc\x81"}},
       true,
       std::nullopt,
       false},
      {"compatibility forms differ", WireJson{{"country_version", "\xef\xac\x81"}}, {{"country_version", "fi"}},
       true, "1", false},
      {"domain version", WireJson::object(), {{"app_domain_version", "d2"}}, true, std::nullopt, true},
      {"no domain lists held", WireJson::object(), {}, false, std::nullopt, true},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    storeSettings(c.stored);
    Global::setDomains(c.domainsHeld ? *fromJson<Domains>(wireDomains("held").dump()) : Domains{});
    Global::setLive(Live{});
    scriptChain(wireLive(c.fresh));
    service().clearRequests();

    ASSERT_EQ(APIManager::live(), nullptr);

    std::vector<std::string> expected = {statusPath};
    if (c.fetch) expected.push_back(kDataPath);
    if (c.domainsFetched) expected.push_back("app/domains");
    expected.push_back("data/link/41");
    EXPECT_EQ(apiPaths(), expected);
    if (c.fetch) {
      const auto data = api.only("GET", kDataPath);
      expectRequest(data, {"GET", kDataPath, {{"fetch", *c.fetch}}, std::nullopt}, kUserId);
    }
    EXPECT_EQ(Global::domains().direct_domain_g0,
              std::vector<std::string>{c.domainsFetched ? "fresh.g0" : "held.g0"});
    EXPECT_EQ(Global::live().max_age, 90);
    EXPECT_EQ(Global::live().link.link, kPromotion);

    // The stored versions now equal the server's: the same status again refreshes nothing.
    service().clearRequests();
    ASSERT_EQ(APIManager::live(), nullptr);
    EXPECT_EQ(apiPaths(), (std::vector<std::string>{statusPath, "data/link/41"}));
  }
}

TEST_F(StatusEndpointsTest, StatusLandsOnTopOfTheRefreshedAccount) {
  Global::modifyLoginInfo([](Login& login) {
    login.other.reset();
    login.max_age = 1;
    login.expired_svip = 4;
    login.card_version = 8;
    login.message = "stored message";
    login.countries = {Country{"JP", "Japan", {7}, 1}};
    login.tags = {Tag{7, "Streaming", "", "", 0}};
    login.user.code = "OLD";
  });
  const WireJson base = {{"countries", WireJson::array({wireCountry("DE", {7}), wireCountry("FR")})},
                         {"tags", WireJson::array()},
                         {"user", wireUser(kUserId, kEmail)},
                         {"proxy_rule", {{"direct", {"d.test"}}, {"proxy", WireJson::array()}, {"block", {"b.test"}}}}};
  scriptChain(wireLive(), base);

  ASSERT_EQ(APIManager::live(), nullptr);

  const Login login = Global::loginInfo();
  // From the refresh.
  ASSERT_EQ(login.countries.size(), 2u);
  EXPECT_EQ(login.countries[0].country, "DE");
  ASSERT_EQ(login.tags.size(), 1u) << "an empty tag list keeps the stored tags";
  EXPECT_EQ(login.tags[0].id, 7);
  EXPECT_EQ(login.user.code, "OWN");
  // From the status, applied last.
  EXPECT_EQ(login.max_age, 90);
  EXPECT_EQ(login.expired, 1000);
  EXPECT_EQ(login.expired_vip, 2000);
  EXPECT_EQ(login.user.email_status, 2);
  EXPECT_EQ(login.user.hot, "3");
  ASSERT_TRUE(login.other.has_value());
  EXPECT_EQ(login.other->country_version, "c1");
  EXPECT_EQ(login.message, "status says hi");
  // Kept from the stored login.
  EXPECT_EQ(login.expired_svip, 4);
  EXPECT_EQ(login.card_version, 8);
  // The proxy rules, in memory and in the store.
  EXPECT_EQ(Global::proxyRule().direct, std::vector<std::string>{"d.test"});
  EXPECT_EQ(Global::proxyRule().block, std::vector<std::string>{"b.test"});
  const auto stored = Store::getValue(StoreKeys::PROXY_RULE);
  ASSERT_TRUE(stored && stored->string());
  EXPECT_EQ(WireJson::parse(*stored->string()),
            (WireJson{{"direct", {"d.test"}}, {"proxy", WireJson::array()}, {"block", {"b.test"}}}));
  // And the login as stored is the one in memory.
  const auto storedLogin = Store::getValue(StoreKeys::USER_INFO);
  ASSERT_TRUE(storedLogin && storedLogin->string());
  EXPECT_EQ(WireJson::parse(*storedLogin->string())["max_age"], 90);
}

TEST_F(StatusEndpointsTest, EmptyStatusMessageKeepsTheStoredOne) {
  storeSettings(WireJson::object());
  Global::setDomains(*fromJson<Domains>(wireDomains("held").dump()));
  for (const auto& [message, expected] : std::vector<std::pair<std::string, std::string>>{
           {"", "stored message"}, {"new message", "new message"}}) {
    SCOPED_TRACE(message);
    Global::modifyLoginInfo([](Login& login) { login.message = "stored message"; });
    scriptChain(wireLive({}, {{"message", message}}));
    ASSERT_EQ(APIManager::live(), nullptr);
    EXPECT_EQ(Global::loginInfo().message, expected);
  }
}

TEST_F(StatusEndpointsTest, FailedFollowUpsDoNotStopTheStatus) {
  storeSettings(std::nullopt);
  scriptChain(wireLive());
  service().script("GET", kDataPath, Answer::garbage());
  service().script("GET", "app/domains", Answer::error(5001, "busy", 500));
  service().script("GET", "data/link/41", Answer::error(5001, "busy", 500));
  Global::setDomains(Domains{});

  ASSERT_EQ(APIManager::live(), nullptr);

  EXPECT_EQ(Global::live().max_age, 90);
  EXPECT_EQ(Global::live().link.link, "");
  EXPECT_TRUE(Global::domains().direct_domain_g0.empty());
  EXPECT_EQ(Global::loginInfo().max_age, 90);
  EXPECT_TRUE(Global::loginInfo().other.has_value());
}

struct StatusFailureCase {
  std::string name;
  Answer answer;
  std::int64_t code;
};

TEST_F(StatusEndpointsTest, FailedStatusChangesNothing) {
  const std::vector<StatusFailureCase> cases = {
      {"service error", Answer::error(3305, "device removed", 400), 3305},
      {"undecodable", Answer::model({{"max_age", 1}}), 500},
      {"null body", Answer::model(nullptr), 500},
      {"no body", Answer::empty(204), 500},
  };
  Global::modifyLoginInfo([](Login& login) { login.max_age = 11; });
  const auto before = toJson(Global::loginInfo());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    service().clearScripts();
    service().clearRequests();
    service().script("GET", statusPath, c.answer);
    const auto error = APIManager::live();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->errCode, c.code);
    EXPECT_EQ(Global::live().max_age, -1);
    EXPECT_EQ(toJson(Global::loginInfo()), before);
    EXPECT_EQ(service().requestCount(), 1u);
  }
}

TEST_F(StatusEndpointsTest, DataRefreshMergesOnlyWhatIsPresentAndNotEmpty) {
  struct Case {
    std::string name;
    WireJson base;
    std::vector<std::string> countries;
    std::vector<std::int64_t> tags;
    std::string userCode;
  };
  const std::vector<Case> cases = {
      {"nothing present", WireJson::object(), {"JP"}, {7}, "OLD"},
      {"null answer", nullptr, {"JP"}, {7}, "OLD"},
      {"empty lists", {{"countries", WireJson::array()}, {"tags", WireJson::array()}}, {"JP"}, {7}, "OLD"},
      {"new lists", {{"countries", {wireCountry("US")}}, {"tags", {wireTag(9)}}}, {"US"}, {9}, "OLD"},
      {"new user", {{"user", wireUser(kUserId, kEmail)}}, {"JP"}, {7}, "OWN"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Global::modifyLoginInfo([](Login& login) {
      login.countries = {Country{"JP", "Japan", {7}, 1}};
      login.tags = {Tag{7, "Streaming", "", "", 0}};
      login.user.code = "OLD";
    });
    service().clearScripts();
    service().script("GET", kDataPath, Answer::model(c.base));
    ASSERT_EQ(APIManager::update(7), nullptr);
    const Login login = Global::loginInfo();
    std::vector<std::string> countries;
    for (const auto& country : login.countries) countries.push_back(country.country);
    std::vector<std::int64_t> tags;
    for (const auto& tag : login.tags) tags.push_back(tag.id);
    EXPECT_EQ(countries, c.countries);
    EXPECT_EQ(tags, c.tags);
    EXPECT_EQ(login.user.code, c.userCode);
  }
  const auto seen = service().requests("GET", kDataPath);
  ASSERT_FALSE(seen.empty());
  expectRequest(seen.back(), {"GET", kDataPath, {{"fetch", "7"}}, std::nullopt}, kUserId);
}

TEST_F(StatusEndpointsTest, WithoutUserTheGuestSignInAnswersForStatusAndRefresh) {
  const std::vector<std::pair<std::string, std::function<std::shared_ptr<APIErrorInfo>()>>> calls = {
      {"status", [] { return APIManager::live(); }},
      {"data refresh", [] { return APIManager::update(7); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    ApiTestBed::signIn("", "", 0);
    service().clearRequests();
    service().clearScripts();
    service().script("POST", "lite/users", Answer::error(3001, "guests closed", 400));
    const auto refused = call();
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->errCode, 3001);
    const auto seen = service().requests(ServiceRequest::Kind::api);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].path, "lite/users");
    ASSERT_TRUE(seen[0].body.has_value());
    EXPECT_EQ(seen[0].body->at("email"), "");
    EXPECT_EQ(seen[0].body->at("passwd"), wire::passwordDigest("fjord"));
    EXPECT_EQ(seen[0].body->at("force"), 0);
  }
}

TEST_F(StatusEndpointsTest, DeviceOperationsSendTheirRequests) {
  const WireJson device = expectedDevice();
  const WireJson deviceList = {
      {"devices",
       {{{"device_id", "d1"}, {"uid", "u"}, {"device_name", "Desk"}, {"device_model", "M"}, {"version", 1},
         {"platform", "darwin"}, {"created_at", "c"}, {"updated_at", "u"}, {"device_desc", "office"}}}}};
  service().script("GET", "users/u-7/devices", Answer::model(deviceList));
  service().script("PUT", "users/u-7/device/dev-2", Answer::empty(204));
  service().script("GET", "lite/users/u-7/upgrade",
                   Answer::model({{"days", "12"}, {"days_less", "3"}, {"days_lave", "9"}}));
  service().script("POST", "lite/users/u-7/upgrade", Answer::model({{"ok", true}}));

  const auto devices = APIManager::getDevices();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].device_desc, "office");
  EXPECT_TRUE(APIManager::updateDeviceName("Office Mac", "dev-2"));
  const auto preview = APIManager::previewUpgrade(10);
  ASSERT_TRUE(preview.has_value());
  EXPECT_EQ(preview->days_lave, "9");
  EXPECT_TRUE(APIManager::upgradeDevices(10));

  const std::vector<ExpectedRequest> expected = {
      {"GET", "users/u-7/devices", {}, std::nullopt},
      {"PUT", "users/u-7/device/dev-2", {}, WireJson{{"device_desc", "Office Mac"}}},
      {"GET", "lite/users/u-7/upgrade", {{"device_count_target", "10"}}, std::nullopt},
      {"POST", "lite/users/u-7/upgrade", {}, WireJson{{"device_count_target", 10}, {"device", device}}},
  };
  const auto seen = service().requests(ServiceRequest::Kind::api);
  ASSERT_EQ(seen.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].method + " " + expected[i].path);
    expectRequest(seen[i], expected[i], kUserId);
  }
}

TEST_F(StatusEndpointsTest, DeviceOperationsTurnFailuresIntoEmptyOutcomes) {
  for (const auto& [name, answer] : std::vector<std::pair<std::string, Answer>>{
           {"service error", Answer::error(3001, "no", 400)},
           {"error page", Answer::textBody("<html>bad gateway</html>", 502).plain()},
           {"undecodable", Answer::model({{"unexpected", true}})}}) {
    SCOPED_TRACE(name);
    answerEverything(service(), answer);
    EXPECT_TRUE(APIManager::getDevices().empty());
    EXPECT_FALSE(APIManager::updateDeviceName("x", "dev-2"));
    EXPECT_FALSE(APIManager::previewUpgrade(10).has_value());
    if (name != "undecodable") {
      EXPECT_FALSE(APIManager::upgradeDevices(10));
    }
  }
}

}  // namespace
}  // namespace tarnel::test
