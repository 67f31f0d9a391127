#pragma once

// A scripted stand-in for the service side of node selection: answers from handlers the test
// sets, records every call. Thread-safe.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "services/connection/NodeController.h"
#include "services/connection/NodeService.h"

namespace tarnel::test {

// A node as the service lists it.
inline Node makeNode(const std::string& id, const std::string& protocol, std::vector<std::string> unsupported = {},
                     const std::string& country = "JP") {
  Node node(id, protocol, std::move(unsupported), "name-" + id, country, 0, 2, 1);
  return node;
}

// The open answer the double gives by default: node server "srv-<id>", host "h<id>", domain
// "nodes.test", relay hosts "relay-<id>-1,relay-<id>-2".
inline Open openAnswerFor(const std::string& nodeId) {
  Open open;
  open.node.server = "srv-" + nodeId;
  open.node.host = "h" + nodeId;
  open.node.domain = "nodes.test";
  OpenTrun turn;
  turn.server = "relay-" + nodeId + "-1,relay-" + nodeId + "-2";
  turn.port = 443;
  open.turn = turn;
  return open;
}

class NodeServiceDouble final : public NodeService {
 public:
  struct OpenCall {
    std::string type;
    std::string nodeId;
    std::string gameMode;
    std::int64_t balance = 0;
  };
  struct ProbeCall {
    std::vector<std::string> hosts;
    std::string domain;
    std::vector<std::int64_t> ports;
  };
  struct Record {
    std::map<std::string, std::string> fields;
    LogTopic topic;
  };
  using OpenResult = APIResult<std::optional<Open>>;
  using ProbeResult = APIResult<std::map<std::string, std::int64_t>>;

  // What getNodes answers: an error, or a list that goes to the controller.
  struct NodeListAnswer {
    std::shared_ptr<APIErrorInfo> error;
    std::vector<Node> nodes;
  };

  std::function<NodeListAnswer(const std::string& extNodes)> nodeList = [](const std::string&) {
    return NodeListAnswer{};
  };
  std::function<OpenResult(const OpenCall&)> open = [](const OpenCall& call) {
    return OpenResult::success(openAnswerFor(call.nodeId));
  };
  std::function<ProbeResult(const ProbeCall&)> probe = [](const ProbeCall& call) {
    return ProbeResult::success(std::map<std::string, std::int64_t>{{call.hosts.at(0), 443}});
  };
  std::vector<Node> classicNodes;
  // Runs after a release is recorded, outside the double's lock (a slow release, for example).
  std::function<void()> release;
  std::function<std::optional<NodeUpTime>(const std::string&)> uptime = [](const std::string&) {
    return std::optional<NodeUpTime>();
  };

  // Always the same list.
  void answerNodes(std::vector<Node> nodes) {
    nodeList = [nodes](const std::string&) { return NodeListAnswer{nullptr, nodes}; };
  }
  // Refuses the open of these "nodeId/code" pairs with the given code ("refused <code>").
  void refuseOpen(std::map<std::string, std::int64_t> refusals) {
    open = [refusals](const OpenCall& call) {
      const auto it = refusals.find(call.nodeId + "/" + call.type);
      if (it == refusals.end()) return OpenResult::success(openAnswerFor(call.nodeId));
      return OpenResult::failure(APIErrorInfo::make(it->second, "refused " + std::to_string(it->second)));
    };
  }

  void attach(NodeController& controller) override { controller_ = &controller; }

  std::shared_ptr<APIErrorInfo> getNodes(const std::string& extNodes) override {
    {
      std::lock_guard lock(mutex_);
      nodeListCalls_.push_back(extNodes);
    }
    auto answer = nodeList(extNodes);
    if (!answer.error) controller_->nodesFetched(answer.nodes);
    return answer.error;
  }

  OpenResult openConnect(const std::string& type, const std::string& nodeId, const std::string& gameMode,
                         std::int64_t balance) override {
    OpenCall call{type, nodeId, gameMode, balance};
    {
      std::lock_guard lock(mutex_);
      openCalls_.push_back(call);
    }
    return open(call);
  }

  ProbeResult testNodePorts(const std::vector<std::string>& hosts, const std::string& domain,
                            const std::vector<std::int64_t>& ports) override {
    ProbeCall call{hosts, domain, ports};
    {
      std::lock_guard lock(mutex_);
      probeCalls_.push_back(call);
    }
    return probe(call);
  }

  void connectNode(const std::string& type, const std::string& nodeId) override {
    {
      std::lock_guard lock(mutex_);
      released_.push_back(nodeId + "/" + type);
    }
    if (release) release();
  }

  std::vector<Node> getClassicNodes() override {
    std::lock_guard lock(mutex_);
    ++classicCalls_;
    return classicNodes;
  }

  std::optional<NodeUpTime> getClassicUptime(const std::string& country) override {
    {
      std::lock_guard lock(mutex_);
      uptimeCalls_.push_back(country);
    }
    return uptime(country);
  }

  void log(const std::map<std::string, std::string>& fields, LogTopic topic) override {
    std::lock_guard lock(mutex_);
    records_.push_back(Record{fields, topic});
  }

  std::vector<std::string> nodeListCalls() const {
    std::lock_guard lock(mutex_);
    return nodeListCalls_;
  }
  // "nodeId/code" of every open, in order.
  std::vector<std::string> opened() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> list;
    for (const auto& call : openCalls_) list.push_back(call.nodeId + "/" + call.type);
    return list;
  }
  std::vector<OpenCall> openCalls() const {
    std::lock_guard lock(mutex_);
    return openCalls_;
  }
  std::vector<ProbeCall> probeCalls() const {
    std::lock_guard lock(mutex_);
    return probeCalls_;
  }
  std::vector<std::string> released() const {
    std::lock_guard lock(mutex_);
    return released_;
  }
  int classicCalls() const {
    std::lock_guard lock(mutex_);
    return classicCalls_;
  }
  std::vector<std::string> uptimeCalls() const {
    std::lock_guard lock(mutex_);
    return uptimeCalls_;
  }
  std::vector<Record> records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }

 private:
  NodeController* controller_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<std::string> nodeListCalls_;
  std::vector<OpenCall> openCalls_;
  std::vector<ProbeCall> probeCalls_;
  std::vector<std::string> released_;
  int classicCalls_ = 0;
  std::vector<std::string> uptimeCalls_;
  std::vector<Record> records_;
};

// A controller over a fresh double; `service` stays usable for the controller's life.
struct ControllerWithDouble {
  NodeServiceDouble* service = nullptr;
  std::unique_ptr<NodeController> controller;

  ControllerWithDouble() {
    auto double_ = std::make_unique<NodeServiceDouble>();
    service = double_.get();
    controller = std::make_unique<NodeController>(std::move(double_));
  }
};

}  // namespace tarnel::test
