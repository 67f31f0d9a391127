#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/BundleConfig.h"
#include "platform/Keychain.h"
#include "platform/LocaleInfo.h"
#include "services/common/Global.h"
#include "services/common/KeychainManager.h"
#include "services/common/Store.h"
#include "services/model/Json.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"

namespace tarnel {
namespace {

using namespace std::chrono_literals;

Login makeLogin(const std::string& id, const std::string& email, std::int64_t emailStatus,
                std::vector<Country> countries = {}, std::vector<Tag> tags = {}) {
  Login login;
  login.user.id = id;
  login.user.email = email;
  login.user.email_status = emailStatus;
  login.message = "login-" + id;
  login.countries = std::move(countries);
  login.tags = std::move(tags);
  return login;
}

Country makeCountry(const std::string& code, const std::string& name, std::vector<std::int64_t> tags) {
  Country country;
  country.country = code;
  country.name = name;
  country.tags = std::move(tags);
  return country;
}

Tag makeTag(std::int64_t id) {
  Tag tag;
  tag.id = id;
  tag.tag = "tag-" + std::to_string(id);
  return tag;
}

std::string jsonOf(const auto& model) { return toJson(model).value_or("<no json>"); }

std::vector<std::int64_t> idsOf(const std::vector<Tag>& tags) {
  std::vector<std::int64_t> ids;
  for (const auto& tag : tags) ids.push_back(tag.id);
  return ids;
}

// --- language ----------------------------------------------------------------------------------

TEST(GlobalLanguage, FollowsTheLocaleUntilTheUserChooses) {
  std::string locale;
  Global::setLocaleForTesting([&locale] { return locale; });
  const std::vector<std::tuple<std::string, std::string, std::string>> table = {
      {"zh_CN", "zh-Hans", "zh"},  {"zh-Hans", "zh-Hans", "zh"}, {"zh_TW", "zh-Hant", "zh"},
      {"zh_HK", "zh-Hant", "zh"},  {"zh-Hant", "zh-Hant", "zh"}, {"en_US", "en", "en"},
      {"zh", "en", "en"},          {"zh_SG", "en", "en"},        {"zh-Hans_CN", "en", "en"},
      {"zh_Hant_TW", "en", "en"},  {"ZH_CN", "en", "en"},        {"zh_cn", "en", "en"},
      {"", "en", "en"},            {"ja_JP", "en", "en"},
  };
  for (const auto& [identifier, language, api] : table) {
    locale = identifier;
    EXPECT_EQ(Global::language(), language) << identifier;
    EXPECT_EQ(Global::apiLanguage(), api) << identifier;
  }

  Global::setLanguage("zh-Hans");
  for (const char* identifier : {"en_US", "zh_HK", ""}) {
    locale = identifier;
    EXPECT_EQ(Global::language(), "zh-Hans") << identifier;
    EXPECT_EQ(Global::apiLanguage(), "zh");
  }
  Global::setLanguage("fr");  // whatever was stored is the language
  EXPECT_EQ(Global::language(), "fr");
  EXPECT_EQ(Global::apiLanguage(), "en");

  // A stored value that is not a text counts as no choice.
  Store::setValue(StoreKeys::LANGUAGE, true);
  locale = "zh_TW";
  EXPECT_EQ(Global::language(), "zh-Hant");
  Global::setLocaleForTesting(nullptr);
}

TEST(GlobalLanguage, LocaleIdentifierComesFromTheEnvironment) {
  const auto saved = [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  };
  const auto lcAll = saved("LC_ALL");
  const auto lcMessages = saved("LC_MESSAGES");
  const auto lang = saved("LANG");

  setenv("LANG", "zh_TW.UTF-8", 1);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  EXPECT_EQ(platform::currentLocaleIdentifier(), "zh_TW");
  setenv("LC_MESSAGES", "zh_HK.Big5-HKSCS", 1);
  EXPECT_EQ(platform::currentLocaleIdentifier(), "zh_HK");
  setenv("LC_ALL", "de_DE@euro", 1);
  EXPECT_EQ(platform::currentLocaleIdentifier(), "de_DE");
  setenv("LC_ALL", "", 1);
  EXPECT_EQ(platform::currentLocaleIdentifier(), "zh_HK");
  EXPECT_EQ(platform::localeIdentifierFromSetting("zh_CN.GB18030@pinyin"), "zh_CN");
  EXPECT_EQ(platform::localeIdentifierFromSetting("C"), "C");

  for (const auto& [name, value] : {std::pair{"LC_ALL", lcAll}, {"LC_MESSAGES", lcMessages}, {"LANG", lang}}) {
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
}

// --- sign-in history ---------------------------------------------------------------------------

TEST(GlobalHistory, KeepsTheThreeMostRecentVerifiedAccountsInOrder) {
  EXPECT_TRUE(Global::historyAccount().empty());
  for (const char* email : {"a@x.io", "b@x.io", "c@x.io"}) Global::setLoginInfo(makeLogin("1", email, 2));
  EXPECT_EQ(Global::historyAccount(), (std::vector<std::string>{"a@x.io", "b@x.io", "c@x.io"}));

  Global::setLoginInfo(makeLogin("1", "d@x.io", 2));
  EXPECT_EQ(Global::historyAccount(), (std::vector<std::string>{"b@x.io", "c@x.io", "d@x.io"}));

  Global::setLoginInfo(makeLogin("1", "b@x.io", 1));  // known account: no change
  Global::setLoginInfo(makeLogin("2", "guest@x.io", 0));  // e-mail not confirmed: not recorded
  EXPECT_EQ(Global::historyAccount(), (std::vector<std::string>{"b@x.io", "c@x.io", "d@x.io"}));
  EXPECT_EQ(Store::getValue(StoreKeys::HISTORY_ACCOUNT)->stringList(),
            (std::vector<std::string>{"b@x.io", "c@x.io", "d@x.io"}));
}

TEST(GlobalClearCache, ClearedStateStaysClearedWhateverIsWrittenAfterwards) {
  Global::setLoginInfo(makeLogin("u-7", "a@x.io", 2));
  Live live;
  live.device_count = 9;
  Global::setLive(live);
  ASSERT_EQ(Global::userId(), "u-7");
  ASSERT_TRUE(Store::getValue(StoreKeys::USER_INFO).has_value());

  EXPECT_TRUE(Global::clearStoredState());
  EXPECT_EQ(Global::userId(), "");
  EXPECT_EQ(Global::loginInfo().user.id, "");
  EXPECT_EQ(Global::live().device_count, Live{}.device_count);
  EXPECT_TRUE(Global::historyAccount().empty());
  for (const StoreKeys key : kAllStoreKeys) EXPECT_FALSE(Store::getValue(key).has_value()) << rawValue(key);

  // A later change of one value writes that value alone: the cleared account does not return
  // through the copy that memory held.
  Global::modifyLoginInfo([](Login& login) { login.message = "hello"; });
  const auto stored = fromJson<Login>(Store::getValue(StoreKeys::USER_INFO)->string().value_or(""));
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->user.id, "");
  EXPECT_EQ(stored->user.email, "");
  EXPECT_EQ(Global::userId(), "");
  EXPECT_FALSE(Store::getValue(StoreKeys::HISTORY_ACCOUNT).has_value());
}

TEST(GlobalHistory, OverlongStoredHistoryIsCutToTheThreeMostRecent) {
  Store::setValue(StoreKeys::HISTORY_ACCOUNT, StoreValue::StringList{"1@x", "2@x", "3@x", "4@x", "5@x"});
  Global::setLoginInfo(makeLogin("1", "6@x", 2));
  EXPECT_EQ(Global::historyAccount(), (std::vector<std::string>{"4@x", "5@x", "6@x"}));
}

// --- the server-adjusted clock and the protocol lists -----------------------------------------

TEST(GlobalClock, ServerAdjustedClockAndTheProtocolListsThatDependOnIt) {
  using std::chrono::system_clock;
  system_clock::time_point now{std::chrono::microseconds(1'700'000'000'123'987)};
  Global::setClockForTesting([&now] { return now; });
  EXPECT_EQ(Global::currentTimeMillisecondsSinceEpoch(), 1'700'000'000'123);
  now = system_clock::time_point{std::chrono::microseconds(-1'500)};
  EXPECT_EQ(Global::currentTimeMillisecondsSinceEpoch(), -1) << "truncated toward zero";
  now = system_clock::time_point{std::chrono::milliseconds(1'000)};

  Login login = makeLogin("1", "", 0);
  login.other->protocal_priority = {"c", "zz", "b"};
  login.other->available_protocols = {"b", "ts", "c", "x", ""};
  Global::setLoginInfo(login);

  EXPECT_EQ(Global::serverTimeOffset(), 0);
  EXPECT_EQ(Global::protocolPriority(), (std::vector<VPNProtocol>{VPNProtocol::TROJAN_WS, VPNProtocol::VMESS_TLS}));
  EXPECT_EQ(Global::availableProtocols(),
            (std::vector<VPNProtocol>{VPNProtocol::VMESS_TLS, VPNProtocol::VMESS_TURN, VPNProtocol::TROJAN_WS,
                                      VPNProtocol::AUTO, VPNProtocol::AUTO}));

  Global::setServerTimeOffset(-2'500);
  EXPECT_EQ(Global::currentTimeMillisecondsSinceEpoch(), -1'500);
  EXPECT_EQ(Global::protocolPriority(), std::vector<VPNProtocol>{VPNProtocol::TROJAN_WS});
  EXPECT_EQ(Global::availableProtocols(),
            (std::vector<VPNProtocol>{VPNProtocol::TROJAN_WS, VPNProtocol::AUTO, VPNProtocol::AUTO}));

  // Every protocol offered: all seven in our fixed order, whatever the server's order.
  Global::setServerTimeOffset(0);
  login.other->protocal_priority = {"b", "ts", "d", "e", "f", "g", "c", ""};
  Global::setLoginInfo(login);
  EXPECT_EQ(Global::protocolPriority(),
            (std::vector<VPNProtocol>{VPNProtocol::TROJAN_WS, VPNProtocol::TROJAN_TLS, VPNProtocol::TROJAN_TURN,
                                      VPNProtocol::VLESS_TLS, VPNProtocol::VMESS_TLS, VPNProtocol::VLESS_TURN,
                                      VPNProtocol::VMESS_TURN}));
  login.other.reset();
  Global::setLoginInfo(login);
  EXPECT_TRUE(Global::protocolPriority().empty());
  EXPECT_TRUE(Global::availableProtocols().empty());
  Global::setClockForTesting(nullptr);
  const auto real = Global::currentTimeMillisecondsSinceEpoch();
  EXPECT_GT(real, 1'700'000'000'000);
}

// --- lazy loading from the store ---------------------------------------------------------------

TEST(GlobalStore, LoadsWhatAnEarlierProcessStored) {
  Login stored = makeLogin("u-77", "s@x.io", 2, {makeCountry("jp", "Japan", {5})}, {makeTag(5), makeTag(6)});
  ProxyRule rule;
  rule.direct = {"example.com"};
  rule.block = {"ads.example"};
  const auto child = test::runInChild([&] {
    Global::setLoginInfo(stored);
    Global::setProxyRule(rule);
    Global::setEmailSuffix({"corp.example", "mail.example"});
    return std::string("stored");
  });
  ASSERT_EQ(child.output, "stored");

  // This process has not touched Global yet: each member loads from the store on first use.
  EXPECT_EQ(Global::userId(), "u-77");
  EXPECT_EQ(jsonOf(Global::loginInfo()), jsonOf(stored));
  EXPECT_EQ(jsonOf(Global::proxyRule()), jsonOf(rule));
  EXPECT_EQ(Global::emailSuffix(), (std::vector<std::string>{"corp.example", "mail.example"}));
  EXPECT_EQ(Global::historyAccount(), std::vector<std::string>{"s@x.io"});
  // The tag ids are rebuilt by assignments only; a loaded login offers no tags yet.
  EXPECT_TRUE(Global::allTags().empty());

  Global::setEmailSuffix({});  // ignored
  EXPECT_EQ(Global::emailSuffix(), (std::vector<std::string>{"corp.example", "mail.example"}));
}

TEST(GlobalStore, AssignmentBeforeTheFirstReadIsNotOverwrittenByTheStoredValue) {
  const auto child = test::runInChild([] {
    Global::setLoginInfo(makeLogin("old", "", 0));
    ProxyRule oldRule;
    oldRule.proxy = {"old.example"};
    Global::setProxyRule(oldRule);
    Global::setEmailSuffix({"old.example"});
    return std::string("stored");
  });
  ASSERT_EQ(child.output, "stored");

  const Login fresh = makeLogin("new", "", 0);
  Global::setLoginInfo(fresh);
  ProxyRule freshRule;
  freshRule.direct = {"new.example"};
  Global::setProxyRule(freshRule);
  Global::setEmailSuffix({"new.example"});
  EXPECT_EQ(jsonOf(Global::loginInfo()), jsonOf(fresh));
  EXPECT_EQ(jsonOf(Global::proxyRule()), jsonOf(freshRule));
  EXPECT_EQ(Global::emailSuffix(), std::vector<std::string>{"new.example"});
  EXPECT_EQ(Store::getValue(StoreKeys::EMAIL_SUFFIX)->stringList(), std::vector<std::string>{"new.example"});
}

TEST(GlobalStore, StoredValuesOfTheWrongShapeGiveTheDefaults) {
  testing::internal::CaptureStdout();
  Store::setValue(StoreKeys::USER_INFO, R"({"user":"not an object"})");
  Store::setValue(StoreKeys::PROXY_RULE, true);
  Store::setValue(StoreKeys::EMAIL_SUFFIX, StoreValue::IntegerList{1, 2});
  Store::setValue(StoreKeys::USER_ID, std::int64_t{42});
  EXPECT_EQ(jsonOf(Global::loginInfo()), jsonOf(Login{}));
  EXPECT_EQ(jsonOf(Global::proxyRule()), jsonOf(ProxyRule{}));
  EXPECT_EQ(Global::userId(), "");
  testing::internal::GetCapturedStdout();
  const auto suffixes = Global::emailSuffix();
  EXPECT_EQ(suffixes.size(), 24u);
  EXPECT_EQ(std::set<std::string>(suffixes.begin(), suffixes.end()).size(), 24u);
  for (const auto& suffix : suffixes) EXPECT_NE(suffix.find('.'), std::string::npos) << suffix;
}

// --- the loginInfo assignment and its side effects ---------------------------------------------

TEST(GlobalLogin, AssignmentUpdatesTheMapTagsStoreAndNodeSelection) {
  // Node selection's current tag, as the connection layer would keep it.
  std::optional<std::int64_t> currentTag = 6;
  std::vector<std::unordered_set<std::int64_t>> checks;
  Global::setCurrentTagCheck([&](const std::unordered_set<std::int64_t>& ids) {
    checks.push_back(ids);
    if (currentTag && !ids.contains(*currentTag)) currentTag.reset();
  });

  Global::setLoginInfo(makeLogin("u1", "", 0, {makeCountry("jp", "Japan", {5, 6}), makeCountry("us", "USA", {7})},
                                 {makeTag(7), makeTag(5), makeTag(6), makeTag(9)}));
  EXPECT_EQ(idsOf(Global::allTags()), (std::vector<std::int64_t>{7, 5, 6})) << "the login's order, known tags only";
  EXPECT_EQ(currentTag, 6);
  EXPECT_EQ(Global::userId(), "u1");
  EXPECT_EQ(Store::getValue(StoreKeys::USER_ID)->string(), "u1");
  EXPECT_EQ(jsonOf(*fromJson<Login>(Store::getValue(StoreKeys::USER_INFO)->string().value())),
            jsonOf(Global::loginInfo()));

  // A second login: a known country code keeps its first entry; tag 6 is gone, so is the current tag.
  Global::setLoginInfo(makeLogin("u2", "", 0, {makeCountry("jp", "Nippon", {5}), makeCountry("de", "Germany", {8})},
                                 {makeTag(5), makeTag(6), makeTag(8)}));
  const auto countries = Global::countryMap();
  ASSERT_EQ(countries.size(), 3u);
  EXPECT_EQ(countries.at("jp").name, "Japan");
  EXPECT_EQ(countries.at("de").name, "Germany");
  EXPECT_EQ(idsOf(Global::allTags()), (std::vector<std::int64_t>{5, 8}));
  EXPECT_EQ(currentTag, std::nullopt);
  ASSERT_EQ(checks.size(), 2u);
  EXPECT_EQ(checks[1], (std::unordered_set<std::int64_t>{5, 8}));

  // A change in place has the assignment's effects.
  Global::modifyLoginInfo([](Login& login) {
    login.user.id = "u3";
    login.countries.push_back(makeCountry("fr", "France", {6}));
  });
  EXPECT_EQ(Global::userId(), "u3");
  EXPECT_EQ(Global::countryMap().size(), 4u);
  EXPECT_EQ(idsOf(Global::allTags()), (std::vector<std::int64_t>{5, 6, 8}));
  EXPECT_EQ(Global::loginInfo().message, "login-u2");
  EXPECT_EQ(checks.size(), 3u);
  Global::setCurrentTagCheck(nullptr);
}

// Before node selection exists, the tag it would restore is the stored one: a sign-in that no
// longer offers that tag must clear it there, and leave an offered one (or none) alone.
TEST(GlobalLogin, AssignmentWithoutNodeSelectionClearsAStoredTagNoLongerOffered) {
  Global::setCurrentTagCheck(nullptr);
  const struct {
    std::string name;
    std::string stored;
    std::vector<std::int64_t> offered;
    std::string expected;
  } cases[] = {
      {"offered", *toJson(makeTag(6)), {5, 6}, *toJson(makeTag(6))},
      {"no longer offered", *toJson(makeTag(6)), {5, 7}, ""},
      {"no tags at all", *toJson(makeTag(6)), {}, ""},
      {"undecodable", "{not a tag", {5, 6}, ""},
      {"none stored", "", {5}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Store::setValue(StoreKeys::CURRENT_TAG, c.stored);
    Global::setLoginInfo(makeLogin("u1", "", 0, {makeCountry("jp", "Japan", c.offered)}, {}));
    EXPECT_EQ(Store::getValue(StoreKeys::CURRENT_TAG)->string(), c.expected);
  }
}

TEST(GlobalUser, UserIdLooksInTheStoreWhileItIsEmpty) {
  EXPECT_EQ(Global::userId(), "");
  Store::setValue(StoreKeys::USER_ID, "from-store");
  EXPECT_EQ(Global::userId(), "from-store");
  Store::setValue(StoreKeys::USER_ID, "changed-later");
  EXPECT_EQ(Global::userId(), "from-store") << "kept in memory once known";
  Global::setUserId("assigned");
  EXPECT_EQ(Global::userId(), "assigned");
  EXPECT_EQ(Store::getValue(StoreKeys::USER_ID)->string(), "assigned");
}

TEST(GlobalUser, UserUIDIsTheDeviceIdentifiersDigestInUuidForm) {
  test::TempDir dir;
  const auto keychain = platform::makeFileKeychain(dir.path() / "keychain.json");
  ASSERT_EQ(keychain->add(platform::bundle::kBundleIdentifier, "device_id", "0123456789abcdef0123456789abcdef"),
            platform::keychain_status::kSuccess);
  KeychainManager::shared().setKeychainForTesting(keychain);
  const auto digest = test::commandOutput("printf %s 0123456789abcdef0123456789abcdef | openssl dgst -md5 -r");
  ASSERT_TRUE(digest);
  const std::string d = digest->substr(0, 32);
  const std::string expected =
      d.substr(0, 8) + "-" + d.substr(8, 4) + "-" + d.substr(12, 4) + "-" + d.substr(16, 4) + "-" + d.substr(20);
  EXPECT_EQ(Global::userUID(), expected);
  EXPECT_EQ(Global::userUID().size(), 36u);
  const auto child = test::runInChild([] { return Global::userUID(); });
  EXPECT_EQ(child.output, expected);
}

// --- threads -------------------------------------------------------------------------------------

TEST(GlobalThreads, EightThreadsReadAndWriteEveryMember) {
  test::TempDir dir;
  KeychainManager::shared().setKeychainForTesting(platform::makeFileKeychain(dir.path() / "keychain.json"));
  Global::setCurrentTagCheck([](const std::unordered_set<std::int64_t>&) { (void)Global::allTags(); });
  std::atomic<int> inconsistent{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &inconsistent] {
      for (int i = 0; i < 30; ++i) {
        const std::string id = std::to_string(t) + "-" + std::to_string(i);
        switch ((t + i) % 8) {
          case 0:
            Global::setLoginInfo(makeLogin(id, id + "@x.io", 2, {makeCountry("c" + std::to_string(t), "n", {t})},
                                           {makeTag(t)}));
            break;
          case 1: {
            const Login login = Global::loginInfo();
            if (login.message != "login-" + login.user.id && !login.user.id.empty()) ++inconsistent;
            break;
          }
          case 2:
            Global::setNetworkType(t % 2 ? "WiFi" : "Ethernet");
            if (const auto type = Global::networkType(); type != "WiFi" && type != "Ethernet" && type != "Unknown") {
              ++inconsistent;
            }
            break;
          case 3:
            Global::setServerTimeOffset(i % 2 ? 0 : 1000);
            (void)Global::currentTimeMillisecondsSinceEpoch();
            (void)Global::protocolPriority();
            (void)Global::availableProtocols();
            break;
          case 4: {
            Live live;
            live.message = id;
            Global::setLive(live);
            Domains domains;
            domains.proxy = {id};
            Global::setDomains(domains);
            if (Global::domains().proxy.size() != 1) ++inconsistent;
            (void)Global::live();
            break;
          }
          case 5: {
            ProxyRule rule;
            rule.direct = {id};
            Global::setProxyRule(rule);
            if (Global::proxyRule().direct.size() != 1) ++inconsistent;
            Global::setEmailSuffix({id + ".example"});
            if (Global::emailSuffix().size() != 1) ++inconsistent;
            break;
          }
          case 6:
            Global::setLanguage(t % 2 ? "zh-Hans" : "en");
            if (const auto api = Global::apiLanguage(); api != "zh" && api != "en") ++inconsistent;
            (void)Global::userId();
            (void)Global::allTags();
            (void)Global::countryMap();
            break;
          case 7:
            if (Global::userUID().size() != 36) ++inconsistent;
            if (Global::historyAccount().size() > 3) ++inconsistent;
            Global::modifyLoginInfo([](Login& login) { login.hot = "3"; });
            break;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(inconsistent.load(), 0);
  EXPECT_EQ(Global::historyAccount().size(), 3u);
  const Login last = Global::loginInfo();
  EXPECT_EQ(last.message, "login-" + last.user.id);
  EXPECT_EQ(Global::userId(), last.user.id);
  EXPECT_EQ(Store::getValue(StoreKeys::USER_ID)->string(), last.user.id) << "store and memory agree";
  Global::setCurrentTagCheck(nullptr);
}

}  // namespace
}  // namespace tarnel

namespace tarnel {
namespace {

// --- damaged cached values ---------------------------------------------------------------------

// Cached answers kept in the settings (sign-in result, proxy rules) that were damaged on disk or
// by a hostile answer: each start reads them as absent and goes on; other settings stay.
TEST(GlobalDamagedCache, AStartWithDamagedCachedValuesReadsThemAsAbsentAndKeepsTheRest) {
  const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
  const struct {
    const char* what;
    std::string text;
  } damages[] = {
      {"cut short", R"({"user":{"id":"u-1","email":)"},
      {"deeply nested before the next key", R"({"extra":)" + deep + R"(,"message":"m"})"},
      {"a list", "[1,2,3]"},
      {"not JSON", "\x01\x02garbage"},
  };
  for (const auto& damage : damages) {
    SCOPED_TRACE(damage.what);
    Store::setValue(StoreKeys::AREA_ID, "asia");
    Store::setValue(StoreKeys::USER_INFO, damage.text);
    Store::setValue(StoreKeys::PROXY_RULE, damage.text);
    const auto child = test::runInChild([] {
      const Login login = Global::loginInfo();
      const ProxyRule rule = Global::proxyRule();
      const bool fresh = jsonOf(login) == jsonOf(Login{}) && jsonOf(rule) == jsonOf(ProxyRule{});
      return std::string(fresh ? "fresh" : "not fresh");
    });
    EXPECT_EQ(child.exitCode, 0) << "the start did not survive";
    EXPECT_EQ(child.output, "fresh");
    EXPECT_EQ(Store::getValue(StoreKeys::AREA_ID)->string(), "asia");
  }
}

}  // namespace
}  // namespace tarnel
