#include <optional>

#include "services/api/APIManager.h"
#include "services/connection/NodeController.h"
#include "services/connection/NodeService.h"
#include "services/log/CloudLog.h"

namespace tarnel {
namespace {

class APINodeService final : public NodeService {
 public:
  void attach(NodeController& controller) override {
    APIManager::NodeListBinding binding;
    binding.currentCountry = [&controller]() -> std::optional<std::string> {
      const auto country = controller.currentCountry();
      if (!country) return std::nullopt;
      return country->country;
    };
    binding.currentTag = [&controller]() -> std::optional<std::int64_t> {
      const auto tag = controller.currentTag();
      if (!tag) return std::nullopt;
      return tag->id;
    };
    binding.nodesFetched = [&controller](std::vector<Node> nodes) { controller.nodesFetched(std::move(nodes)); };
    APIManager::bindNodeList(std::move(binding));
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
};

}  // namespace

std::unique_ptr<NodeService> makeAPINodeService() { return std::make_unique<APINodeService>(); }

}  // namespace tarnel
