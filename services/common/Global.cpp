#include "services/common/Global.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/LocaleInfo.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Store.h"
#include "services/encryption/StringExtension.h"
#include "services/model/Json.h"

namespace tarnel {
namespace {

// Public mail services offered as completions by the sign-in form until the server sends its own.
const std::vector<std::string> kBuiltInEmailSuffixes = {
    "gmail.com",   "yahoo.com",   "outlook.com", "hotmail.com", "icloud.com", "me.com",
    "live.com",    "msn.com",     "aol.com",     "mail.com",    "gmx.com",    "zoho.com",
    "yandex.com",  "mail.ru",     "proton.me",   "protonmail.com", "qq.com",  "foxmail.com",
    "163.com",     "126.com",     "yeah.net",    "sina.com",    "sohu.com",   "aliyun.com",
};

// Our order of preference; the server only says which of them it offers.
constexpr std::array<VPNProtocol, 7> kPriorityOrder = {
    VPNProtocol::TROJAN_WS, VPNProtocol::TROJAN_TLS, VPNProtocol::TROJAN_TURN, VPNProtocol::VLESS_TLS,
    VPNProtocol::VMESS_TLS, VPNProtocol::VLESS_TURN, VPNProtocol::VMESS_TURN,
};

constexpr std::size_t kHistoryLimit = 3;

bool isVMess(VPNProtocol protocol) {
  return protocol == VPNProtocol::VMESS_TLS || protocol == VPNProtocol::VMESS_TURN;
}

struct State {
  // Guards the values below. Held only while copying in or out: never during store I/O, the
  // keychain, or a hook.
  std::mutex mutex;
  std::string userId;
  std::string networkType = "Unknown";
  std::map<std::string, Country> countryMap;
  Login login;
  std::unordered_set<std::int64_t> tagIds;
  Domains domains;
  Live live;
  ProxyRule proxyRule;
  std::vector<std::string> emailSuffix;  // as loaded or assigned; empty means "use the built-in list"
  std::vector<std::string> history;      // the sign-in history as last loaded or extended
  Global::CurrentTagCheck currentTagCheck;
  std::function<std::chrono::system_clock::time_point()> clock;
  std::function<std::string()> locale;

  // Serialises the assignments that are also stored, so the store ends up holding the value
  // that memory holds, and a loginInfo assignment runs its side effects as one step.
  std::mutex writeMutex;

  std::once_flag loginLoaded;
  std::once_flag proxyRuleLoaded;
  std::once_flag emailSuffixLoaded;

