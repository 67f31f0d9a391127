#pragma once

// Fakes of every service interface, for the tests of the user interface. Endpoint-like calls
// answer what the test scripted (FakeScript: per call a result, a delay, a gate, an effect) or a
// neutral default (success, empty lists, none); state the library keeps (the login, the settings
// store, the user's node choice, the language, the engine's status) is kept in memory, so a
// setter followed by a getter behaves as the real one does. Every call is recorded in the fake's
// `script`. Thread-safe.
//
//   lumora::FakeServices fakes;
//   AppStateManager state(fakes.services());
//   fakes.status->script.answer<ServiceError>("live", nullptr);

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/DNSServer.h"
#include "services/model/LiveModels.h"
#include "services/model/LoginModels.h"
#include "tests/ui_support/fakes/FakeScript.h"
#include "tests/ui_support/fakes/FakeText.h"
#include "ui/base/services/Services.h"

namespace lumora {

class FakeAccountService final : public AccountService {
 public:
  FakeScript script;

  ServiceError login(const std::string& email, const std::string& password, std::int64_t force,
                     const std::string& code) override {
    return script.call<ServiceError>("login", {email, password, fake_text::of(force), code}, nullptr);
  }
  ServiceError registerAccount(const std::string& email, const std::string& password, const std::string& code,
                               bool moreDevices) override {
    return script.call<ServiceError>("registerAccount", {email, password, code, fake_text::of(moreDevices)}, nullptr);
  }
  ServiceError verify(const std::string& code) override { return script.call<ServiceError>("verify", {code}, nullptr); }
  ServiceError getVerificationCode(const std::string& email, bool isForget) override {
    return script.call<ServiceError>("getVerificationCode", {email, fake_text::of(isForget)}, nullptr);
  }
  ServiceError forgetPassword(const std::string& email, const std::string& password,
                              const std::string& code) override {
    return script.call<ServiceError>("forgetPassword", {email, password, code}, nullptr);
  }
  ServiceError changePassword(const std::string& oldPassword, const std::string& newPassword) override {
    return script.call<ServiceError>("changePassword", {oldPassword, newPassword}, nullptr);
  }
  ServiceError bindInvitationCode(const std::string& code) override {
    return script.call<ServiceError>("bindInvitationCode", {code}, nullptr);
  }
  ServiceError delUser(const std::string& password) override {
    return script.call<ServiceError>("delUser", {password}, nullptr);
  }
  ServiceError logout(const std::string& userId, const std::string& deviceId) override {
    return script.call<ServiceError>("logout", {userId, deviceId}, nullptr);
  }
  void getShareInfo() override { script.call("getShareInfo", {}); }
  std::string getOfficialToken() override { return script.call<std::string>("getOfficialToken", {}, ""); }

  tarnel::Login loginInfo() override {
    std::lock_guard lock(mutex_);
    return login_;
  }
  std::string userId() override {
    std::lock_guard lock(mutex_);
    return login_.user.id;
  }
  void setLoginInfo(const tarnel::Login& login) override {
    script.call("setLoginInfo", {login.user.id});
    std::lock_guard lock(mutex_);
    login_ = login;
  }
  void modifyLoginInfo(const std::function<void(tarnel::Login&)>& change) override {
    script.call("modifyLoginInfo", {});
    std::lock_guard lock(mutex_);
    change(login_);
  }
  std::vector<std::string> historyAccount() override {
    return script.call<std::vector<std::string>>("historyAccount", {}, {});
  }
  std::vector<std::string> emailSuffix() override {
    return script.call<std::vector<std::string>>("emailSuffix", {}, {"gmail.com", "outlook.com"});
  }

 private:
  std::mutex mutex_;
  tarnel::Login login_;
};

class FakeStatusService final : public StatusService {
 public:
  FakeScript script;

  ServiceError live() override { return script.call<ServiceError>("live", {}, nullptr); }
  ServiceError update(std::int64_t fetch) override {
    return script.call<ServiceError>("update", {fake_text::of(fetch)}, nullptr);
  }
  void updateDomain() override { script.call("updateDomain", {}); }
  void startNetworkMonitor() override { script.call("startNetworkMonitor", {}); }
  bool initDNS() override { return script.call<bool>("initDNS", {}, true); }

