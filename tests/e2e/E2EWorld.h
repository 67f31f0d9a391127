#pragma once

// One connection end to end on loopback: host discovery and the API reach the service double on
// port 443 of this test's own loopback address, the cloud log reaches the log double, real v2ray
// nodes carry the traffic, and the real engine runs the client side. Everything trusts the test
// bed's certificate authority through the seams of the HTTP engine and the VPN engine.
//
// Node <id> opens as host "h<id>" in domain "node.test" on server 127.0.0.1; its certificate
// names h<id>-d.node.test (the tunnel's server name) and h<id>-a.node.test (the port probe's).
// A plain HTTPS request to a node falls back to the probe page, which answers "/test".

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/CoreManager.h"
#include "core/EngineEnvironment.h"
#include "services/common/Global.h"
#include "services/connection/ConnectionController.h"
#include "services/connection/NodeController.h"
#include "tests/support/ApiTestBed.h"
#include "tests/support/ControllerEvents.h"
#include "tests/support/Gate.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/V2rayNode.h"

namespace tarnel::test {

using namespace std::chrono_literals;

// The engine's proxy processes: our children that read their configuration from standard input.
// A process may end while its /proc files are read (the read then fails with ESRCH): such a
// file reads as empty. Stream iterators would throw out of the read instead.
inline std::string readProcFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  if (in) content << in.rdbuf();
  return content.str();
}

inline std::vector<pid_t> engineProcesses() {
  std::vector<pid_t> found;
  const pid_t self = ::getpid();
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) continue;
    const std::string stat = readProcFile(entry.path() / "stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    if (parent != self || state == 'Z') continue;
    const std::string cmdline = readProcFile(entry.path() / "cmdline");
    if (cmdline.find("stdin:") != std::string::npos) found.push_back(static_cast<pid_t>(std::stoi(name)));
  }
  return found;
}

inline bool waitForNoEngine(std::chrono::milliseconds timeout = 30s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!engineProcesses().empty()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

class E2EWorld {
 public:
  static constexpr const char* kUserId = "u-e2e";
  static constexpr int kNodeSourceAddress = 9;  // where nodes send their own traffic from
  static constexpr int kDeadAddress = 31;       // nothing listens there

  struct NodeSetup {
    std::string id;
    bool broken = false;  // its way out leads nowhere: the tunnel opens, no page loads through it
  };

  explicit E2EWorld(const std::vector<NodeSetup>& setups)
      : probePage_(std::nullopt, "127.0.0.1"),
        page_(api_.bed().ca().issue("page", {"page.test"}, {"127.0.0.1"}), "127.0.0.1") {
    ApiTestBed::signIn(kUserId);
    Global::modifyLoginInfo([](Login& login) {
      Other other;
      other.protocal_priority = {"d"};
      other.lite_update_interval = 60;
      login.other = other;
    });

    helmsey::EngineEnvironment environment;
    environment.extraCaCertificate = api_.bed().ca().certificatePath();
    helmsey::setEngineEnvironment(environment);

    probePage_.setHandler([this](const ReceivedRequest& request) {
      probeGate_.pass();
      return request.path == "/test" ? CannedReply::text(200, "ok") : CannedReply::text(404, "", "Not Found");
    });
    page_.setHandler([this](const ReceivedRequest& request) {
      pageGate_.pass();
      return CannedReply::text(200, request.peerAddress);
    });

    WireJson nodeList = WireJson::array();
    Live live;
    for (const auto& setup : setups) {
      V2rayNode::Options options;
      options.kind = V2rayNode::Kind::vless;
      options.credential = Global::userUID();
      options.certificate = api_.bed().ca().issue("node-" + setup.id,
                                                  {"h" + setup.id + "-d.node.test", "h" + setup.id + "-a.node.test"});
      options.hosts = {{"page.test", setup.broken ? api_.bed().address(kDeadAddress) : "127.0.0.1"}};
      options.sendThrough = nodeSource();
      options.fallbackPort = probePage_.port();
      nodes_.push_back(std::make_unique<V2rayNode>(options, directory_.path()));
      live.ports.push_back(nodes_.back()->port());
      nodeList.push_back({{"node_id", setup.id},
                          {"protocal", "d"},
                          {"unsupported", WireJson::array()},
                          {"name", "Node " + setup.id},
                          {"country", "JP"},
                          {"enabled", 2}});
      service().script("POST", "connect/node/" + setup.id + "/user/*",
                       Answer::model(openAnswer("h" + setup.id, nodes_.back()->port())));
    }
    Global::setLive(live);
    service().script("POST", "lite/users/*/nodes", Answer::model({{"nodes", nodeList}}));
    service().script("PUT", "connect/node/*/user/*", Answer::model(openAnswer("released", 0)));
    ConnectionController::setAvailabilityPagesForTesting(
        {pageUrl("search"), pageUrl("video-one"), pageUrl("video-two")});

    auto& controller = ConnectionController::shared();
    events_.attach(controller);
    controller.enableSystemProxy(false).enableCmdProxy(false).autoReconnect(false).tunnel(false);
  }

  ~E2EWorld() {
    probeGate_.open();
    pageGate_.open();
    ConnectionController::shared().disconnect();
    ConnectionController::shared().onStep({}).onStatus({}).onFailed({});
    ConnectionController::setAvailabilityPagesForTesting({});
  }

  static WireJson openAnswer(const std::string& host, int port) {
    return {{"ts", 0},
            {"status", 1},
            {"max_age", 30},
            {"message", ""},
            {"node", {{"server", "127.0.0.1"}, {"host", host}, {"domain", "node.test"}, {"port", port}}}};
  }

  ConnectionController& controller() { return ConnectionController::shared(); }
  NodeController& nodes() { return NodeController::shared(); }
  ServiceDouble& service() { return api_.service(); }
  LogServiceDouble& logs() { return api_.logs(); }
  ControllerEvents& events() { return events_; }
  // The node of the setup at `index`, in the order given.
  V2rayNode& node(std::size_t index) { return *nodes_.at(index); }
  Gate& probeGate() { return probeGate_; }
  Gate& pageGate() { return pageGate_; }
  const std::filesystem::path& directory() const { return directory_.path(); }

  std::size_t engineCount() const { return engineProcesses().size(); }
  // True once an engine process runs.
  bool waitForEngine(std::chrono::milliseconds timeout = 30s) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (engineProcesses().empty()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
  // The engine's proxy program waits until releaseEngineStart() before it starts, so the start
  // phase lasts as long as the test needs it to.
  void holdEngineStart() {
    const auto script = directory_.path() / "held-v2ray";
    std::ofstream(script) << "#!/bin/sh\nwhile [ ! -e '" << engineGo().string() << "' ]; do sleep 0.01; done\n"
                          << "exec v2ray \"$@\"\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    auto environment = helmsey::engineEnvironment();
    environment.v2rayProgram = script;
    helmsey::setEngineEnvironment(environment);
  }

  void releaseEngineStart() { std::ofstream(engineGo()) << ""; }

  std::string nodeSource() { return api_.bed().address(kNodeSourceAddress); }
  std::string pageUrl(const std::string& path) const {
    return "https://page.test:" + std::to_string(page_.port()) + "/" + path;
  }

 private:
  std::filesystem::path engineGo() const { return directory_.path() / "engine-go"; }

  ApiTestBed api_;
  TempDir directory_;
  Gate probeGate_;
  Gate pageGate_;
  LoopbackHttpServer probePage_;
  LoopbackHttpServer page_;
  std::vector<std::unique_ptr<V2rayNode>> nodes_;
  ControllerEvents events_{30s};
};

}  // namespace tarnel::test
