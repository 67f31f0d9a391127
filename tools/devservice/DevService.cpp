#include "tools/devservice/DevService.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <random>
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
constexpr std::int64_t kDay = 24 * 3600;
constexpr std::int64_t kPromotionId = 7;
constexpr std::int64_t kNoticeId = 12;
constexpr std::int64_t kDeviceCounts[] = {3, 5, 10};

// The service's error codes, as its refusals carry them.
constexpr int kWrongAccount = 3302;
constexpr int kEmailTaken = 3303;
constexpr int kWrongCode = 3304;
constexpr int kUnknownUser = 3305;
constexpr int kUnknownDevice = 3306;
constexpr int kUnknownCard = 3307;
constexpr int kInvitation = 3308;
constexpr int kBadDeviceCount = 3309;
constexpr int kBadRequest = 4002;

std::int64_t nowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Refusals carry the Chinese and the English line; the client shows the one of its language.
Answer refuse(int code, const std::string& chinese, const std::string& english, int status = 400) {
  return Answer::error(code, chinese + "\n" + english, status);
}

WireJson serverSettings(std::int64_t proxyVersion) {
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
          {"proxy_version", std::to_string(proxyVersion)},
          {"device_count_list", "3,5,10"}};
}

std::string bodyText(const ServiceRequest& request, const char* key) {
  if (!request.body || !request.body->is_object()) return {};
  const auto found = request.body->find(key);
  return found != request.body->end() && found->is_string() ? found->get<std::string>() : std::string();
}

bool bodyHas(const ServiceRequest& request, const char* key) {
  return request.body && request.body->is_object() && request.body->contains(key);
}

// A whole number given as a JSON number or as decimal text; none otherwise.
std::optional<std::int64_t> wholeNumber(const WireJson& value) {
  if (value.is_number_integer()) return value.get<std::int64_t>();
  if (value.is_string()) {
    const auto text = value.get<std::string>();
    const auto digit = [](unsigned char c) { return std::isdigit(c) != 0; };
    if (text.empty() || text.size() > 18 || !std::all_of(text.begin(), text.end(), digit)) return std::nullopt;
    return std::stoll(text);
  }
  return std::nullopt;
}

std::string deviceIdOf(const ServiceRequest& request) {
  if (!request.body || !request.body->is_object()) return {};
  const auto device = request.body->find("device");
  if (device == request.body->end() || !device->is_object()) return {};
  const auto id = device->find("device_id");
  return id != device->end() && id->is_string() ? id->get<std::string>() : std::string();
}

// The path segment after `prefix` ("users/u-1/device/x", "users/" gives "u-1").
std::string segmentAfter(const std::string& path, const std::string& prefix) {
  if (path.rfind(prefix, 0) != 0) return {};
  const auto from = prefix.size();
  return path.substr(from, path.find('/', from) - from);
}

bool chinese(const ServiceRequest& request) {
  const auto lang = request.query.find("lang");
  return lang != request.query.end() && lang->second == "zh";
}

std::string iso(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000Z", &parts);
  return text;
}

// A list of texts from the JSON text of one; none when it is not one.
std::optional<WireJson> textList(const std::string& text) {
  const auto parsed = WireJson::parse(text, nullptr, false);
  if (!parsed.is_array()) return std::nullopt;
  for (const auto& item : parsed) {
    if (!item.is_string()) return std::nullopt;
  }
  return parsed;
}

}  // namespace

DevAccountScript::DevAccountScript(test::ServiceDouble& api, DevAccount account, DevNodeSetup node)
    : DevAccountScript(api, std::move(account), std::vector<DevNodeSetup>{std::move(node)}) {}

DevAccountScript::DevAccountScript(test::ServiceDouble& api, DevAccount account, std::vector<DevNodeSetup> nodes)
    : account_(std::move(account)) {
  for (auto& setup : nodes) nodes_.push_back(RunningNode{std::move(setup), {}, nullptr});

  User user;
  user.id = account_.userId;
  user.email = account_.email;
  user.passwordDigest = test::wire::passwordDigest(account_.password);
  user.emailStatus = 2;
  user.code = account_.invitationCode;
  user.memberUntil = nowSeconds() + kMembershipDays * kDay;
  user.devices.push_back({"dev-phone", "dev-phone", "android", iso(nowSeconds() - 2 * kDay), ""});
  // A week of membership and a month of it, and a voucher and a discount for the plans.
  user.cards = {{101, 7, 2, 2}, {102, 1, 1, 3}};
  user.rules = {{"direct", {"intranet.example"}}, {"proxy", {"news.example"}}, {"block", WireJson::array()}};
  users_.push_back(std::move(user));
  route(api);
}

