// How a tunnel configuration becomes a proxy engine (v2ray 4.34) configuration.
//
// Inbounds, on the loopback address, ports chosen once per process:
//   "http-in"  protocol http   -> the system and command-line HTTP(S) proxy
//   "socks-in" protocol socks  -> no authentication, UDP associate on the same address
//
// Outbounds; the first one is where traffic goes that no rule names:
//   "proxy"  towards servers.address:servers.port, TLS with serverName as SNI
//            protocol code  outbound  transport
//            "b", "ts"      vmess     TCP + TLS     (user id = password, alterId 0)
//            "d", "e"       vless     TCP + TLS     (user id = password, encryption none)
//            "f", "g"       trojan    TCP + TLS     (password)
//            "c"            trojan    WebSocket + TLS, path "/", Host header = serverName
//            The relay codes ("ts", "e", "g") use the same outbound: servers.address is then
//            the relay host that won the port probe.
//   "direct" freedom; its domainStrategy is dnsStrategy ("UseIP", "UseIPv4", "UseIPv6")
//   "block"  blackhole answering HTTP requests with 403
//
// Routing (first match wins; domains match by suffix as "domain:" entries, addresses as IPs
// or CIDR blocks; the routing strategy is AsIs, so no rule triggers a DNS lookup):
//   1. blockDomains, blockIPs                          -> block
//   2. directIPs (the API hosts' addresses lead it), private and loopback ranges -> direct
//   3. alway, unlock, alwayIPs                         -> proxy
//   4. smart mode only: direct                         -> direct
//   5. everything else                                 -> proxy (global and smart mode)
// Every list entry is validated before it becomes a rule: only plain host names and addresses
// pass; "regexp:", "geosite:", "geoip:" and the like are left out (the engine ships no geo
// files, and a pattern from a server must not decide where traffic goes).
//
// DNS: "auto" is the system resolver ("localhost"); any other choice is one resolver address.
//
// The switch listener uses the same outbounds with one HTTP inbound on the LAN address; there
// "localhost", loopback, link-local and the machine's own addresses are refused (names are
// resolved first), the switch domains ("unlock") go through the proxy and everything else goes
// direct.
#include "core/engine/V2rayConfig.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <iterator>

#include "core/DNSServer.h"

