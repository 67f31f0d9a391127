#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/engine/ListenProbe.h"

namespace helmsey::engine {

using Json = nlohmann::ordered_json;

// The node to connect to, as the configuration dictionary's "servers", "protocol" and
// "serverName" give it.
struct NodeSettings {
  std::string address;
  std::uint16_t port = 0;
  std::string password;
  std::string protocol;    // wire code: "b", "ts", "d", "e", "f", "g" or "c"
  std::string serverName;  // TLS name (and WebSocket host) of the node
};

// What the engine takes from the tunnel configuration dictionary.
struct TunnelSettings {
  bool isSmart = false;
  bool isTun = false;
  std::vector<std::string> unlock, alway, alwayIPs, direct, directIPs, blockDomains, blockIPs;
  NodeSettings node;
  std::string dns = "auto";
  std::string dnsStrategy = "UseIP";
};

// What the engine takes from the switch-listen dictionary.
struct SwitchSettings {
  std::vector<std::string> unlock;
  NodeSettings node;
  std::string dns = "auto";
};

// None, with `error`, when a key the engine needs is missing or has the wrong type, or a value
// cannot be used (unknown protocol, port out of range, malformed credential, unknown DNS).
std::optional<TunnelSettings> readTunnelSettings(const Json& dictionary, std::string& error);
std::optional<SwitchSettings> readSwitchSettings(const Json& dictionary, std::string& error);

struct EngineConfig {
  Json config;                        // the proxy engine's configuration
  std::vector<std::string> refused;   // rule entries left out, as "list: entry"
};

// The configuration of the local proxies: HTTP and SOCKS inbounds at `http` and `socks`.
EngineConfig buildTunnelConfig(const TunnelSettings& settings, const Endpoint& http, const Endpoint& socks,
                               const std::optional<std::filesystem::path>& extraCa);
// The configuration of the machine-wide capture: transparent (TPROXY) TCP and UDP inbounds on
// 127.0.0.1:`port`, and on [::1]:`port` with `ipv6`, the same outbounds and routing as the
// local proxies, and `bypassMark` on every connection the engine makes, so that the capture
// lets them leave.
EngineConfig buildCaptureConfig(const TunnelSettings& settings, std::uint16_t port, bool ipv6,
                                std::uint32_t bypassMark, const std::optional<std::filesystem::path>& extraCa);
// The configuration of the switch listener: one HTTP inbound at `listen`; `ownAddresses` are
// the machine's addresses, which the listener must not lead to.
EngineConfig buildSwitchConfig(const SwitchSettings& settings, const Endpoint& listen,
                               const std::optional<std::filesystem::path>& extraCa,
                               const std::vector<std::string>& ownAddresses);

// A rule-list entry as the engine's domain matcher takes it ("domain:example.com"), or none when
// the entry is not a plain host name (a "regexp:", "geosite:", "keyword:" entry, a pattern...).
std::optional<std::string> domainRule(std::string_view entry);
// An address or CIDR block entry, or none when it is neither ("geoip:cn", garbage).
std::optional<std::string> addressRule(std::string_view entry);

}  // namespace helmsey::engine