void DevAccountScript::route(test::ServiceDouble& api) {
  const auto on = [&api, this](const char* method, const char* path,
                               Answer (DevAccountScript::*handler)(const ServiceRequest&)) {
    api.respond(method, path, [this, handler](const ServiceRequest& r) { return (this->*handler)(r); });
  };
  // Accounts.
  on("POST", "lite/users", &DevAccountScript::signIn);
  on("PUT", "lite/users/*", &DevAccountScript::changeAccount);
  on("GET", "vcode/email", &DevAccountScript::mailCode);
  on("POST", "password/forget", &DevAccountScript::resetPassword);
  on("POST", "password/change", &DevAccountScript::changePassword);
  on("DELETE", "users/*", &DevAccountScript::removeAccount);
  on("POST", "users/*/device/*", &DevAccountScript::signOut);
  on("GET", "lite/users/*/official-token", &DevAccountScript::officialToken);
  // Status and devices.
  on("GET", "lite/users/*/device/*", &DevAccountScript::status);
  on("GET", "lite/users/*/data", &DevAccountScript::accountData);
  on("GET", "users/*/devices", &DevAccountScript::devices);
  on("PUT", "users/*/device/*", &DevAccountScript::renameDevice);
  on("GET", "lite/users/*/upgrade", &DevAccountScript::upgradePreview);
  on("POST", "lite/users/*/upgrade", &DevAccountScript::upgrade);
  // Nodes, rules and reports.
  on("POST", "connect/node/*/user/*", &DevAccountScript::openNode);
  on("POST", "lite/users/*/proxy_rules", &DevAccountScript::saveRules);
  on("POST", "lite/users/*/check", &DevAccountScript::report);
  // Shop, coupons, notices, sharing, links.
  on("GET", "sharer/*", &DevAccountScript::share);
  on("GET", "card/list", &DevAccountScript::coupons);
  on("PUT", "card/*", &DevAccountScript::useCard);
  on("GET", "data/link/*", &DevAccountScript::promotionLink);
  on("GET", "notice/*", &DevAccountScript::notice);
  on("POST", "data/receipt/apple", &DevAccountScript::purchase);

  const DevNodeSetup& first = nodes_.front().setup;
  api.script("PUT", "connect/node/*/user/*",
             Answer::model(
                 {{"ts", 0},
                  {"status", 1},
                  {"max_age", 30},
                  {"message", ""},
                  {"node", {{"server", first.address}, {"host", "released"}, {"domain", first.domain}, {"port", 0}}}}));
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
  // The node lists of the countries: every node, and a day's uptime for each.
  api.script("GET", "lite/users/*/classic/nodes", Answer::model({{"nodes", nodeList("")}}));
  WireJson uptime = WireJson::object();
  for (const auto& node : nodes_) uptime[node.setup.id] = 86400;
  api.script("GET", "lite/users/*/classic/uptime", Answer::model({{"uptime", uptime}}));

  // What every account sees alike.
  api.respond("GET", "notice/list", [](const ServiceRequest& request) {
    const bool zh = chinese(request);
    return Answer::model(
        {{"notices",
          {{{"id", kNoticeId},
            {"notice_at", "2026-12-01 10:00"},
            {"title", zh ? "欢迎使用开发服务" : "Welcome to the development service"},
            {"summary", zh ? "本机上的开发服务回答程序的每一个请求。"
                           : "The development service on this machine answers everything the program asks."},
            {"type", 1},
            {"auto_pop_up", 0}}}}});
  });
  api.script("GET", "app/domains",
             Answer::model({{"direct_domain_g0", {"localhost", "lan"}},
                            {"direct_domain_g1", {"intranet.example"}},
                            {"switch_domain", {"switch.example"}},
                            {"proxy", {"news.example", "video.example"}},
                            {"unlock", {"stream.example"}}}));
  api.script("GET", "data/payment",
             Answer::model({{"packages",
                             {{{"time", 30}, {"apple_id", "io.tarnelmacos.month"}},
                              {{"time", 90}, {"apple_id", "io.tarnelmacos.season"}},
                              {{"time", 365}, {"apple_id", "io.tarnelmacos.year"}}}}}));
}

