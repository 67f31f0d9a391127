// The real services: thin adapters over the service library's process-wide state and the core
// framework. They add no behaviour of their own beyond reading related values together.
#include <algorithm>
#include <cctype>

#include "core/CoreManager.h"
#include "core/CrashCapture.h"
#include "core/DNSServer.h"
#include "core/SwitchManager.h"
#include "services/api/APIManager.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/common/NetworkMonitor.h"
#include "services/connection/AreaFilter.h"
#include "services/connection/ConnectionController.h"
#include "services/connection/LiveReport.h"
#include "services/connection/NodeController.h"
#include "services/log/CloudLog.h"
#include "services/network/DNS.h"
#include "services/network/NetworkRequest.h"
#include "services/network/UrlHost.h"
#include "ui/base/services/Services.h"

namespace lumora {
namespace {

using tarnel::APIManager;
using tarnel::Global;

class RealAccountService final : public AccountService {
 public:
  ServiceError login(const std::string& email, const std::string& password, std::int64_t force,
                     const std::string& code) override {
    return APIManager::login(email, password, force, code);
  }
  ServiceError registerAccount(const std::string& email, const std::string& password, const std::string& code,
                               bool moreDevices) override {
    return APIManager::registerAccount(email, password, code, moreDevices);
  }
  ServiceError verify(const std::string& code) override { return APIManager::verify(code); }
  ServiceError getVerificationCode(const std::string& email, bool isForget) override {
    return APIManager::getVerificationCode(email, isForget);
  }
  ServiceError forgetPassword(const std::string& email, const std::string& password,
                              const std::string& code) override {
    return APIManager::forgetPassword(email, password, code);
  }
  ServiceError changePassword(const std::string& oldPassword, const std::string& newPassword) override {
    return APIManager::changePassword(oldPassword, newPassword);
  }
  ServiceError bindInvitationCode(const std::string& code) override { return APIManager::bindInvitationCode(code); }
  ServiceError delUser(const std::string& password) override { return APIManager::delUser(password); }
  ServiceError logout(const std::string& userId, const std::string& deviceId) override {
    return APIManager::logout(userId, deviceId);
  }
  void getShareInfo() override { APIManager::getShareInfo(); }
  std::string getOfficialToken() override { return APIManager::getOfficialToken(); }

  tarnel::Login loginInfo() override { return Global::loginInfo(); }
  std::string userId() override { return Global::userId(); }
  void setLoginInfo(const tarnel::Login& login) override { Global::setLoginInfo(login); }
  void modifyLoginInfo(const std::function<void(tarnel::Login&)>& change) override {
    Global::modifyLoginInfo(change);
  }
  std::vector<std::string> historyAccount() override { return Global::historyAccount(); }
  std::vector<std::string> emailSuffix() override { return Global::emailSuffix(); }
};

class RealStatusService final : public StatusService {
 public:
  ServiceError live() override { return APIManager::live(); }
  ServiceError update(std::int64_t fetch) override { return APIManager::update(fetch); }
  void updateDomain() override { APIManager::updateDomain(); }
  void startNetworkMonitor() override { tarnel::NetworkMonitor::startMonitor(); }
  bool initDNS() override { return tarnel::DNS::shared().initDNS(); }
  tarnel::Live currentLive() override { return Global::live(); }
  tarnel::AppInfo appInfo() override { return tarnel::AppInfo(); }
  std::string language() override { return Global::language(); }
  void setLanguage(const std::string& code) override { Global::setLanguage(code); }
  std::string apiLanguage() override { return Global::apiLanguage(); }
  std::int64_t serverTimeMilliseconds() override { return Global::currentTimeMillisecondsSinceEpoch(); }
  std::vector<tarnel::VPNProtocol> availableProtocols() override { return Global::availableProtocols(); }
  std::vector<tarnel::Tag> allTags() override { return Global::allTags(); }
  std::map<std::string, tarnel::Country> countryMap() override { return Global::countryMap(); }
  tarnel::ProxyRule proxyRule() override { return Global::proxyRule(); }
  void setProxyRule(const tarnel::ProxyRule& rule) override { Global::setProxyRule(rule); }
  bool saveProxyRules(const tarnel::ProxyRule& rule) override { return APIManager::saveProxyRules(rule); }
};

class RealSettingsStore final : public SettingsStore {
 public:
  std::optional<tarnel::StoreValue> value(tarnel::StoreKeys key) override { return tarnel::Store::getValue(key); }
  void setValue(tarnel::StoreKeys key, const std::optional<tarnel::StoreValue>& value) override {
    tarnel::Store::setValue(key, value);
  }
  // The library's in-memory copies go with the store, so nothing written later brings back part
  // of what was cleared (the account above all).
  bool clearAll() override {
    const bool cleared = tarnel::Global::clearStoredState();
    tarnel::NodeController::shared().forgetStoredChoices();
    return cleared;
  }
};

class RealDeviceService final : public DeviceService {
 public:
  std::optional<std::vector<tarnel::Devices>> devices() override { return APIManager::fetchDevices(); }
  bool updateDeviceName(const std::string& name, const std::string& deviceId) override {
    return APIManager::updateDeviceName(name, deviceId);
  }
  std::optional<tarnel::UpgradeInfo> previewUpgrade(std::int64_t deviceCountTarget) override {
    return APIManager::previewUpgrade(deviceCountTarget);
  }
  bool upgradeDevices(std::int64_t deviceCountTarget) override { return APIManager::upgradeDevices(deviceCountTarget); }
  std::string thisDeviceId() override { return tarnel::DeviceInfo::ID(); }
};

class RealNodeSelection final : public NodeSelection {
 public:
  std::optional<tarnel::Node> currentNode() override { return nodes().currentNode(); }
  std::optional<tarnel::Node> selectedNode() override { return nodes().selectedNode(); }
  void setSelectedNode(const std::optional<tarnel::Node>& node) override { nodes().setSelectedNode(node); }
  std::optional<tarnel::Country> currentCountry() override { return nodes().currentCountry(); }
  void setCurrentCountry(const std::optional<tarnel::Country>& country) override {
    nodes().setCurrentCountry(country);
  }
  std::optional<tarnel::Tag> currentTag() override { return nodes().currentTag(); }
  void setCurrentTag(const std::optional<tarnel::Tag>& tag) override { nodes().setCurrentTag(tag); }
  tarnel::VPNProtocol currentProtocol() override { return nodes().currentProtocol(); }
  void setCurrentProtocol(tarnel::VPNProtocol protocol) override { nodes().setCurrentProtocol(protocol); }
  bool isConnecting() override { return nodes().isConnecting(); }