  std::atomic<std::int64_t> serverTimeOffset{0};
};

// Never destroyed: threads that outlive main() may still read it.
State& state() {
  static State* instance = new State;
  return *instance;
}

std::string storedText(StoreKeys key) {
  const auto value = Store::getValue(key);
  return value ? value->string().value_or(std::string()) : std::string();
}

void ensureLoginLoaded() {
  State& s = state();
  std::call_once(s.loginLoaded, [&s] {
    Login login = fromJson<Login>(storedText(StoreKeys::USER_INFO)).value_or(Login{});
    std::lock_guard lock(s.mutex);
    s.login = std::move(login);
  });
}

void ensureProxyRuleLoaded() {
  State& s = state();
  std::call_once(s.proxyRuleLoaded, [&s] {
    ProxyRule rule = fromJson<ProxyRule>(storedText(StoreKeys::PROXY_RULE)).value_or(ProxyRule{});
    std::lock_guard lock(s.mutex);
    s.proxyRule = std::move(rule);
  });
}

void ensureEmailSuffixLoaded() {
  State& s = state();
  std::call_once(s.emailSuffixLoaded, [&s] {
    const auto stored = Store::getValue(StoreKeys::EMAIL_SUFFIX);
    auto list = stored ? stored->stringList().value_or(std::vector<std::string>{}) : std::vector<std::string>{};
    std::lock_guard lock(s.mutex);
    s.emailSuffix = std::move(list);
  });
}

std::vector<std::string> storedHistory() {
  const auto stored = Store::getValue(StoreKeys::HISTORY_ACCOUNT);
  return stored ? stored->stringList().value_or(std::vector<std::string>{}) : std::vector<std::string>{};
}

// Called with writeMutex held.
void recordSignIn(const std::string& email) {
  State& s = state();
  std::vector<std::string> history;
  {
    std::lock_guard lock(s.mutex);
    history = s.history;
  }
  if (history.empty()) history = storedHistory();
  if (std::find(history.begin(), history.end(), email) == history.end()) {
    history.push_back(email);
    // Keep the most recent ones, however long a list the store held.
    if (history.size() > kHistoryLimit) {
      history.erase(history.begin(), history.end() - static_cast<std::ptrdiff_t>(kHistoryLimit));
    }
  }
  {
    std::lock_guard lock(s.mutex);
    s.history = history;
  }
  Store::setValue(StoreKeys::HISTORY_ACCOUNT, StoreValue(history));
}

// Node selection is not made yet (it installs the check when it is): the tag it will restore is
// the stored one, so that is where a tag the account no longer offers must go.
void clearStoredTagUnlessOffered(const std::unordered_set<std::int64_t>& tagIds) {
  const auto stored = Store::getValue(StoreKeys::CURRENT_TAG);
  const auto text = stored ? stored->string() : std::nullopt;
  if (!text || text->empty()) return;
  const auto tag = fromJson<Tag>(*text);
  if (tag && tagIds.contains(tag->id)) return;
  Store::setValue(StoreKeys::CURRENT_TAG, "");
}

// Called with writeMutex held, after the stored login was loaded.
void assignLogin(const Login& value) {
  State& s = state();
  std::unordered_set<std::int64_t> tagIds;
  for (const auto& country : value.countries) tagIds.insert(country.tags.begin(), country.tags.end());
  Global::CurrentTagCheck check;
  {
    std::lock_guard lock(s.mutex);
    s.userId = value.user.id;
    s.login = value;
    for (const auto& country : value.countries) s.countryMap.try_emplace(country.country, country);
    s.tagIds = tagIds;
    check = s.currentTagCheck;
  }
  Store::setValue(StoreKeys::USER_ID, value.user.id);
  const auto text = toJson(value);
  Store::setValue(StoreKeys::USER_INFO, text ? std::optional<StoreValue>(*text) : std::nullopt);
  if (check) {
    check(tagIds);
  } else {
    clearStoredTagUnlessOffered(tagIds);
  }
  if (value.user.email_status != 0) recordSignIn(value.user.email);
}

std::string localeIdentifier() {
  State& s = state();
  std::function<std::string()> locale;
  {
    std::lock_guard lock(s.mutex);
    locale = s.locale;
  }
  return locale ? locale() : platform::currentLocaleIdentifier();
}

std::string languageOfLocale(const std::string& identifier) {
  if (identifier == "zh_CN" || identifier == "zh-Hans") return "zh-Hans";
  if (identifier == "zh_TW" || identifier == "zh_HK" || identifier == "zh-Hant") return "zh-Hant";
  return "en";
}

}  // namespace

std::string Global::userId() {
  State& s = state();
  {
    std::lock_guard lock(s.mutex);
    if (!s.userId.empty()) return s.userId;
  }
  std::string stored = storedText(StoreKeys::USER_ID);
  std::lock_guard lock(s.mutex);
  if (s.userId.empty()) s.userId = std::move(stored);  // unless an assignment came first
  return s.userId;
}

void Global::setUserId(const std::string& value) {
  State& s = state();
  std::lock_guard write(s.writeMutex);
  {
    std::lock_guard lock(s.mutex);
    s.userId = value;
  }
  Store::setValue(StoreKeys::USER_ID, value);
}

std::string Global::networkType() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.networkType;
}

void Global::setNetworkType(const std::string& value) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.networkType = value;
}

bool Global::clearStoredState() {
  State& s = state();
  // Loaded first, so a later first read cannot bring back what the store held before.
  ensureLoginLoaded();
  ensureProxyRuleLoaded();
  ensureEmailSuffixLoaded();
  std::lock_guard write(s.writeMutex);
  const bool cleared = Store::clearAll();
  std::lock_guard lock(s.mutex);
  s.userId.clear();
  s.countryMap.clear();
  s.login = Login{};
  s.tagIds.clear();
  s.domains = Domains{};
  s.live = Live{};
  s.proxyRule = ProxyRule{};
  s.emailSuffix.clear();
  s.history.clear();
  return cleared;
}

std::string Global::userUID() {
  const std::string digest = md5(DeviceInfo::ID());
  return digest.substr(0, 8) + "-" + digest.substr(8, 4) + "-" + digest.substr(12, 4) + "-" + digest.substr(16, 4) +
         "-" + digest.substr(20, 12);
}

std::string Global::language() {
  const std::string mapped = languageOfLocale(localeIdentifier());
  const auto stored = Store::getValue(StoreKeys::LANGUAGE);
  if (stored) {
    if (auto text = stored->string()) return *text;
  }
  return mapped;
}

void Global::setLanguage(const std::string& value) { Store::setValue(StoreKeys::LANGUAGE, value); }

std::string Global::apiLanguage() {
  const std::string current = language();
  return current == "zh-Hans" || current == "zh-Hant" ? "zh" : "en";
}