DevAccountScript::~DevAccountScript() {
  std::lock_guard lock(nodeMutex_);
  for (auto& node : nodes_) node.process.reset();
}

std::vector<std::string> DevAccountScript::console() const {
  std::lock_guard lock(accountMutex_);
  return console_;
}

// accountMutex_ held.
void DevAccountScript::say(std::string line) { console_.push_back(std::move(line)); }

DevAccountScript::User* DevAccountScript::userOf(const ServiceRequest& request, const std::string& prefix) {
  const std::string id = segmentAfter(request.path, prefix);
  for (auto& user : users_) {
    if (user.id == id) return &user;
  }
  // A guest of an earlier run of the service: taken as the guest it was.
  if (id.rfind("u-guest-", 0) == 0) {
    User guest;
    guest.id = id;
    guest.code = "G" + id.substr(8);
    guest.memberUntil = nowSeconds() + kDay;
    users_.push_back(std::move(guest));
    return &users_.back();
  }
  return nullptr;
}

DevAccountScript::User& DevAccountScript::guestOf(const std::string& deviceId) {
  auto& id = guests_[deviceId];
  if (!id.empty()) {
    for (auto& user : users_) {
      if (user.id == id && user.emailStatus == 0) return user;
    }
  }
  // A new guest (the device's earlier guest registered or left).
  User guest;
  guest.id = "u-guest-" + std::to_string(nextGuest_++);
  guest.code = "G" + guest.id.substr(8);
  guest.memberUntil = nowSeconds() + kDay;  // a day to try the service
  id = guest.id;
  users_.push_back(std::move(guest));
  return users_.back();
}

WireJson DevAccountScript::membership(const User& user) const {
  return {{"max_age", 30},     {"expired", user.memberUntil},      {"expired_vip", user.memberUntil},
          {"expired_svip", 0}, {"email_status", user.emailStatus}, {"hot", "0"}};
}

WireJson DevAccountScript::userJson(const User& user) const {
  return {{"id", user.id},
          {"grp_id", "dev"},
          {"uid", ""},
          {"uid_rate", ""},
          {"alterid", 0},
          {"email", user.email},
          {"email_status", user.emailStatus},
          {"expired", user.memberUntil},
          {"expired_vip", user.memberUntil},
          {"expired_svip", 0},
          {"code", user.code},
          {"pcode", user.boundCode},
          {"mobile", ""},
          {"country_code", ""},
          {"promoter", 0},
          {"hot", "0"},
          {"visibility_svip", 0}};
}

WireJson DevAccountScript::loginJson(const User& user) const {
  WireJson login = membership(user);
  login["user"] = userJson(user);
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
  login["other"] = serverSettings(user.proxyVersion);
  login["message"] = "";
  login["config_text"] = {{"LOGIN_PROMOTER_CODE", ""}, {"APP_STORE_PLAN_DESC", ""}};
  return login;
}

Answer DevAccountScript::signIn(const ServiceRequest& request) {
  const std::string email = bodyText(request, "email");
  const std::string digest = bodyText(request, "passwd");
  const std::string deviceId = deviceIdOf(request);
  std::lock_guard lock(accountMutex_);
  User* user = nullptr;
  if (email.empty() && digest == test::wire::passwordDigest(kGuestPassword)) {
    user = &guestOf(deviceId);
  } else {
    for (auto& candidate : users_) {
      if (!email.empty() && candidate.email == email && candidate.passwordDigest == digest) user = &candidate;
    }
  }
  if (!user) return refuse(kWrongAccount, "邮箱或密码错误", "The e-mail address or the password is wrong.");
  // The device that signs in is one of the account's, named as a desktop.
  if (!deviceId.empty() && user->emailStatus > 0) {
    auto& out = user->signedOut;
    out.erase(std::remove(out.begin(), out.end(), deviceId), out.end());
    auto& devices = user->devices;
    devices.erase(std::remove_if(devices.begin(), devices.end(), [&](const Device& d) { return d.id == deviceId; }),
                  devices.end());
    devices.insert(devices.begin(), Device{deviceId, "dev-desktop", "linux", iso(nowSeconds()), ""});
  }
  return Answer::model(loginJson(*user));
}

