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
  // The web pages (official site, terms, payment, help, ...): a name under "localhost", which the
  // browser engine and the HTTP engine both take to this machine's 127.0.0.1 without asking a
  // name server, so the official site's "www." pages resolve as well.
  static constexpr const char* kSite = "127.0.0.1";
  static constexpr const char* kSiteName = "tarnel.localhost";
  static constexpr int kSitePort = 18444;
  // "tarnel.localhost:18444", the host part of every page address.
  static std::string siteAuthority() { return std::string(kSiteName) + ":" + std::to_string(kSitePort); }
};

struct DevAccount {
  std::string email = "dev@tarnel.test";
  std::string password = "tarnel-dev";
  std::string userId = "u-dev-1";
  std::string invitationCode = "DEVCODE";  // the account's own code, which it shares
  std::string friendCode = "TARNEL";       // another user's code, which the account may bind
  std::string site = DevAddresses::siteAuthority();  // where the account's links point
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

// The account's side of the service on a service double: guest and e-mail sign-in, registration
// with a mailed verification code, password change and reset, account removal, the status check
// and the account data it refreshes, the node list, node opening (the node starts on the first
// opening, with the device's credential) and release, the account's devices (the device that
// signed in last and a phone) with their names, sign-out and more device places, proxy rules,
// invitation codes, time cards and coupons, notices, plans, purchases, domain lists, the
// promotion link and diagnosis reports. Refusals are the service's error object with its Chinese
// and English line. What a real service would mail or keep for its staff (verification codes,
// reports) goes to the console. Thread-safe.
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
  // The console lines so far ("mail to <address>: verification code <code>", "report ...").
  std::vector<std::string> console() const;

 private:
  struct Card {
    std::int64_t id;
    double num;
    std::int64_t type;
    std::int64_t unit;
  };
  struct Device {
    std::string id;
    std::string name;
    std::string platform;
    std::string updated;
    std::string desc;  // the name the user gave; empty: none
  };
  // One account of the service: the development account, or a guest (one per device), which
  // registration turns into an e-mail account.
  struct User {
    std::string id;
    std::string email;
    std::string passwordDigest;
    std::int64_t emailStatus = 0;  // 0 guest, 1 registered, 2 confirmed
    std::string code;              // its invitation code
    std::string boundCode;         // the invitation code it bound
    std::int64_t memberUntil = 0;  // seconds
    std::int64_t deviceCount = 3;
    std::vector<Device> devices;
    std::vector<std::string> signedOut;  // devices signed out since, until they sign in again
    std::vector<Card> cards;
    test::WireJson rules;  // {direct, proxy, block}: lists of texts
    std::int64_t proxyVersion = 1;
  };

  void route(test::ServiceDouble& api);
  test::Answer signIn(const test::ServiceRequest& request);
  test::Answer status(const test::ServiceRequest& request);
  test::Answer accountData(const test::ServiceRequest& request);
  test::Answer openNode(const test::ServiceRequest& request);
  test::Answer changePassword(const test::ServiceRequest& request);
  test::Answer changeAccount(const test::ServiceRequest& request);  // register, verify, bind a code
  test::Answer mailCode(const test::ServiceRequest& request);
  test::Answer resetPassword(const test::ServiceRequest& request);
  test::Answer removeAccount(const test::ServiceRequest& request);
  test::Answer officialToken(const test::ServiceRequest& request);
  test::Answer devices(const test::ServiceRequest& request);
  test::Answer renameDevice(const test::ServiceRequest& request);
  test::Answer signOut(const test::ServiceRequest& request);
  test::Answer upgradePreview(const test::ServiceRequest& request);
  test::Answer upgrade(const test::ServiceRequest& request);
  test::Answer saveRules(const test::ServiceRequest& request);
  test::Answer share(const test::ServiceRequest& request);
  test::Answer coupons(const test::ServiceRequest& request);
  test::Answer useCard(const test::ServiceRequest& request);
  test::Answer promotionLink(const test::ServiceRequest& request);
  test::Answer notice(const test::ServiceRequest& request);
  test::Answer report(const test::ServiceRequest& request);
  test::Answer purchase(const test::ServiceRequest& request);
  // The user the path names after `prefix` ("users/<id>..."); null when there is none.
  // accountMutex_ held.
  User* userOf(const test::ServiceRequest& request, const std::string& prefix);
  User& guestOf(const std::string& deviceId);
  test::WireJson userJson(const User& user) const;
  test::WireJson membership(const User& user) const;
  test::WireJson loginJson(const User& user) const;  // the sign-in answer
  void say(std::string line);
  struct RunningNode {
    DevNodeSetup setup;
    std::vector<std::string> credentials;
    std::unique_ptr<test::V2rayNode> process;
  };
  // Starts (or restarts with one more client) the node; false when v2ray would not start.
  bool ensureNodeClient(RunningNode& node, const std::string& credential);

  DevAccount account_;
  mutable std::mutex accountMutex_;
  std::vector<User> users_;
  std::map<std::string, std::string> guests_;  // device id -> guest user id
  std::map<std::string, std::string> codes_;   // e-mail address -> the code last mailed to it
  std::int64_t nextGuest_ = 1;
  std::vector<std::string> console_;
  mutable std::mutex nodeMutex_;
  std::vector<RunningNode> nodes_;
  std::vector<std::string> opened_;
};

// The discovery answer of the development service: its API host under `apiName` at `apiAddress`,
// the official site, payment and support at `site`, and downloads, help pages and flag pictures
// at `downloads` (the same server by its address: the pictures are loaded by Qt, which asks the
// system's resolver, and that knows no names under "localhost").
test::WireJson devDiscoveryBody(const std::string& apiName, const std::string& apiAddress, const std::string& site,
                                const std::string& downloads);

// The web pages the program opens or links to, as the development service serves them: the
// probes' "ok", a page of its own for each address the program builds (terms and privacy in both
// languages, the invitation landing page, rewards and rules, the development payment page,
// support, help, the mobile page, the promotion, the browser check), the flag pictures, and a
// page that says so for any other address.
test::CannedReply devSitePage(const test::ReceivedRequest& request);

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
  const DevAccountScript& script() const { return *script_; }
  // The pages' server (https://tarnel.localhost:18444).
  test::LoopbackHttpServer& site() { return *site_; }

 private:
  std::filesystem::path stateDir_;
  test::TestCA ca_;
  std::unique_ptr<test::LoopbackHttpServer> probePage_;
  std::unique_ptr<test::LoopbackHttpServer> checkPages_;
  std::unique_ptr<test::LoopbackHttpServer> site_;
  std::unique_ptr<test::ServiceDouble> discovery_;
  std::unique_ptr<test::ServiceDouble> api_;
  std::unique_ptr<test::LogServiceDouble> logs_;
  std::unique_ptr<DevAccountScript> script_;
};

}  // namespace tarnel::dev