  tarnel::Live currentLive() override {
    std::lock_guard lock(mutex_);
    return live_;
  }
  void setCurrentLive(const tarnel::Live& live) {
    std::lock_guard lock(mutex_);
    live_ = live;
  }
  tarnel::AppInfo appInfo() override { return tarnel::AppInfo(); }

  std::string language() override {
    std::lock_guard lock(mutex_);
    return language_;
  }
  void setLanguage(const std::string& code) override {
    script.call("setLanguage", {code});
    std::lock_guard lock(mutex_);
    language_ = code;
  }
  std::string apiLanguage() override {
    const std::string code = language();
    return code == "zh-Hans" || code == "zh-Hant" ? "zh" : "en";
  }

  // The server clock: the set value when one is set, else the system clock.
  std::int64_t serverTimeMilliseconds() override {
    std::lock_guard lock(mutex_);
    if (serverTime_) return *serverTime_;
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
  void setServerTimeMilliseconds(std::optional<std::int64_t> value) {
    std::lock_guard lock(mutex_);
    serverTime_ = value;
  }

  std::vector<tarnel::VPNProtocol> availableProtocols() override {
    return script.call<std::vector<tarnel::VPNProtocol>>("availableProtocols", {}, {});
  }
  std::vector<tarnel::Tag> allTags() override { return script.call<std::vector<tarnel::Tag>>("allTags", {}, {}); }
  std::map<std::string, tarnel::Country> countryMap() override {
    return script.call<std::map<std::string, tarnel::Country>>("countryMap", {}, {});
  }

  tarnel::ProxyRule proxyRule() override {
    std::lock_guard lock(mutex_);
    return rule_;
  }
  void setProxyRule(const tarnel::ProxyRule& rule) override {
    script.call("setProxyRule", {fake_text::of(rule)});
    std::lock_guard lock(mutex_);
    rule_ = rule;
  }
  bool saveProxyRules(const tarnel::ProxyRule& rule) override {
    return script.call<bool>("saveProxyRules", {fake_text::of(rule)}, true);
  }

 private:
  std::mutex mutex_;
  tarnel::Live live_;
  std::string language_ = "en";
  std::optional<std::int64_t> serverTime_;
  tarnel::ProxyRule rule_;
};

// An in-memory settings store; `writes()` lists every setValue in order.
class FakeSettingsStore final : public SettingsStore {
 public:
  FakeScript script;

  std::optional<tarnel::StoreValue> value(tarnel::StoreKeys key) override {
    std::lock_guard lock(mutex_);
    const auto found = values_.find(key);
    if (found == values_.end()) return std::nullopt;
    return found->second;
  }
  void setValue(tarnel::StoreKeys key, const std::optional<tarnel::StoreValue>& value) override {
    script.call("setValue", {std::string(tarnel::rawValue(key))});
    std::lock_guard lock(mutex_);
    if (value) {
      values_.insert_or_assign(key, *value);
    } else {
      values_.erase(key);
    }
  }
  bool clearAll() override {
    const bool cleared = script.call<bool>("clearAll", {}, true);
    std::lock_guard lock(mutex_);
    if (cleared) values_.clear();
    return cleared;
  }

  // The keys written so far, in order (a key written twice appears twice).
  std::vector<std::string> writes() const {
    std::vector<std::string> keys;
    for (const auto& call : script.calls("setValue")) keys.push_back(call.arguments.at(0));
    return keys;
  }
  std::map<tarnel::StoreKeys, tarnel::StoreValue> values() const {
    std::lock_guard lock(mutex_);
    return values_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<tarnel::StoreKeys, tarnel::StoreValue> values_;
};

class FakeDeviceService final : public DeviceService {
 public:
  FakeScript script;
  static constexpr const char* kThisDevice = "0123456789abcdef0123456789abcdef";

  std::optional<std::vector<tarnel::Devices>> devices() override {
    return script.call<std::optional<std::vector<tarnel::Devices>>>("devices", {}, std::vector<tarnel::Devices>{});
  }
  bool updateDeviceName(const std::string& name, const std::string& deviceId) override {
    return script.call<bool>("updateDeviceName", {name, deviceId}, true);
  }
  std::optional<tarnel::UpgradeInfo> previewUpgrade(std::int64_t deviceCountTarget) override {
    return script.call<std::optional<tarnel::UpgradeInfo>>("previewUpgrade", {fake_text::of(deviceCountTarget)},
                                                          std::nullopt);
  }
  bool upgradeDevices(std::int64_t deviceCountTarget) override {
    return script.call<bool>("upgradeDevices", {fake_text::of(deviceCountTarget)}, true);
  }
  std::string thisDeviceId() override { return kThisDevice; }
};

// The user's choices kept in memory. The node of the connection and the protocol chosen under
// AUTO stand for what an attempt picked; tests set them with setConnectionNode/setChosenProtocol.
class FakeNodeSelection final : public NodeSelection {
 public:
  FakeScript script;