Answer DevAccountScript::changeAccount(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "lite/users/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  if (bodyHas(request, "passwd")) {
    // Registration: the guest becomes an e-mail account.
    const std::string email = bodyText(request, "email");
    const std::string digest = bodyText(request, "passwd");
    if (user->emailStatus != 0) return refuse(kEmailTaken, "账户已注册", "This account is registered already.");
    if (email.find('@') == std::string::npos || digest.size() != 64) {
      return refuse(kBadRequest, "邮箱或密码格式错误", "The e-mail address or the password is not valid.");
    }
    for (const auto& other : users_) {
      if (other.email == email)
        return refuse(kEmailTaken, "该邮箱已注册", "This e-mail address is registered already.");
    }
    // An invitation code given at registration is bound with it.
    const std::string invitation = bodyText(request, "code");
    const bool known = invitation == account_.friendCode ||
                       std::any_of(users_.begin(), users_.end(), [&](const User& u) { return u.code == invitation; });
    if (!invitation.empty() && (!known || invitation == user->code)) {
      return refuse(kInvitation, "邀请码不存在", "This invitation code does not exist.");
    }
    user->boundCode = invitation;
    for (auto& inviter : users_) {
      if (invitation.empty() || inviter.code != invitation) continue;
      inviter.memberUntil = std::max(inviter.memberUntil, nowSeconds()) + 7 * kDay;
    }
    user->email = email;
    user->passwordDigest = digest;
    user->emailStatus = 1;
    user->memberUntil = std::max(user->memberUntil, nowSeconds() + 3 * kDay) + (invitation.empty() ? 0 : 7 * kDay);
    if (const auto device = deviceIdOf(request); !device.empty()) {
      user->devices.insert(user->devices.begin(), Device{device, "dev-desktop", "linux", iso(nowSeconds()), ""});
    }
    say("account registered: " + email + " (" + user->id + ")");
    return Answer::model(
        {{"message", chinese(request) ? "注册成功，赠送三天会员" : "Registered: three days of membership are yours."},
         {"user", userJson(*user)}});
  }
  if (bodyHas(request, "vcode")) {
    // The e-mail address confirmed with the code mailed to it.
    const auto sent = codes_.find(user->email);
    if (user->email.empty() || sent == codes_.end() || sent->second != bodyText(request, "vcode")) {
      return refuse(kWrongCode, "验证码错误", "The verification code is wrong.");
    }
    codes_.erase(sent);
    user->emailStatus = 2;
    return Answer::model({{"email_status", 2}});
  }
  // Binding another user's invitation code: seven days for each side.
  const std::string code = bodyText(request, "code");
  if (code.empty()) return refuse(kInvitation, "请输入邀请码", "Enter an invitation code.");
  if (code == user->code)
    return refuse(kInvitation, "不能绑定自己的邀请码", "You cannot bind your own invitation code.");
  if (!user->boundCode.empty()) return refuse(kInvitation, "已绑定过邀请码", "An invitation code is bound already.");
  User* inviter = nullptr;
  for (auto& other : users_) {
    if (other.code == code) inviter = &other;
  }
  if (!inviter && code != account_.friendCode) {
    return refuse(kInvitation, "邀请码不存在", "This invitation code does not exist.");
  }
  user->boundCode = code;
  user->memberUntil = std::max(user->memberUntil, nowSeconds()) + 7 * kDay;
  if (inviter) inviter->memberUntil = std::max(inviter->memberUntil, nowSeconds()) + 7 * kDay;
  return Answer::model(true);
}

Answer DevAccountScript::mailCode(const ServiceRequest& request) {
  const auto email = request.query.find("email");
  const auto forget = request.query.find("forget");
  const std::string address = email == request.query.end() ? std::string() : email->second;
  const bool reset = forget != request.query.end() && forget->second == "1";
  if (address.find('@') == std::string::npos) {
    return refuse(kBadRequest, "邮箱格式错误", "The e-mail address is not valid.");
  }
  std::lock_guard lock(accountMutex_);
  const bool known = std::any_of(users_.begin(), users_.end(), [&](const User& u) { return u.email == address; });
  if (reset && !known) return refuse(kUnknownUser, "该邮箱未注册", "This e-mail address is not registered.");
  static std::mt19937 random{std::random_device{}()};
  const std::string code = std::to_string(std::uniform_int_distribution<int>(100000, 999999)(random));
  codes_[address] = code;
  say("mail to " + address + ": verification code " + code + (reset ? " (password reset)" : ""));
  return Answer::model({{"sent", true}});
}