namespace helmsey::engine {
namespace {

enum class OutboundKind { vmess, vless, trojan, trojanWebSocket };

struct ProtocolEntry {
  std::string_view code;
  OutboundKind kind;
};

constexpr std::array<ProtocolEntry, 7> kProtocols{{
    {"b", OutboundKind::vmess},
    {"ts", OutboundKind::vmess},
    {"d", OutboundKind::vless},
    {"e", OutboundKind::vless},
    {"f", OutboundKind::trojan},
    {"g", OutboundKind::trojan},
    {"c", OutboundKind::trojanWebSocket},
}};

constexpr std::array<std::string_view, 9> kPrivateRanges{
    "10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16", "127.0.0.0/8", "169.254.0.0/16",
    "::1/128",    "fc00::/7",      "fe80::/10",      "0.0.0.0/32",
};

constexpr std::array<std::string_view, 5> kClosedToSwitch{
    "127.0.0.0/8", "::1/128", "169.254.0.0/16", "fe80::/10", "0.0.0.0/8",
};

constexpr std::array<std::string_view, 3> kDomainStrategies{"UseIP", "UseIPv4", "UseIPv6"};

constexpr const char* kProxyTag = "proxy";
constexpr const char* kDirectTag = "direct";
constexpr const char* kBlockTag = "block";
constexpr const char* kWebSocketPath = "/";

std::optional<OutboundKind> outboundKind(std::string_view code) {
  for (const auto& entry : kProtocols) {
    if (entry.code == code) return entry.kind;
  }
  return std::nullopt;
}

bool isUuid(std::string_view text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

bool isAddressLiteral(std::string_view text) {
  const std::string copy(text);
  unsigned char buffer[16];
  return inet_pton(AF_INET, copy.c_str(), buffer) == 1 || inet_pton(AF_INET6, copy.c_str(), buffer) == 1;
}

// Typed readers: a missing key keeps the default, a present key of another type is an error.
bool readBool(const Json& object, const char* key, bool& out, std::string& error) {
  const auto found = object.find(key);
  if (found == object.end()) return true;
  if (!found->is_boolean()) {
    error = std::string("\"") + key + "\" is not a boolean";
    return false;
  }
  out = found->get<bool>();
  return true;
}

bool readString(const Json& object, const char* key, std::string& out, std::string& error) {
  const auto found = object.find(key);
  if (found == object.end()) return true;
  if (!found->is_string()) {
    error = std::string("\"") + key + "\" is not a text";
    return false;
  }
  out = found->get<std::string>();
  return true;
}

bool readList(const Json& object, const char* key, std::vector<std::string>& out, std::string& error) {
  const auto found = object.find(key);
  if (found == object.end()) return true;
  if (!found->is_array()) {
    error = std::string("\"") + key + "\" is not a list";
    return false;
  }
  for (const auto& item : *found) {
    if (!item.is_string()) {
      error = std::string("\"") + key + "\" holds an entry that is not a text";
      return false;
    }
    out.push_back(item.get<std::string>());
  }
  return true;
}

bool readNode(const Json& dictionary, NodeSettings& node, std::string& error) {
  const auto servers = dictionary.find("servers");
  if (servers == dictionary.end() || !servers->is_object()) {
    error = "the configuration names no server";
    return false;
  }
  const auto address = servers->find("address");
  const auto port = servers->find("port");
  const auto password = servers->find("password");
  if (address == servers->end() || !address->is_string() || port == servers->end() ||
      !port->is_number_integer() || password == servers->end() || !password->is_string()) {
    error = "the server needs a text \"address\", an integer \"port\" and a text \"password\"";
    return false;
  }
  node.address = address->get<std::string>();
  const auto portValue = port->get<std::int64_t>();
  if (portValue < 1 || portValue > 65535) {
    error = "server port " + std::to_string(portValue) + " is out of range";
    return false;
  }
  node.port = static_cast<std::uint16_t>(portValue);
  node.password = password->get<std::string>();
  if (!readString(dictionary, "serverName", node.serverName, error)) return false;
  const auto protocol = dictionary.find("protocol");
  if (protocol == dictionary.end() || !protocol->is_string()) {
    error = "the configuration names no protocol";
    return false;
  }
  node.protocol = protocol->get<std::string>();
  const auto kind = outboundKind(node.protocol);
  if (!kind) {
    error = "unknown protocol \"" + node.protocol + "\"";
    return false;
  }
  if (!isAddressLiteral(node.address) && !domainRule(node.address)) {
    error = "the server address is neither a host name nor an address";
    return false;
  }
  if (!node.serverName.empty() && !domainRule(node.serverName)) {
    error = "the server name is not a host name";
    return false;
  }
  if ((*kind == OutboundKind::vmess || *kind == OutboundKind::vless) && !isUuid(node.password)) {
    error = "the credential is not a UUID";
    return false;
  }
  if (node.password.empty()) {
    error = "the credential is empty";
    return false;
  }
  return true;
}

bool checkDns(const std::string& dns, std::string& error) {
  if (DNSServer::fromRawValue(dns) || isAddressLiteral(dns)) return true;
  error = "unknown DNS choice \"" + dns + "\"";
  return false;
}

Json tlsSettings(const NodeSettings& node, const std::optional<std::filesystem::path>& extraCa) {
  Json tls = Json::object();
  if (!node.serverName.empty()) tls["serverName"] = node.serverName;
  tls["allowInsecure"] = false;
  if (extraCa) {
    tls["certificates"] = Json::array({Json{{"usage", "verify"}, {"certificateFile", extraCa->string()}}});
  }
  return tls;
}

Json proxyOutbound(const NodeSettings& node, const std::optional<std::filesystem::path>& extraCa) {
  const OutboundKind kind = *outboundKind(node.protocol);
  Json outbound{{"tag", kProxyTag}};
  switch (kind) {
    case OutboundKind::vmess:
      outbound["protocol"] = "vmess";
      outbound["settings"] = {{"vnext", Json::array({Json{
                                            {"address", node.address},
                                            {"port", node.port},
                                            {"users", Json::array({Json{{"id", node.password},
                                                                        {"alterId", 0},
                                                                        {"security", "auto"}}})}}})}};
      break;
    case OutboundKind::vless:
      outbound["protocol"] = "vless";
      outbound["settings"] = {{"vnext", Json::array({Json{
                                            {"address", node.address},
                                            {"port", node.port},
                                            {"users", Json::array({Json{{"id", node.password},
                                                                        {"encryption", "none"}}})}}})}};
      break;
    case OutboundKind::trojan:
    case OutboundKind::trojanWebSocket:
      outbound["protocol"] = "trojan";
      outbound["settings"] = {{"servers", Json::array({Json{{"address", node.address},
                                                            {"port", node.port},
                                                            {"password", node.password}}})}};
      break;
  }
  Json stream{{"network", kind == OutboundKind::trojanWebSocket ? "ws" : "tcp"},
              {"security", "tls"},
              {"tlsSettings", tlsSettings(node, extraCa)}};
  if (kind == OutboundKind::trojanWebSocket) {
    Json ws{{"path", kWebSocketPath}};
    if (!node.serverName.empty()) ws["headers"] = {{"Host", node.serverName}};
    stream["wsSettings"] = ws;
  }
  outbound["streamSettings"] = stream;
  return outbound;
}

Json dnsSection(const std::string& dns) {
  const std::string server = dns == DNSServer(DNSServer::automatic).rawValue() ? "localhost" : dns;
  return Json{{"servers", Json::array({server})}};
}

// Rules for one destination, domains and addresses apart: within one v2ray rule the conditions
// must all hold, so a rule with both would match almost nothing.
class RuleBuilder {
 public:
  explicit RuleBuilder(std::vector<std::string>& refused) : refused_(refused) {}

  void domains(std::string_view list, const std::vector<std::string>& entries, std::vector<std::string>& into) {
    for (const auto& entry : entries) {
      if (auto rule = domainRule(entry)) {
        into.push_back(*rule);
      } else {
        refused_.push_back(std::string(list) + ": " + entry);
      }
    }
  }

  void addresses(std::string_view list, const std::vector<std::string>& entries, std::vector<std::string>& into) {
    for (const auto& entry : entries) {
      if (auto rule = addressRule(entry)) {
        into.push_back(*rule);
      } else {
        refused_.push_back(std::string(list) + ": " + entry);
      }
    }
  }

  void add(const std::vector<std::string>& domains, const std::vector<std::string>& addresses, const char* tag) {
    if (!domains.empty()) rules_.push_back(Json{{"type", "field"}, {"domain", domains}, {"outboundTag", tag}});
    if (!addresses.empty()) rules_.push_back(Json{{"type", "field"}, {"ip", addresses}, {"outboundTag", tag}});
  }

  Json routing() const { return Json{{"domainStrategy", "AsIs"}, {"rules", rules_}}; }

 private:
  std::vector<std::string>& refused_;
  Json rules_ = Json::array();
};

std::vector<std::string> privateRanges() { return {kPrivateRanges.begin(), kPrivateRanges.end()}; }

Json logSection() { return Json{{"loglevel", "warning"}, {"access", "none"}}; }

Json blockOutbound() {
  return Json{{"tag", kBlockTag}, {"protocol", "blackhole"}, {"settings", {{"response", {{"type", "http"}}}}}};
}

Json directOutbound(const std::string& dnsStrategy) {
  return Json{{"tag", kDirectTag}, {"protocol", "freedom"}, {"settings", {{"domainStrategy", dnsStrategy}}}};
}

}  // namespace

std::optional<std::string> domainRule(std::string_view entry) {
  if (!entry.empty() && entry.back() == '.') entry.remove_suffix(1);
  if (entry.empty() || entry.size() > 253) return std::nullopt;
  std::string rule = "domain:";
  std::size_t labelLength = 0;
  char previous = '.';
  for (const char c : entry) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '.') {
      if (labelLength == 0 || previous == '-') return std::nullopt;
      labelLength = 0;
    } else if (std::isalnum(u) || c == '-') {
      if (c == '-' && previous == '.') return std::nullopt;
      if (++labelLength > 63) return std::nullopt;
    } else {
      return std::nullopt;
    }
    rule.push_back(static_cast<char>(std::tolower(u)));
    previous = c;
  }
  if (previous == '-') return std::nullopt;
  return rule;
}

