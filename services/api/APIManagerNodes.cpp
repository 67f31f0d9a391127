// Node operations beside the node list and the connection's own node opening: opening a node for
// the diagnosis, releasing one, the classic list and its uptimes, direct port probes and the
// user's proxy rules.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/api/APIManager.h"
#include "services/api/APIRequest.h"
#include "services/api/EndpointSupport.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "services/common/JsonHelper.h"
#include "services/network/BackgroundTasks.h"
#include "services/network/DNS.h"
#include "services/network/NetworkRequest.h"
#include "services/network/UrlHost.h"

namespace tarnel {
namespace {

constexpr const char* kProbePath = "test";

// Work the endpoints start and nobody awaits (the status check after saving the proxy rules).
// Made after the shared host discovery, so that at exit it waits for its tasks before that goes.
BackgroundTasks& followUps() {
  struct Holder {
    Holder() { (void)DNS::shared(); }
    BackgroundTasks tasks;
  };
  static Holder holder;
  return holder.tasks;
}

// The account on whose behalf a node is opened or released.
Json nodeUser() {
  const Login login = Global::loginInfo();
  const std::string userUID = Global::userUID();
  return Json{{"id", Global::userId()},
              {"uid", userUID},
              {"uid_rate", userUID},
              {"alterid", login.user.alterid},
              {"email", login.user.email}};
}

std::string nodePath(const std::string& nodeId) { return "connect/node/" + nodeId + "/user/" + Global::userId(); }

std::int64_t millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

APIResult<std::shared_ptr<HttpResponse>> APIManager::openNode(const std::string& protocol, const std::string& nodeId) {
  if (api_detail::signedInAsGuestFirst()) {
    return APIResult<std::shared_ptr<HttpResponse>>::failure(api_detail::noUserError());
  }
  const Json body{{"balance", 1},
                  {"user", nodeUser()},
                  {"game_mode", ""},
                  {"type", protocol},
                  {"device", api_detail::deviceParameters()}};
  APIRequest request;
  return request.perform<std::shared_ptr<HttpResponse>>(nodePath(nodeId), HttpMethod::POST, body);
}

void APIManager::connectNode(const std::string& protocol, const std::string& nodeId) {
  const Json body{{"user", nodeUser()}, {"game_mode", ""}, {"type", protocol}, {"device", api_detail::deviceParameters()}};
  APIRequest request;
  // A release that fails leaves nothing to do: the disconnect goes on either way.
  (void)request.perform<std::optional<Open>>(nodePath(nodeId), HttpMethod::PUT, body);
}

std::vector<Node> APIManager::getClassicNodes() {
  const Json query{{"device_id", DeviceInfo::ID()}};
  APIRequest request;
  const auto result =
      request.perform<Nodes>("lite/users/" + Global::userId() + "/classic/nodes", HttpMethod::GET, std::nullopt, query);
  if (!result.isSuccess() || !result.value()) return {};
  return result.value()->nodes;
}

std::optional<NodeUpTime> APIManager::getClassicUptime(const std::string& country) {
  const Json query{{"country", country}};
  APIRequest request;
  const auto result = request.perform<NodeUpTime>("lite/users/" + Global::userId() + "/classic/uptime",
                                                  HttpMethod::GET, std::nullopt, query);
  if (!result.isSuccess()) return std::nullopt;
  return result.value();
}

std::vector<std::shared_ptr<HttpResponse>> APIManager::testAllPort(const std::vector<std::string>& hosts,
                                                                   const std::string& domain,
                                                                   const std::vector<std::int64_t>& ports) {
  const std::vector<std::int64_t> portList = ports.empty() ? Global::live().ports : ports;
  std::vector<std::shared_ptr<HttpResponse>> attempts;
  if (portList.empty() || hosts.empty()) return attempts;

  for (const auto& host : hosts) {
    for (const std::int64_t port : portList) {
      const auto start = std::chrono::steady_clock::now();
      std::shared_ptr<HttpResponse> answer;
      if (const auto inUrl = urlHost(host)) {
        const NetworkRequest probe("https://" + *inUrl + ":" + std::to_string(port) + "/" + kProbePath,
                                   HttpMethod::GET, std::nullopt, std::nullopt,
                                   std::map<std::string, std::string>{{"Host", domain}}, std::nullopt, std::nullopt);
        const NetworkResult result = probe.request();
        if (result.isSuccess()) {
          answer = result.response();
        } else {
          const NetworkError error = *result.error();
          answer = std::make_shared<HttpResponse>(error.code, error.localizedDescription(), std::nullopt, 0, "", "",
                                                  0, std::map<std::string, std::string>{});
        }
      } else {
        // Never sent: the text would name another address or path than the host's own.
        const NetworkError error{"NSURLErrorDomain", -1000, "bad URL"};
        answer = std::make_shared<HttpResponse>(error.code, error.localizedDescription(), std::nullopt, 0, "", "", 0,
                                                std::map<std::string, std::string>{});
      }
      answer->time = millisecondsSince(start);
      answer->host = host;
      answer->path = kProbePath;
      answer->port = port;
      attempts.push_back(answer);
      if (answer->statusCode == 200) return attempts;
    }
  }
  return attempts;
}

bool APIManager::saveProxyRules(const ProxyRule& rule) {
  // Each list travels as the JSON text of the list, not as a JSON array.
  const Json body{{"direct", jsonEncode(Json(rule.direct))},
                  {"proxy", jsonEncode(Json(rule.proxy))},
                  {"block", jsonEncode(Json(rule.block))}};
  APIRequest request;
  const auto result = request.perform<std::optional<HttpResponse>>(
      "lite/users/" + Global::userId() + "/proxy_rules", HttpMethod::POST, body);
  if (!result.isSuccess()) return false;
  // The server now holds a new rule version: the status check fetches it, without the caller
  // waiting for that.
  followUps().start([] { (void)live(); });
  return true;
}

void APIManager::waitForBackgroundTasks() { followUps().waitAll(); }

}  // namespace tarnel
