#include "services/network/DNS.h"

#include <atomic>
#include <random>
#include <utility>

#include "services/common/AppInfo.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/common/Store.h"
#include "services/encryption/APIEncryption.h"
#include "services/encryption/Encryptor.h"
#include "services/network/Concurrent.h"
#include "services/network/DeploymentConfig.h"
#include "services/network/DiscoveryRecords.h"
#include "services/network/NetworkRequest.h"
#include "services/network/UrlHost.h"

namespace tarnel {
namespace {

constexpr const char* kScheme = "https://";
constexpr const char* kApiProbePath = "/v6/test";
constexpr const char* kSiteProbePath = "/v5-web/test";
constexpr const char* kPayProbePath = "/test";
constexpr const char* kPlatform = "darwin";
// Recorded when an applied answer names no API host at all.
constexpr const char* kNoApiHostCode = "-10086";

using Headers = std::map<std::string, std::string>;

// Every probe ends early once the instance is shutting down.
std::shared_ptr<NetworkRequest> probeRequest(const std::shared_ptr<std::atomic<bool>>& cancel, const std::string& url,
                                             std::optional<Headers> headers = std::nullopt) {
  auto request = std::make_shared<NetworkRequest>(url, HttpMethod::GET, std::nullopt, std::nullopt, std::move(headers),
                                                  std::nullopt, std::nullopt);
  request->cancellation = cancel;
  return request;
}

// Four dot-separated groups of one to three digits, each at most 255 (leading zeros allowed).
// Kept free of function-local statics: background probes call it while the process may be ending.
bool isIPv4Address(const std::string& text) {
  std::size_t groups = 0;
  std::size_t at = 0;
  while (groups < 4) {
    std::size_t digits = 0;
    int value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
      value = value * 10 + (text[at] - '0');
      ++at;
      ++digits;
    }
    if (digits == 0 || value > 255) return false;
    ++groups;
    if (groups == 4) break;
    if (at >= text.size() || text[at] != '.') return false;
    ++at;
  }
  return at == text.size();
}

void logDiscoveryFailure(const std::string& path, const std::string& code, const std::string& body) {
  recordDiscoveryFailure({{"path", path}, {"request", "GET"}, {"response_code", code}, {"response_body", body}});
}

// Real answers are a few kilobytes. The cache lives in the settings file, which is read and
// written whole at every change, so a huge answer (padding, unknown keys, endless lists) must not
// go there as it came.
constexpr std::size_t kMaxCachedAnswerBytes = 256 * 1024;

void cacheAnswer(const std::string& text, const HttpDns& decoded) {
  if (text.size() <= kMaxCachedAnswerBytes) {
    Store::setValue(StoreKeys::DNS_CACHE, text);
    return;
  }
  // Re-encoded from the model: only what the client reads, in its enciphered form.
  if (const auto compact = toJson(decoded); compact && compact->size() <= kMaxCachedAnswerBytes) {
    Store::setValue(StoreKeys::DNS_CACHE, *compact);
    return;
  }
  Logger::log(LogLevel::warning, "Discovery answer not cached:", text.size(), "bytes, the cache takes at most",
              kMaxCachedAnswerBytes);
}

// A link on one of the answer's hosts; nothing to link to without the host.
std::string onHost(const std::string& host, const std::string& rest) {
  return host.empty() ? std::string() : kScheme + host + rest;
}

}  // namespace

DNSDeployment DNSDeployment::builtIn() {
  namespace d = deployment;
  const Headers discoveryName{{"Host", d::kDiscoveryHostName}};
  DNSDeployment result;
  result.groups = {
      {{std::string(kScheme) + d::kDiscoveryAddress1 + ":2324", discoveryName},
       {std::string(kScheme) + d::kDiscoveryFallback1 + ":233", std::nullopt}},
      {{std::string(kScheme) + d::kDiscoveryAddress2 + ":2324", discoveryName},
       {std::string(kScheme) + d::kDiscoveryFallback2 + ":666", std::nullopt}},
      {{std::string(kScheme) + d::kMirror1, std::nullopt}, {std::string(kScheme) + d::kMirror2, std::nullopt}},
      {{std::string(kScheme) + d::kMirrorAddress1, Headers{{"Host", d::kMirror1}}},
       {std::string(kScheme) + d::kMirrorAddress2, Headers{{"Host", d::kMirror2}}}},
      {{std::string(kScheme) + d::kHttpDns1, std::nullopt},
       {std::string(kScheme) + d::kHttpDns2, std::nullopt},
       {std::string(kScheme) + d::kHttpDns3, std::nullopt}},
  };
  result.officialSite = d::kOfficialSite;
  return result;
}

