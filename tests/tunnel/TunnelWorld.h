#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <functional>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/engine/UniqueFd.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"
#include "tests/support/V2rayNode.h"

namespace tarnel::test {

// Why tunnel tests cannot run here (not root, no `ip netns`), or none.
std::optional<std::string> tunnelSkipReason();

// Two network namespaces of the test's own, joined by a veth pair on documentation addresses:
//   client  192.0.2.1, route to 198.51.100.0/24 via the world
//   world   192.0.2.2 (a v2ray node), 198.51.100.10 (a web page that answers with the caller's
//           address), 198.51.100.53 (a DNS server that answers every A query with the caller's
//           address); both on the node's own host, so what the node forwards to them comes from
//           their own address, and what comes directly from the client's
// and Spindrift running as root inside the client namespace on a socket in a temporary folder.
class TunnelWorld {
 public:
  static constexpr const char* kClientAddress = "192.0.2.1";
  static constexpr const char* kNodeAddress = "192.0.2.2";
  static constexpr const char* kPageAddress = "198.51.100.10";
  static constexpr const char* kDnsAddress = "198.51.100.53";
  static constexpr std::uint16_t kNodePort = 8443;
  // The same over IPv6: client 2001:db8::1, world 2001:db8::2 (the node's host), a page at
  // 2001:db8:1::10.
  static constexpr const char* kClientAddress6 = "2001:db8::1";
  static constexpr const char* kPageAddress6 = "2001:db8:1::10";

  TunnelWorld();
  ~TunnelWorld();

  // The caller's address as the page saw it, from a plain curl in the client namespace;
  // empty when the page could not be reached.
  std::string curlPage() const;
  std::string curlPage6() const;
  // The caller's address as the DNS server saw it, from a query sent in the client namespace.
  std::string queryDns() const;
  // Rules, routes and the nftables ruleset of the client namespace, as text.
  std::string networkState() const;

  // A tunnel configuration for the node.
  nlohmann::json configuration() const;

  // How Spindrift is started besides the world's own arguments (its socket, state folder, the
  // node's CA, root allowed, the engine run as `nobody`).
  struct Launch {
    std::vector<std::string> arguments;
    // Its PATH: where it finds nft, ip and pkcheck (a folder of the test's own).
    std::optional<std::filesystem::path> path;
    // Its limit of open files (0: this process's own).
    unsigned long openFiles = 0;
    // Started by systemd-socket-activate on the socket path, on the first connection.
    bool socketActivated = false;
    // Its listen() held back this long (through a preloaded library of the tests).
    std::chrono::milliseconds listenDelay{0};
  };
  void startSpindrift(const Launch& launch);
  void startSpindrift() { startSpindrift(Launch{}); }
  void killSpindrift();  // kill -9
  pid_t spindriftPid() const { return spindrift_; }
  // The engine Spindrift runs, or -1.
  pid_t enginePid() const;
  const std::filesystem::path& socketPath() const { return socket_; }
  // A folder of the test's own (root may write, others may read and enter).
  const std::filesystem::path& sharedDirectory() const { return socketDir_; }
  // Where Spindrift keeps its capture journal.
  std::filesystem::path stateDirectory() const { return dir_.path(); }

 private:
  void inNamespace(const std::string& name, const std::function<void()>& body) const;

  std::string client_, world_;
  TempDir dir_;
  std::optional<TestCA> ca_;
  std::unique_ptr<V2rayNode> node_;
  std::unique_ptr<LoopbackHttpServer> page_;
  std::unique_ptr<LoopbackHttpServer> page6_;
  helmsey::engine::UniqueFd dnsSocket_;
  std::atomic<bool> dnsQuit_{false};
  std::thread dnsThread_;
  std::string credential_;
  std::filesystem::path socketDir_;
  std::filesystem::path socket_;
  pid_t spindrift_ = -1;
};

// A folder for Spindrift's PATH: nft and ip linked to the real ones, and, when given, a stand-in
// pkcheck with `pkcheckScript` as its text.
std::filesystem::path makeToolFolder(const std::filesystem::path& where, const std::string& pkcheckScript = "");

// Runs `body` in a forked process as user `uid` (its group the same number) and hands back what
// it returned; waits for it.
std::string asUser(uid_t uid, const std::function<std::string()>& body);

// A process of another user that holds a connection to Spindrift until it is destroyed. It
// sends `first` (if any) once connected, and reports the first answer's text through answer().
class ForeignCaller {
 public:
  ForeignCaller(const std::filesystem::path& socket, uid_t uid, const std::optional<nlohmann::json>& first,
                const std::string& waitForStatus = "");
  ~ForeignCaller();
  // The answer the process reported (the first message, or "y" once `waitForStatus` was seen),
  // or "" when none came within `timeout`, which is longer than the process waits itself.
  std::string answer(std::chrono::milliseconds timeout = std::chrono::seconds(120));
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  helmsey::engine::UniqueFd report_;
};

// One caller of Spindrift over its socket.
class SpindriftClient {
 public:
  explicit SpindriftClient(const std::filesystem::path& socket);
  bool connected() const { return fd_.valid(); }
  bool send(const nlohmann::json& message);
  bool sendRaw(const std::string& text);
  int fd() const { return fd_.get(); }
  // The next message, or none when the connection ended or `timeout` passed.
  std::optional<nlohmann::json> next(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Reads messages until one with this status; false when the connection ended first.
  bool waitFor(const std::string& status, std::chrono::milliseconds timeout = std::chrono::seconds(30));

 private:
  helmsey::engine::UniqueFd fd_;
  std::string input_;
};

}  // namespace tarnel::test
