#pragma once

// Real v2ray nodes for the program of an AppWorld, on the world's own loopback block. Node <id>
// listens on its own address of the block at the port the account's status answer lists, opens
// as host "h<id>" in domain "node.test", and is started on its first opening with the device
// credential the program sends. What a node forwards leaves from an address of its own, so the
// test page (which answers with the address it was reached from) tells which node carried a
// request. A broken node resolves the test page to an address where nothing listens: its tunnel
// opens, but no page loads through it.

#include <QCoreApplication>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/CoreManager.h"
#include "core/EngineEnvironment.h"
#include "services/connection/ConnectionController.h"
#include "services/network/NetworkRequest.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestHome.h"
#include "tests/support/V2rayNode.h"

namespace lumora::test {

class NodeWorld {
 public:
  struct Setup {
    std::string id;
    bool broken = false;
  };

  static constexpr int kFirstNodeAddress = 5;     // node i listens on address(5 + i)
  static constexpr int kFirstSourceAddress = 11;  // and sends from address(11 + i)
  static constexpr int kDeadAddress = 31;         // nothing listens there
  static constexpr std::uint16_t kNodePort = tarnel::dev::DevAddresses::kNodePort;

  NodeWorld(AppWorld& world, std::vector<Setup> setups)
      : world_(world),
        setups_(std::move(setups)),
        probePage_(std::nullopt, "127.0.0.1"),
        page_(world.bed().ca().issue("page", {"page.test"}, {"127.0.0.1"}), "127.0.0.1") {
    helmsey::EngineEnvironment environment = helmsey::engineEnvironment();
    environment.extraCaCertificate = world.bed().ca().certificatePath();
    helmsey::setEngineEnvironment(environment);

    probePage_.setHandler([](const tarnel::test::ReceivedRequest& request) {
      return request.path == "/test" ? tarnel::test::CannedReply::text(200, "ok")
                                     : tarnel::test::CannedReply::text(404, "", "Not Found");
    });
    page_.setHandler(
        [](const tarnel::test::ReceivedRequest& request) { return tarnel::test::CannedReply::text(200, request.peerAddress); });

    tarnel::test::WireJson list = tarnel::test::WireJson::array();
    for (const auto& setup : setups_) {
      list.push_back({{"node_id", setup.id},
                      {"protocal", "d"},
                      {"unsupported", tarnel::test::WireJson::array()},
                      {"name", "Node " + setup.id},
                      {"country", "JP"},
                      {"enabled", 2}});
    }
    world.service().script("POST", "lite/users/*/nodes", tarnel::test::Answer::model({{"nodes", list}}));
    world.service().respond("POST", "connect/node/*/user/*",
                            [this](const tarnel::test::ServiceRequest& request) { return open(request); });
    tarnel::ConnectionController::setAvailabilityPagesForTesting(
        {pageUrl("search"), pageUrl("video-one"), pageUrl("video-two")});
  }

  ~NodeWorld() {
    tarnel::ConnectionController::setAvailabilityPagesForTesting({});
    std::lock_guard lock(mutex_);
    nodes_.clear();
  }

  std::string pageUrl(const std::string& path) const {
    return "https://page.test:" + std::to_string(page_.port()) + "/" + path;
  }
  // The test page's port; its certificate names page.test and 127.0.0.1.
  std::uint16_t pagePort() const { return page_.port(); }
  // Drops the pages' records of what they were asked (a long run's memory stays the program's).
  void forgetRequests() {
    probePage_.clearRequests();
    page_.clearRequests();
  }
  // The address the page sees for traffic that node `index` carried.
  std::string sourceOf(std::size_t index) const { return world_.bed().address(kFirstSourceAddress + int(index)); }

  // GET the test page through the program's local HTTP proxy; the page's answer, or the error.
  static tarnel::NetworkResult fetchThroughProgram(const std::string& url) {
    const std::string proxy = "http://127.0.0.1:" + std::to_string(helmsey::CoreManager::httpPort());
    return tarnel::NetworkRequest(url, tarnel::HttpMethod::GET, std::nullopt, std::nullopt, std::nullopt, proxy,
                                  std::nullopt)
        .request();
  }
  static std::string bodyOf(const tarnel::NetworkResult& result) {
    if (!result.isSuccess() || !result.response() || !result.response()->data) return {};
    const auto& data = *result.response()->data;
    return std::string(data.begin(), data.end());
  }

 private:
  tarnel::test::Answer open(const tarnel::test::ServiceRequest& request) {
    // "connect/node/<id>/user/<user>"
    const auto begin = std::string("connect/node/").size();
    const std::string id = request.path.substr(begin, request.path.find('/', begin) - begin);
    const auto found = std::find_if(setups_.begin(), setups_.end(), [&](const Setup& s) { return s.id == id; });
    std::string credential;
    if (request.body && request.body->contains("user") && (*request.body)["user"].contains("uid")) {
      credential = (*request.body)["user"]["uid"].get<std::string>();
    }
    if (found == setups_.end() || credential.empty()) return tarnel::test::Answer::error(400, "no such node");
    const std::size_t index = static_cast<std::size_t>(found - setups_.begin());
    const std::string address = world_.bed().address(kFirstNodeAddress + int(index));
    if (!ensureNode(index, address, credential)) return tarnel::test::Answer::error(503, "node did not start", 503);
    return tarnel::test::Answer::model(
        {{"ts", 0},
         {"status", 1},
         {"max_age", 30},
         {"message", ""},
         {"node", {{"server", address}, {"host", "h" + id}, {"domain", "node.test"}, {"port", kNodePort}}}});
  }

  bool ensureNode(std::size_t index, const std::string& address, const std::string& credential) {
    std::lock_guard lock(mutex_);
    auto& running = nodes_[index];
    if (running) return true;  // one program, one device credential
    const Setup& setup = setups_[index];
    tarnel::test::V2rayNode::Options options;
    options.kind = tarnel::test::V2rayNode::Kind::vless;
    options.credential = credential;
    options.certificate = world_.bed().ca().issue(
        "node-" + setup.id, {"h" + setup.id + "-d.node.test", "h" + setup.id + "-a.node.test"}, {address});
    options.hosts = {{"page.test", setup.broken ? world_.bed().address(kDeadAddress) : "127.0.0.1"}};
    options.sendThrough = sourceOf(index);
    options.fallbackPort = probePage_.port();
    options.listenAddress = address;
    options.port = kNodePort;
    try {
      running = std::make_unique<tarnel::test::V2rayNode>(options, directory_.path());
    } catch (const std::exception&) {
      return false;
    }
    return true;
  }

  AppWorld& world_;
  const std::vector<Setup> setups_;
  tarnel::test::TempDir directory_;
  tarnel::test::LoopbackHttpServer probePage_;
  tarnel::test::LoopbackHttpServer page_;
  std::mutex mutex_;
  std::map<std::size_t, std::unique_ptr<tarnel::test::V2rayNode>> nodes_;
};

}  // namespace lumora::test