std::int64_t Global::currentTimeMillisecondsSinceEpoch() {
  State& s = state();
  std::function<std::chrono::system_clock::time_point()> clock;
  {
    std::lock_guard lock(s.mutex);
    clock = s.clock;
  }
  const auto now = clock ? clock() : std::chrono::system_clock::now();
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  return static_cast<std::int64_t>(millis) + s.serverTimeOffset.load();
}

std::int64_t Global::serverTimeOffset() { return state().serverTimeOffset.load(); }

void Global::setServerTimeOffset(std::int64_t milliseconds) { state().serverTimeOffset.store(milliseconds); }

std::map<std::string, Country> Global::countryMap() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.countryMap;
}

void Global::setCountryMap(const std::map<std::string, Country>& value) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.countryMap = value;
}

Login Global::loginInfo() {
  ensureLoginLoaded();
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.login;
}

void Global::setLoginInfo(const Login& value) {
  State& s = state();
  std::lock_guard write(s.writeMutex);
  ensureLoginLoaded();
  assignLogin(value);
}

void Global::modifyLoginInfo(const std::function<void(Login&)>& change) {
  State& s = state();
  std::lock_guard write(s.writeMutex);
  ensureLoginLoaded();
  Login login;
  {
    std::lock_guard lock(s.mutex);
    login = s.login;
  }
  change(login);
  assignLogin(login);
}

std::vector<Tag> Global::allTags() {
  ensureLoginLoaded();
  State& s = state();
  std::lock_guard lock(s.mutex);
  std::vector<Tag> tags;
  for (const auto& tag : s.login.tags) {
    if (s.tagIds.contains(tag.id)) tags.push_back(tag);
  }
  return tags;
}

std::vector<VPNProtocol> Global::availableProtocols() {
  const Login login = loginInfo();
  const bool withoutVMess = serverTimeOffset() != 0;
  std::vector<VPNProtocol> protocols;
  if (!login.other) return protocols;
  for (const auto& code : login.other->available_protocols) {
    const VPNProtocol protocol = vpnProtocolFromRaw(code).value_or(VPNProtocol::AUTO);
    if (withoutVMess && isVMess(protocol)) continue;
    protocols.push_back(protocol);
  }
  return protocols;
}

std::vector<VPNProtocol> Global::protocolPriority() {
  const Login login = loginInfo();
  const bool withoutVMess = serverTimeOffset() != 0;
  static const std::vector<std::string> kNone;
  const auto& offered = login.other ? login.other->protocal_priority : kNone;
  std::vector<VPNProtocol> protocols;
  for (const VPNProtocol protocol : kPriorityOrder) {
    if (withoutVMess && isVMess(protocol)) continue;
    if (std::find(offered.begin(), offered.end(), rawValue(protocol)) != offered.end()) protocols.push_back(protocol);
  }
  return protocols;
}

Domains Global::domains() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.domains;
}

void Global::setDomains(const Domains& value) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.domains = value;
}

Live Global::live() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.live;
}

void Global::setLive(const Live& value) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.live = value;
}

void Global::modifyLive(const std::function<void(Live&)>& change) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  change(s.live);
}

ProxyRule Global::proxyRule() {
  ensureProxyRuleLoaded();
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.proxyRule;
}

void Global::setProxyRule(const ProxyRule& value) {
  State& s = state();
  std::lock_guard write(s.writeMutex);
  ensureProxyRuleLoaded();
  {
    std::lock_guard lock(s.mutex);
    s.proxyRule = value;
  }
  const auto text = toJson(value);
  Store::setValue(StoreKeys::PROXY_RULE, text ? std::optional<StoreValue>(*text) : std::nullopt);
}

std::vector<std::string> Global::historyAccount() { return storedHistory(); }

std::vector<std::string> Global::emailSuffix() {
  ensureEmailSuffixLoaded();
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.emailSuffix.empty() ? kBuiltInEmailSuffixes : s.emailSuffix;
}

void Global::setEmailSuffix(const std::vector<std::string>& value) {
  ensureEmailSuffixLoaded();
  if (value.empty()) return;
  State& s = state();
  std::lock_guard write(s.writeMutex);
  {
    std::lock_guard lock(s.mutex);
    s.emailSuffix = value;
  }
  Store::setValue(StoreKeys::EMAIL_SUFFIX, StoreValue(value));
}

void Global::setCurrentTagCheck(CurrentTagCheck check) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.currentTagCheck = std::move(check);
}

void Global::setClockForTesting(std::function<std::chrono::system_clock::time_point()> clock) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.clock = std::move(clock);
}

void Global::setLocaleForTesting(std::function<std::string()> localeIdentifier) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.locale = std::move(localeIdentifier);
}

}  // namespace tarnel