std::optional<std::string> addressRule(std::string_view entry) {
  const std::size_t slash = entry.find('/');
  const std::string_view address = entry.substr(0, slash);
  const std::string copy(address);
  unsigned char buffer[16];
  int maxPrefix = 0;
  if (inet_pton(AF_INET, copy.c_str(), buffer) == 1) {
    maxPrefix = 32;
  } else if (inet_pton(AF_INET6, copy.c_str(), buffer) == 1) {
    // The engine reads an IPv4-mapped address as IPv4 and then refuses its IPv6 prefix length,
    // which fails the whole configuration: such an entry is left out instead.
    static constexpr unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::equal(std::begin(kMappedPrefix), std::end(kMappedPrefix), buffer)) return std::nullopt;
    maxPrefix = 128;
  } else {
    return std::nullopt;
  }
  if (slash != std::string_view::npos) {
    const std::string_view prefix = entry.substr(slash + 1);
    int bits = -1;
    const auto [end, status] = std::from_chars(prefix.data(), prefix.data() + prefix.size(), bits);
    if (status != std::errc() || end != prefix.data() + prefix.size() || prefix.empty() || bits < 0 ||
        bits > maxPrefix) {
      return std::nullopt;
    }
  }
  return std::string(entry);
}

std::optional<TunnelSettings> readTunnelSettings(const Json& dictionary, std::string& error) {
  if (!dictionary.is_object()) {
    error = "the configuration is not a dictionary";
    return std::nullopt;
  }
  TunnelSettings settings;
  if (!readBool(dictionary, "isSmart", settings.isSmart, error) ||
      !readBool(dictionary, "isTun", settings.isTun, error) ||
      !readList(dictionary, "unlock", settings.unlock, error) ||
      !readList(dictionary, "alway", settings.alway, error) ||
      !readList(dictionary, "alwayIPs", settings.alwayIPs, error) ||
      !readList(dictionary, "direct", settings.direct, error) ||
      !readList(dictionary, "directIPs", settings.directIPs, error) ||
      !readList(dictionary, "blockDomains", settings.blockDomains, error) ||
      !readList(dictionary, "blockIPs", settings.blockIPs, error) ||
      !readString(dictionary, "dns", settings.dns, error) ||
      !readString(dictionary, "dnsStrategy", settings.dnsStrategy, error) ||
      !readNode(dictionary, settings.node, error) || !checkDns(settings.dns, error)) {
    return std::nullopt;
  }
  if (std::find(kDomainStrategies.begin(), kDomainStrategies.end(), settings.dnsStrategy) == kDomainStrategies.end()) {
    error = "unknown DNS strategy \"" + settings.dnsStrategy + "\"";
    return std::nullopt;
  }
  return settings;
}