Answer DevAccountScript::resetPassword(const ServiceRequest& request) {
  const std::string email = bodyText(request, "email");
  const std::string digest = bodyText(request, "passwd");
  std::lock_guard lock(accountMutex_);
  const auto sent = codes_.find(email);
  if (sent == codes_.end() || sent->second != bodyText(request, "vcode")) {
    return refuse(kWrongCode, "验证码错误", "The verification code is wrong.");
  }
  if (digest.size() != 64) return refuse(kBadRequest, "密码格式错误", "The password is not valid.");
  for (auto& user : users_) {
    if (user.email != email) continue;
    user.passwordDigest = digest;
    codes_.erase(sent);
    return Answer::empty(204);
  }
  return refuse(kUnknownUser, "该邮箱未注册", "This e-mail address is not registered.");
}

Answer DevAccountScript::changePassword(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  for (auto& user : users_) {
    if (user.email.empty() || user.email != bodyText(request, "email")) continue;
    if (bodyText(request, "old_passwd") != user.passwordDigest || bodyText(request, "passwd").size() != 64) break;
    user.passwordDigest = bodyText(request, "passwd");
    return Answer::model(true);
  }
  return refuse(kWrongAccount, "密码错误", "The password is wrong.");
}

Answer DevAccountScript::removeAccount(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "users/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  if (user->emailStatus == 0 || bodyText(request, "passwd") != user->passwordDigest) {
    return refuse(kWrongAccount, "密码错误", "The password is wrong.");
  }
  say("account removed: " + user->email + " (" + user->id + ")");
  const std::string id = user->id;
  users_.erase(std::remove_if(users_.begin(), users_.end(), [&](const User& u) { return u.id == id; }), users_.end());
  return Answer::empty(204);
}

Answer DevAccountScript::signOut(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "users/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  const std::string deviceId = request.path.substr(request.path.rfind('/') + 1);
  auto& devices = user->devices;
  const auto found = std::find_if(devices.begin(), devices.end(), [&](const Device& d) { return d.id == deviceId; });
  if (found == devices.end() && user->emailStatus > 0) {
    return refuse(kUnknownDevice, "设备不存在", "This device is not one of the account's.");
  }
  if (found != devices.end()) devices.erase(found);
  if (user->emailStatus > 0) user->signedOut.push_back(deviceId);
  return Answer::model(loginJson(*user));
}

Answer DevAccountScript::officialToken(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "lite/users/");
  if (!user || user->emailStatus == 0) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  return Answer::model({{"token", "dev-token-" + user->id}});
}

Answer DevAccountScript::status(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "lite/users/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  // A device signed out of an e-mail account (from another device's list) is told so; one the
  // service has not seen yet (signed in before the service restarted) counts as signed in.
  const std::string deviceId = request.path.substr(request.path.rfind('/') + 1);
  if (user->emailStatus > 0) {
    const auto& out = user->signedOut;
    if (std::find(out.begin(), out.end(), deviceId) != out.end()) {
      return refuse(kUnknownDevice, "该设备已退出登录", "This device was signed out of the account.");
    }
    if (std::none_of(user->devices.begin(), user->devices.end(), [&](const Device& d) { return d.id == deviceId; })) {
      user->devices.insert(user->devices.begin(), Device{deviceId, "dev-desktop", "linux", iso(nowSeconds()), ""});
    }
  }
  WireJson live = membership(*user);
  live["other"] = serverSettings(user->proxyVersion);
  live["grp_id"] = "dev";
  WireJson ports = WireJson::array();
  for (const auto& node : nodes_) {
    if (std::find(ports.begin(), ports.end(), node.setup.port) == ports.end()) ports.push_back(node.setup.port);
  }
  live["ports"] = ports;
  live["ports_trojan"] = WireJson::array();
  live["op"] = "";
  live["message"] = "";
  live["link"] = {
      {"show", true},
      {"text", {{"zh", "开发服务推广：一个月会员"}, {"en", "Development promotion: a month of membership"}}},
      {"updated_at", nowSeconds()},
      {"id", kPromotionId},
      {"link", ""}};
  live["device_count"] = user->deviceCount;
  return Answer::model(live);
}

