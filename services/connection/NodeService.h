#pragma once

// What node selection asks of the outside world: the service API's node-list, node-opening,
// port-probe, release and classic-list calls, and the cloud log. One real implementation (over
// APIManager and CloudLog) and, in tests, doubles that answer from a table.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/api/APIResult.h"
#include "services/log/LogTopic.h"
#include "services/model/APIErrorInfo.h"
#include "services/model/NodeModels.h"
#include "services/model/OpenModels.h"

namespace tarnel {

class NodeController;

class NodeService {
 public:
  virtual ~NodeService() = default;

  // Called once by the controller that owns this service, from its constructor. A fetched node
  // list goes to that controller's nodesFetched(), and the node-list request reads its country
  // and tag from it.
  virtual void attach(NodeController& controller) = 0;
  // Called by that controller as it is destroyed: from then on nothing reaches it, and a call
  // that is inside it has returned.
  virtual void detach() {}

  // The node list without the nodes in `extNodes` (ids joined by ","); on success the list has
  // reached the attached controller before this returns. Error or none.
  virtual std::shared_ptr<APIErrorInfo> getNodes(const std::string& extNodes) = 0;

  // Opens node `nodeId` for protocol code `type`.
  virtual APIResult<std::optional<Open>> openConnect(const std::string& type, const std::string& nodeId,
                                                    const std::string& gameMode, std::int64_t balance) = 0;

  // First-success probe of `hosts` with `domain` as Host; an empty `ports` means the ports of the
  // last status answer. Success: the winning host and its port; failure: the error and the
  // failing request.
  virtual APIResult<std::map<std::string, std::int64_t>> testNodePorts(const std::vector<std::string>& hosts,
                                                                       const std::string& domain,
                                                                       const std::vector<std::int64_t>& ports) = 0;

  // Tells the service that the user no longer uses node `nodeId` with protocol `type`; the
  // answer does not matter.
  virtual void connectNode(const std::string& type, const std::string& nodeId) = 0;

  // The classic node list (empty on failure) and one country's uptime figures (none on failure).
  virtual std::vector<Node> getClassicNodes() = 0;
  virtual std::optional<NodeUpTime> getClassicUptime(const std::string& country) = 0;

  // One cloud-log record.
  virtual void log(const std::map<std::string, std::string>& fields, LogTopic topic) = 0;
};

// The real service: APIManager for the calls, CloudLog for the records.
std::unique_ptr<NodeService> makeAPINodeService();

}  // namespace tarnel
