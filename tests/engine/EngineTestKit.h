#pragma once

// What the engine tests share: a loopback world (test CA, nodes, pages), a status recorder,
// fetches through the local proxies, and a look at the engine's child processes.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/CoreManager.h"
#include "tests/support/LoopbackHttpsServer.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"
#include "tests/support/V2rayNode.h"

namespace tarnel::test::engine {

using namespace std::chrono_literals;
using Json = nlohmann::ordered_json;

// The address nodes send their own traffic from: a page that sees it was reached through a node.
inline constexpr const char* kNodeSource = "127.0.0.7";
inline constexpr const char* kNodeName = "node.test";

// Collects the statuses one callback receives, with the thread each arrived on. The callback
// shares the record, so a status that comes after the recorder is gone harms nothing.
class StatusRecorder {
 public:
  StatusRecorder() : record_(std::make_shared<Record>()) {}
  helmsey::VPNStatusCallback callback() const;
  // True once `status` has arrived `count` times (in all), within `timeout`.
  bool waitFor(helmsey::VPNStatus status, std::chrono::milliseconds timeout = 30s, int count = 1) const;
  std::vector<helmsey::VPNStatus> statuses() const;
  std::vector<std::thread::id> threads() const;

 private:
  struct Record {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<helmsey::VPNStatus> statuses;
    std::vector<std::thread::id> threads;
  };
  std::shared_ptr<Record> record_;
};

struct Fetch {
  bool ok = false;       // transfer done and status 200
  long status = 0;
  std::string body;
  std::string error;
};

enum class Via { httpProxy, socksProxy };

// GET `url`, trusting `ca`, through the engine's HTTP or SOCKS proxy at 127.0.0.1:`port`.
// Through SOCKS the name goes to the proxy, as it does through HTTP. The default time-out is
// for a page that comes when the engine works, so only a hang reaches it; a refusal answers
// at once.
Fetch fetch(const std::string& url, Via via, std::uint16_t port, const std::filesystem::path& ca,
            std::chrono::milliseconds timeout = 60s);
// Through the engine's own ports.
Fetch fetchThroughEngine(const std::string& url, Via via, const std::filesystem::path& ca,
                         std::chrono::milliseconds timeout = 60s);

// A tunnel configuration dictionary with every key, as the connection control builds it.
Json tunnelConfig(std::uint16_t nodePort, const std::string& protocol, const std::string& password);

// The engine's children (proxy engine processes reading their configuration from stdin).
std::vector<pid_t> engineChildren();
bool processGone(pid_t pid);  // exited and reaped, or never ours
// Waits until `pid` is gone.
bool waitGone(pid_t pid, std::chrono::milliseconds timeout = 30s);

// Writes an executable shell script `name` into `directory`.
std::filesystem::path writeScript(const std::filesystem::path& directory, const std::string& name,
                                  const std::string& body);
// Puts `directory` in front of PATH.
void prependToPath(const std::filesystem::path& directory);

// The loopback world most engine tests use: a CA the engine trusts, one page answering with
// the address it was reached from, and nodes on demand.
class LoopbackWorld {
 public:
  LoopbackWorld();

  const std::filesystem::path& directory() const { return dir_.path(); }
  const std::filesystem::path& ca() const { return ca_.certificatePath(); }
  std::uint16_t pagePort() const { return static_cast<std::uint16_t>(page_->port()); }
  // "https://<host>:<page port>/"
  std::string pageUrl(const std::string& host) const;

  // A node of the kind the protocol code needs, knowing `credential`, resolving the page names.
  std::unique_ptr<V2rayNode> node(const std::string& protocol, const std::string& credential);

  static V2rayNode::Kind kindFor(const std::string& protocol);
  static std::string credentialFor(const std::string& protocol);  // a fresh valid credential

 private:
  TempDir dir_;
  TestCA ca_;
  TestCA::Leaf pageLeaf_;
  TestCA::Leaf nodeLeaf_;
  std::unique_ptr<LoopbackHttpsServer> page_;
};

}  // namespace tarnel::test::engine