namespace {

// Makes the function-local statics that the background tasks use, so that they are made before
// the shared instance and therefore destroyed only after it has stopped its tasks.
void prepareWhatTasksUse() {
  (void)dnsBodyEncryptor();
  (void)Store::getValue(StoreKeys::DNS_CACHE);
  (void)Global::currentTimeMillisecondsSinceEpoch();
  prepareDiscoveryRecorder();
  // One exchange that is cancelled before it is sent makes the HTTP engine's own statics.
  auto cancelled = std::make_shared<std::atomic<bool>>(true);
  (void)probeRequest(cancelled, std::string(kScheme) + "127.0.0.1" + DNS::kDiscoveryPath)->request();
}

DNS& sharedInstance() {
  // Destroyed at exit: it cancels its probes and waits for its background tasks.
  static DNS& instance = []() -> DNS& {
    prepareWhatTasksUse();
    static DNS dns(DNSDeployment::builtIn());
    return dns;
  }();
  return instance;
}

}  // namespace

DNS& DNS::shared() { return sharedInstance(); }

void DNS::setDeploymentForTesting(DNSDeployment deployment) {
  DNS& dns = shared();
  std::lock_guard lock(dns.mutex_);
  dns.apis_ = std::move(deployment.groups);
  dns.officialSiteUrl_ = std::move(deployment.officialSite);
}

DNS::DNS(DNSDeployment deployment)
    : apis_(std::move(deployment.groups)), officialSiteUrl_(std::move(deployment.officialSite)) {}

DNS::~DNS() {
  stopping_ = true;
  cancel_->store(true);
  tasks_.waitAll();
}

std::vector<std::vector<DNSApi>> DNS::groups() const {
  std::lock_guard lock(mutex_);
  return apis_;
}

bool DNS::initDNS() {
  std::optional<std::string> cached;
  if (const auto stored = Store::getValue(StoreKeys::DNS_CACHE)) cached = stored->string();

  // A cache that no longer decodes is treated as no cache at all.
  if (cached && handleDNS(*cached)) {
    if (!stopping_) tasks_.start([this] { getDNS(); });
    return true;
  }
  getDNS();
  return dnsData().has_value();
}

void DNS::getDNS(const std::function<void(const std::shared_ptr<HttpResponse>&)>& callback) {
  std::lock_guard run(runMutex_);
  const auto allGroups = groups();
  const auto count = static_cast<std::int64_t>(allGroups.size());
  if (count == 0) return;
  const std::int64_t first = std::min(std::max<std::int64_t>(dnsIndex(), 0), count - 1);

  for (std::int64_t asked = 0; asked < count && !stopping_; ++asked) {
    const std::int64_t groupIndex = (first + asked) % count;
    const auto& group = allGroups[static_cast<std::size_t>(groupIndex)];
    const std::int64_t started = Global::currentTimeMillisecondsSinceEpoch();

    std::vector<std::shared_ptr<NetworkRequest>> requests;
    for (const auto& endpoint : group) {
      requests.push_back(probeRequest(cancel_, endpoint.url + kDiscoveryPath, endpoint.headers));
    }
    const ConcurrentResult result = Concurrent::concurrentProcessing(requests);

    std::shared_ptr<HttpResponse> response = result.response();
    if (!result.isSuccess()) {
      const std::string description = result.error() ? result.error()->localizedDescription() : std::string();
      const auto at = result.index();
      const std::string host = at >= 0 && at < static_cast<std::int64_t>(group.size())
                                   ? group[static_cast<std::size_t>(at)].url
                                   : std::string();
      response = std::make_shared<HttpResponse>(-1, description, std::nullopt,
                                                Global::currentTimeMillisecondsSinceEpoch() - started, host,
                                                kDiscoveryPath, 0, Headers{});
      // A process on its way out does not wait for one more upload.
      if (!stopping_) logDiscoveryFailure(kDiscoveryPath, "-1", description);
    }
    if (callback) callback(response);

    if (response->statusCode != 200) continue;
    // The outer layer is taken off when it deciphers; a body that is not text, or a text that
    // does not decode, counts as this group's failure.
    const auto text = response->value();
    if (text && handleDNS(*text)) {
      std::lock_guard lock(mutex_);
      dnsIndex_ = groupIndex;
      return;
    }
  }
}

