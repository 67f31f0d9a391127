#include <algorithm>
#include <cctype>

#include "services/api/APIManager.h"
#include "services/api/APIRequest.h"
#include "services/api/EndpointSupport.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/network/Concurrent.h"
#include "services/network/NetworkRequest.h"
#include "services/network/UrlHost.h"

namespace tarnel {

namespace {

constexpr std::size_t kProbesPerHost = 2;

APIResult<std::map<std::string, std::int64_t>> noProbe() {
  return APIResult<std::map<std::string, std::int64_t>>::failure(
      APIErrorInfo::make(APIErrorCode::networkError, ""));
}

}  // namespace

APIResult<std::optional<Open>> APIManager::openConnect(const std::string& type, const std::string& nodeId,
                                                       const std::string& gameMode, std::int64_t balance) {
  if (api_detail::signedInAsGuestFirst()) return APIResult<std::optional<Open>>::failure(api_detail::noUserError());

  const Login login = Global::loginInfo();
  const std::string userId = Global::userId();
  const std::string userUID = Global::userUID();
  const Json body{{"balance", balance},
                  {"user",
                   {{"id", userId},
                    {"uid", userUID},
                    {"uid_rate", userUID},
                    {"alterid", login.user.alterid},
                    {"email", login.user.email}}},
                  {"game_mode", gameMode},
                  {"type", type},
                  {"device", api_detail::deviceParameters()}};
  APIRequest request;
  return request.perform<std::optional<Open>>("connect/node/" + nodeId + "/user/" + userId, HttpMethod::POST, body);
}

APIResult<std::map<std::string, std::int64_t>> APIManager::testNodePorts(
    const std::vector<std::string>& hosts, const std::string& domain,
    const std::optional<std::vector<std::int64_t>>& ports) {
  const std::vector<std::int64_t> portList = ports && !ports->empty() ? *ports : Global::live().ports;
  if (portList.empty() || hosts.empty()) return noProbe();

  struct Probe {
    std::string host;
    std::int64_t port;
  };
  std::vector<Probe> probes;
  std::vector<std::shared_ptr<NetworkRequest>> requests;
  std::size_t next = 0;  // runs on across hosts, back to the first port after the last
  for (const auto& host : hosts) {
    const auto inUrl = urlHost(host);
    if (!inUrl) return noProbe();
    for (std::size_t i = 0; i < kProbesPerHost; ++i) {
      const std::int64_t port = portList[next % portList.size()];
      ++next;
      probes.push_back({host, port});
      requests.push_back(std::make_shared<NetworkRequest>(
          "https://" + *inUrl + ":" + std::to_string(port) + "/test", HttpMethod::GET, std::nullopt, std::nullopt,
          std::map<std::string, std::string>{{"host", domain}}, std::nullopt, std::nullopt));
    }
  }

  const ConcurrentResult result = Concurrent::concurrentProcessing(requests);
  const auto at = static_cast<std::size_t>(result.index());
  if (result.isSuccess()) {
    return APIResult<std::map<std::string, std::int64_t>>::success(
        std::map<std::string, std::int64_t>{{probes[at].host, probes[at].port}});
  }
  const std::string description = result.error() ? result.error()->localizedDescription() : std::string();
  return APIResult<std::map<std::string, std::int64_t>>::failure(
      APIErrorInfo::make(APIErrorCode::probeFailed, description), requests[at]);
}

}  // namespace tarnel
