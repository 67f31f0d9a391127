// The status check with its refresh chain, the account data refresh and the device operations.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/api/APIManager.h"
#include "services/api/APIRequest.h"
#include "services/api/EndpointSupport.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/encryption/StringExtension.h"
#include "services/model/LiveModels.h"
#include "services/model/LoginModels.h"

namespace tarnel {
namespace {

std::shared_ptr<APIErrorInfo> guestSignIn() {
  return APIManager::login("", APIManager::kGuestPassword, 0, "");
}

// The domain lists are fetched again when the stored settings are missing, name another domain
// version, or no list has arrived yet.
bool domainsStale(const Login& stored, const Live& fresh) {
  return !stored.other || !sameText(stored.other->app_domain_version, fresh.other.app_domain_version) ||
         Global::domains().direct_domain_g0.empty();
}

// The settings to store after a status check: the fresh ones, except that a part whose refresh
// failed keeps the stamp it had, so that the next status check fetches it again. Without stored
// settings such a stamp is left empty (the proxy rules' absent), which a fresh one differs from.
Other settingsToStore(const Other& fresh, const std::optional<Other>& stored, std::int64_t failedParts,
                      bool domainsFailed) {
  Other kept = fresh;
  if (failedParts & FetchPart::countries) kept.country_version = stored ? stored->country_version : std::string();
  if (failedParts & FetchPart::tags) kept.tag_version = stored ? stored->tag_version : std::string();
  if (failedParts & FetchPart::user) kept.user_version = stored ? stored->user_version : std::string();
  if (failedParts & FetchPart::proxyRule) kept.proxy_version = stored ? stored->proxy_version : std::nullopt;
  if (domainsFailed) kept.app_domain_version = stored ? stored->app_domain_version : std::string();
  return kept;
}

}  // namespace

std::shared_ptr<APIErrorInfo> APIManager::live() {
  if (Global::userId().empty()) return guestSignIn();

  APIRequest request;
  const auto result = request.perform<std::optional<Live>>(
      "lite/users/" + Global::userId() + "/device/" + DeviceInfo::ID(), HttpMethod::GET);
  if (!result.isSuccess()) return result.error();
  // An answer without a status (null or no body) cannot refresh anything: it is reported like
  // one that does not decode, and the last status stays.
  if (!result.value()) return api_detail::modelError();
  const Live fresh = *result.value();

  Global::setLive(fresh);

  const std::optional<Other> storedSettings = Global::loginInfo().other;
  const std::int64_t mask = fetchMask(fresh.other, storedSettings);
  const bool refreshFailed = mask != 0 && update(mask) != nullptr;

  const bool domainsFailed = domainsStale(Global::loginInfo(), fresh) && !api_detail::fetchDomainLists();

  getPromoteLink();

  const Other settings = settingsToStore(fresh.other, storedSettings, refreshFailed ? mask : 0, domainsFailed);
  // Applied last, onto whatever the refresh above left in the login.
  Global::modifyLoginInfo([&fresh, &settings](Login& login) {
    login.max_age = fresh.max_age;
    login.expired = fresh.expired;
    login.expired_vip = fresh.expired_vip;
    login.user.email_status = fresh.email_status;
    login.user.hot = fresh.hot;
    login.other = settings;
    if (!fresh.message.empty()) login.message = fresh.message;
  });
  return nullptr;
}

std::shared_ptr<APIErrorInfo> APIManager::update(std::int64_t fetch) {
  if (Global::userId().empty()) return guestSignIn();

  const Json query{{"fetch", std::to_string(fetch)}};
  APIRequest request;
  const auto result = request.perform<std::optional<Base>>("lite/users/" + Global::userId() + "/data",
                                                           HttpMethod::GET, std::nullopt, query);
  if (!result.isSuccess()) return result.error();

  const std::optional<Base>& base = result.value();
  if (base && base->proxy_rule) Global::setProxyRule(*base->proxy_rule);
  // Written back also when nothing changed, as every refresh of the account is.
  Global::modifyLoginInfo([&base](Login& login) {
    if (!base) return;
    if (base->tags && !base->tags->empty()) login.tags = *base->tags;
    if (base->countries && !base->countries->empty()) login.countries = *base->countries;
    if (base->user) login.user = *base->user;
  });
  return nullptr;
}

std::vector<Devices> APIManager::getDevices() { return fetchDevices().value_or(std::vector<Devices>{}); }

std::optional<std::vector<Devices>> APIManager::fetchDevices() {
  APIRequest request;
  const auto result = request.perform<DevicesResult>("users/" + Global::userId() + "/devices", HttpMethod::GET);
  if (!result.isSuccess() || !result.value()) return std::nullopt;
  return result.value()->devices;
}

bool APIManager::updateDeviceName(const std::string& name, const std::string& deviceId) {
  const Json body{{"device_desc", name}};
  APIRequest request;
  return request
      .perform<std::optional<HttpResponse>>("users/" + Global::userId() + "/device/" + deviceId, HttpMethod::PUT,
                                            body)
      .isSuccess();
}

std::optional<UpgradeInfo> APIManager::previewUpgrade(std::int64_t deviceCountTarget) {
  const Json query{{"device_count_target", deviceCountTarget}};
  APIRequest request;
  const auto result = request.perform<UpgradeInfo>("lite/users/" + Global::userId() + "/upgrade", HttpMethod::GET,
                                                   std::nullopt, query);
  if (!result.isSuccess()) return std::nullopt;
  return result.value();
}

bool APIManager::upgradeDevices(std::int64_t deviceCountTarget) {
  const Json body{{"device_count_target", deviceCountTarget}, {"device", api_detail::deviceParameters()}};
  APIRequest request;
  const auto result = request.perform<bool>("lite/users/" + Global::userId() + "/upgrade", HttpMethod::POST, body);
  return result.isSuccess() && result.value().value_or(false);
}

}  // namespace tarnel