  std::optional<tarnel::Node> currentNode() override {
    std::lock_guard lock(mutex_);
    return selectedNode_ ? selectedNode_ : connectionNode_;
  }
  std::optional<tarnel::Node> selectedNode() override {
    std::lock_guard lock(mutex_);
    return selectedNode_;
  }
  void setSelectedNode(const std::optional<tarnel::Node>& node) override {
    script.call("setSelectedNode", {fake_text::of(node)});
    std::lock_guard lock(mutex_);
    selectedNode_ = node;
  }
  void setConnectionNode(const std::optional<tarnel::Node>& node) {
    std::lock_guard lock(mutex_);
    connectionNode_ = node;
  }
  std::optional<tarnel::Country> currentCountry() override {
    std::lock_guard lock(mutex_);
    return country_;
  }
  void setCurrentCountry(const std::optional<tarnel::Country>& country) override {
    script.call("setCurrentCountry", {fake_text::of(country)});
    std::lock_guard lock(mutex_);
    country_ = country;
  }
  std::optional<tarnel::Tag> currentTag() override {
    std::lock_guard lock(mutex_);
    return tag_;
  }
  void setCurrentTag(const std::optional<tarnel::Tag>& tag) override {
    script.call("setCurrentTag", {fake_text::of(tag)});
    std::lock_guard lock(mutex_);
    tag_ = tag;
  }
  tarnel::VPNProtocol currentProtocol() override {
    std::lock_guard lock(mutex_);
    return protocol_ == tarnel::VPNProtocol::AUTO ? chosenProtocol_ : protocol_;
  }
  void setCurrentProtocol(tarnel::VPNProtocol protocol) override {
    script.call("setCurrentProtocol", {fake_text::of(protocol)});
    std::lock_guard lock(mutex_);
    protocol_ = protocol;
  }
  void setChosenProtocol(tarnel::VPNProtocol protocol) {
    std::lock_guard lock(mutex_);
    chosenProtocol_ = protocol;
  }
  bool isConnecting() override {
    std::lock_guard lock(mutex_);
    return connecting_;
  }
  void setConnecting(bool connecting) {
    std::lock_guard lock(mutex_);
    connecting_ = connecting;
  }

  std::vector<tarnel::Node> nodesByCountry(const std::string& country, std::int64_t tagId) override {
    return script.call<std::vector<tarnel::Node>>("nodesByCountry", {country, fake_text::of(tagId)}, {});
  }
  std::vector<tarnel::Node> cachedNodes() override {
    return script.call<std::vector<tarnel::Node>>("cachedNodes", {}, {});
  }
  ServiceError fetchNodes(const std::string& extNodes) override {
    return script.call<ServiceError>("fetchNodes", {extNodes}, nullptr);
  }
  RuleLists ruleLists() override { return script.call<RuleLists>("ruleLists", {}, {}); }

  std::map<std::string, std::vector<std::string>> areaMap() override {
    return script.call<std::map<std::string, std::vector<std::string>>>("areaMap", {}, defaultAreaMap());
  }
  std::string selectedArea() override {
    std::lock_guard lock(mutex_);
    return area_;
  }
  void setSelectedArea(const std::string& area) override {
    script.call("setSelectedArea", {area});
    std::lock_guard lock(mutex_);
    area_ = area;
  }
  // As the library filters: the countries that carry the tag (all without one), then those of
  // the chosen region when it is one of areaMap()'s.
  std::vector<tarnel::Country> filterCountries(const std::vector<tarnel::Country>& countries,
                                               const std::optional<tarnel::Tag>& tag) override;

  // A small stand-in for the library's region table.
  static std::map<std::string, std::vector<std::string>> defaultAreaMap();