  std::vector<tarnel::Node> nodesByCountry(const std::string& country, std::int64_t tagId) override {
    return nodes().getNodesByCountry(country, tagId);
  }
  std::vector<tarnel::Node> cachedNodes() override { return nodes().getNodes(); }
  ServiceError fetchNodes(const std::string& extNodes) override {
    nodes();  // the controller must exist to receive the list
    return APIManager::getNodes(extNodes);
  }
  RuleLists ruleLists() override {
    auto& controller = nodes();
    return {Global::domains().unlock,   controller.directDomains(), controller.directIPs(), controller.blockDomains(),
            controller.blockIps(),      controller.proxyDomains(),  controller.proxyIPs()};
  }

  std::map<std::string, std::vector<std::string>> areaMap() override { return tarnel::AreaFilter::areaMap(); }
  std::string selectedArea() override { return tarnel::AreaFilter::selectedArea(); }
  void setSelectedArea(const std::string& area) override { tarnel::AreaFilter::setSelectedArea(area); }
  std::vector<tarnel::Country> filterCountries(const std::vector<tarnel::Country>& countries,
                                               const std::optional<tarnel::Tag>& tag) override {
    return tarnel::AreaFilter::filter(countries, tag);
  }

 private:
  static tarnel::NodeController& nodes() { return tarnel::NodeController::shared(); }
};

class RealConnectionService final : public ConnectionService {
 public:
  void setCallbacks(ConnectionCallbacks callbacks) override {
    controller()
        .onStep(std::move(callbacks.onStep))
        .onStatus(std::move(callbacks.onStatus))
        .onFailed(std::move(callbacks.onFailed));
  }
  // The order in which the connection front hands the settings over.
  void configure(const ConnectionSettings& s) override {
    controller()
        .smartRoute(s.smartRoute)
        .tunnel(s.tunnel)
        .autoReconnect(s.autoReconnect)
        .checkConnection(s.checkConnection)
        .enableSystemProxy(s.enableSystemProxy)
        .enableCmdProxy(s.enableCmdProxy)
        .dnsServer(s.dnsServer)
        .strategy(s.strategy);
  }
  void openConnection() override { controller().openConnection(); }
  void disconnect() override { controller().disconnect(); }
  bool startSwitchListen() override { return controller().startSwitchListen(); }
  void stopSwitchListen() override { controller().stopSwitchListen(); }