std::optional<SwitchSettings> readSwitchSettings(const Json& dictionary, std::string& error) {
  if (!dictionary.is_object()) {
    error = "the switch settings are not a dictionary";
    return std::nullopt;
  }
  SwitchSettings settings;
  if (!readList(dictionary, "unlock", settings.unlock, error) || !readString(dictionary, "dns", settings.dns, error) ||
      !readNode(dictionary, settings.node, error) || !checkDns(settings.dns, error)) {
    return std::nullopt;
  }
  return settings;
}

EngineConfig buildTunnelConfig(const TunnelSettings& settings, const Endpoint& http, const Endpoint& socks,
                               const std::optional<std::filesystem::path>& extraCa) {
  EngineConfig result;
  RuleBuilder rules(result.refused);

  std::vector<std::string> blockDomains, blockAddresses;
  rules.domains("blockDomains", settings.blockDomains, blockDomains);
  rules.addresses("blockIPs", settings.blockIPs, blockAddresses);
  rules.add(blockDomains, blockAddresses, kBlockTag);

  std::vector<std::string> directAddresses;
  rules.addresses("directIPs", settings.directIPs, directAddresses);
  const auto ranges = privateRanges();
  directAddresses.insert(directAddresses.end(), ranges.begin(), ranges.end());
  rules.add({}, directAddresses, kDirectTag);

  std::vector<std::string> proxyDomains, proxyAddresses;
  rules.domains("alway", settings.alway, proxyDomains);
  rules.domains("unlock", settings.unlock, proxyDomains);
  rules.addresses("alwayIPs", settings.alwayIPs, proxyAddresses);
  rules.add(proxyDomains, proxyAddresses, kProxyTag);

  if (settings.isSmart) {
    std::vector<std::string> directDomains;
    rules.domains("direct", settings.direct, directDomains);
    rules.add(directDomains, {}, kDirectTag);
  }

  result.config = Json{
      {"log", logSection()},
      {"dns", dnsSection(settings.dns)},
      {"inbounds", Json::array({
                       Json{{"tag", "http-in"}, {"protocol", "http"}, {"listen", http.address}, {"port", http.port}},
                       Json{{"tag", "socks-in"},
                            {"protocol", "socks"},
                            {"listen", socks.address},
                            {"port", socks.port},
                            {"settings", {{"auth", "noauth"}, {"udp", true}, {"ip", socks.address}}}},
                   })},
      {"outbounds", Json::array({proxyOutbound(settings.node, extraCa), directOutbound(settings.dnsStrategy),
                                 blockOutbound()})},
      {"routing", rules.routing()},
  };
  return result;
}