 private:
  std::mutex mutex_;
  std::optional<tarnel::Node> selectedNode_;
  std::optional<tarnel::Node> connectionNode_;
  std::optional<tarnel::Country> country_;
  std::optional<tarnel::Tag> tag_;
  tarnel::VPNProtocol protocol_ = tarnel::VPNProtocol::AUTO;
  tarnel::VPNProtocol chosenProtocol_ = tarnel::VPNProtocol::TROJAN_WS;
  bool connecting_ = false;
  std::string area_;
};

// Records the settings and the calls; the test makes the library's reports with emitStep,
// emitStatus and emitFailure, from whatever thread it likes (the real ones come on the library's
// threads, never on the GUI thread).
class FakeConnectionService final : public ConnectionService {
 public:
  FakeScript script;

  void setCallbacks(ConnectionCallbacks callbacks) override {
    script.call("setCallbacks", {});
    std::lock_guard lock(mutex_);
    callbacks_ = std::move(callbacks);
  }
  void configure(const ConnectionSettings& settings) override {
    script.call("configure", {fake_text::of(settings)});
    std::lock_guard lock(mutex_);
    settings_ = settings;
  }
  void openConnection() override { script.call("openConnection", {}); }
  void disconnect() override { script.call("disconnect", {}); }
  bool startSwitchListen() override { return script.call<bool>("startSwitchListen", {}, true); }
  void stopSwitchListen() override { script.call("stopSwitchListen", {}); }

  ConnectionSettings settings() {
    std::lock_guard lock(mutex_);
    return settings_;
  }
  // Each calls the current callback of its kind, if any, on the calling thread.
  void emitStep(tarnel::ConnectStep step) {
    if (auto callback = callbacks().onStep) callback(step);
  }
  void emitStatus(helmsey::VPNStatus status) {
    if (auto callback = callbacks().onStatus) callback(status);
  }
  void emitFailure(ServiceError error) {
    if (auto callback = callbacks().onFailed) callback(std::move(error));
  }
  // From now on each disconnect reports the stop before it returns, on the calling thread, as the
  // real blocking disconnect does.
  void reportStopOnDisconnect() {
    script.onCall("disconnect", [this] { emitStatus(helmsey::VPNStatus::disconnected); });
  }

 private:
  ConnectionCallbacks callbacks() {
    std::lock_guard lock(mutex_);
    return callbacks_;
  }

  std::mutex mutex_;
  ConnectionCallbacks callbacks_;
  ConnectionSettings settings_;
};

class FakeShopService final : public ShopService {
 public:
  FakeScript script;

  std::optional<tarnel::PaymentPlans> paymentPlans() override {
    return script.call<std::optional<tarnel::PaymentPlans>>("paymentPlans", {}, std::nullopt);
  }
  // As the library does, a purchase the service did not credit is kept for resending.
  bool completePurchase(const std::string& productId, const std::string& transactionId,
                        const std::string& receipt) override {
    const bool credited = script.call<bool>("completePurchase", {productId, transactionId, receipt}, true);
    const std::vector<std::string> purchase{productId, transactionId, receipt};
    std::lock_guard lock(mutex_);
    std::erase(pending_, purchase);
    if (!credited) pending_.push_back(purchase);
    return credited;
  }
  tarnel::Coupon coupons() override { return script.call<tarnel::Coupon>("coupons", {}, tarnel::Coupon{}); }
  ServiceError useCard(std::int64_t id) override {
    return script.call<ServiceError>("useCard", {fake_text::of(id)}, nullptr);
  }
  std::size_t resendPendingReceipts() override {
    script.call("resendPendingReceipts", {});
    for (const auto& purchase : pendingReceipts()) (void)completePurchase(purchase[0], purchase[1], purchase[2]);
    return pendingReceipts().size();
  }

  // The kept purchases (product, transaction, receipt), oldest first.
  std::vector<std::vector<std::string>> pendingReceipts() const {
    std::lock_guard lock(mutex_);
    return pending_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::vector<std::string>> pending_;
};

class FakeNoticeService final : public NoticeService {
 public:
  FakeScript script;

  std::optional<tarnel::Notices> notices() override {
    return script.call<std::optional<tarnel::Notices>>("notices", {}, std::nullopt);
  }
  std::optional<std::string> notice(std::int64_t id) override {
    return script.call<std::optional<std::string>>("notice", {fake_text::of(id)}, std::nullopt);
  }
};

// Every link answers "https://<operation>.test/" unless scripted; the flag address follows the
// library's rule over a format of "https://127.0.0.1:9/flags/%@.png" (loopback, where nothing
// answers: a test never looks a name up outside this machine).
class FakeLinkService final : public LinkService {
 public:
  FakeScript script;