Answer DevAccountScript::accountData(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "lite/users/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  const auto fetch = request.query.find("fetch");
  const std::optional<std::int64_t> mask = fetch == request.query.end() ? std::nullopt : wholeNumber(fetch->second);
  if (!mask) return refuse(kBadRequest, "请求错误", "The request is not valid.");
  WireJson base = WireJson::object();
  if (*mask & 1) {
    WireJson countries = WireJson::array();
    for (const auto& node : nodes_) {
      const bool listed = std::any_of(countries.begin(), countries.end(),
                                      [&](const WireJson& c) { return c["country"] == node.setup.country; });
      if (listed) continue;
      countries.push_back({{"country", node.setup.country},
                           {"name", node.setup.countryName},
                           {"tags", WireJson::array()},
                           {"sort", static_cast<int>(countries.size() + 1)}});
    }
    base["countries"] = countries;
  }
  if (*mask & 2) base["tags"] = WireJson::array();
  if (*mask & 4) base["user"] = userJson(*user);
  if (*mask & 16) base["proxy_rule"] = user->rules;
  return Answer::model(base);
}

Answer DevAccountScript::devices(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "users/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  WireJson list = WireJson::array();
  for (const auto& device : user->devices) {
    WireJson entry{{"device_id", device.id},
                   {"uid", user->id},
                   {"device_name", device.name},
                   {"device_model", device.platform == "android" ? "Pixel 8" : "Development machine"},
                   {"version", 5},
                   {"platform", device.platform},
                   {"created_at", "2026-05-01T10:00:00.000Z"},
                   {"updated_at", device.updated}};
    if (!device.desc.empty()) entry["device_desc"] = device.desc;
    list.push_back(std::move(entry));
  }
  return Answer::model({{"devices", list}});
}

Answer DevAccountScript::renameDevice(const ServiceRequest& request) {
  const std::string name = bodyText(request, "device_desc");
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "users/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  if (name.empty() || name.size() > 64) return refuse(kBadRequest, "设备名称无效", "The device name is not valid.");
  const std::string deviceId = request.path.substr(request.path.rfind('/') + 1);
  for (auto& device : user->devices) {
    if (device.id != deviceId) continue;
    device.desc = name;
    return Answer::empty(204);
  }
  return refuse(kUnknownDevice, "设备不存在", "This device is not one of the account's.");
}

Answer DevAccountScript::upgradePreview(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "lite/users/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  const auto asked = request.query.find("device_count_target");
  const auto target = asked == request.query.end() ? std::nullopt : wholeNumber(asked->second);
  const bool offered =
      target && std::find(std::begin(kDeviceCounts), std::end(kDeviceCounts), *target) != std::end(kDeviceCounts);
  if (!offered || *target <= user->deviceCount) {
    return refuse(kBadDeviceCount, "设备数只能升级", "The device count can only go up, to 3, 5 or 10.");
  }
  // The remaining time is spread over more devices: the same value, fewer days.
  const std::int64_t days = std::max<std::int64_t>(0, (user->memberUntil - nowSeconds() + kDay - 1) / kDay);
  const std::int64_t after = days * user->deviceCount / *target;
  return Answer::model({{"days", std::to_string(days)},
                        {"days_less", std::to_string(days - after)},
                        {"days_lave", std::to_string(after)}});
}

Answer DevAccountScript::upgrade(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "lite/users/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  const auto target = request.body && request.body->contains("device_count_target")
                          ? wholeNumber((*request.body)["device_count_target"])
                          : std::nullopt;
  const bool offered =
      target && std::find(std::begin(kDeviceCounts), std::end(kDeviceCounts), *target) != std::end(kDeviceCounts);
  if (!offered || *target <= user->deviceCount) {
    return refuse(kBadDeviceCount, "设备数只能升级", "The device count can only go up, to 3, 5 or 10.");
  }
  const std::int64_t left = std::max<std::int64_t>(0, user->memberUntil - nowSeconds());
  user->memberUntil = nowSeconds() + left * user->deviceCount / *target;
  user->deviceCount = *target;
  return Answer::model({{"device_count", *target}});
}

