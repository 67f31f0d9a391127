#include "tools/devservice/DevService.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "tests/support/WireCipher.h"

namespace tarnel::dev {

using test::Answer;
using test::ServiceRequest;
using test::WireJson;

namespace {

constexpr const char* kProtocol = "d";  // vless over TCP and TLS, what the node speaks
constexpr const char* kGuestPassword = "fjord";
constexpr std::int64_t kMembershipDays = 30;

std::int64_t nowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

WireJson serverSettings() {
  return {{"version", 1},
          {"newest_version", 1},
          {"update_version", 0},
          {"marquee_version", ""},
          {"disconnect_timeout", 30},
          {"reconnect_after", 5},
          {"card_version", 1},
          {"turn_node", true},
          {"protocal_priority", {kProtocol}},
          {"tag_version", "1"},
          {"protocal_version", "1"},
          {"country_version", "1"},
          {"app_domain_version", "1"},
          {"placard_version", "1"},
          {"protocal_priority_trojan", WireJson::array()},
          {"protocal_priority_vless", kProtocol},
          {"node_updated_at", "1"},
          {"available_protocols", {kProtocol}},
          {"config_text_version", "1"},
          {"notice_version", "1"},
          {"lite_update_interval", 60},
          {"load_refresh_interval", 60},
          {"node_retry", 2},
          {"user_version", "1"},
          {"proxy_version", "1"},
          {"device_count_list", "3,5,10"}};
}

// The account part that the sign-in and the status answers share.
WireJson membership(std::int64_t emailStatus) {
  const std::int64_t until = nowSeconds() + kMembershipDays * 24 * 3600;
  return {{"max_age", 30},
          {"expired", until},
          {"expired_vip", until},
          {"expired_svip", 0},
          {"email_status", emailStatus},
          {"hot", "0"}};
}

std::string bodyText(const ServiceRequest& request, const char* key) {
  if (!request.body || !request.body->is_object()) return {};
  const auto found = request.body->find(key);
  return found != request.body->end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

DevAccountScript::DevAccountScript(test::ServiceDouble& api, DevAccount account, DevNodeSetup node)
    : DevAccountScript(api, std::move(account), std::vector<DevNodeSetup>{std::move(node)}) {}

DevAccountScript::DevAccountScript(test::ServiceDouble& api, DevAccount account, std::vector<DevNodeSetup> nodes)
    : account_(std::move(account)), passwordDigest_(test::wire::passwordDigest(account_.password)) {
  for (auto& setup : nodes) nodes_.push_back(RunningNode{std::move(setup), {}, nullptr});
  const DevNodeSetup& first = nodes_.front().setup;
  api.respond("POST", "lite/users", [this](const ServiceRequest& r) { return signIn(r); });
  api.respond("POST", "password/change", [this](const ServiceRequest& r) { return changePassword(r); });
  api.respond("GET", "users/*/devices", [this](const ServiceRequest& r) { return devices(r); });
  api.respond("PUT", "users/*/device/*", [this](const ServiceRequest& r) { return renameDevice(r); });
  api.respond("GET", "lite/users/*/device/*", [this](const ServiceRequest& r) { return status(r); });
  api.respond("POST", "connect/node/*/user/*", [this](const ServiceRequest& r) { return openNode(r); });
  api.script("PUT", "connect/node/*/user/*",
             Answer::model({{"ts", 0},
                            {"status", 1},
                            {"max_age", 30},
                            {"message", ""},
                            {"node", {{"server", first.address}, {"host", "released"}, {"domain", first.domain},
                                      {"port", 0}}}}));
  const auto nodeList = [this](const std::string& country) {
    WireJson list = WireJson::array();
    for (const auto& node : nodes_) {
      if (!country.empty() && node.setup.country != country) continue;
      list.push_back({{"node_id", node.setup.id},
                      {"protocal", kProtocol},
                      {"unsupported", WireJson::array()},
                      {"name", node.setup.name},
                      {"country", node.setup.country},
                      {"enabled", 2}});
    }
    return list;
  };
  if (nodes_.size() == 1) {
    // A fixed answer, which a test may script over.
    api.script("POST", "lite/users/*/nodes", Answer::model({{"nodes", nodeList("")}}));
  } else {
    // The nodes of the country asked for; all of them for the automatic choice.
    api.respond("POST", "lite/users/*/nodes", [nodeList](const ServiceRequest& request) {
      return Answer::model({{"nodes", nodeList(bodyText(request, "country"))}});
    });
  }
  // The node lists of the countries: every node, with no load figures.
  api.script("GET", "lite/users/*/classic/nodes", Answer::model({{"nodes", nodeList("")}}));
  api.script("GET", "lite/users/*/classic/uptime", Answer::model({{"uptime", WireJson::object()}}));
  api.script("GET", "notice/list", Answer::model({{"notices", WireJson::array()}}));
}

DevAccountScript::~DevAccountScript() {
  std::lock_guard lock(nodeMutex_);
  for (auto& node : nodes_) node.process.reset();
}

DevService::DevService(const std::filesystem::path& stateDir, DevAccount account)
    : stateDir_(stateDir), ca_((std::filesystem::create_directories(stateDir), stateDir)) {
  using A = DevAddresses;

  // A plain request to the node that is not the proxy protocol falls through to this page: the
  // client's port probe asks it for "/test".
  probePage_ = std::make_unique<test::LoopbackHttpServer>(std::nullopt, "127.0.0.1");
  probePage_->setHandler([](const test::ReceivedRequest& request) {
    return request.path == "/test" ? test::CannedReply::text(200, "ok")
                                   : test::CannedReply::text(404, "", "Not Found");
  });

  // The connection check's pages, reached through the node, which resolves their name to here.
  checkPages_ = std::make_unique<test::LoopbackHttpServer>(ca_.issue("pages", {A::kPagesName}, {A::kPages}),
                                                           A::kPages, A::kPagesPort);
  checkPages_->setHandler([](const test::ReceivedRequest& request) {
    return test::CannedReply::text(200, "Tarnel development page, seen from " + request.peerAddress + "\n");
  });

  discovery_ = std::make_unique<test::ServiceDouble>(
      ca_.issue("discovery", {A::kDiscoveryName}, {A::kService}), A::kService, A::kDiscoveryPort, A::kApiName);
  api_ = std::make_unique<test::ServiceDouble>(ca_.issue("api", {A::kApiName}, {A::kService}), A::kService, 443,
                                               A::kApiName);
  logs_ = std::make_unique<test::LogServiceDouble>(ca_.issue("logs", {A::kLogs}, {A::kLogs}), A::kLogs, 443);

  DevNodeSetup node;
  node.certificate = ca_.issue("node", {std::string("h1-d.") + A::kNodeDomain, std::string("h1-a.") + A::kNodeDomain},
                               {A::kNode});
  node.hosts = {{A::kPagesName, A::kPages}};
  node.probePort = static_cast<std::uint16_t>(probePage_->port());
  node.directory = stateDir_;
  script_ = std::make_unique<DevAccountScript>(*api_, std::move(account), std::move(node));
  discovery_->start();
  api_->start();
}

DevService::~DevService() {
  if (api_) api_->stop();
  if (discovery_) discovery_->stop();
}

Answer DevAccountScript::signIn(const ServiceRequest& request) {
  const std::string email = bodyText(request, "email");
  const std::string digest = bodyText(request, "passwd");
  if (request.body && request.body->contains("device") && (*request.body)["device"].is_object()) {
    const auto& device = (*request.body)["device"];
    if (device.contains("device_id") && device["device_id"].is_string()) {
      std::lock_guard lock(accountMutex_);
      thisDevice_ = device["device_id"].get<std::string>();
    }
  }
  WireJson user;
  std::int64_t emailStatus = 0;
  if (email.empty() && digest == test::wire::passwordDigest(kGuestPassword)) {
    user = {{"id", "u-guest-1"}, {"email", ""}};
  } else if (email == account_.email && passwordMatches(digest)) {
    user = {{"id", account_.userId}, {"email", account_.email}};
    emailStatus = 2;
  } else {
    return Answer::error(3302, "邮箱或密码错误\nThe e-mail address or the password is wrong.");
  }
  const WireJson account = membership(emailStatus);
  user.update({{"grp_id", "dev"},
               {"uid", ""},
               {"uid_rate", ""},
               {"alterid", 0},
               {"email_status", emailStatus},
               {"expired", account["expired"]},
               {"expired_vip", account["expired_vip"]},
               {"expired_svip", 0},
               {"code", "DEVCODE"},
               {"pcode", ""},
               {"mobile", ""},
               {"country_code", ""},
               {"promoter", 0},
               {"hot", "0"},
               {"visibility_svip", 0}});
  WireJson login = account;
  login["user"] = user;
  login["card_version"] = 1;
  login["tags"] = WireJson::array();
  WireJson countries = WireJson::array();
  std::vector<std::string> listed;
  for (const auto& node : nodes_) {
    if (std::find(listed.begin(), listed.end(), node.setup.country) != listed.end()) continue;
    listed.push_back(node.setup.country);
    countries.push_back({{"country", node.setup.country},
                         {"name", node.setup.countryName},
                         {"tags", WireJson::array()},
                         {"sort", static_cast<int>(listed.size())}});
  }
  login["countries"] = countries;
  login["other"] = serverSettings();
  login["message"] = "";
  login["config_text"] = {{"LOGIN_PROMOTER_CODE", ""}, {"APP_STORE_PLAN_DESC", ""}};
  return Answer::model(login);
}

Answer DevAccountScript::status(const ServiceRequest& request) {
  const bool member = request.path.find("/" + account_.userId + "/") != std::string::npos;
  WireJson live = membership(member ? 2 : 0);
  live["other"] = serverSettings();
  live["grp_id"] = "dev";
  WireJson ports = WireJson::array();
  for (const auto& node : nodes_) {
    if (std::find(ports.begin(), ports.end(), node.setup.port) == ports.end()) ports.push_back(node.setup.port);
  }
  live["ports"] = ports;
  live["ports_trojan"] = WireJson::array();
  live["op"] = "";
  live["message"] = "";
  live["link"] = {{"show", false}, {"text", WireJson::object()}, {"updated_at", 0}, {"id", 0}, {"link", ""}};
  live["device_count"] = 3;
  return Answer::model(live);
}

bool DevAccountScript::passwordMatches(const std::string& digest) const {
  std::lock_guard lock(accountMutex_);
  return digest == passwordDigest_;
}

Answer DevAccountScript::changePassword(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  if (bodyText(request, "email") != account_.email ||
      bodyText(request, "old_passwd") != passwordDigest_ || bodyText(request, "passwd").empty()) {
    return Answer::error(3302, "密码错误\nThe password is wrong.");
  }
  passwordDigest_ = bodyText(request, "passwd");
  return Answer::model(true);
}

Answer DevAccountScript::devices(const ServiceRequest& request) {
  if (request.path != "users/" + account_.userId + "/devices") return Answer::error(3305, "unknown user");
  std::lock_guard lock(accountMutex_);
  const auto entry = [&](const std::string& id, const std::string& name, const std::string& platform,
                         const std::string& updated) {
    WireJson device{{"device_id", id},          {"uid", account_.userId},
                    {"device_name", name},      {"device_model", "Development machine"},
                    {"version", 5},             {"platform", platform},
                    {"created_at", "2024-05-01T10:00:00.000Z"},
                    {"updated_at", updated}};
    if (const auto found = deviceNames_.find(id); found != deviceNames_.end()) device["device_desc"] = found->second;
    return device;
  };
  WireJson list = WireJson::array();
  if (!thisDevice_.empty()) list.push_back(entry(thisDevice_, "dev-desktop", "linux", "2024-06-02T08:00:00.000Z"));
  list.push_back(entry("dev-phone", "dev-phone", "android", "2024-06-01T08:00:00.000Z"));
  return Answer::model({{"devices", list}});
}

Answer DevAccountScript::renameDevice(const ServiceRequest& request) {
  const std::string prefix = "users/" + account_.userId + "/device/";
  const std::string name = bodyText(request, "device_desc");
  if (request.path.rfind(prefix, 0) != 0 || name.empty()) return Answer::error(400, "bad request");
  std::lock_guard lock(accountMutex_);
  deviceNames_[request.path.substr(prefix.size())] = name;
  return Answer::empty(204);
}

Answer DevAccountScript::openNode(const ServiceRequest& request) {
  std::string credential;
  if (request.body && request.body->contains("user") && (*request.body)["user"].is_object()) {
    const auto& user = (*request.body)["user"];
    if (user.contains("uid") && user["uid"].is_string()) credential = user["uid"].get<std::string>();
  }
  if (credential.empty()) return Answer::error(400, "缺少设备凭据\nThe device credential is missing.");
  // ".../node/<id>/user/<uid>"
  std::string id;
  if (const auto at = request.path.find("node/"); at != std::string::npos) {
    const auto from = at + 5;
    id = request.path.substr(from, request.path.find('/', from) - from);
  }
  DevNodeSetup setup;
  {
    std::lock_guard lock(nodeMutex_);
    auto found = std::find_if(nodes_.begin(), nodes_.end(), [&](const RunningNode& n) { return n.setup.id == id; });
    if (found == nodes_.end()) found = nodes_.begin();
    if (!ensureNodeClient(*found, credential)) {
      return Answer::error(503, "节点无法启动\nThe node could not start.", 503);
    }
    opened_.push_back(found->setup.id);
    setup = found->setup;
  }
  return Answer::model({{"ts", 0},
                        {"status", 1},
                        {"max_age", 30},
                        {"message", ""},
                        {"node",
                         {{"server", setup.address}, {"host", "h1"}, {"domain", setup.domain}, {"port", setup.port}}}});
}

bool DevAccountScript::ensureNodeClient(RunningNode& node, const std::string& credential) {
  const DevNodeSetup& setup = node.setup;
  if (std::find(node.credentials.begin(), node.credentials.end(), credential) != node.credentials.end() &&
      node.process) {
    return true;
  }
  std::vector<std::string> wanted = node.credentials;
  if (std::find(wanted.begin(), wanted.end(), credential) == wanted.end()) wanted.push_back(credential);

  test::V2rayNode::Options options;
  options.kind = test::V2rayNode::Kind::vless;
  options.credential = wanted.front();
  options.moreCredentials.assign(wanted.begin() + 1, wanted.end());
  options.certificate = setup.certificate;
  options.hosts = setup.hosts;
  options.fallbackPort = setup.probePort;
  options.listenAddress = setup.address;
  options.port = setup.port;
  options.sendThrough = setup.sendThrough;
  node.process.reset();  // the old process lets go of the port first
  try {
    // Each node keeps its files apart.
    const auto directory = nodes_.size() > 1 && !setup.directory.empty() ? setup.directory / ("node-" + setup.id)
                                                                          : setup.directory;
    if (!directory.empty()) std::filesystem::create_directories(directory);
    node.process = std::make_unique<test::V2rayNode>(options, directory);
  } catch (const std::exception&) {
    return false;
  }
  node.credentials = std::move(wanted);
  return true;
}

std::size_t DevAccountScript::nodeClientCount() const {
  std::lock_guard lock(nodeMutex_);
  std::size_t count = 0;
  for (const auto& node : nodes_) count += node.process ? node.credentials.size() : 0;
  return count;
}

std::vector<std::string> DevAccountScript::openedNodes() const {
  std::lock_guard lock(nodeMutex_);
  return opened_;
}

}  // namespace tarnel::dev