bool DNS::handleDNS(const std::string& text) {
  auto decoded = fromJson<HttpDns>(text);
  if (!decoded) return false;

  cacheAnswer(text, *decoded);

  std::vector<API> hosts;
  std::vector<std::string> addresses;
  const HttpDnsBody& body = decoded->body;
  if (!body.apicdn.empty()) hosts.push_back({body.apicdn, body.apicdn});
  for (const auto& entry : body.dns) {
    for (const auto& ip : entry.ip) {
      if (isIPv4Address(ip)) addresses.push_back(ip);
      hosts.push_back({ip, entry.host});
    }
  }
  if (!body.urls.apiReserve1.empty()) hosts.push_back({body.urls.apiReserve1, body.urls.apiReserve1});
  if (!body.urls.apiReserve2.empty()) hosts.push_back({body.urls.apiReserve2, body.urls.apiReserve2});

  // The first two candidates race for the head of the list, the first one winning a tie.
  if (!hosts.empty() && !stopping_) {
    std::vector<std::shared_ptr<NetworkRequest>> probes;
    for (std::size_t i = 0; i < hosts.size() && i < 2; ++i) {
      // The API host as every API request names it (DNS::apiBaseUrl): an IPv6 address in brackets.
      probes.push_back(probeRequest(cancel_, httpsUrl(hosts[i].host, kApiProbePath), Headers{{"Host", hosts[i].domain}}));
    }
    const auto probed = Concurrent::concurrentProcessing(probes);
    if (probed.isSuccess() && probed.index() == 1) std::swap(hosts[0], hosts[1]);
  }

  const bool noHost = hosts.empty();
  HttpDnsBody bodyCopy = decoded->body;
  {
    std::lock_guard lock(mutex_);
    dnsData_ = std::move(decoded);
    retryCount_ = static_cast<std::int64_t>(hosts.size());
    dnsApi_ = std::move(hosts);
    directIPs_ = std::move(addresses);
    apiIndex_ = 0;
  }
  if (!stopping_) {
    tasks_.start([this, body = std::move(bodyCopy)] { probeSiteAndPayHosts(body); });
  }
  if (noHost) logDiscoveryFailure("handleDNS", kNoApiHostCode, text);
  return true;
}

void DNS::probeSiteAndPayHosts(const HttpDnsBody& body) {
  const std::string site = body.urls.officials.empty() ? std::string() : body.urls.officials.front();
  {
    std::lock_guard lock(mutex_);
    officialSiteUrl_ = site;
  }
  if (stopping_) return;
  if (site.empty() || !probeRequest(cancel_, kScheme + site + kSiteProbePath)->request().isSuccess()) {
    probeOfficialSites();
  }

  if (body.urls.pay_cdn2.empty() || stopping_) return;
  std::vector<std::shared_ptr<NetworkRequest>> probes;
  for (const auto& host : body.urls.pay_cdn2) probes.push_back(probeRequest(cancel_, kScheme + host + kPayProbePath));
  const auto probed = Concurrent::concurrentProcessing(probes);
  if (probed.isSuccess()) {
    std::lock_guard lock(mutex_);
    payIndex_ = probed.index();
  }
}

