#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {

// The server entry of a tunnel configuration: the host and port that won the port probe and the
// credential the server expects.
struct ConfigServer {
  std::string address;
  int64_t port = 0;
  std::string password;

  ConfigServer() = default;
  ConfigServer(std::string address, int64_t port, std::string password)
      : address(std::move(address)), port(port), password(std::move(password)) {}

  bool operator==(const ConfigServer&) const = default;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("address", self.address);
    v("port", self.port);
    v("password", self.password);
  }
};

// Everything the engine needs for one tunnel. The engine receives toMap(config): every key is
// always present (no field is optional) and decoding requires all of them. Values are stored as
// given; the rule lists arrive already split and prepared by the node controller.
struct Config {
  bool isSmart = false;              // rule-based routing rather than global
  bool isTun = false;                // packet tunnel rather than local proxies
  std::vector<std::string> unlock;   // the server's unlock domains
  std::vector<std::string> alway;    // domains always proxied
  std::vector<std::string> alwayIPs;
  std::vector<std::string> direct;   // domains always sent directly
  std::vector<std::string> directIPs;
  std::vector<std::string> blockDomains;
  std::vector<std::string> blockIPs;
  ConfigServer servers;
  std::string protocol;    // raw value of the VPNProtocol in use
  std::string serverName;  // node host "-" protocol code "." node domain
  std::string dns;
  std::string dnsStrategy;

  Config() = default;
  // servers, protocol and serverName start empty and are set afterwards.
  Config(bool isSmart, bool isTun, std::vector<std::string> unlock, std::vector<std::string> alway,
         std::vector<std::string> alwayIPs, std::vector<std::string> direct, std::vector<std::string> directIPs,
         std::vector<std::string> blockDomains, std::vector<std::string> blockIPs, std::string dns,
         std::string dnsStrategy);

  bool operator==(const Config&) const = default;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("isSmart", self.isSmart);
    v("isTun", self.isTun);
    v("unlock", self.unlock);
    v("alway", self.alway);
    v("alwayIPs", self.alwayIPs);
    v("direct", self.direct);
    v("directIPs", self.directIPs);
    v("blockDomains", self.blockDomains);
    v("blockIPs", self.blockIPs);
    v("servers", self.servers);
    v("protocol", self.protocol);
    v("serverName", self.serverName);
    v("dns", self.dns);
    v("dnsStrategy", self.dnsStrategy);
  }
};

}  // namespace tarnel