  std::string officialDomain() override { return script.call<std::string>("officialDomain", {}, "site.test"); }
  std::string officialEmail() override {
    return script.call<std::string>("officialEmail", {}, "support@site.test");
  }
  std::string countryIcon(const std::string& countryCode) override;
  std::string custom() override { return link("custom"); }
  std::string privacyUrl() override { return link("privacyUrl"); }
  std::string serviceUrl() override { return link("serviceUrl"); }
  std::string shop() override { return link("shop"); }
  std::string share() override { return link("share"); }
  std::string shareHelp() override { return link("shareHelp"); }
  std::string shareAchievement() override { return link("shareAchievement"); }
  std::string mobile() override { return link("mobile"); }
  std::string downloadHost() override { return script.call<std::string>("downloadHost", {}, "dl.test"); }

 private:
  std::string link(const std::string& operation) {
    return script.call<std::string>(operation, {}, "https://" + operation + ".test/");
  }
};

class FakeDiagnosisService final : public DiagnosisService {
 public:
  FakeScript script;

  tarnel::ReportData newReport() override { return script.call<tarnel::ReportData>("newReport", {}, {}); }
  std::string userUID() override {
    return script.call<std::string>("userUID", {}, "00000000-0000-0000-0000-000000000001");
  }
  // Hands each scripted answer of "discover" (a list) to `each`, in order.
  void discover(const std::function<void(const std::shared_ptr<tarnel::HttpResponse>&)>& each) override {
    const auto answers = script.call<std::vector<std::shared_ptr<tarnel::HttpResponse>>>("discover", {}, {});
    if (each) {
      for (const auto& answer : answers) each(answer);
    }
  }
  ApiHost apiHost() override {
    return script.call<ApiHost>("apiHost", {}, ApiHost{"https://api.test/v6", "api.test", "api.test"});
  }
  bool nextHost() override { return script.call<bool>("nextHost", {}, false); }
  // The one host of apiHost() unless scripted.
  std::vector<ApiHost> apiHosts() override {
    return script.call<std::vector<ApiHost>>("apiHosts", {}, {apiHost()});
  }
  std::optional<std::string> countryName(const std::string& code) override {
    return script.call<std::optional<std::string>>("countryName", {code}, std::nullopt);
  }
  tarnel::NetworkResult fetch(const std::string& url, const std::map<std::string, std::string>& headers,
                              const std::optional<std::string>& proxy) override {
    return script.call<tarnel::NetworkResult>("fetch", {url, fake_text::of(headers), fake_text::of(proxy)},
                                              tarnel::NetworkResult::failure({"fake", -1, "not scripted"}));
  }
  tarnel::APIResult<std::shared_ptr<tarnel::HttpResponse>> openNode(const std::string& protocol,
                                                                   const std::string& nodeId) override {
    using Result = tarnel::APIResult<std::shared_ptr<tarnel::HttpResponse>>;
    return script.call<Result>("openNode", {protocol, nodeId},
                               Result::failure(tarnel::APIErrorInfo::make(-1, "network error.")));
  }
  std::vector<std::shared_ptr<tarnel::HttpResponse>> testAllPort(const std::vector<std::string>& hosts,
                                                                const std::string& domain,
                                                                const std::vector<std::int64_t>& ports) override {
    return script.call<std::vector<std::shared_ptr<tarnel::HttpResponse>>>(
        "testAllPort", {fake_text::of(hosts), domain, fake_text::of(ports)}, {});
  }
  ServiceError sendReport(const tarnel::ReportData& report) override {
    return script.call<ServiceError>("sendReport", {report.app.runningModel}, nullptr);
  }
};

// Records every record it is given, in order; log's completion hears the scripted "log" answer
// (true unless scripted).
class FakeCloudLogService final : public CloudLogService {
 public:
  FakeScript script;

