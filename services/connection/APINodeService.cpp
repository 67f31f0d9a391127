#include <memory>
#include <mutex>
#include <optional>

#include "services/api/APIManager.h"
#include "services/connection/NodeController.h"
#include "services/connection/NodeService.h"
#include "services/log/CloudLog.h"

namespace tarnel {
namespace {

// The controller a binding reaches, for as long as it lives. The binding is copied by node-list
// calls in flight, so it holds this link rather than the controller: detaching waits for a call
// that is inside the controller and leaves later ones finding nobody.
struct ControllerLink {
  std::mutex mutex;
  NodeController* controller = nullptr;
};

class APINodeService final : public NodeService {
 public:
  ~APINodeService() override { detach(); }

  void attach(NodeController& controller) override {
    {
      std::lock_guard lock(link_->mutex);
      link_->controller = &controller;
    }
    APIManager::NodeListBinding binding;
    binding.currentCountry = [link = link_]() -> std::optional<std::string> {
      std::lock_guard lock(link->mutex);
      if (!link->controller) return std::nullopt;
      const auto country = link->controller->currentCountry();
      if (!country) return std::nullopt;
      return country->country;
    };
    binding.currentTag = [link = link_]() -> std::optional<std::int64_t> {
      std::lock_guard lock(link->mutex);
      if (!link->controller) return std::nullopt;
      const auto tag = link->controller->currentTag();
      if (!tag) return std::nullopt;
      return tag->id;
    };
    binding.nodesFetched = [link = link_](std::vector<Node> nodes) {
      std::lock_guard lock(link->mutex);
      if (!link->controller) return false;
      link->controller->nodesFetched(std::move(nodes));
      return true;
    };
    APIManager::bindNodeList(std::move(binding));
  }

  void detach() override {
    std::lock_guard lock(link_->mutex);
    link_->controller = nullptr;
  }

  std::shared_ptr<APIErrorInfo> getNodes(const std::string& extNodes) override {
    return APIManager::getNodes(extNodes);
  }

  APIResult<std::optional<Open>> openConnect(const std::string& type, const std::string& nodeId,
                                            const std::string& gameMode, std::int64_t balance) override {
    return APIManager::openConnect(type, nodeId, gameMode, balance);
  }

  APIResult<std::map<std::string, std::int64_t>> testNodePorts(const std::vector<std::string>& hosts,
                                                               const std::string& domain,
                                                               const std::vector<std::int64_t>& ports) override {
    return APIManager::testNodePorts(hosts, domain, ports);
  }

  void connectNode(const std::string& type, const std::string& nodeId) override {
    APIManager::connectNode(type, nodeId);
  }

  std::vector<Node> getClassicNodes() override { return APIManager::getClassicNodes(); }

  std::optional<NodeUpTime> getClassicUptime(const std::string& country) override {
    return APIManager::getClassicUptime(country);
  }

  void log(const std::map<std::string, std::string>& fields, LogTopic topic) override { CloudLog::log(fields, topic); }

 private:
  const std::shared_ptr<ControllerLink> link_ = std::make_shared<ControllerLink>();
};

}  // namespace

std::unique_ptr<NodeService> makeAPINodeService() { return std::make_unique<APINodeService>(); }

}  // namespace tarnel