Answer DevAccountScript::saveRules(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "lite/users/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  WireJson rules = WireJson::object();
  for (const char* key : {"direct", "proxy", "block"}) {
    const auto list = textList(bodyText(request, key));
    if (!list) return refuse(kBadRequest, "规则格式错误", "The rules are not valid.");
    rules[key] = *list;
  }
  user->rules = std::move(rules);
  ++user->proxyVersion;  // the next status check fetches them back
  return Answer::empty(204);
}

Answer DevAccountScript::report(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "lite/users/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  if (!request.body || !request.body->is_object())
    return refuse(kBadRequest, "报告格式错误", "The report is not valid.");
  std::string keys;
  for (const auto& item : request.body->items()) keys += (keys.empty() ? "" : ", ") + item.key();
  say("diagnosis report from " + user->id + " (" + std::to_string(request.bodyText ? request.bodyText->size() : 0) +
      " bytes): " + keys);
  return Answer::empty(204);
}

Answer DevAccountScript::share(const ServiceRequest& request) {
  std::lock_guard lock(accountMutex_);
  User* user = userOf(request, "sharer/");
  if (!user) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  return Answer::model({{"code", user->code}});
}

Answer DevAccountScript::coupons(const ServiceRequest& request) {
  // The path names no user: the common query does.
  const auto uid = request.query.find("uid");
  std::lock_guard lock(accountMutex_);
  const auto user = std::find_if(users_.begin(), users_.end(),
                                 [&](const User& u) { return uid != request.query.end() && u.id == uid->second; });
  if (user == users_.end()) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  const std::int64_t until = (nowSeconds() + 60 * kDay) * 1000;
  WireJson cards = WireJson::array();
  for (const auto& card : user->cards) {
    cards.push_back({{"id", card.id}, {"expired", until}, {"num", card.num}, {"type", card.type}, {"unit", card.unit}});
  }
  // A voucher of three dollars off a month, and a fifth off any plan; both spent on the web.
  const WireJson rolls = {{{"id", 201}, {"expired", until}, {"package", 2}, {"price", 3}, {"type", 1}},
                          {{"id", 202}, {"expired", 0}, {"package", 0}, {"price", 0.8}, {"type", 2}}};
  return Answer::model({{"cards", cards}, {"rolls", rolls}});
}

Answer DevAccountScript::useCard(const ServiceRequest& request) {
  const auto id = wholeNumber(WireJson(segmentAfter(request.path, "card/")));
  std::string userId;
  if (request.body && request.body->contains("user") && (*request.body)["user"].is_object()) {
    const auto& named = (*request.body)["user"];
    if (named.contains("id") && named["id"].is_string()) userId = named["id"].get<std::string>();
  }
  std::lock_guard lock(accountMutex_);
  const auto user = std::find_if(users_.begin(), users_.end(), [&](const User& u) { return u.id == userId; });
  if (user == users_.end()) return refuse(kUnknownUser, "用户不存在", "This account does not exist.");
  auto& cards = user->cards;
  const auto card =
      id ? std::find_if(cards.begin(), cards.end(), [&](const Card& c) { return c.id == *id; }) : cards.end();
  if (card == cards.end()) return refuse(kUnknownCard, "卡券不存在或已使用", "This card does not exist or was used.");
  // Unit: 1 hour, 2 day, 3 month, 4 year.
  const std::int64_t unit = card->unit == 1   ? 3600
                            : card->unit == 2 ? kDay
                            : card->unit == 3 ? 30 * kDay
                            : card->unit == 4 ? 365 * kDay
                                              : 60;
  user->memberUntil = std::max(user->memberUntil, nowSeconds()) + static_cast<std::int64_t>(card->num * unit);
  cards.erase(card);
  return Answer::empty(204);
}

Answer DevAccountScript::promotionLink(const ServiceRequest& request) {
  if (segmentAfter(request.path, "data/link/") != std::to_string(kPromotionId)) {
    return refuse(kBadRequest, "活动不存在", "This promotion does not exist.");
  }
  return Answer::model({{"link", "https://" + account_.site + "/promotion/"}});
}