 private:
  static tarnel::ConnectionController& controller() { return tarnel::ConnectionController::shared(); }
};

class RealShopService final : public ShopService {
 public:
  std::optional<tarnel::PaymentPlans> paymentPlans() override { return APIManager::getPaymentPlans(); }
  bool completePurchase(const std::string& productId, const std::string& transactionId,
                        const std::string& receipt) override {
    return APIManager::completePurchase(productId, transactionId, receipt);
  }
  tarnel::Coupon coupons() override { return APIManager::getCoupons(); }
  ServiceError useCard(std::int64_t id) override { return APIManager::useCard(id); }
  std::size_t resendPendingReceipts() override { return APIManager::resendPendingReceipts(); }
};

class RealNoticeService final : public NoticeService {
 public:
  std::optional<tarnel::Notices> notices() override { return APIManager::getNotices(); }
  std::optional<std::string> notice(std::int64_t id) override { return APIManager::getNotice(id); }
};

// "%@" of the discovery answer's flag format stands for the upper-case country code.
std::string formatCountryIcon(const std::string& format, const std::string& countryCode) {
  if (countryCode.empty() || format.empty()) return {};
  std::string code = countryCode;
  std::transform(code.begin(), code.end(), code.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  std::string url = format;
  const auto at = url.find("%@");
  if (at == std::string::npos) return url;
  url.replace(at, 2, code);
  return url;
}

class RealLinkService final : public LinkService {
 public:
  std::string officialDomain() override { return dns().officialDomain(); }
  std::string officialEmail() override { return dns().officialEmail(); }
  std::string countryIcon(const std::string& countryCode) override {
    return formatCountryIcon(dns().countryIcon(), countryCode);
  }
  std::string custom() override { return dns().custom(); }
  std::string privacyUrl() override { return dns().privacyUrl(); }
  std::string serviceUrl() override { return dns().serviceUrl(); }
  std::string shop() override { return dns().shop(); }
  std::string share() override { return dns().share(); }
  std::string shareHelp() override { return dns().shareHelp(); }
  std::string shareAchievement() override { return dns().shareAchievement(); }
  std::string mobile() override { return dns().mobile(); }
  std::string downloadHost() override { return dns().cdndlUrl(); }

 private:
  static tarnel::DNS& dns() { return tarnel::DNS::shared(); }
};

class RealDiagnosisService final : public DiagnosisService {
 public:
  tarnel::ReportData newReport() override { return tarnel::liveReport(); }
  std::string userUID() override { return Global::userUID(); }
  void discover(const std::function<void(const std::shared_ptr<tarnel::HttpResponse>&)>& each) override {
    tarnel::DNS::shared().getDNS(each);
  }
  // One consistent read: base URL and host come from the same entry.
  ApiHost apiHost() override { return apiHostOf(tarnel::DNS::shared().currentHost()); }
  static ApiHost apiHostOf(const tarnel::DNS::API& entry) {
    const auto urlHost = tarnel::urlHost(entry.host);
    return {urlHost ? "https://" + *urlHost + "/v6" : std::string(), entry.host, entry.domain};
  }
  bool nextHost() override { return tarnel::DNS::shared().nextHost(); }
  std::vector<ApiHost> apiHosts() override {
    std::vector<ApiHost> hosts;
    for (const auto& entry : tarnel::DNS::shared().hostsFromCurrent()) hosts.push_back(apiHostOf(entry));
    return hosts;
  }
  std::optional<std::string> countryName(const std::string& code) override {
    const auto countries = Global::countryMap();
    const auto found = countries.find(code);
    if (found == countries.end()) return std::nullopt;
    return found->second.name;
  }
  tarnel::NetworkResult fetch(const std::string& url, const std::map<std::string, std::string>& headers,
                              const std::optional<std::string>& proxy) override {
    std::optional<std::map<std::string, std::string>> sent;
    if (!headers.empty()) sent = headers;
    const tarnel::NetworkRequest request(url, tarnel::HttpMethod::GET, std::nullopt, std::nullopt, sent, proxy,
                                         std::nullopt);
    return request.request();
  }
  tarnel::APIResult<std::shared_ptr<tarnel::HttpResponse>> openNode(const std::string& protocol,
                                                                   const std::string& nodeId) override {
    return APIManager::openNode(protocol, nodeId);
  }
  std::vector<std::shared_ptr<tarnel::HttpResponse>> testAllPort(const std::vector<std::string>& hosts,
                                                                const std::string& domain,
                                                                const std::vector<std::int64_t>& ports) override {
    return APIManager::testAllPort(hosts, domain, ports);
  }
  ServiceError sendReport(const tarnel::ReportData& report) override { return APIManager::sendReport(report); }
};

class RealCloudLogService final : public CloudLogService {
 public:
  void log(const LogFields& fields, tarnel::LogTopic topic, const std::function<void(bool)>& complete) override {
    tarnel::CloudLog::log(fields, topic, complete);
  }
  void onEvent(tarnel::EventType event, const std::string& value, const LogFields& message) override {
    tarnel::CloudLog::onEvent(event, value, message);
  }
  void addFeedback(const std::string& content, const std::string& email) override {
    tarnel::CloudLog::addFeedback(content, email);
  }
};

class RealEngineService final : public EngineService {
 public:
  helmsey::VPNStatus status() override { return helmsey::CoreManager::status(); }
  void startVPN(const tarnel::Config& config, bool reconnect, bool systemProxy, bool commandLineProxy,
                StatusCallback callback) override {
    helmsey::CoreManager::startVPN(tarnel::toMap(config), reconnect, systemProxy, commandLineProxy,
                                   std::move(callback));
  }
  void stopVPN(StatusCallback callback) override { helmsey::CoreManager::stopVPN(std::move(callback)); }
  std::uint64_t newestConnection() override { return helmsey::CoreManager::newestConnection(); }
  std::uint64_t startVPNAfter(std::uint64_t after, const tarnel::Config& config, bool reconnect, bool systemProxy,
                              bool commandLineProxy, StatusCallback callback) override {
    return helmsey::CoreManager::startVPNAfter(after, tarnel::toMap(config), reconnect, systemProxy,
                                               commandLineProxy, std::move(callback));
  }
  void stopVPN(std::uint64_t connection, StatusCallback callback) override {
    helmsey::CoreManager::stopVPN(connection, std::move(callback));
  }
  std::uint16_t httpPort() override { return helmsey::CoreManager::httpPort(); }
  std::uint16_t socksPort() override { return helmsey::CoreManager::socksPort(); }
  std::uint16_t switchPort() override { return helmsey::CoreManager::switchPort(); }
  std::string switchListenAddress() override { return helmsey::SwitchManager::shared().listenAddress(); }
  bool isTun() override { return helmsey::CoreManager::isTun(); }
  void setIsTun(bool on) override { helmsey::CoreManager::setIsTun(on); }
  std::string getLog(helmsey::LogType type) override { return helmsey::CoreManager::getLog(type); }
  std::vector<std::string> dnsServers() override {
    std::vector<std::string> choices;
    for (const auto& server : helmsey::DNSServer::allCases()) choices.emplace_back(server.rawValue());
    return choices;
  }
  void prepare() override { helmsey::CoreManager::prepare(); }
  void registerCrashHandle() override { helmsey::registerCrashHandle(); }
  void crashHandle(const std::function<void(std::optional<std::vector<std::string>>)>& action) override {
    helmsey::crashHandle(action);
  }
};

}  // namespace

std::shared_ptr<AccountService> makeRealAccountService() { return std::make_shared<RealAccountService>(); }
std::shared_ptr<StatusService> makeRealStatusService() { return std::make_shared<RealStatusService>(); }
std::shared_ptr<SettingsStore> makeRealSettingsStore() { return std::make_shared<RealSettingsStore>(); }
std::shared_ptr<DeviceService> makeRealDeviceService() { return std::make_shared<RealDeviceService>(); }
std::shared_ptr<NodeSelection> makeRealNodeSelection() { return std::make_shared<RealNodeSelection>(); }
std::shared_ptr<ConnectionService> makeRealConnectionService() { return std::make_shared<RealConnectionService>(); }
std::shared_ptr<ShopService> makeRealShopService() { return std::make_shared<RealShopService>(); }
std::shared_ptr<NoticeService> makeRealNoticeService() { return std::make_shared<RealNoticeService>(); }
std::shared_ptr<LinkService> makeRealLinkService() { return std::make_shared<RealLinkService>(); }
std::shared_ptr<DiagnosisService> makeRealDiagnosisService() { return std::make_shared<RealDiagnosisService>(); }
std::shared_ptr<CloudLogService> makeRealCloudLogService() { return std::make_shared<RealCloudLogService>(); }
std::shared_ptr<EngineService> makeRealEngineService() { return std::make_shared<RealEngineService>(); }

Services makeRealServices() {
  Services services;
  services.account = makeRealAccountService();
  services.status = makeRealStatusService();
  services.settings = makeRealSettingsStore();
  services.devices = makeRealDeviceService();
  services.nodes = makeRealNodeSelection();
  services.connection = makeRealConnectionService();
  services.shop = makeRealShopService();
  services.notices = makeRealNoticeService();
  services.links = makeRealLinkService();
  services.diagnosis = makeRealDiagnosisService();
  services.cloudLog = makeRealCloudLogService();
  services.engine = makeRealEngineService();
  services.logQueue = std::make_shared<CloudLogQueue>(services.cloudLog);
  return services;
}

}  // namespace lumora
