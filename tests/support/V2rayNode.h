#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TestCA.h"

namespace tarnel::test {

// A proxy node on loopback: a v2ray server process with one TLS inbound of the given kind,
// written and started by the test itself (its own configuration, its own process handling).
// What it forwards leaves through a freedom outbound, from `sendThrough` when given, so a
// loopback page can tell traffic that came through the node from traffic that came directly.
class V2rayNode {
 public:
  enum class Kind { vmess, vless, trojan, trojanWebSocket };

  struct Options {
    Kind kind = Kind::vmess;
    std::string credential;                     // UUID for vmess and vless, password for trojan
    TestCA::Leaf certificate;                   // the node's TLS certificate
    std::map<std::string, std::string> hosts;   // names the node resolves itself ("page.test")
    std::string sendThrough;                    // source address of the node's own connections
    std::string webSocketPath = "/";
    // vless and trojan over TCP: a loopback port that gets what is not the protocol (after TLS,
    // HTTP/1.1 only), so that a plain HTTPS request to the node reaches a page there. 0: none.
    std::uint16_t fallbackPort = 0;
    // More clients the node accepts besides `credential`.
    std::vector<std::string> moreCredentials;
    // Where the node listens; port 0: a free port chosen for it.
    std::string listenAddress = "127.0.0.1";
    std::uint16_t port = 0;
  };

  // Starts the node and waits until it accepts connections; throws std::runtime_error on failure.
  V2rayNode(const Options& options, const std::filesystem::path& directory);
  ~V2rayNode();
  V2rayNode(const V2rayNode&) = delete;
  V2rayNode& operator=(const V2rayNode&) = delete;

  std::uint16_t port() const { return port_; }
  pid_t pid() const { return pid_; }
  // Kills the node at once (its connections end); restart() starts it again on the same port
  // and waits until it accepts connections.
  void kill();
  void restart();
  std::string log() const;  // the node's own output

  static const char* kindName(Kind kind);

 private:
  int reservation_ = -1;
  std::uint16_t port_ = 0;
  pid_t pid_ = -1;
  std::filesystem::path logFile_;
  std::string listenAddress_ = "127.0.0.1";
  std::filesystem::path configFile_;

  enum class Launch { listening, exited, silent };
  void launch();
  Launch launchOnce();
};

// A new random UUID text.
std::string randomUuid();

}  // namespace tarnel::test