Answer DevAccountScript::notice(const ServiceRequest& request) {
  if (segmentAfter(request.path, "notice/") != std::to_string(kNoticeId)) {
    return refuse(kBadRequest, "公告不存在", "This notice does not exist.");
  }
  const bool zh = chinese(request);
  return Answer::textBody(std::string("<html><body style=\"font-family:sans-serif;margin:24px\"><h2>") +
                          (zh ? "欢迎使用开发服务" : "Welcome to the development service") + "</h2><p>" +
                          (zh ? "开发服务在本机上回答程序的每一个请求：登录、节点、设备、邀请、卡券和公告。"
                              : "The development service answers every request of the program on this machine: "
                                "sign-in, nodes, devices, invitations, coupons and notices.") +
                          "</p></body></html>");
}

Answer DevAccountScript::purchase(const ServiceRequest& request) {
  if (bodyText(request, "apple_id").empty() || bodyText(request, "receipt").empty()) {
    return refuse(kBadRequest, "收据无效", "The receipt is not valid.");
  }
  std::lock_guard lock(accountMutex_);
  say("purchase credited: " + bodyText(request, "apple_id"));
  return Answer::model(true);
}

DevService::DevService(const std::filesystem::path& stateDir, DevAccount account)
    : stateDir_(stateDir), ca_((std::filesystem::create_directories(stateDir), stateDir)) {
  using A = DevAddresses;

  // A plain request to the node that is not the proxy protocol falls through to this page: the
  // client's port probe asks it for "/test".
  probePage_ = std::make_unique<test::LoopbackHttpServer>(std::nullopt, "127.0.0.1");
  probePage_->setHandler([](const test::ReceivedRequest& request) {
    return request.path == "/test" ? test::CannedReply::text(200, "ok") : test::CannedReply::text(404, "", "Not Found");
  });

  // The connection check's pages, reached through the node, which resolves their name to here.
  checkPages_ = std::make_unique<test::LoopbackHttpServer>(ca_.issue("pages", {A::kPagesName}, {A::kPages}), A::kPages,
                                                           A::kPagesPort);
  checkPages_->setHandler([](const test::ReceivedRequest& request) {
    return test::CannedReply::text(200, "Tarnel development page, seen from " + request.peerAddress + "\n");
  });

  // The web pages: official site (and its "www." pages), payment, downloads and help, support.
  site_ = std::make_unique<test::LoopbackHttpServer>(
      ca_.issue("site", {A::kSiteName, std::string("www.") + A::kSiteName}, {A::kSite}), A::kSite, A::kSitePort);
  site_->setKeepAlive(true);
  site_->setHandler(devSitePage);

  discovery_ = std::make_unique<test::ServiceDouble>(ca_.issue("discovery", {A::kDiscoveryName}, {A::kService}),
                                                     A::kService, A::kDiscoveryPort, A::kApiName);
  discovery_->setDiscovery(devDiscoveryBody(A::kApiName, A::kService, account.site,
                                            std::string(A::kSite) + ":" + std::to_string(A::kSitePort)));
  api_ = std::make_unique<test::ServiceDouble>(ca_.issue("api", {A::kApiName}, {A::kService}), A::kService, 443,
                                               A::kApiName);
  logs_ = std::make_unique<test::LogServiceDouble>(ca_.issue("logs", {A::kLogs}, {A::kLogs}), A::kLogs, 443);

  DevNodeSetup node;
  node.certificate =
      ca_.issue("node", {std::string("h1-d.") + A::kNodeDomain, std::string("h1-a.") + A::kNodeDomain}, {A::kNode});
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

WireJson devDiscoveryBody(const std::string& apiName, const std::string& apiAddress, const std::string& site,
                          const std::string& downloads) {
  WireJson body = test::wire::discoveryBody(apiName, {apiAddress});
  body["cdndl"] = downloads;
  body["urls"]["officialSite"] = site;
  body["urls"]["officials"] = {site};
  body["urls"]["share"] = "https://" + site + "/apps";
  body["urls"]["custom"] = site;
  body["urls"]["pay_cdn2"] = {site};
  body["cs"] = "support@tarnel.test";
  body["navi"] = {{"ver", 1}, {"zh", "导航"}, {"en", "Navigation"}, {"hk", "導航"}};
  return body;
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
  return Answer::model(
      {{"ts", 0},
       {"status", 1},
       {"max_age", 30},
       {"message", ""},
       {"node", {{"server", setup.address}, {"host", "h1"}, {"domain", setup.domain}, {"port", setup.port}}}});
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
    const auto directory =
        nodes_.size() > 1 && !setup.directory.empty() ? setup.directory / ("node-" + setup.id) : setup.directory;
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