void DNS::probeOfficialSites() {
  HttpDnsBodyUrls urls;
  {
    std::lock_guard lock(mutex_);
    if (!dnsData_) return;
    urls = dnsData_->body.urls;
  }
  if (urls.officials.empty()) {
    std::lock_guard lock(mutex_);
    officialSiteUrl_ = urls.officialSite;
    return;
  }
  std::vector<std::shared_ptr<NetworkRequest>> probes;
  for (const auto& site : urls.officials) probes.push_back(probeRequest(cancel_, kScheme + site + kSiteProbePath));
  const auto probed = Concurrent::concurrentProcessing(probes);
  std::lock_guard lock(mutex_);
  officialSiteUrl_ = probed.isSuccess() ? urls.officials[static_cast<std::size_t>(probed.index())]
                                        : urls.officials.front();
}

bool DNS::nextHost() {
  std::lock_guard lock(mutex_);
  const auto count = static_cast<std::int64_t>(dnsApi_.size());
  apiIndex_ = apiIndex_ < count - 1 ? apiIndex_ + 1 : 0;
  retryCount_ -= 1;
  return retryCount_ > 0;
}

DNS::API DNS::currentHost() const {
  std::lock_guard lock(mutex_);
  if (apiIndex_ < 0 || apiIndex_ >= static_cast<std::int64_t>(dnsApi_.size())) return {};
  return dnsApi_[static_cast<std::size_t>(apiIndex_)];
}

std::vector<DNS::API> DNS::hostsFromCurrent() const {
  std::lock_guard lock(mutex_);
  std::vector<API> hosts;
  const std::size_t count = dnsApi_.size();
  if (count == 0) return hosts;
  const std::size_t start =
      apiIndex_ >= 0 && apiIndex_ < static_cast<std::int64_t>(count) ? static_cast<std::size_t>(apiIndex_) : 0;
  for (std::size_t i = 0; i < count; ++i) hosts.push_back(dnsApi_[(start + i) % count]);
  return hosts;
}

std::string DNS::apiDomain() const { return currentHost().domain; }

// An IPv6 host goes in brackets; a host that cannot stand in a URL gives no URL at all (the
// request then fails at once) rather than an address that means something else.
std::string DNS::apiBaseUrl() const { return httpsUrl(currentHost().host, "/v6"); }

std::string DNS::apiBaseHost() const { return currentHost().host; }

void DNS::restoreRetryBudget() {
  std::lock_guard lock(mutex_);
  retryCount_ = static_cast<std::int64_t>(dnsApi_.size());
}

std::string DNS::payHost() {
  std::lock_guard lock(mutex_);
  if (payIndex_ < 0) payIndex_ = 0;
  // A newer answer may list fewer payment hosts than the one the index was chosen from.
  if (!dnsData_ || payIndex_ >= static_cast<std::int64_t>(dnsData_->body.urls.pay_cdn2.size())) return {};
  return dnsData_->body.urls.pay_cdn2[static_cast<std::size_t>(payIndex_)];
}

std::string DNS::payUrl() { return payHost(); }

std::string DNS::payUrlBackup() const {
  std::vector<std::string> others;
  {
    std::lock_guard lock(mutex_);
    if (!dnsData_) return {};
    const auto& hosts = dnsData_->body.urls.pay_cdn2;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
      if (static_cast<std::int64_t>(i) != payIndex_) others.push_back(hosts[i]);
    }
  }
  if (others.empty()) return {};
  static thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, others.size() - 1);
  return others[pick(random)];
}

std::string DNS::cdndlUrl() const {
  const auto data = dnsData();
  return data ? data->body.cdndl : std::string();
}

std::string DNS::officialEmail() const {
  const auto data = dnsData();
  return data ? data->body.cs : std::string();
}

std::string DNS::shareUrl() const {
  const auto data = dnsData();
  return data ? data->body.urls.share : std::string();
}

std::string DNS::custom() const {
  const auto data = dnsData();
  return onHost(data ? data->body.urls.custom : std::string(), "/custom/?");
}

std::string DNS::countryIcon() const { return onHost(cdndlUrl(), "/17s/country/%@3.png"); }

std::string DNS::officialDomain() const { return officialSiteUrl(); }