  void log(const LogFields& fields, tarnel::LogTopic topic, const std::function<void(bool)>& complete) override {
    const bool delivered = script.call<bool>("log", {fake_text::of(topic), fake_text::of(fields)}, true);
    if (complete) complete(delivered);
  }
  void onEvent(tarnel::EventType event, const std::string& value, const LogFields& message) override {
    script.call("onEvent", {fake_text::of(event), value, fake_text::of(message)});
  }
  void addFeedback(const std::string& content, const std::string& email) override {
    script.call("addFeedback", {content, email});
  }

  // The events recorded so far, by name, in order.
  std::vector<std::string> events() const {
    std::vector<std::string> names;
    for (const auto& call : script.calls("onEvent")) names.push_back(call.arguments.at(0));
    return names;
  }
};

// The engine: startVPN keeps the callback for emitStatus, and the start it replaces hears that it
// ended (disconnected), as on the engine; stopVPN answers disconnected at once on the calling
// thread unless holdStops(true), then completeStops() answers the held ones.
class FakeEngineService final : public EngineService {
 public:
  FakeScript script;

  helmsey::VPNStatus status() override {
    std::lock_guard lock(mutex_);
    return status_;
  }
  void setStatus(helmsey::VPNStatus status) {
    std::lock_guard lock(mutex_);
    status_ = status;
  }
  void startVPN(const tarnel::Config& config, bool reconnect, bool systemProxy, bool commandLineProxy,
                StatusCallback callback) override {
    {
      std::lock_guard lock(mutex_);
      ++connections_;
    }
    start(config, reconnect, systemProxy, commandLineProxy, std::move(callback));
  }
  std::uint64_t newestConnection() override {
    std::lock_guard lock(mutex_);
    return connections_;
  }
  // As the engine: refused (0, nothing started or recorded) once another start came since `after`.
  std::uint64_t startVPNAfter(std::uint64_t after, const tarnel::Config& config, bool reconnect, bool systemProxy,
                              bool commandLineProxy, StatusCallback callback) override {
    std::uint64_t id = 0;
    {
      std::lock_guard lock(mutex_);
      if (connections_ != after) return 0;
      id = ++connections_;
    }
    start(config, reconnect, systemProxy, commandLineProxy, std::move(callback));
    return id;
  }
  // Stops only the newest connection; for an older one the callback hears at once that it is gone
  // ("stopVPNLeft" is recorded instead of "stopVPN").
  void stopVPN(std::uint64_t connection, StatusCallback callback) override {
    bool newest = false;
    {
      std::lock_guard lock(mutex_);
      newest = connection == connections_;
    }
    if (newest) {
      stopVPN(std::move(callback));
      return;
    }
    script.call("stopVPNLeft", {});
    if (callback) callback(helmsey::VPNStatus::disconnected);
  }

 private:
  void start(const tarnel::Config& config, bool reconnect, bool systemProxy, bool commandLineProxy,
             StatusCallback callback) {
    script.call("startVPN", {fake_text::of(config), fake_text::of(reconnect), fake_text::of(systemProxy),
                             fake_text::of(commandLineProxy)});
    std::optional<helmsey::VPNStatus> answer;
    StatusCallback replaced;
    {
      std::lock_guard lock(mutex_);
      replaced = std::exchange(startCallback_, callback);
      answer = startAnswer_;
    }
    if (replaced) replaced(helmsey::VPNStatus::disconnected);
    // As the engine does, from a thread of its own.
    if (answer && callback) std::thread([callback, status = *answer] { callback(status); }).detach();
  }

 public:
  // Every later start reports `status` on a thread of its own (none: only emitStatus reports).
  void answerStarts(std::optional<helmsey::VPNStatus> status) {
    std::lock_guard lock(mutex_);
    startAnswer_ = status;
  }
  // Every later stop confirms `times` times (an engine that repeats itself).
  void repeatStopConfirmations(int times) {
    std::lock_guard lock(mutex_);
    stopConfirmations_ = times;
  }
  void stopVPN(StatusCallback callback) override {
    script.call("stopVPN", {});
    {
      std::lock_guard lock(mutex_);
      startCallback_ = nullptr;
      status_ = helmsey::VPNStatus::disconnected;
      if (holdStops_) {
        heldStops_.push_back(std::move(callback));
        return;
      }
    }
    int times = 1;
    {
      std::lock_guard lock(mutex_);
      times = stopConfirmations_;
    }
    for (int i = 0; i < times && callback; ++i) callback(helmsey::VPNStatus::disconnected);
  }
  // Calls the callback of the last start, if it was not stopped since, on the calling thread.
  void emitStatus(helmsey::VPNStatus status) {
    StatusCallback callback;
    {
      std::lock_guard lock(mutex_);
      status_ = status;
      callback = startCallback_;
    }
    if (callback) callback(status);
  }
  void holdStops(bool hold) {
    std::lock_guard lock(mutex_);
    holdStops_ = hold;
  }
  void completeStops() {
    std::vector<StatusCallback> held;
    {
      std::lock_guard lock(mutex_);
      held.swap(heldStops_);
    }
    for (auto& callback : held) {
      if (callback) callback(helmsey::VPNStatus::disconnected);
    }
  }