EngineConfig buildCaptureConfig(const TunnelSettings& settings, std::uint16_t port, bool ipv6,
                                std::uint32_t bypassMark, const std::optional<std::filesystem::path>& extraCa) {
  EngineConfig result = buildTunnelConfig(settings, {"127.0.0.1", 0}, {"127.0.0.1", 0}, extraCa);
  auto transparentInbound = [&](const char* tag, const char* address) {
    return Json{{"tag", tag},
                {"protocol", "dokodemo-door"},
                {"listen", address},
                {"port", port},
                {"settings", {{"network", "tcp,udp"}, {"followRedirect", true}}},
                {"sniffing", {{"enabled", true}, {"destOverride", Json::array({"http", "tls"})}}},
                {"streamSettings", {{"sockopt", {{"tproxy", "tproxy"}}}}}};
  };
  Json inbounds = Json::array({transparentInbound("capture-in", "127.0.0.1")});
  if (ipv6) inbounds.push_back(transparentInbound("capture6-in", "::1"));
  result.config["inbounds"] = inbounds;
  for (auto& outbound : result.config["outbounds"]) {
    outbound["streamSettings"]["sockopt"]["mark"] = bypassMark;
  }
  return result;
}

EngineConfig buildSwitchConfig(const SwitchSettings& settings, const Endpoint& listen,
                               const std::optional<std::filesystem::path>& extraCa,
                               const std::vector<std::string>& ownAddresses) {
  EngineConfig result;
  RuleBuilder rules(result.refused);
  // The listener is open to the whole LAN without a password: nothing that only this machine
  // may reach (its loopback services, its own addresses, link-local neighbours) goes through it.
  std::vector<std::string> closed{kClosedToSwitch.begin(), kClosedToSwitch.end()};
  for (const auto& address : ownAddresses) {
    if (auto rule = addressRule(address)) closed.push_back(*rule);
  }
  rules.add({"full:localhost", "domain:localhost"}, closed, kBlockTag);
  rules.add({}, privateRanges(), kDirectTag);
  std::vector<std::string> proxyDomains;
  rules.domains("unlock", settings.unlock, proxyDomains);
  rules.add(proxyDomains, {}, kProxyTag);
  Json routing = rules.routing();
  // A name is resolved before the address rules are matched, so a name that leads to this
  // machine is refused like its address.
  routing["domainStrategy"] = "IPOnDemand";
  result.config = Json{
      {"log", logSection()},
      {"dns", dnsSection(settings.dns)},
      {"inbounds", Json::array({Json{
                       {"tag", "switch-in"}, {"protocol", "http"}, {"listen", listen.address}, {"port", listen.port}}})},
      {"outbounds", Json::array({directOutbound("UseIP"), proxyOutbound(settings.node, extraCa), blockOutbound()})},
      {"routing", routing},
  };
  return result;
}

}  // namespace helmsey::engine