std::string DNS::privacyUrl() const {
  return onHost(officialSiteUrl().empty() ? std::string() : "www." + officialSiteUrl(),
                std::string("/pp-tarnel") + (Global::language() == "en" ? "" : "-cn") + ".html");
}

std::string DNS::serviceUrl() const {
  return onHost(officialSiteUrl().empty() ? std::string() : "www." + officialSiteUrl(),
                std::string("/ts-tarnel") + (Global::language() == "en" ? "" : "-cn") + ".html");
}

std::string DNS::shareHelp() const { return onHost(cdndlUrl(), "/tarnel/app/share/help.html"); }

std::string DNS::linkSignatureQuery() {
  // One reading of the clock for both the time stamp and what is signed.
  const std::string ts = std::to_string(Global::currentTimeMillisecondsSinceEpoch());
  return "&ts=" + ts + "&sign=" + APIEncryption::signRequest(ts);
}

std::string DNS::shareAchievement() {
  const AppInfo app;
  return onHost(payHost(), "/sharer/?uid=" + Global::userId() + "&device_id=" + DeviceInfo::ID() + "&pub=" +
                               kPlatform + linkSignatureQuery() + "&lang=" + Global::apiLanguage() +
                               "&appId=" + app.appId + "&version=" + app.version);
}

std::string DNS::shop() {
  const AppInfo app;
  return onHost(payHost(), "/pay/order/?uid=" + Global::userId() + "&device_id=" + DeviceInfo::ID() +
                               "&svip=-1" + "&pub=" + kPlatform + linkSignatureQuery() + "&lang=" +
                               Global::apiLanguage() + "&appId=" + app.appId + "&version=" + app.version + "&pc=1");
}

std::string DNS::help() const { return onHost(cdndlUrl(), "/tarnel/app/faq/%@-" + Global::apiLanguage() + ".html"); }

std::string DNS::share() const {
  const AppInfo app;
  return onHost(officialSiteUrl(),
                "/apps?code=" + Global::loginInfo().user.code + "&p=" + kPlatform + "&v=" + app.version);
}

std::string DNS::mobile() const { return onHost(cdndlUrl(), "/tarnel/app/zl/pc-location.html"); }

std::string DNS::naviTitle() const {
  const auto data = dnsData();
  if (!data) return {};
  const std::string language = Global::language();
  if (language == "zh-Hans") return data->body.navi.zh;
  if (language == "zh-Hant") return data->body.navi.hk;
  return data->body.navi.en;
}

std::string DNS::naviUrl() {
  const AppInfo app;
  return onHost(payHost(), "/navigation/?uid=" + Global::userId() + "&device_id=" + DeviceInfo::ID() +
                               "&appId=" + app.appId + "&lang=" + Global::apiLanguage() + "&version=" + app.version);
}

std::vector<DNS::API> DNS::dnsApi() const {
  std::lock_guard lock(mutex_);
  return dnsApi_;
}

std::vector<std::string> DNS::directIPs() const {
  std::lock_guard lock(mutex_);
  return directIPs_;
}

std::int64_t DNS::retryCount() const {
  std::lock_guard lock(mutex_);
  return retryCount_;
}

void DNS::setRetryCount(std::int64_t value) {
  std::lock_guard lock(mutex_);
  retryCount_ = value;
}

std::int64_t DNS::apiIndex() const {
  std::lock_guard lock(mutex_);
  return apiIndex_;
}

std::int64_t DNS::dnsIndex() const {
  std::lock_guard lock(mutex_);
  return dnsIndex_;
}

std::int64_t DNS::payIndex() const {
  std::lock_guard lock(mutex_);
  return payIndex_;
}

void DNS::setPayIndex(std::int64_t value) {
  std::lock_guard lock(mutex_);
  payIndex_ = value;
}

std::optional<HttpDns> DNS::dnsData() const {
  std::lock_guard lock(mutex_);
  return dnsData_;
}

std::string DNS::officialSiteUrl() const {
  std::lock_guard lock(mutex_);
  return officialSiteUrl_;
}

void DNS::waitForBackgroundTasks() { tasks_.waitAll(); }

}  // namespace tarnel
