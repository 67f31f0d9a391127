#pragma once

// The development service: the loopback doubles of the service API and the hosted log service
// run as one program, with an e-mail account that signs in, a proxy node whose way out is this
// machine's own network, and the pages the connection check loads. A development build of Tarnel
// finds it through its built-in discovery address and trusts its certificate authority; release
// builds know neither.

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/LogServiceDouble.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ServiceDouble.h"
#include "tests/support/TestCA.h"
#include "tests/support/V2rayNode.h"

namespace tarnel::dev {

// Where the development build looks: fixed addresses of the loopback range, so the service
// never collides with tests (which use addresses of their own) or with the machine's own servers.
struct DevAddresses {
  static constexpr const char* kService = "127.77.0.1";  // discovery on 2324, the API on 443
  static constexpr const char* kLogs = "127.77.0.2";     // the log service on 443
  static constexpr const char* kPages = "127.77.0.3";    // the connection check's pages
  static constexpr const char* kNode = "127.77.0.4";     // the proxy node
  static constexpr int kDiscoveryPort = 2324;
  static constexpr int kPagesPort = 18443;
  static constexpr int kNodePort = 20443;
  static constexpr const char* kDiscoveryName = "dns.dev.tarnel.test";
  static constexpr const char* kApiName = "api.dev.tarnel.test";
  static constexpr const char* kPagesName = "check.dev.tarnel.test";
  static constexpr const char* kNodeDomain = "node.dev.tarnel.test";
};

struct DevAccount {
  std::string email = "dev@tarnel.test";
  std::string password = "tarnel-dev";
  std::string userId = "u-dev-1";
};

// What the node the account opens looks like, and where it runs.
struct DevNodeSetup {
  std::string id = "1";
  std::string name = "Development node";
  std::string country = "JP";  // the account lists each node's country once
  std::string countryName = "Japan";
  std::string sendThrough;     // the source address of the node's own connections; "": any
  std::string address = DevAddresses::kNode;
  std::uint16_t port = DevAddresses::kNodePort;
  std::string domain = DevAddresses::kNodeDomain;
  test::TestCA::Leaf certificate;            // names h1-d.<domain> and h1-a.<domain>
  std::map<std::string, std::string> hosts;  // names the node resolves itself
  std::uint16_t probePort = 0;               // the plain page behind the node ("/test")
  std::filesystem::path directory;           // the node's configuration and log
};

// The account's side of the service on a service double: the guest and the e-mail sign-in, the
// status check, the node list, node opening (the node starts on the first opening, with the
// device's credential) and release, an empty notice list, the password change, and the
// account's devices (the device that signed in last, and a phone) with their names.
// Thread-safe.
class DevAccountScript {
 public:
  DevAccountScript(test::ServiceDouble& api, DevAccount account, DevNodeSetup node);
  // Several nodes, each started on its first opening; the first answers releases.
  DevAccountScript(test::ServiceDouble& api, DevAccount account, std::vector<DevNodeSetup> nodes);
  ~DevAccountScript();
  DevAccountScript(const DevAccountScript&) = delete;
  DevAccountScript& operator=(const DevAccountScript&) = delete;

  const DevAccount& account() const { return account_; }
  // The nodes' clients: one per node and device credential seen in a node-opening request.
  std::size_t nodeClientCount() const;
  // The ids of the nodes opened, in order.
  std::vector<std::string> openedNodes() const;

 private:
  test::Answer signIn(const test::ServiceRequest& request);
  test::Answer status(const test::ServiceRequest& request);
  test::Answer openNode(const test::ServiceRequest& request);
  test::Answer changePassword(const test::ServiceRequest& request);
  bool passwordMatches(const std::string& digest) const;
  test::Answer devices(const test::ServiceRequest& request);
  test::Answer renameDevice(const test::ServiceRequest& request);
  struct RunningNode {
    DevNodeSetup setup;
    std::vector<std::string> credentials;
    std::unique_ptr<test::V2rayNode> process;
  };
  // Starts (or restarts with one more client) the node; false when v2ray would not start.
  bool ensureNodeClient(RunningNode& node, const std::string& credential);

  DevAccount account_;
  // The account's password as the service keeps it (a digest, replaced by a password change),
  // and its devices' given names.
  mutable std::mutex accountMutex_;
  std::string passwordDigest_;
  std::string thisDevice_;  // the device that signed in last
  std::map<std::string, std::string> deviceNames_;
  mutable std::mutex nodeMutex_;
  std::vector<RunningNode> nodes_;
  std::vector<std::string> opened_;
};

class DevService {
 public:
  // Makes the certificate authority in `stateDir` (ca.crt, which the development build trusts)
  // and starts every listener; throws std::runtime_error when one cannot start.
  explicit DevService(const std::filesystem::path& stateDir, DevAccount account = {});
  ~DevService();
  DevService(const DevService&) = delete;
  DevService& operator=(const DevService&) = delete;

  const DevAccount& account() const { return script_->account(); }
  const std::filesystem::path& caCertificate() const { return ca_.certificatePath(); }
  test::ServiceDouble& api() { return *api_; }
  test::ServiceDouble& discovery() { return *discovery_; }
  test::LogServiceDouble& logs() { return *logs_; }
  std::size_t nodeClientCount() const { return script_->nodeClientCount(); }

 private:
  std::filesystem::path stateDir_;
  test::TestCA ca_;
  std::unique_ptr<test::LoopbackHttpServer> probePage_;
  std::unique_ptr<test::LoopbackHttpServer> checkPages_;
  std::unique_ptr<test::ServiceDouble> discovery_;
  std::unique_ptr<test::ServiceDouble> api_;
  std::unique_ptr<test::LogServiceDouble> logs_;
  std::unique_ptr<DevAccountScript> script_;
};

}  // namespace tarnel::dev