  std::uint16_t httpPort() override { return script.call<std::uint16_t>("httpPort", {}, 18080); }
  std::uint16_t socksPort() override { return script.call<std::uint16_t>("socksPort", {}, 11080); }
  std::uint16_t switchPort() override { return script.call<std::uint16_t>("switchPort", {}, 18888); }
  std::string switchListenAddress() override {
    return script.call<std::string>("switchListenAddress", {}, "192.0.2.10");
  }
  bool isTun() override {
    std::lock_guard lock(mutex_);
    return tun_;
  }
  void setIsTun(bool on) override {
    script.call("setIsTun", {fake_text::of(on)});
    std::lock_guard lock(mutex_);
    tun_ = on;
  }
  std::string getLog(helmsey::LogType type) override {
    return script.call<std::string>("getLog", {fake_text::of(type)}, "");
  }
  std::vector<std::string> dnsServers() override {
    std::vector<std::string> choices;
    for (const auto& server : helmsey::DNSServer::allCases()) choices.emplace_back(server.rawValue());
    return script.call<std::vector<std::string>>("dnsServers", {}, choices);
  }
  void prepare() override { script.call("prepare", {}); }
  void registerCrashHandle() override { script.call("registerCrashHandle", {}); }
  // Hands the scripted "crashHandle" lines, when some are scripted, to `action`.
  void crashHandle(const std::function<void(std::optional<std::vector<std::string>>)>& action) override {
    const auto lines = script.call<std::optional<std::vector<std::string>>>("crashHandle", {}, std::nullopt);
    if (lines && action) action(lines);
  }

 private:
  std::mutex mutex_;
  helmsey::VPNStatus status_ = helmsey::VPNStatus::disconnected;
  StatusCallback startCallback_;
  bool holdStops_ = false;
  std::vector<StatusCallback> heldStops_;
  std::optional<helmsey::VPNStatus> startAnswer_;
  std::uint64_t connections_ = 0;
  int stopConfirmations_ = 1;
  bool tun_ = false;
};

// The fakes of every interface, and the aggregate the code under test takes.
struct FakeServices {
  std::shared_ptr<FakeAccountService> account = std::make_shared<FakeAccountService>();
  std::shared_ptr<FakeStatusService> status = std::make_shared<FakeStatusService>();
  std::shared_ptr<FakeSettingsStore> settings = std::make_shared<FakeSettingsStore>();
  std::shared_ptr<FakeDeviceService> devices = std::make_shared<FakeDeviceService>();
  std::shared_ptr<FakeNodeSelection> nodes = std::make_shared<FakeNodeSelection>();
  std::shared_ptr<FakeConnectionService> connection = std::make_shared<FakeConnectionService>();
  std::shared_ptr<FakeShopService> shop = std::make_shared<FakeShopService>();
  std::shared_ptr<FakeNoticeService> notices = std::make_shared<FakeNoticeService>();
  std::shared_ptr<FakeLinkService> links = std::make_shared<FakeLinkService>();
  std::shared_ptr<FakeDiagnosisService> diagnosis = std::make_shared<FakeDiagnosisService>();
  std::shared_ptr<FakeCloudLogService> cloudLog = std::make_shared<FakeCloudLogService>();
  std::shared_ptr<FakeEngineService> engine = std::make_shared<FakeEngineService>();
  std::shared_ptr<CloudLogQueue> logQueue = std::make_shared<CloudLogQueue>(cloudLog);

  Services services() const {
    return {account, status, settings, devices, nodes, connection, shop, notices, links, diagnosis, cloudLog, engine,
            logQueue};
  }
  operator Services() const { return services(); }  // NOLINT: lets a FakeServices stand where Services is taken
};

}  // namespace lumora
